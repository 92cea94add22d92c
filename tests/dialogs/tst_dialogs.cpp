// The property dialogs of series, indicators and drawings, and the items manager, over a real
// chart area with real indicators and drawings: what each dialog shows and writes, that it
// changes nothing on Cancel, and that the manager follows the chart while it is open.
#include "appsettings.h"
#include "dialogservices.h"
#include "drawingpropertydialogs.h"
#include "drawingservices.h"
#include "fibonacciitems.h"
#include "graphicsitemsdatamodel.h"
#include "legibility.h"
#include "horlineitem.h"
#include "hostclock.h"
#include "itemsmanager.h"
#include "multiviewtesthelpers.h"
#include "parentscaleitem.h"
#include "propertydialogsupport.h"
#include "scriptstudyitem.h"
#include "seriesitempropertydialog.h"
#include "seriesitemschedulesdialog.h"
#include "studyitempropertydialog.h"
#include "studylibraryhelpers.h"
#include "studyservices.h"
#include "subcharttesthelpers.h"
#include "testenvironment.h"
#include "testregistry.h"
#include "trendlineitem.h"
#include "ui_drawingpropertydialog.h"
#include "ui_itemsmanager.h"
#include "ui_seriesitempropertydialog.h"
#include "ui_studyitempropertydialog.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QProxyStyle>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QtTest>

#include <functional>

using namespace BarTest;
using MultiViewTest::Friday;
using MultiViewTest::Monday;

namespace {

const QString Arkt = QStringLiteral("2,2,2001");
const QString Kstr = QStringLiteral("2,2,2002");
const QColor Orange(0xff, 0x80, 0x00);
const QColor Violet(0x80, 0x00, 0xff);
// Saturday 5 December 2026, noon: the day after the fixture's trading week.
const datetime SaturdayNoon = datetime(QDateTime(QDate(2026, 12, 5), QTime(12, 0)));

// Acts on the first modal dialog of the type that shows, from the event loop (the dialog's
// exec() blocks the test). `seen` tells whether it showed.
template <class T>
void whenModal(const std::function<void(T *)> &act, bool *seen)
{
    auto *timer = new QTimer;
    auto tries = std::make_shared<int>(0);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, tries, act, seen] {
        if (auto *dialog = qobject_cast<T *>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            *seen = true;
            act(dialog);
        } else if (++*tries > 500) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}

MapSettings written(const SeriesItemPropertyDialog &dialog)
{
    MapSettings map;
    dialog.writeSettings(map);
    return map;
}

MapSettings savedState(const GraphicsItem &item)
{
    MapSettings map;
    item.saveState(map);
    return map;
}

// An orange drawing of the kind on the first pane's first scale, from p1 (to p2 for a line).
DrawingItem *drawOn(MultiView *view, int kind, QPointF p1, QPointF p2 = {}, int width = 1)
{
    SubChartWidget *pane = view->subCharts().value(0);
    DrawingItem *item = DrawingServices::makeDrawing(kind, pane->scales().value(0),
                                                     view->synchronizer(), p1, Orange, width);
    if (auto *line = qobject_cast<LineDrawingItem *>(item); line && !p2.isNull())
        line->setSceneP2(p2);
    pane->setUpItem(item);
    return item;
}

// Opens the item's dialog twice the way `open` does and makes the same change in it: after
// Cancel the item's saved state is as before, then OK applies the change.
template <class Dialog>
void cancelThenOk(MultiView *view, GraphicsItem *item, const std::function<void()> &open,
                  const std::function<void(Dialog *)> &change)
{
    MapSettings state = savedState(*item);
    const QVariantMap before = flatten(state);
    for (const bool ok : {false, true}) {
        bool seen = false;
        whenModal<Dialog>([&](Dialog *dialog) {
            change(dialog);
            QPushButton *accept = dialog->form()->buttonBox->button(QDialogButtonBox::Ok);
            QVERIFY(accept->isEnabled());
            ok ? accept->click() : dialog->reject();
        }, &seen);
        open();
        QVERIFY(seen);
        settle(*view);
        MapSettings after = savedState(*item);
        if (!ok)
            QCOMPARE(flatten(after), before);
    }
}

QList<ColorButton *> colourButtons(Ui::SeriesItemPropertyDialog *ui)
{
    return {ui->wickColorButton, ui->upColorButton,     ui->upBoundColorButton,
            ui->downColorButton, ui->downBoundColorButton, ui->minmaxColorButton,
            ui->inColorButton,   ui->outColorButton,    ui->lineColorButton};
}

// Notes every check box a widget draws with it, where the style draws it.
class CheckBoxCounter : public QProxyStyle
{
public:
    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget) const override
    {
        // An item view's check may be drawn as a check box in the same place: one box.
        if ((element == PE_IndicatorCheckBox || element == PE_IndicatorItemViewItemCheck)
            && !boxes.contains(option->rect))
            boxes.append(option->rect);
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }
    mutable QList<QRect> boxes;
};

