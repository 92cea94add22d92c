#include "dialogservices.h"

#include "drawingpropertydialogs.h"
#include "itemsmanager.h"
#include "mapsettings.h"
#include "multiview.h"
#include "scriptstudyitem.h"
#include "seriesitempropertydialog.h"
#include "studyitempropertydialog.h"

#include <QPointer>

namespace DialogServices {

namespace {

// Runs a dialog made on the heap under its parent: the parent (a window being closed) may
// delete it while it runs. True, with the dialog's settings, when it was accepted.
template <typename Dialog>
bool run(Dialog *made, MapSettings &result)
{
    QPointer<Dialog> dialog(made);
    const int answer = dialog->exec();
    if (!dialog)
        return false;
    // Accepted for an item deleted meanwhile: the caller says that nothing was applied.
    const bool accepted = answer == QDialog::Accepted;
    if (accepted && dialog->item())
        dialog->writeSettings(result);
    delete dialog.data();
    return accepted;
}

bool editProperties(ChartItem *item, MultiView *view, MapSettings &result)
{
    if (auto *series = qobject_cast<SeriesItem *>(item))
        return run(new SeriesItemPropertyDialog(series, view, view), result);
    if (auto *study = qobject_cast<ScriptStudyItem *>(item))
        return run(new StudyItemPropertyDialog(study, view, view), result);
    return false;
}

bool editDrawing(DrawingItem *item, QWidget *parent, MapSettings &result)
{
    std::unique_ptr<DrawingPropertyDialog> made = DrawingPropertyDialog::create(item, parent);
    return made && run(made.release(), result);
}

void showItemsManager(MultiView *view)
{
    QPointer<ItemsManager> manager(new ItemsManager(view, view));
    manager->exec();
    delete manager.data();
}

} // namespace

void install()
{
    MultiView::Services services = MultiView::services();
    services.editProperties = editProperties;
    services.showItemsManager = showItemsManager;
    MultiView::setServices(services);
    DrawingItem::setPropertyEditor(editDrawing);
}

} // namespace DialogServices
