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
#include "studyselector.h"
#include "studyservices.h"
#include "subcharttesthelpers.h"
#include "testenvironment.h"
#include "testregistry.h"
#include "trendlineitem.h"
#include "ui_drawingpropertydialog.h"
#include "ui_itemsmanager.h"
#include "ui_seriesitempropertydialog.h"
#include "ui_studyitempropertydialog.h"
#include "ui_studyselector.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QProxyStyle>
#include <QPushButton>
#include <QSpinBox>
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

QPushButton *button(QDialogButtonBox *box, QDialogButtonBox::StandardButton which)
{
    return box->button(which);
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

const QStringList PlacementKeys = {"axisPos", "autoScale", "subChart", "parentscale",
                                   "changeScaleRange", "parentScale"};

bool hasPlacementKey(const MapSettings &map)
{
    for (const QString &key : PlacementKeys) {
        if (map.contains(key))
            return true;
    }
    return false;
}

QList<ColorButton *> colourButtons(Ui::SeriesItemPropertyDialog *ui)
{
    return {ui->wickColorButton, ui->upColorButton,     ui->upBoundColorButton,
            ui->downColorButton, ui->downBoundColorButton, ui->minmaxColorButton,
            ui->inColorButton,   ui->outColorButton,    ui->lineColorButton};
}

QStringList comboTexts(const QComboBox *combo)
{
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i)
        texts.append(combo->itemText(i));
    return texts;
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
    void seriesDialogRoundTrip_data();
    void seriesDialogRoundTrip();
    void seriesDialogDateCheck();
    void seriesDialogRangeLimitAndUntouchedRange();
    void seriesDialogApplyAndDeletion();
    void studyDialogRoundTrip();
    void studyDialogSeriesAndPlacement();
    void drawingDialogs_data();
    void drawingDialogs();
    void drawingDialogRefusesMomentsOutsideTheChart();
    void managerTables();
    void managerVisibilityAndTimeFrame();
    void managerDeleteAddAndProperties();
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

// What the series dialog shows and writes for the series as it is.
void TestDialogs::seriesDialogShowsTheSeries()
{
    Chart chart;
    makeChart(chart, true);
    SeriesItemPropertyDialog dialog(chart.series, chart.w.view, &chart.w.window);
    auto *ui = dialog.form();
    QCOMPARE(ui->nameEdit->text(), chart.series->displayName());
    QCOMPARE(ui->timeFrameComboBox->currentText(), QStringLiteral("1 мин"));
    QVERIFY(ui->rangeDatesRadioButton->isChecked());
    QCOMPARE(ui->dateFromEdit->date(), Monday);
    QCOMPARE(ui->dateToEdit->date(), Friday);
    QCOMPARE(ui->daysBackSpinBox->value(), 5);
    // The range as the scale shows it.
    QVERIFY(ui->autoScaleComboBox->itemText(2).startsWith(QStringLiteral("Диапазон: [")));
    // The placement entry of its own area and scale is chosen; separators carry nothing.
    QVERIFY(ui->positionComboBox->currentText().startsWith(QStringLiteral("Область 1 - ось")));
    // Alone in its area, the series is offered no new area of its own.
    QVERIFY(!comboTexts(ui->positionComboBox).contains(QStringLiteral("Новая область - отдельная ось")));
    QVERIFY(comboTexts(ui->positionComboBox).contains(QStringLiteral("Область 2 - отдельная ось")));
    // The candle's wick is called as on the settings page.
    QCOMPARE(ui->wickSelfRadioButton->text(), QStringLiteral("Тень своим цветом"));
    QCOMPARE(ui->wickBodyRadioButton->text(), QStringLiteral("Тень цветом свечи"));

    // A frame the list does not offer selects none.
    chart.series->changeTimeFrame(TimeFrameValue(420));
    SeriesItemPropertyDialog odd(chart.series, chart.w.view, &chart.w.window);
    QCOMPARE(odd.form()->timeFrameComboBox->currentIndex(), -1);
    QVERIFY(!written(odd).contains(QStringLiteral("timeFrameValue")));

    // A blank name is not written; a hidden item writes no placement.
    SeriesItemPropertyDialog nameless(chart.series, chart.w.view, &chart.w.window);
    nameless.form()->nameEdit->setText(QStringLiteral("   "));
    QVERIFY(!written(nameless).contains(QStringLiteral("displayName")));
    QVERIFY(written(nameless).contains(QStringLiteral("subChart")));

    chart.series->setItemVisible(false);
    SeriesItemPropertyDialog hidden(chart.series, chart.w.view, &chart.w.window);
    for (QComboBox *combo : {static_cast<QComboBox *>(hidden.form()->positionComboBox),
                             hidden.form()->axisPosComboBox, hidden.form()->autoScaleComboBox}) {
        QCOMPARE(comboTexts(combo), QStringList{QStringLiteral("Скрыт")});
        QVERIFY(!combo->isEnabled());
        // Whatever the combos are made to show.
        combo->addItem(QStringLiteral("x"), 1);
        combo->setCurrentIndex(1);
    }
    QVERIFY(!hasPlacementKey(written(hidden)));

    StudyItemPropertyDialog hiddenStudy(chart.rsi, chart.w.view, &chart.w.window);
    chart.rsi->setItemVisible(false);
    hiddenStudy.updateFromSeries();
    MapSettings studyMap;
    hiddenStudy.writeSettings(studyMap);
    QVERIFY(!hasPlacementKey(studyMap));
    QVERIFY(!hiddenStudy.form()->changeScaleRangeCheckBox->isEnabled());
}

void TestDialogs::seriesDialogRoundTrip_data()
{
    using Edit = std::function<void(Ui::SeriesItemPropertyDialog *)>;
    QTest::addColumn<Edit>("edit");
    QTest::addColumn<Edit>("check");
    // Every field changed at once, each to a value of its own (every colour of every view too):
    // one written into another's key, or lost, shows up.
    QTest::newRow("last days and the rest")
        << Edit([](auto *ui) {
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
           })
        << Edit([](auto *ui) {
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
           });
    QTest::newRow("date range")
        << Edit([](auto *ui) {
               ui->dateFromEdit->setDate(Monday.addDays(1));
               ui->dateToEdit->setDate(Friday.addDays(-1));
           })
        << Edit([](auto *ui) {
               QCOMPARE(ui->dateFromEdit->date(), Monday.addDays(1));
               QCOMPARE(ui->dateToEdit->date(), Friday.addDays(-1));
               QCOMPARE(ui->daysBackSpinBox->value(), 3);
           });
}

void TestDialogs::seriesDialogRoundTrip()
{
    using Edit = std::function<void(Ui::SeriesItemPropertyDialog *)>;
    QFETCH(Edit, edit);
    QFETCH(Edit, check);
    Chart chart;
    makeChart(chart, false);
    MultiView *view = chart.w.view;
    cancelThenOk<SeriesItemPropertyDialog>(
        view, chart.series, [&] { view->changeItemProperties(chart.series); },
        [&](SeriesItemPropertyDialog *dialog) { edit(dialog->form()); });
    // Reopened, the dialog shows the new values.
    QVERIFY(view->seriesItems().contains(chart.series));
    SeriesItemPropertyDialog reopened(chart.series, view, &chart.w.window);
    check(reopened.form());
}

void TestDialogs::seriesDialogDateCheck()
{
    Chart chart;
    makeChart(chart, false);
    SeriesItemPropertyDialog dialog(chart.series, chart.w.view, &chart.w.window);
    auto *ui = dialog.form();
    QPushButton *ok = button(ui->buttonBox, QDialogButtonBox::Ok);
    QPushButton *apply = button(ui->buttonBox, QDialogButtonBox::Apply);
    QVERIFY(ok->isEnabled() && apply->isEnabled());
    QCOMPARE(ui->dateFromLabel->styleSheet(), QStringLiteral("QLabel {color: black;}"));
    // A start after the end.
    ui->dateFromEdit->setDate(Friday.addDays(1));
    QVERIFY(!ok->isEnabled() && !apply->isEnabled());
    QCOMPARE(ui->dateFromLabel->styleSheet(), QStringLiteral("QLabel {color: red;}"));
    // A start after today, the end after it too.
    ui->dateToEdit->setDate(QDate(2026, 12, 20));
    ui->dateFromEdit->setDate(QDate(2026, 12, 6));
    QVERIFY(!ok->isEnabled());
    // Today itself is a valid start.
    ui->dateFromEdit->setDate(QDate(2026, 12, 5));
    QVERIFY(ok->isEnabled() && apply->isEnabled());
    // The last days' mode does not look at the dates; the date edits are off in it.
    ui->dateFromEdit->setDate(QDate(2026, 12, 30));
    QVERIFY(!ok->isEnabled());
    ui->rangeBackRadioButton->setChecked(true);
    QVERIFY(ok->isEnabled());
    QVERIFY(!ui->dateFromEdit->isEnabled() && ui->daysBackSpinBox->isEnabled());
    const MapSettings map = written(dialog);
    QCOMPARE(map.value(QStringLiteral("toCurrDate")).toBool(), true);
    QVERIFY(!map.contains(QStringLiteral("dateTo")));

    // Apply refuses an invalid range even when the button is reached otherwise.
    ui->rangeDatesRadioButton->setChecked(true);
    const QVariantMap before = flatten(*std::make_unique<MapSettings>(savedState(*chart.series)));
    QMetaObject::invokeMethod(&dialog, "on_buttonBox_clicked", Q_ARG(QAbstractButton *, apply));
    MapSettings after = savedState(*chart.series);
    QCOMPARE(flatten(after), before);
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

    QPushButton *ok = button(ui->buttonBox, QDialogButtonBox::Ok);
    QPushButton *apply = button(ui->buttonBox, QDialogButtonBox::Apply);
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

void TestDialogs::seriesDialogApplyAndDeletion()
{
    Chart chart;
    makeChart(chart, false);
    MultiView *view = chart.w.view;
    SeriesItem *second = view->createDefaultSeriesItem(Kstr);
    QVERIFY(second);
    settle(*view);

    // Apply changes the series at once and the dialog reads it again.
    auto dialog = std::make_unique<SeriesItemPropertyDialog>(chart.series, view, &chart.w.window);
    dialog->form()->nameEdit->setText(QStringLiteral("Применённый"));
    dialog->form()->timeFrameComboBox->setCurrentText(QStringLiteral("1 ч"));
    button(dialog->form()->buttonBox, QDialogButtonBox::Apply)->click();
    QCOMPARE(chart.series->displayName(), QStringLiteral("Применённый"));
    QCOMPARE(chart.series->model()->timeFrame(), TimeFrameValue(3600));
    QTRY_COMPARE(dialog->windowTitle(), QStringLiteral("Свойства графика инструмента Применённый"));
    QVERIFY(dialog->isVisible() == false);

    // The series goes while the dialog is open: nothing can be applied and the dialog says so.
    delete chart.series;
    flush();
    QVERIFY(!dialog->item());
    QVERIFY(!button(dialog->form()->buttonBox, QDialogButtonBox::Ok)->isEnabled());
    QVERIFY(!button(dialog->form()->buttonBox, QDialogButtonBox::Apply)->isEnabled());
    QVERIFY(!dialog->form()->statusLabel->isHidden());
    QVERIFY(!dialog->form()->statusLabel->text().isEmpty());
    button(dialog->form()->buttonBox, QDialogButtonBox::Apply)->click();
    dialog.reset();

    // Deleted while its dialog runs through the chart area: the area reports it, nothing else.
    bool seen = false;
    whenModal<SeriesItemPropertyDialog>([&](SeriesItemPropertyDialog *open) {
        delete second;
        QVERIFY(!button(open->form()->buttonBox, QDialogButtonBox::Ok)->isEnabled());
        open->accept();
    }, &seen);
    QPointer<SeriesItem> guard(second);
    view->changeItemProperties(second);
    QVERIFY(seen);
    QVERIFY(!guard);
    QCOMPARE(takeRefusal(view), QStringLiteral("Объект был удалён, пока открыт диалог свойств"));
}

// --- indicators -----------------------------------------------------------------------------

// Every field changed at once, each to a value of its own: Cancel changes nothing, OK applies
// them all and the dialog shows them again.
void TestDialogs::studyDialogRoundTrip()
{
    const auto cell = [](QTableWidget *table, int column) { return table->cellWidget(0, column); };
    const auto edit = [cell](Ui::StudyItemPropertyDialog *ui) {
        ui->nameEdit->setText(QStringLiteral("Мой RSI"));
        qobject_cast<QComboBox *>(cell(ui->stylesTable, 1))->setCurrentIndex(2);
        qobject_cast<ColorButton *>(cell(ui->stylesTable, 2))->setColor(Violet);
        qobject_cast<QSpinBox *>(cell(ui->stylesTable, 3))->setValue(3);
        ui->parametersTable->item(0, 1)->setText(QStringLiteral("9"));
        ui->customPrecisionRadioButton->setChecked(true);
        ui->decimalsComboBox->setCurrentIndex(4);
        ui->changeScaleRangeCheckBox->setChecked(false);
    };
    Chart chart;
    makeChart(chart, true);
    MultiView *view = chart.w.view;
    {
        StudyItemPropertyDialog dialog(chart.rsi, view, &chart.w.window);
        QVERIFY(!(dialog.form()->parametersTable->item(0, 0)->flags() & Qt::ItemIsEditable));
        QCOMPARE(dialog.form()->decimalsComboBox->isEnabled(), chart.rsi->customPrecision());
    }
    cancelThenOk<StudyItemPropertyDialog>(
        view, chart.rsi, [&] { view->changeItemProperties(chart.rsi); },
        [&](StudyItemPropertyDialog *dialog) { edit(dialog->form()); });
    QVERIFY2(chart.rsi->scriptOk(), qPrintable(chart.rsi->errorText()));
    StudyItemPropertyDialog reopened(chart.rsi, view, &chart.w.window);
    auto *ui = reopened.form();
    QCOMPARE(ui->nameEdit->text(), QStringLiteral("Мой RSI"));
    QCOMPARE(qobject_cast<QComboBox *>(cell(ui->stylesTable, 1))->currentText(), QStringLiteral("Точки"));
    QCOMPARE(qobject_cast<ColorButton *>(cell(ui->stylesTable, 2))->color(), Violet);
    QCOMPARE(qobject_cast<QSpinBox *>(cell(ui->stylesTable, 3))->value(), 3);
    QCOMPARE(ui->parametersTable->item(0, 1)->text(), QStringLiteral("9"));
    QVERIFY(ui->customPrecisionRadioButton->isChecked());
    QVERIFY(ui->decimalsComboBox->isEnabled());
    QCOMPARE(ui->decimalsComboBox->currentIndex(), 4);
    QVERIFY(!ui->changeScaleRangeCheckBox->isChecked());
}

void TestDialogs::studyDialogSeriesAndPlacement()
{
    Chart chart;
    makeChart(chart, true);
    MultiView *view = chart.w.view;
    SeriesItem *second = view->createDefaultSeriesItem(Kstr);
    QVERIFY(second);
    fillDays(second, Monday, Friday, 210);
    settle(*view);

    StudyItemPropertyDialog dialog(chart.rsi, view, &chart.w.window);
    auto *ui = dialog.form();
    QCOMPARE(ui->seriesComboBox->count(), 2);
    QCOMPARE(ui->seriesComboBox->currentData().value<QObject *>(), chart.series);
    QVERIFY(ui->seriesComboBox->currentText().endsWith(QStringLiteral(", 1 мин")));
    QVERIFY(ui->autoScaleComboBox->itemText(2).startsWith(QStringLiteral("Диапазон: (")));
    // The placement keeps its distance from the end of the list when the series changes.
    const int fromEnd = ui->positionComboBox->count() - ui->positionComboBox->currentIndex();
    ui->seriesComboBox->setCurrentIndex(1);
    QCOMPARE(ui->positionComboBox->count() - ui->positionComboBox->currentIndex(), fromEnd);

    // Onto the series' own scale: the axis combo says it shares the series' axis.
    const int seriesScaleRow = ui->positionComboBox->findText(QStringLiteral("Область 1 - ось"),
                                                              Qt::MatchStartsWith);
    QVERIFY(seriesScaleRow >= 0);
    ui->positionComboBox->setCurrentIndex(seriesScaleRow);
    QCOMPARE(ui->axisPosComboBox->currentText(), QStringLiteral("Ось серии"));
    button(ui->buttonBox, QDialogButtonBox::Apply)->click();
    settle(*view);
    QCOMPARE(chart.rsi->seriesItem(), second);
    QCOMPARE(SubChartWidget::of(chart.rsi), view->subCharts().value(0));
    QVERIFY2(chart.rsi->scriptOk(), qPrintable(chart.rsi->errorText()));
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

    auto dialog = DrawingPropertyDialog::create(item, view);
    QVERIFY(dialog);
    QCOMPARE(dialog->form()->colorButton->color(), Orange);
    QCOMPARE(dialog->form()->axisComboBox->currentText(), scale->label());
    dialog.reset();

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
    if (auto *line = qobject_cast<LineDrawingItem *>(item)) {
        QCOMPARE(line->time1(), at(Monday, 30));
        QCOMPARE(reopened->form()->time1Edit->dateTime(), at(Monday, 30).getDateTime());
    }
    if (auto *trend = qobject_cast<TrendLineItem *>(item))
        QVERIFY(trend->extendLeft() && !trend->extendRight());
    if (auto *levels = qobject_cast<FibonacciLinesItem *>(item))
        QVERIFY(!levels->extendRight());
    // A hidden drawing: no scale key, the axis and the coordinates off.
    item->setVisible(false);
    auto hidden = DrawingPropertyDialog::create(item, view);
    QVERIFY(!hidden->form()->axisComboBox->isEnabled());
    QVERIFY(!hidden->form()->coordsGroup->isEnabled());
    MapSettings hiddenMap;
    hidden->writeSettings(hiddenMap);
    QVERIFY(!hasPlacementKey(hiddenMap));
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
    // The first moment of the chart and the end of its last session are still inside.
    ui->time1Edit->setDateTime(at(Monday, 0).getDateTime());
    ui->time2Edit->setDateTime(at(Friday, 60).getDateTime());
    QVERIFY(ok->isEnabled());
    QCOMPARE(ui->time1Label->styleSheet(), QStringLiteral("QLabel {color: black;}"));
    // A second before the first bar.
    ui->time1Edit->setDateTime(at(Monday, 0).getDateTime().addSecs(-1));
    QVERIFY(!ok->isEnabled());
    QCOMPARE(ui->time1Label->styleSheet(), QStringLiteral("QLabel {color: red;}"));
    QCOMPARE(ui->time2Label->styleSheet(), QStringLiteral("QLabel {color: black;}"));
    // After the chart's end.
    ui->time1Edit->setDateTime(at(Monday, 0).getDateTime());
    ui->time2Edit->setDateTime(at(Friday, 61).getDateTime());
    QVERIFY(!ok->isEnabled());
    QCOMPARE(ui->time2Label->styleSheet(), QStringLiteral("QLabel {color: red;}"));
    // OK is refused however it is reached.
    const datetime time1 = qobject_cast<LineDrawingItem *>(item)->time1();
    dialog->accept();
    QCOMPARE(dialog->result(), int(QDialog::Rejected));
    QCOMPARE(qobject_cast<LineDrawingItem *>(item)->time1(), time1);

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

    // The drawing deleted while its dialog is open.
    delete item;
    QVERIFY(!dialog->item());
    QVERIFY(!ok->isEnabled());
    QVERIFY(!ui->statusLabel->isHidden());

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
    SubChartWidget *pane = view->subCharts().value(0);
    drawOn(view, DrawingItem::TrendLine, QPointF(30, 0));
    settle(*view);

    // Its first size, every column of every tab whole, is checked with the other dialogs'.
    AppSettings(ItemsManager::sizeGroup()).remove(QStringLiteral("dialog_size"));
    ItemsManager manager(view, &chart.w.window);
    manager.show();
    QVERIFY(QTest::qWaitForWindowExposed(&manager));
    manager.form()->tabWidget->setCurrentIndex(ItemsManager::SeriesTab);
    SeriesItemsDataModel *series = manager.seriesModel();
    QCOMPARE(series->rowCount(), 1);
    const auto cell = [](QAbstractItemModel *model, int row, int column) {
        return model->data(model->index(row, column));
    };
    QCOMPARE(cell(series, 0, 0).toString(), chart.series->displayName());
    QCOMPARE(cell(series, 0, 3).toString(), QStringLiteral("1 мин"));
    QCOMPARE(cell(series, 0, 4).toInt(), 5);
    QCOMPARE(cell(series, 0, 5).toDate(), Friday);
    QCOMPARE(cell(series, 0, 6).toString(), QStringLiteral("Область 1"));
    QVERIFY(!(series->flags(series->index(0, 4)) & Qt::ItemIsEditable));
    QCOMPARE(series->rowCount(series->index(0, 0)), 0);

    StudyItemsDataModel *studies = manager.studiesModel();
    QCOMPARE(studies->rowCount(), 1);
    QCOMPARE(cell(studies, 0, 1).toString(), QStringLiteral("RSI"));
    QCOMPARE(cell(studies, 0, 3).toString(), QStringLiteral("Область 2"));
    QCOMPARE(cell(studies, 0, 4).toString(), chart.series->displayName() + QStringLiteral(", 1 мин"));

    DrawingItemsDataModel *drawings = manager.drawingsModel();
    QCOMPARE(drawings->rowCount(), 1);
    QCOMPARE(cell(drawings, 0, 0).toString(), QStringLiteral("Линия тренда"));
    QCOMPARE(cell(drawings, 0, 2).toString(), pane->scales().value(0)->label());
    QCOMPARE(cell(drawings, 0, 3).toString(), QStringLiteral("Область 1"));

    // Buttons: nothing selected, then the only series (which cannot go), then the drawings.
    QVERIFY(!manager.form()->propertiesButton->isEnabled());
    manager.form()->seriesView->selectionModel()->select(
        series->index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QVERIFY(manager.form()->propertiesButton->isEnabled());
    QVERIFY(!manager.form()->delButton->isEnabled());
    QVERIFY(!manager.form()->addButton->isHidden());
    manager.form()->tabWidget->setCurrentIndex(ItemsManager::DrawingsTab);
    QVERIFY(manager.form()->addButton->isHidden());
    QVERIFY(!manager.form()->delButton->isEnabled());
    manager.form()->drawingsView->selectionModel()->select(
        drawings->index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QVERIFY(manager.form()->delButton->isEnabled());

    // Deleted on the chart: the row goes and the buttons follow.
    manager.form()->tabWidget->setCurrentIndex(ItemsManager::StudiesTab);
    manager.form()->studiesView->selectionModel()->select(
        studies->index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QVERIFY(manager.form()->delButton->isEnabled());
    delete chart.rsi;
    QCOMPARE(studies->rowCount(), 0);
    QVERIFY(!manager.form()->delButton->isEnabled());
    QVERIFY(!studies->itemAt(0));
    // Added on the chart: a row appears.
    QVERIFY(addStudy(view, chart.series, QStringLiteral("MACD")));
    QCOMPARE(studies->rowCount(), 1);
    QCOMPARE(cell(studies, 0, 1).toString(), QStringLiteral("MACD"));
    drawOn(view, DrawingItem::HorLine, QPointF(10, 0));
    view->onDrawingAdded();
    QCOMPARE(drawings->rowCount(), 2);
    // Every drawing removed from the chart at once.
    view->delAllDrawings();
    flush();
    QCOMPARE(drawings->rowCount(), 0);
    // The series goes (and its indicators with it): no row names a deleted item.
    SeriesItem *second = view->createDefaultSeriesItem(Kstr);
    settle(*view);
    QCOMPARE(series->rowCount(), 2);
    delete chart.series;
    flush();
    QCOMPARE(series->rowCount(), 1);
    QCOMPARE(series->itemAt(0), second);
    QCOMPARE(studies->rowCount(), 0);

    // The size the user gives it is kept, narrower than the first one too.
    const QSize chosen(std::max(manager.minimumWidth(), manager.width() - 40),
                       manager.height() + 60);
    manager.resize(chosen);
    manager.accept();
    ItemsManager again(view, &chart.w.window);
    QCOMPARE(again.size(), chosen);
}

void TestDialogs::managerVisibilityAndTimeFrame()
{
    Chart chart;
    makeChart(chart, true);
    MultiView *view = chart.w.view;
    ItemsManager manager(view, &chart.w.window);
    StudyItemsDataModel *studies = manager.studiesModel();
    QSignalSpy changed(studies, &QAbstractItemModel::dataChanged);
    QVERIFY(studies->setData(studies->index(0, 2), Qt::Unchecked, Qt::CheckStateRole));
    QVERIFY(!chart.rsi->isVisible());
    QCOMPARE(studies->data(studies->index(0, 3)).toString(), QStringLiteral("Скрыт"));
    QVERIFY(changed.count() >= 1);
    // The check-box delegate writes a bool.
    QVERIFY(studies->setData(studies->index(0, 2), true, Qt::EditRole));
    QVERIFY(chart.rsi->isVisible());
    QCOMPARE(studies->data(studies->index(0, 3)).toString(), QStringLiteral("Область 2"));

    // A drawing's box shows and sets the drawing's own visibility, also while its series is
    // hidden (and the drawing with it): it follows when the series is shown again.
    DrawingItem *trend = drawOn(view, DrawingItem::TrendLine, QPointF(30, 0));
    DrawingItemsDataModel *drawings = manager.drawingsModel();
    QCOMPARE(drawings->rowCount(), 1);
    const QModelIndex box = drawings->index(0, 1);
    SeriesItemsDataModel *seriesRows = manager.seriesModel();
    QVERIFY(seriesRows->setData(seriesRows->index(0, 2), Qt::Unchecked, Qt::CheckStateRole));
    QVERIFY(!trend->isVisible());
    QCOMPARE(box.data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QVERIFY(drawings->setData(box, Qt::Unchecked, Qt::CheckStateRole));
    QCOMPARE(box.data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
    QVERIFY(seriesRows->setData(seriesRows->index(0, 2), Qt::Checked, Qt::CheckStateRole));
    QVERIFY(!trend->isVisible());
    QVERIFY(seriesRows->setData(seriesRows->index(0, 2), Qt::Unchecked, Qt::CheckStateRole));
    QVERIFY(drawings->setData(box, Qt::Checked, Qt::CheckStateRole));
    QCOMPARE(box.data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QVERIFY(!trend->isVisible());
    QVERIFY(seriesRows->setData(seriesRows->index(0, 2), Qt::Checked, Qt::CheckStateRole));
    QVERIFY(trend->isVisible());
    QCOMPARE(box.data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QCOMPARE(box.sibling(0, 3).data().toString(), QStringLiteral("Область 1"));

    // The current time frame again changes nothing.
    SeriesItemsDataModel *series = manager.seriesModel();
    const int generation = chart.series->model()->layoutGeneration();
    const qint64 evaluated = chart.rsi->evaluatedBars();
    QVERIFY(!series->setData(series->index(0, 3), QStringLiteral("1 мин"), Qt::EditRole));
    QCOMPARE(chart.series->model()->layoutGeneration(), generation);
    QCOMPARE(chart.rsi->evaluatedBars(), evaluated);
    QVERIFY(!series->setData(series->index(0, 3), QStringLiteral("7 попугаев"), Qt::EditRole));
    // Another one goes the tool bar's way: the chart's time index follows at once.
    QSignalSpy current(view, &MultiView::currItemChanged);
    QVERIFY(series->setData(series->index(0, 3), QStringLiteral("5 мин"), Qt::EditRole));
    QCOMPARE(chart.series->model()->timeFrame(), TimeFrameValue(300));
    QCOMPARE(view->synchronizer()->baseFrame().value, 300);
    QVERIFY(current.count() >= 1);
    QCOMPARE(series->data(series->index(0, 3)).toString(), QStringLiteral("5 мин"));
    // Through the persistent combo editor as the user picks it.
    auto *editor = qobject_cast<QComboBox *>(
        manager.form()->seriesView->indexWidget(series->index(0, 3)));
    QVERIFY(editor);
    QCOMPARE(editor->currentText(), QStringLiteral("5 мин"));

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

void TestDialogs::managerDeleteAddAndProperties()
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

    // Add through the indicator selector: RSI comes as the last row, selected.
    bool seen = false;
    whenModal<StudySelector>([&](StudySelector *selector) {
        QTreeView *list = selector->form()->studiesView;
        const int row = StudyFilesModel::instance()->rowOf(QStringLiteral("RSI"));
        list->selectionModel()->select(list->model()->index(row, 0),
                                       QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        list->setCurrentIndex(list->model()->index(row, 0));
        selector->accept();
    }, &seen);
    ui->addButton->click();
    QVERIFY(seen);
    QCOMPARE(studies->rowCount(), 2);
    QCOMPARE(studies->data(studies->index(1, 1)).toString(), QStringLiteral("RSI"));
    QVERIFY(ui->studiesView->selectionModel()->isRowSelected(1, {}));

    // Properties from the table open the item's dialog; its change shows in the row.
    seen = false;
    whenModal<StudyItemPropertyDialog>([&](StudyItemPropertyDialog *dialog) {
        dialog->form()->nameEdit->setText(QStringLiteral("Второй RSI"));
        button(dialog->form()->buttonBox, QDialogButtonBox::Ok)->click();
    }, &seen);
    ui->propertiesButton->click();
    QVERIFY(seen);
    QCOMPARE(studies->data(studies->index(1, 0)).toString(), QStringLiteral("Второй RSI"));

    // A double click on a series row opens its dialog, except on the time-frame editor.
    ui->tabWidget->setCurrentIndex(ItemsManager::SeriesTab);
    seen = false;
    whenModal<SeriesItemPropertyDialog>([&](SeriesItemPropertyDialog *dialog) { dialog->reject(); }, &seen);
    manager.onSeriesDoubleClicked(manager.seriesModel()->index(0, 0));
    QVERIFY(seen);
    seen = false;
    manager.onSeriesDoubleClicked(manager.seriesModel()->index(0, 3));
    QTest::qWait(50);
    QVERIFY(!seen);

    // Deleting a series takes its indicators; the last series cannot go.
    ui->seriesView->selectionModel()->select(manager.seriesModel()->index(1, 0),
                                             QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QVERIFY(ui->delButton->isEnabled());
    ui->delButton->click();
    flush();
    QCOMPARE(manager.seriesModel()->rowCount(), 1);
    QCOMPARE(view->seriesItems().size(), 1);
    QCOMPARE(studies->rowCount(), 1);
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
          {QStringLiteral("Расписание"), QStringLiteral("Последние")});
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
    QTest::mouseClick(button(study.form()->buttonBox, QDialogButtonBox::Apply), Qt::LeftButton);
    QTRY_VERIFY(!oldView);
    QVERIFY(plots->cellWidget(0, 1));
    for (int column = 0; column < plots->columnCount(); ++column)
        QCOMPARE(plots->columnWidth(column), widths.at(column));
    QCOMPARE(legibilityFaults(&study), QStringList());
}

TA_REGISTER_TEST(TestDialogs)
#include "tst_dialogs.moc"