// The check boxes drawn inside a cell of the view when it paints.
QList<QRect> boxesIn(QTreeView *view, CheckBoxCounter *style, const QModelIndex &index)
{
    style->boxes.clear();
    view->viewport()->grab();
    QList<QRect> inside;
    const QRect cell = view->visualRect(index);
    for (const QRect &box : std::as_const(style->boxes)) {
        if (cell.intersects(box))
            inside.append(box);
    }
    return inside;
}

} // namespace

class TestDialogs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void seriesDialogShowsTheSeries();
    void seriesDialogRoundTrip();
    void seriesDialogRangeLimitAndUntouchedRange();
    void drawingDialogs_data();
    void drawingDialogs();
    void drawingDialogRefusesMomentsOutsideTheChart();
    void managerTables();
    void managerVisibility();
    void managerDeletes();
    void dialogsAsShown();

private:
    struct Chart
    {
        Window w;
        SeriesItem *series = nullptr;
        ScriptStudyItem *rsi = nullptr;
    };
    // A window with a series over the week and, when asked, RSI in a pane of its own.
    void makeChart(Chart &chart, bool withRsi);
    ScriptStudyItem *addStudy(MultiView *view, SeriesItem *series, const QString &name,
                              int axis = 0);

    QTemporaryDir m_dir;
    RecordingService m_service;
};

void TestDialogs::initTestCase()
{
    TA_SET_UP_TEST_ENVIRONMENT(m_dir, "dialogs.ini");
    qRegisterMetaType<FrameIndex>("FrameIndex");
    SeriesDataService::setInstance(&m_service);
    useCopyOfLibrary(m_dir);
    answerDeleteQuestionsYes();
}

void TestDialogs::init()
{
    hostclock::freezeAt(SaturdayNoon);
    setSchedule(everyWeekday({BarTest::at(1, 10, 0, 60)}));
    storeSeriesDefaults(Friday, 5, 1);
    MultiView::setServices({});
    StudyServices::install();
    DrawingServices::install();
    DialogServices::install();
}

void TestDialogs::cleanupTestCase()
{
    MultiView::setServices({});
    DrawingItem::setPropertyEditor({});
    FunctionFilesModel::destroyInstance();
    StudyFilesModel::destroyInstance();
    SeriesDataService::setInstance(nullptr);
    hostclock::release();
}

ScriptStudyItem *TestDialogs::addStudy(MultiView *view, SeriesItem *series, const QString &name,
                                       int axis)
{
    MapSettings settings;
    if (!MultiView::services().findStudy(name, settings))
        return nullptr;
    settings.setValue(QStringLiteral("axis"), axis);
    auto *study = qobject_cast<ScriptStudyItem *>(view->addStudyFor(series, settings));
    settle(*view);
    return study;
}

void TestDialogs::makeChart(Chart &chart, bool withRsi)
{
    chart.series = chart.w.addSeries(Arkt);
    QVERIFY(chart.series);
    if (withRsi) {
        chart.rsi = addStudy(chart.w.view, chart.series, QStringLiteral("RSI"));
        QVERIFY(chart.rsi);
        QVERIFY2(chart.rsi->scriptOk(), qPrintable(chart.rsi->errorText()));
    }
}

// --- series ---------------------------------------------------------------------------------

