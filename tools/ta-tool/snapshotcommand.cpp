#include "snapshotcommand.h"

#include "appsettings.h"
#include "boarddirectory.h"
#include "datasession.h"
#include "mapsettings.h"
#include "securitydirectory.h"
#include "seriesdatamanager.h"
#include "seriesdatamodel.h"
#include "seriesdefaults.h"
#include "seriesitem.h"
#include "dialogservices.h"
#include "drawingservices.h"
#include "studyservices.h"
#include "tamainwindow.h"
#include "tsynchronyzer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QSaveFile>
#include <QScrollBar>
#include <QSettings>

#include <cstdio>

namespace {

// The state of the first chart window of a terminal's saved workspace; false when there is
// none.
bool readWorkspaceWindow(const QString &fileName, MapSettings *state, QString *error)
{
    QSettings ini(fileName, QSettings::IniFormat);
    if (ini.status() != QSettings::NoError || ini.childGroups().isEmpty()) {
        *error = QStringLiteral("%1: not a terminal settings file").arg(fileName);
        return false;
    }
    ini.beginGroup(QStringLiteral("Workspace"));
    const int count = ini.value(QStringLiteral("count"), 0).toInt();
    for (int i = 0; i < count; ++i) {
        ini.beginGroup(QStringLiteral("window_%1").arg(i));
        const bool chart = ini.value(QStringLiteral("factory")).toString() == QLatin1String("TAMainWindow");
        if (chart) {
            ini.beginGroup(QStringLiteral("state"));
            for (const QString &key : ini.allKeys())
                state->setValue(key, ini.value(key));
            return true;
        }
        ini.endGroup();
    }
    *error = QStringLiteral("%1: the workspace has no chart window").arg(fileName);
    return false;
}

// New series take the requested frame and range.
void storeSeriesDefaults(const SnapshotRequest &request)
{
    const MapSettings factory = SeriesDefaults::factory();
    AppSettings defaults(QStringLiteral("TechAnalysis/SeriesDefaultProperty"));
    for (const QString &key : factory.allKeys())
        defaults.setValue(key, factory.value(key));
    request.timeFrame.save(defaults);
    defaults.setValue(QStringLiteral("toCurrDate"), !request.to.isValid());
    defaults.setValue(QStringLiteral("dateTo"),
                      (request.to.isValid() ? request.to : datetime::today()).toString(Qt::ISODate));
    defaults.setValue(QStringLiteral("daysBack"), request.days);
}

void settle()
{
    for (int i = 0; i < 4; ++i)
        QCoreApplication::processEvents();
}

} // namespace

int runSnapshot(const SnapshotRequest &request, QString *error)
{
    Q_INIT_RESOURCE(ta);
    if (!qobject_cast<QApplication *>(QCoreApplication::instance())) {
        *error = QStringLiteral("snapshot needs the widgets application");
        return 2;
    }
    if (!request.size.isValid() || request.size.width() < 200 || request.size.height() < 150
        || request.size.width() > 10000 || request.size.height() > 10000) {
        *error = QStringLiteral("bad size %1x%2: from 200x150 to 10000x10000")
                     .arg(request.size.width())
                     .arg(request.size.height());
        return 2;
    }
    MapSettings workspaceState;
    const bool fromWorkspace = !request.workspaceFile.isEmpty();
    if (fromWorkspace) {
        if (!readWorkspaceWindow(request.workspaceFile, &workspaceState, error))
            return 2;
    } else {
        const SeriesKey key = request.key;
        if (!request.hasKey) {
            *error = QStringLiteral("snapshot needs --key STOCK,BOARD,SEC or --workspace FILE");
            return 2;
        }
        if (SecurityDirectory::i()->recordById(key.stock_id, key.board_id, key.sec_id).isNull()) {
            *error = QStringLiteral("unknown instrument %1").arg(key.toString());
            return 2;
        }
        if (!BoardDirectory::i()->isChartById(key.stock_id, key.board_id)) {
            *error = QStringLiteral("the board of %1 cannot be charted").arg(key.toString());
            return 2;
        }
    }

    DataSession session;
    if (!session.open({request.hdxUrl, false, request.history, request.dataDir}, error))
        return 2;
    if (!fromWorkspace
        && !DataSession::checkRange(request.key, request.timeFrame, request.days, request.to, error))
        return 2;
    storeSeriesDefaults(request);

    int status = 0;
    QElapsedTimer clock;
    clock.start();
    {
        // The window's indicators and drawings, as the plug-in provides them in the terminal.
        StudyServices::install();
        DrawingServices::install();
        DialogServices::install();
        TAMainWindow window;
        window.setProperty("windowName", QStringLiteral("TAMainWindow"));
        if (fromWorkspace) {
            try {
                window.restoreViewState(workspaceState);
            } catch (const QString &key) {
                *error = QStringLiteral("%1: the chart window does not restore: %2")
                             .arg(request.workspaceFile, key);
                return 2;
            }
        } else {
            window.setProperty("extraKey", request.key.toString());
            MapSettings none;
            window.applyViewSettings(none);
        }
        QList<SeriesDataModel *> models;
        for (SeriesItem *series : window.chartArea()->seriesItems())
            models.append(series->model());
        if (models.isEmpty()) {
            *error = QStringLiteral("the window shows no series");
            return 2;
        }
        window.resize(request.size);
        window.show();
        settle();

        if (!request.tradesFile.isEmpty()) {
            QList<Record> trades;
            if (!session.readTrades(request.tradesFile, models.first()->seriesKey(), &trades, error))
                return 2;
            session.appendTrades(trades);
        }
        const QString failure = session.waitUntilFilled(models);
        if (!failure.isEmpty()) {
            *error = failure;
            return 1;
        }
        // The newest bars on screen, laid out and painted as the terminal shows them.
        window.chartArea()->synchronizer()->update();
        settle();
        QScrollBar *bar = window.chartArea()->timeScrollBar();
        bar->setValue(bar->maximum());
        settle();
        const QImage image = window.grab().toImage();
        if (request.timing)
            std::fprintf(stderr, "snapshot: window opened, filled and drawn in %lld ms\n",
                         static_cast<long long>(clock.elapsed()));
        QSaveFile out(request.outputFile);
        if (!out.open(QIODevice::WriteOnly) || !image.save(&out, "PNG") || !out.commit()) {
            *error = QStringLiteral("%1: cannot write: %2").arg(request.outputFile, out.errorString());
            status = 2;
        }
    }
    return status;
}
