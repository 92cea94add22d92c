#include "studycommand.h"

#include "datasession.h"

#include "datetime.h"
#include "mapsettings.h"
#include "checksum.h"
#include "scriptfile.h"
#include "scriptfilesmodel.h"
#include "scriptstudyitem.h"
#include "securitydirectory.h"
#include "seriesdatamanager.h"
#include "seriesdatamodel.h"
#include "seriesitem.h"
#include "studyselector.h"
#include "studyservices.h"
#include "tsynchronyzer.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QGraphicsScene>
#include <QSaveFile>

#include <memory>

namespace {

// Sets the named parameters in an indicator's settings; false with a message for a name the
// indicator does not have or an entry that is not "name=value".
bool setParameters(MapSettings &settings, const QString &indicator, const QStringList &entries,
                   QString *error)
{
    const int count = settings.value(QStringLiteral("parametersCount"), 0).toInt();
    QStringList known;
    for (int i = 0; i < count; ++i)
        known.append(settings.value(QStringLiteral("parameter_%1/name").arg(i)).toString());
    for (const QString &entry : entries) {
        const qsizetype eq = entry.indexOf(u'=');
        const QString name = eq > 0 ? entry.left(eq).trimmed() : QString();
        const QString value = eq > 0 ? entry.mid(eq + 1).trimmed() : QString();
        if (name.isEmpty() || value.isEmpty()) {
            *error = QStringLiteral("bad --param \"%1\": name=value").arg(entry);
            return false;
        }
        const qsizetype i = known.indexOf(name);
        if (i < 0) {
            *error = QStringLiteral("%1 has no parameter \"%2\"%3")
                         .arg(indicator, name,
                              known.isEmpty() ? QStringLiteral(" (it has none)")
                                              : QStringLiteral(" (it has: %1)")
                                                    .arg(known.join(QStringLiteral(", "))));
            return false;
        }
        settings.setValue(QStringLiteral("parameter_%1/value").arg(i), value);
    }
    return true;
}

bool write(const QString &fileName, const QByteArray &text, QString *error)
{
    if (fileName.isEmpty()) {
        QFile out;
        if (!out.open(stdout, QIODevice::WriteOnly) || out.write(text) != text.size()
            || !out.flush()) {
            *error = QStringLiteral("cannot write to standard output");
            return false;
        }
        return true;
    }
    QSaveFile out(fileName);
    if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size() || !out.commit()) {
        *error = QStringLiteral("%1: cannot write: %2").arg(fileName, out.errorString());
        return false;
    }
    return true;
}

} // namespace

int runStudy(const StudyRequest &request, QString *error)
{
    const SeriesKey key = request.key;
    if (SecurityDirectory::i()->recordById(key.stock_id, key.board_id, key.sec_id).isNull()) {
        *error = QStringLiteral("unknown instrument %1").arg(key.toString());
        return 2;
    }
    MapSettings settings;
    QString indicator = request.indicator;
    if (!request.indicatorFile.isEmpty()) {
        QFile file(request.indicatorFile);
        if (!file.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("%1: cannot open: %2").arg(request.indicatorFile, file.errorString());
            return 2;
        }
        const QByteArray content = file.readAll();
        StudyFile study;
        try {
            study = ScriptFileFormat::parseStudy(content);
        } catch (const QString &text) {
            *error = QStringLiteral("%1: %2").arg(request.indicatorFile, text);
            return 2;
        }
        indicator = QFileInfo(request.indicatorFile).completeBaseName();
        settings = StudySelector::definition(indicator, study, qChecksum64(content),
                                             study.parameters);
    } else if (!StudyServices::findStudy(request.indicator, settings)) {
        StudyFilesModel *files = StudyFilesModel::instance();
        *error = QStringLiteral("unknown indicator \"%1\" (indicators: %2)")
                     .arg(request.indicator,
                          files ? files->existingNames().join(QStringLiteral(", ")) : QString());
        return 2;
    }
    if (!setParameters(settings, indicator, request.parameters, error))
        return 2;

    DataSession session;
    if (!session.open({request.hdxUrl, false, request.history, request.dataDir}, error)
        || !DataSession::checkRange(key, request.timeFrame, request.days, request.to, error))
        return 2;
    int status = 0;
    {
        QGraphicsScene scene;
        TSynchronyzer synchronizer;
        synchronizer.addScene(&scene);
        auto *series = new SeriesItem(key.toString(), &synchronizer, nullptr, 0);
        scene.addItem(series);
        std::unique_ptr<ScriptStudyItem> study;
        MapSettings state;
        request.timeFrame.save(state);
        state.setValue(QStringLiteral("toCurrDate"), !request.to.isValid());
        state.setValue(QStringLiteral("dateTo"),
                       (request.to.isValid() ? request.to : datetime::today())
                           .toString(Qt::ISODate));
        state.setValue(QStringLiteral("daysBack"), request.days);
        QList<Record> trades;
        if (!request.tradesFile.isEmpty()
            && !session.readTrades(request.tradesFile, key, &trades, error))
            status = 2;
        if (status == 0) {
            try {
                series->restoreState(state);
            } catch (const QString &e) {
                *error = QStringLiteral("invalid range or schedule: %1").arg(e);
                status = 2;
            }
        }
        if (status == 0) {
            synchronizer.addSeries(series);
            session.appendTrades(trades);
            const QString failure = session.waitUntilFilled({series->model()});
            if (!failure.isEmpty()) {
                *error = failure;
                status = 1;
            }
        }
        if (status == 0) {
            // The bars are in: the indicator is built over them as on a chart, with the
            // window's signals still to come handled as they come.
            QCoreApplication::processEvents();
            synchronizer.update();
            study = std::make_unique<ScriptStudyItem>(series, nullptr);
            scene.addItem(study.get());
            try {
                study->restoreState(settings);
            } catch (const QString &key) {
                *error = QStringLiteral("%1: invalid value of \"%2\"").arg(indicator, key);
                status = 2;
            }
            // The indicator runs in slices between event-loop turns, as on a chart.
            do
                QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            while (status == 0 && study->isCalculating());
        }
        if (status == 0 && !study->scriptOk()) {
            *error = QStringLiteral("%1: %2")
                         .arg(indicator, study->errorText().replace(u'\n', u' '));
            status = 3;
        }
        if (status == 0 && !write(request.outputFile, study->csv(), error))
            status = 2;
        if (study)
            scene.removeItem(study.get());
        study.reset();
        delete series;
    }
    return status;
}