// What the series dialog shows for the series as it is, and the dates it accepts; a hidden
// series writes no placement.
void TestDialogs::seriesDialogShowsTheSeries()
{
    Chart chart;
    makeChart(chart, false);
    SeriesItemPropertyDialog dialog(chart.series, chart.w.view, &chart.w.window);
    auto *ui = dialog.form();
    QCOMPARE(ui->nameEdit->text(), chart.series->displayName());
    QCOMPARE(ui->timeFrameComboBox->currentText(), QStringLiteral("1 мин"));
    QVERIFY(ui->rangeDatesRadioButton->isChecked());
    QCOMPARE(ui->dateFromEdit->date(), Monday);
    QCOMPARE(ui->dateToEdit->date(), Friday);
    QCOMPARE(ui->daysBackSpinBox->value(), 5);
    QPushButton *ok = ui->buttonBox->button(QDialogButtonBox::Ok);
    QPushButton *apply = ui->buttonBox->button(QDialogButtonBox::Apply);
    // A start after the end is refused; today (Saturday) is a valid start.
    ui->dateFromEdit->setDate(Friday.addDays(1));
    QVERIFY(!ok->isEnabled() && !apply->isEnabled());
    QCOMPARE(ui->dateFromLabel->styleSheet(), QStringLiteral("QLabel {color: red;}"));
    ui->dateToEdit->setDate(QDate(2026, 12, 20));
    ui->dateFromEdit->setDate(QDate(2026, 12, 5));
    QVERIFY(ok->isEnabled() && apply->isEnabled());

    chart.series->setItemVisible(false);
    SeriesItemPropertyDialog hidden(chart.series, chart.w.view, &chart.w.window);
    for (QComboBox *combo : {static_cast<QComboBox *>(hidden.form()->positionComboBox),
                             hidden.form()->axisPosComboBox, hidden.form()->autoScaleComboBox}) {
        QVERIFY(combo->count() == 1 && !combo->isEnabled());
        QCOMPARE(combo->currentText(), QStringLiteral("Скрыт"));
    }
    const MapSettings map = written(hidden);
    for (const char *key :
         {"axisPos", "autoScale", "subChart", "parentscale", "changeScaleRange", "parentScale"})
        QVERIFY2(!map.contains(QLatin1String(key)), key);
}

// Every field changed at once, each to a value of its own (every colour of every view too):
// one written into another's key, or lost, shows up. Cancel changes nothing, OK applies them
// all and the dialog shows them again.
void TestDialogs::seriesDialogRoundTrip()
{
    Chart chart;
    makeChart(chart, false);
    MultiView *view = chart.w.view;
    cancelThenOk<SeriesItemPropertyDialog>(
        view, chart.series, [&] { view->changeItemProperties(chart.series); },
        [&](SeriesItemPropertyDialog *dialog) {
            auto *ui = dialog->form();
            ui->nameEdit->setText(QStringLiteral("Мой"));
            ui->timeFrameComboBox->setCurrentText(QStringLiteral("5 мин"));
            ui->rangeBackRadioButton->setChecked(true);
            ui->daysBackSpinBox->setValue(12);
            ui->lineWidthSpinBox->setValue(4);
            ui->viewComboBox->setCurrentIndex(1);
            ui->wickSelfRadioButton->setChecked(true);
            const QList<ColorButton *> buttons = colourButtons(ui);
            for (int i = 0; i < buttons.size(); ++i)
                buttons.at(i)->setColor(QColor(10 * i, 20, 30));
            ui->axisPosComboBox->setCurrentIndex(1);
            ui->autoScaleComboBox->setCurrentIndex(1);
        });
    QVERIFY(view->seriesItems().contains(chart.series));
    SeriesItemPropertyDialog reopened(chart.series, view, &chart.w.window);
    auto *ui = reopened.form();
    QCOMPARE(ui->nameEdit->text(), QStringLiteral("Мой"));
    QCOMPARE(ui->timeFrameComboBox->currentText(), QStringLiteral("5 мин"));
    QVERIFY(ui->rangeBackRadioButton->isChecked());
    QCOMPARE(ui->daysBackSpinBox->value(), 12);
    QCOMPARE(ui->dateToEdit->date(), SaturdayNoon.getDateTime().date());
    QCOMPARE(ui->lineWidthSpinBox->value(), 4);
    QCOMPARE(ui->viewComboBox->currentIndex(), 1);
    QCOMPARE(ui->colorStack->currentIndex(), 1);
    QVERIFY(ui->wickSelfRadioButton->isChecked());
    const QList<ColorButton *> buttons = colourButtons(ui);
    for (int i = 0; i < buttons.size(); ++i)
        QCOMPARE(buttons.at(i)->color(), QColor(10 * i, 20, 30));
    QCOMPARE(ui->axisPosComboBox->currentText(), QStringLiteral("Слева"));
    QCOMPARE(ui->autoScaleComboBox->currentText(), QStringLiteral("По экрану"));
}

