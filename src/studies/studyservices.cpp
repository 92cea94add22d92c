#include "studyservices.h"

#include "multiview.h"
#include "parentscaleitem.h"
#include "scriptfilesmodel.h"
#include "scriptstudyitem.h"
#include "seriesitem.h"
#include "studyselector.h"
#include "subchartwidget.h"
#include "talogging.h"

#include <QPointer>

namespace {

void merge(MapSettings &into, const MapSettings &from)
{
    const QStringList keys = from.allKeys();
    for (const QString &key : keys)
        into.setValue(key, from.value(key));
}

QList<MultiView::ChosenStudy> chooseStudies(QWidget *parent, const QStringList &seriesNames,
                                            int preselected, const MapSettings &defaults)
{
    QList<MultiView::ChosenStudy> chosen;
    StudyFilesModel *files = StudyFilesModel::instance();
    if (!files)
        return chosen;
    files->reload();
    QPointer<StudySelector> selector(new StudySelector(files, seriesNames, preselected, parent));
    const int answer = selector->exec();
    if (!selector)
        return chosen;
    if (answer == QDialog::Accepted) {
        const QList<MapSettings> results = selector->results();
        for (const MapSettings &result : results) {
            MultiView::ChosenStudy study;
            study.settings = defaults;
            merge(study.settings, result);
            study.series = result.value(QStringLiteral("seriesInd"), 0).toInt();
            chosen.append(study);
        }
    }
    delete selector.data();
    return chosen;
}

} // namespace

namespace StudyServices {

bool findStudy(const QString &name, MapSettings &settings)
{
    StudyFilesModel *files = StudyFilesModel::instance();
    if (!files)
        return false;
    files->reload();
    if (!files->exists(name))
        return false;
    StudyFile file;
    try {
        file = files->read(name);
    } catch (const QString &error) {
        qCWarning(lcScripts).noquote() << QStringLiteral("%1: %2").arg(name, error);
        return false;
    }
    merge(settings, StudySelector::definition(name, file, files->checksum(name), file.parameters));
    return true;
}

void install()
{
    SubChartWidget::setStudyMaker([](SeriesItem *series, ParentScaleItem *scale) -> ChartItem * {
        return new ScriptStudyItem(series, scale);
    });
    MultiView::Services services = MultiView::services();
    services.chooseStudies = chooseStudies;
    services.findStudy = findStudy;
    services.rebaseStudy = [](ChartItem *study, SeriesItem *series) {
        // Rebinding to its own series would recalculate it for nothing.
        auto *item = qobject_cast<ScriptStudyItem *>(study);
        if (item && item->seriesItem() != series)
            item->setSeriesItem(series);
    };
    MultiView::setServices(services);
}

} // namespace StudyServices