// A frame and range of more than ten million bars cannot be applied, and the dialog says why;
// a range the user did not touch is not written, so a long one is never shortened.
void TestDialogs::seriesDialogRangeLimitAndUntouchedRange()
{
    storeSeriesDefaults(Friday, 20000, 1);
    Chart chart;
    makeChart(chart, false);
    QCOMPARE(chart.series->model()->dateFrom(), Friday.addDays(-19999));
    SeriesItemPropertyDialog dialog(chart.series, chart.w.view, &chart.w.window);
    auto *ui = dialog.form();
    QCOMPARE(ui->daysBackSpinBox->maximum(), 36500);
    QCOMPARE(ui->daysBackSpinBox->value(), 20000);
    MapSettings untouched = written(dialog);
    for (const char *key : {"toCurrDate", "daysBack", "dateTo"})
        QVERIFY2(!untouched.contains(QString::fromLatin1(key)), key);

    QPushButton *ok = ui->buttonBox->button(QDialogButtonBox::Ok);
    QPushButton *apply = ui->buttonBox->button(QDialogButtonBox::Apply);
    ui->timeFrameComboBox->setCurrentText(QStringLiteral("1 сек"));
    QVERIFY(!ok->isEnabled() && !apply->isEnabled());
    QVERIFY(ui->statusLabel->isVisibleTo(&dialog));
    QVERIFY2(ui->statusLabel->text().startsWith(QStringLiteral("Слишком большой диапазон: ")),
             qPrintable(ui->statusLabel->text()));
    // Fewer days bring it under the limit.
    ui->rangeBackRadioButton->setChecked(true);
    ui->daysBackSpinBox->setValue(30);
    QVERIFY(ok->isEnabled() && apply->isEnabled());
    QVERIFY(!ui->statusLabel->isVisibleTo(&dialog));
    QCOMPARE(written(dialog).value(QStringLiteral("daysBack")).toInt(), 30);
}

// --- drawings -------------------------------------------------------------------------------

void TestDialogs::drawingDialogs_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("trend") << int(DrawingItem::TrendLine);
    QTest::newRow("horizontal") << int(DrawingItem::HorLine);
    QTest::newRow("levels") << int(DrawingItem::FibonacciLines);
    QTest::newRow("arcs") << int(DrawingItem::FibonacciArcs);
    QTest::newRow("fan") << int(DrawingItem::FibonacciFan);
}

void TestDialogs::drawingDialogs()
{
    QFETCH(int, kind);
    Chart chart;
    makeChart(chart, false);
    MultiView *view = chart.w.view;
    SubChartWidget *pane = view->subCharts().value(0);
    ParentScaleItem *scale = pane->scales().value(0);
    const auto scenePoint = [&](double index, double price) {
        return QPointF(index, scale->mapToScene(QPointF(0, -price)).y());
    };
    // Prices finer than the scale's decimals, as a drawing dragged with the mouse has them.
    DrawingItem *item = drawOn(view, kind, scenePoint(60, 104.5137), scenePoint(120, 105.5137));
    settle(*view);

    // OK without changes moves nothing, though the prices are shown rounded.
    MapSettings untouched = savedState(*item);
    bool seen = false;
    whenModal<DrawingPropertyDialog>([&](DrawingPropertyDialog *open) { open->accept(); }, &seen);
    item->onPropertyAction();
    QVERIFY(seen);
    MapSettings unchanged = savedState(*item);
    QCOMPARE(flatten(unchanged), flatten(untouched));

    // Cancel after changes leaves the drawing as it was; OK applies and the dialog shows it.
    cancelThenOk<DrawingPropertyDialog>(view, item, [&] { item->onPropertyAction(); },
                                        [&](DrawingPropertyDialog *open) {
        auto *f = open->form();
        f->colorButton->setColor(Violet);
        f->lineWidthSpinBox->setValue(3);
        f->price1SpinBox->setValue(104.25);
        if (kind != DrawingItem::HorLine)
            f->time1Edit->setDateTime(at(Monday, 30).getDateTime());
        f->extendLeftCheckBox->setChecked(true);
        f->extendRightCheckBox->setChecked(false);
    });
    QCOMPARE(item->drawingColor(), Violet);
    QCOMPARE(item->lineWidth(), 3);
    auto reopened = DrawingPropertyDialog::create(item, view);
    QCOMPARE(reopened->form()->colorButton->color(), Violet);
    QCOMPARE(reopened->form()->lineWidthSpinBox->value(), 3);
    QCOMPARE(reopened->form()->price1SpinBox->value(), 104.25);
    QCOMPARE(reopened->form()->axisComboBox->currentText(), scale->label());
    if (auto *line = qobject_cast<LineDrawingItem *>(item))
        QCOMPARE(line->time1(), at(Monday, 30));
    if (auto *trend = qobject_cast<TrendLineItem *>(item))
        QVERIFY(trend->extendLeft() && !trend->extendRight());
    if (auto *levels = qobject_cast<FibonacciLinesItem *>(item))
        QVERIFY(!levels->extendRight());
}

void TestDialogs::drawingDialogRefusesMomentsOutsideTheChart()
{
    Chart chart;
    makeChart(chart, false);
    MultiView *view = chart.w.view;
    SubChartWidget *pane = view->subCharts().value(0);
    ParentScaleItem *scale = pane->scales().value(0);
    DrawingItem *item = drawOn(view, DrawingItem::TrendLine, QPointF(30, 0), QPointF(90, 0));
    auto dialog = DrawingPropertyDialog::create(item, view);
    auto *ui = dialog->form();
    QPushButton *ok = ui->buttonBox->button(QDialogButtonBox::Ok);
    // The first moment of the chart and the end of its last session are still inside; a second
    // before the first bar is not, and OK is refused however it is reached.
    ui->time1Edit->setDateTime(at(Monday, 0).getDateTime());
    ui->time2Edit->setDateTime(at(Friday, 60).getDateTime());
    QVERIFY(ok->isEnabled());
    ui->time1Edit->setDateTime(at(Monday, 0).getDateTime().addSecs(-1));
    QVERIFY(!ok->isEnabled());
    dialog->accept();
    QCOMPARE(dialog->result(), int(QDialog::Rejected));

    // A drawing whose first moment lies a week before the chart (the days back were cut since
    // it was drawn): its dialog opens with OK on, its colour and width apply and the moment
    // stays as stored; only a moment the user changes to another one outside is refused.
    const QDateTime early = at(Monday.addDays(-7), 30).getDateTime();
    MapSettings stored = savedState(*item);
    stored.setValue(QStringLiteral("time1"), early);
    auto *old = qobject_cast<LineDrawingItem *>(pane->addDrawing(stored, scale));
    QVERIFY(old);
    // What the dialog showed: OK and the first label on opening, after a change to another
    // moment outside, after the change taken back. Seen from the event loop, checked after.
    QList<bool> okEnabled;
    QStringList labels;
    bool seen = false;
    whenModal<DrawingPropertyDialog>([&](DrawingPropertyDialog *open) {
        auto *f = open->form();
        QPushButton *button = f->buttonBox->button(QDialogButtonBox::Ok);
        const auto look = [&] {
            okEnabled.append(button->isEnabled());
            labels.append(f->time1Label->styleSheet());
        };
        look();
        f->time1Edit->setDateTime(early.addDays(1));
        look();
        f->time1Edit->setDateTime(early);
        look();
        f->colorButton->setColor(Violet);
        f->lineWidthSpinBox->setValue(3);
        if (button->isEnabled())
            button->click();
        else
            open->reject();
    }, &seen);
    old->onPropertyAction();
    QVERIFY(seen);
    QCOMPARE(okEnabled, QList<bool>({true, false, true}));
    const QString black = QStringLiteral("QLabel {color: black;}");
    QCOMPARE(labels, QStringList({black, QStringLiteral("QLabel {color: red;}"), black}));
    QCOMPARE(old->drawingColor(), Violet);
    QCOMPARE(old->lineWidth(), 3);
    QCOMPARE(savedState(*old).value(QStringLiteral("time1")).toDateTime(), early);

    // The drawing deleted while its dialog is open: nothing can be applied.
    delete item;
    QVERIFY(!ok->isEnabled());

    // An editor that answers yes for a drawing gone meanwhile: the user is told over the window.
    DrawingItem *gone = drawOn(view, DrawingItem::HorLine, QPointF(30, 0));
    DrawingItem::setPropertyEditor([](DrawingItem *drawing, QWidget *, MapSettings &) {
        delete drawing;
        return true;
    });
    gone->onPropertyAction();
    QCOMPARE(takeRefusal(view), QStringLiteral("Объект был удалён, пока открыт диалог свойств"));
}

// --- items manager --------------------------------------------------------------------------

// The manager's tables as the chart has them, following it while the manager is open.
void TestDialogs::managerTables()
{
    Chart chart;
    makeChart(chart, true);
    MultiView *view = chart.w.view;
    drawOn(view, DrawingItem::TrendLine, QPointF(30, 0));
    settle(*view);

    // Its first size, every column of every tab whole, is checked with the other dialogs'.
    AppSettings(ItemsManager::sizeGroup()).remove(QStringLiteral("dialog_size"));
    ItemsManager manager(view, &chart.w.window);
    manager.show();
    QVERIFY(QTest::qWaitForWindowExposed(&manager));
    SeriesItemsDataModel *series = manager.seriesModel();
    const auto cell = [](QAbstractItemModel *model, int row, int column) {
        return model->data(model->index(row, column)).toString();
    };
    QCOMPARE(cell(series, 0, 0), chart.series->displayName());
    QCOMPARE(cell(series, 0, 3), QStringLiteral("1 мин"));
    QCOMPARE(cell(series, 0, 6), QStringLiteral("Область 1"));
    StudyItemsDataModel *studies = manager.studiesModel();
    QCOMPARE(cell(studies, 0, 1), QStringLiteral("RSI"));
    QCOMPARE(cell(studies, 0, 3), QStringLiteral("Область 2"));
    DrawingItemsDataModel *drawings = manager.drawingsModel();
    QCOMPARE(cell(drawings, 0, 0), QStringLiteral("Линия тренда"));

    // The only series selected: it has properties but cannot go.
    manager.form()->tabWidget->setCurrentIndex(ItemsManager::SeriesTab);
    QVERIFY(!manager.form()->propertiesButton->isEnabled());
    manager.form()->seriesView->selectionModel()->select(
        series->index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QVERIFY(manager.form()->propertiesButton->isEnabled());
    QVERIFY(!manager.form()->delButton->isEnabled());

    // Deleted on the chart: the row goes and the buttons follow.
    manager.form()->tabWidget->setCurrentIndex(ItemsManager::StudiesTab);
    manager.form()->studiesView->selectionModel()->select(
        studies->index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QVERIFY(manager.form()->delButton->isEnabled());
    delete chart.rsi;
    QCOMPARE(studies->rowCount(), 0);
    QVERIFY(!manager.form()->delButton->isEnabled());
    // Every drawing removed at once: their rows go.
    view->delAllDrawings();
    flush();
    QCOMPARE(drawings->rowCount(), 0);

    // The size the user gives it is kept, narrower than the first one too.
    const QSize chosen(std::max(manager.minimumWidth(), manager.width() - 40),
                       manager.height() + 60);
    manager.resize(chosen);
    manager.accept();
    ItemsManager again(view, &chart.w.window);
    QCOMPARE(again.size(), chosen);
}

void TestDialogs::managerVisibility()
{
    Chart chart;
    makeChart(chart, true);
    MultiView *view = chart.w.view;
    ItemsManager manager(view, &chart.w.window);
    // A drawing's box shows and sets the drawing's own visibility, also while its series is
    // hidden (and the drawing with it): it follows when the series is shown again.
    DrawingItem *trend = drawOn(view, DrawingItem::TrendLine, QPointF(30, 0));
    DrawingItemsDataModel *drawings = manager.drawingsModel();
    QCOMPARE(drawings->rowCount(), 1);
    const QModelIndex box = drawings->index(0, 1);
    SeriesItemsDataModel *series = manager.seriesModel();
    QVERIFY(series->setData(series->index(0, 2), Qt::Unchecked, Qt::CheckStateRole));
    QVERIFY(!trend->isVisible());
    QCOMPARE(box.data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QVERIFY(drawings->setData(box, Qt::Unchecked, Qt::CheckStateRole));
    QCOMPARE(box.data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
    QVERIFY(series->setData(series->index(0, 2), Qt::Checked, Qt::CheckStateRole));
    QVERIFY(!trend->isVisible());
    QVERIFY(drawings->setData(box, Qt::Checked, Qt::CheckStateRole));
    QVERIFY(trend->isVisible());

    // As the user sees it: one box per row, in the middle of the cell, on every tab.
    auto *boxStyle = new CheckBoxCounter;
    boxStyle->setParent(&manager);
    auto *ui = manager.form();
    for (QTreeView *table : {ui->seriesView, ui->studiesView, ui->drawingsView})
        table->setStyle(boxStyle);
    manager.show();
    QVERIFY(QTest::qWaitForWindowExposed(&manager));
    for (auto [tab, column] : {std::pair{ItemsManager::SeriesTab, 2}, {ItemsManager::StudiesTab, 2},
                               {ItemsManager::DrawingsTab, 1}}) {
        ui->tabWidget->setCurrentIndex(tab);
        QCoreApplication::processEvents();
        QTreeView *table = manager.currentView();
        const QModelIndex visibility = table->model()->index(0, column);
        const QList<QRect> boxes = boxesIn(table, boxStyle, visibility);
        QVERIFY2(boxes.size() == 1,
                 qPrintable(QStringLiteral("tab %1: %2 boxes").arg(tab).arg(boxes.size())));
        const QPoint off = boxes.first().center() - table->visualRect(visibility).center();
        QVERIFY2(std::abs(off.x()) <= 1 && std::abs(off.y()) <= 1,
                 qPrintable(QStringLiteral("tab %1: box off the centre by %2, %3")
                                .arg(tab).arg(off.x()).arg(off.y())));
    }

    // A click on the series' box hides the series on the chart and another shows it again; so
    // does Space on its selected row; a double click on the box is for the box alone.
    ui->tabWidget->setCurrentIndex(ItemsManager::SeriesTab);
    QCoreApplication::processEvents();
    QWidget *viewport = ui->seriesView->viewport();
    const QModelIndex seriesBox = series->index(0, 2);
    const QPoint boxCentre = ui->seriesView->visualRect(seriesBox).center();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, boxCentre);
    QVERIFY(!chart.series->isVisible());
    QCOMPARE(seriesBox.data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
    QCOMPARE(seriesBox.sibling(0, 6).data().toString(), QStringLiteral("Скрыт"));
    QCOMPARE(boxesIn(ui->seriesView, boxStyle, seriesBox).size(), 1);
    QTest::mouseClick(viewport, Qt::LeftButton, {}, boxCentre);
    QVERIFY(chart.series->isVisible());
    const QPoint nameCentre = ui->seriesView->visualRect(series->index(0, 0)).center();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, nameCentre);
    QVERIFY(ui->seriesView->selectionModel()->isRowSelected(0, {}));
    QTest::keyClick(ui->seriesView, Qt::Key_Space);
    QVERIFY(!chart.series->isVisible());
    QTest::keyClick(ui->seriesView, Qt::Key_Space);
    QVERIFY(chart.series->isVisible());
    QString opened;
    QTimer closer;
    connect(&closer, &QTimer::timeout, &manager, [&] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (dialog && dialog != &manager) {
            opened = QString::fromLatin1(dialog->metaObject()->className());
            dialog->reject();
        }
    });
    closer.start(10);
    // What a double click sends: press, release, double click, release. Like a check box's,
    // each release flips the box.
    QTest::mousePress(viewport, Qt::LeftButton, {}, boxCentre);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, boxCentre);
    QVERIFY(!chart.series->isVisible());
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, boxCentre);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, boxCentre);
    QVERIFY(chart.series->isVisible());
    QTest::qWait(50);
    closer.stop();
    QCOMPARE(opened, QString());
}

// The Delete key and button take the selected item, and select the row at its place.
void TestDialogs::managerDeletes()
{
    Chart chart;
    makeChart(chart, true);
    MultiView *view = chart.w.view;
    SeriesItem *second = view->createDefaultSeriesItem(Kstr);
    QVERIFY(second);
    settle(*view);
    ScriptStudyItem *macd = addStudy(view, second, QStringLiteral("MACD"));
    QVERIFY(macd);

    ItemsManager manager(view, &chart.w.window);
    auto *ui = manager.form();
    StudyItemsDataModel *studies = manager.studiesModel();
    QCOMPARE(studies->rowCount(), 2);

    // Delete the first indicator: the row at its place (the next one) is selected.
    ui->tabWidget->setCurrentIndex(ItemsManager::StudiesTab);
    ui->studiesView->selectionModel()->select(
        studies->index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QPointer<ScriptStudyItem> rsi(chart.rsi);
    QTest::keyClick(&manager, Qt::Key_Delete);
    flush();
    QVERIFY(!rsi);
    QCOMPARE(studies->rowCount(), 1);
    QCOMPARE(studies->itemAt(0), macd);
    QVERIFY(ui->studiesView->selectionModel()->isRowSelected(0, {}));

    // Deleting a series takes its indicators; the last series cannot go.
    ui->tabWidget->setCurrentIndex(ItemsManager::SeriesTab);
    ui->seriesView->selectionModel()->select(manager.seriesModel()->index(1, 0),
                                             QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QVERIFY(ui->delButton->isEnabled());
    ui->delButton->click();
    flush();
    QCOMPARE(manager.seriesModel()->rowCount(), 1);
    QCOMPARE(view->seriesItems().size(), 1);
    QCOMPARE(studies->rowCount(), 0);
    QVERIFY(ui->seriesView->selectionModel()->isRowSelected(0, {}));
    QVERIFY(!ui->delButton->isEnabled());
}

void TestDialogs::dialogsAsShown()
{
    // The dialogs at their first size over a chart with an indicator of three plots and a
    // drawing of each kind, as a person sees them: every text whole, every table's rows and
    // columns in view. Kept when TA_TEST_IMAGES names a directory (the pictures of the
    // documentation come from here).
    Chart chart;
    makeChart(chart, false);
    MultiView *view = chart.w.view;
    ScriptStudyItem *bands = addStudy(view, chart.series, QStringLiteral("Bollinger"), 1);
    QVERIFY(bands && bands->scriptOk());
    SubChartWidget *pane = view->subCharts().value(0);
    ParentScaleItem *scale = pane->scales().value(0);
    const auto scenePoint = [&](double index, double price) {
        return QPointF(index, scale->mapToScene(QPointF(0, -price)).y());
    };
    QList<DrawingItem *> drawings;
    // Side by side across the pane, from the left.
    const auto indexAt = [&](int x) { return pane->view()->mapToScene(QPoint(x, 0)).x(); };
    for (int kind = 0; kind < DrawingItem::KindCount; ++kind) {
        const int from = 40 + 170 * kind;
        drawings.append(drawOn(view, kind, scenePoint(indexAt(from), 104.4 + 0.2 * kind),
                               scenePoint(indexAt(from + 120), 105.2 + 0.2 * kind), 2));
    }
    settle(*view);
    // Each dialog at its first size: no size remembered by the tests before.
    for (const QString &group : {SeriesItemPropertyDialog::sizeGroup(),
                                 StudyItemPropertyDialog::sizeGroup(), ItemsManager::sizeGroup()})
        AppSettings(group).remove(QStringLiteral("dialog_size"));

    const QString directory = qEnvironmentVariable("TA_TEST_IMAGES");
    QStringList faults;
    const auto check = [&](QWidget *widget, const QString &file, const QStringList &texts,
                           bool rowsMayScroll = false) {
        widget->show();
        QCoreApplication::processEvents();
        if (!directory.isEmpty())
            widget->grab().save(QDir(directory).filePath(file));
        for (const QString &fault : legibilityFaults(widget, rowsMayScroll))
            faults << file + QStringLiteral(": ") + fault;
        for (const QString &text : texts) {
            bool found = false;
            for (const QLabel *label : widget->findChildren<QLabel *>())
                found = found || (label->text() == text && label->isVisible());
            for (const QAbstractButton *b : widget->findChildren<QAbstractButton *>())
                found = found || (b->text() == text && b->isVisible());
            if (!found)
                faults << file + QStringLiteral(": no '") + text + QLatin1Char('\'');
        }
        widget->hide();
    };
    SeriesItemPropertyDialog series(chart.series, view, &chart.w.window);
    check(&series, QStringLiteral("dialog-series.png"),
          {QStringLiteral("Расписание"), QStringLiteral("Последние"),
           // The candle's wick is called as on the settings page.
           QStringLiteral("Тень своим цветом"), QStringLiteral("Тень цветом свечи")});
    // The title is not cut: the window holds it and the title bar's icon and buttons.
    const int titleWidth = series.fontMetrics().horizontalAdvance(series.windowTitle());
    QVERIFY2(series.width() >= titleWidth + 150,
             qPrintable(QStringLiteral("%1 < %2 + 150").arg(series.width()).arg(titleWidth)));
    const SeriesKey key = chart.series->model()->seriesKey();
    SeriesItemScheduleDialog schedule(key.stock_id, key.board_id, chart.series->displayName(),
                                      &chart.w.window);
    check(&schedule, QStringLiteral("dialog-schedule.png"), {}, true);
    StudyItemPropertyDialog study(bands, view, &chart.w.window);
    check(&study, QStringLiteral("dialog-indicator.png"), {QStringLiteral("Влиять на масштаб")});
    const char *drawingFiles[] = {"trend-line", "horizontal-line", "fibonacci-levels",
                                  "fibonacci-arcs", "fibonacci-fan"};
    for (DrawingItem *item : drawings) {
        auto dialog = DrawingPropertyDialog::create(item, view);
        check(dialog.get(), QStringLiteral("dialog-%1.png").arg(QLatin1String(drawingFiles[item->kind()])),
              {item->kind() == DrawingItem::HorLine ? QStringLiteral("Цена:") : QStringLiteral("Время 1:")});
    }
    ItemsManager manager(view, &chart.w.window);
    const char *managerFiles[] = {"", "-indicators", "-drawings"};
    for (int tab = 0; tab < manager.form()->tabWidget->count(); ++tab) {
        manager.form()->tabWidget->setCurrentIndex(tab);
        check(&manager, QStringLiteral("items-manager%1.png").arg(QLatin1String(managerFiles[tab])),
              {QStringLiteral("Закрыть")});
    }
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral("\n"))));

    // Apply refills the indicator's tables and keeps their columns as wide.
    study.show();
    QVERIFY(QTest::qWaitForWindowExposed(&study));
    QTableWidget *plots = study.form()->stylesTable;
    QList<int> widths;
    for (int column = 0; column < plots->columnCount(); ++column)
        widths.append(plots->columnWidth(column));
    QPointer<QWidget> oldView = plots->cellWidget(0, 1);
    QTest::mouseClick(study.form()->buttonBox->button(QDialogButtonBox::Apply), Qt::LeftButton);
    QTRY_VERIFY(!oldView);
    QVERIFY(plots->cellWidget(0, 1));
    for (int column = 0; column < plots->columnCount(); ++column)
        QCOMPARE(plots->columnWidth(column), widths.at(column));
}

TA_REGISTER_TEST(TestDialogs)
#include "tst_dialogs.moc"
