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
#include <QCalendarWidget>
#include <QDir>
#include <QDoubleSpinBox>
#include <QHeaderView>
#include <QLabel>
#include <QProxyStyle>
#include <QPushButton>
#include <QSet>
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
    void seriesDialogHiddenAndNamelessItems();
    void seriesDialogApplyAndDeletion();
    void studyDialogRoundTrip_data();
    void studyDialogRoundTrip();
    void studyDialogSeriesAndPlacement();
    void drawingDialogs_data();
    void drawingDialogs();
    void drawingDialogRefusesMomentsOutsideTheChart();
    void managerTables();
    void managerVisibilityAndTimeFrame();
    void managerFollowsTheChart();
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

void TestDialogs::seriesDialogShowsTheSeries()
{
    Chart chart;
    makeChart(chart, true);
    SeriesItemPropertyDialog dialog(chart.series, chart.w.view, &chart.w.window);
    auto *ui = dialog.form();
    QCOMPARE(dialog.windowTitle(),
             QStringLiteral("Свойства графика инструмента ") + chart.series->displayName());
    QCOMPARE(dialog.windowModality(), Qt::WindowModal);
    QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));
    QCOMPARE(ui->nameEdit->text(), chart.series->displayName());
    QVERIFY(!ui->securityName->text().isEmpty());
    QCOMPARE(ui->timeFrameComboBox->count(), int(standardTimeFrames().size()));
    QCOMPARE(ui->timeFrameComboBox->currentText(), QStringLiteral("1 мин"));
    QVERIFY(ui->rangeDatesRadioButton->isChecked());
    QCOMPARE(ui->dateFromEdit->date(), Monday);
    QCOMPARE(ui->dateToEdit->date(), Friday);
    QCOMPARE(ui->daysBackSpinBox->value(), 5);
    QCOMPARE(ui->dateToEdit->minimumDate(), QDate(1970, 1, 1));
    QVERIFY(ui->dateFromEdit->calendarWidget()->isGridVisible());
    QCOMPARE(comboTexts(ui->viewComboBox), QStringList({"Свечки", "Бары", "Линия"}));
    QCOMPARE(comboTexts(ui->axisPosComboBox),
             QStringList({"Справа", "Слева", "С обеих сторон", "Невидимая ось"}));
    // The range as the scale shows it, in the instrument's decimals.
    QCOMPARE(ui->autoScaleComboBox->count(), 3);
    QVERIFY(ui->autoScaleComboBox->itemText(2).startsWith(QStringLiteral("Диапазон: [")));
    QVERIFY(ui->autoScaleComboBox->itemText(2).endsWith(QLatin1Char(']')));
    QCOMPARE(ui->autoScaleComboBox->currentData().toInt(), 1);
    QCOMPARE(ui->axisPosComboBox->currentData().toInt(), 2);
    // The placement entry of its own area and scale is chosen; separators carry nothing.
    QVERIFY(ui->positionComboBox->currentText().startsWith(QStringLiteral("Область 1 - ось")));
    // Alone in its area, the series is offered no new area of its own.
    QVERIFY(!comboTexts(ui->positionComboBox).contains(QStringLiteral("Новая область - отдельная ось")));
    QVERIFY(comboTexts(ui->positionComboBox).contains(QStringLiteral("Область 2 - отдельная ось")));
    // The candle's wick is called as on the settings page.
    QCOMPARE(ui->wickSelfRadioButton->text(), QStringLiteral("Тень своим цветом"));
    QCOMPARE(ui->wickBodyRadioButton->text(), QStringLiteral("Тень цветом свечи"));
    // The colour pages follow the view.
    QCOMPARE(ui->colorStack->currentIndex(), chart.series->view());
    ui->viewComboBox->setCurrentIndex(2);
    QCOMPARE(ui->colorStack->currentIndex(), 2);

    // A frame the list does not offer selects none.
    chart.series->changeTimeFrame(TimeFrameValue(420));
    SeriesItemPropertyDialog odd(chart.series, chart.w.view, &chart.w.window);
    QCOMPARE(odd.form()->timeFrameComboBox->currentIndex(), -1);
    QVERIFY(!written(odd).contains(QStringLiteral("timeFrameValue")));

    // The size is remembered per dialog class.
    {
        SeriesItemPropertyDialog sized(chart.series, chart.w.view, &chart.w.window);
        sized.resize(531, 602);
    }
    SeriesItemPropertyDialog again(chart.series, chart.w.view, &chart.w.window);
    QCOMPARE(again.size(), QSize(531, 602));
}

void TestDialogs::seriesDialogRoundTrip_data()
{
    using Edit = std::function<void(Ui::SeriesItemPropertyDialog *)>;
    QTest::addColumn<Edit>("edit");
    QTest::addColumn<Edit>("check");
    QTest::newRow("name") << Edit([](auto *ui) { ui->nameEdit->setText(QStringLiteral("Мой")); })
                          << Edit([](auto *ui) { QCOMPARE(ui->nameEdit->text(), QStringLiteral("Мой")); });
    QTest::newRow("time frame")
        << Edit([](auto *ui) { ui->timeFrameComboBox->setCurrentText(QStringLiteral("5 мин")); })
        << Edit([](auto *ui) { QCOMPARE(ui->timeFrameComboBox->currentText(), QStringLiteral("5 мин")); });
    QTest::newRow("last days")
        << Edit([](auto *ui) {
               ui->rangeBackRadioButton->setChecked(true);
               ui->daysBackSpinBox->setValue(12);
           })
        << Edit([](auto *ui) {
               QVERIFY(ui->rangeBackRadioButton->isChecked());
               QCOMPARE(ui->daysBackSpinBox->value(), 12);
               QCOMPARE(ui->dateToEdit->date(), SaturdayNoon.getDateTime().date());
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
    QTest::newRow("width") << Edit([](auto *ui) { ui->lineWidthSpinBox->setValue(4); })
                           << Edit([](auto *ui) { QCOMPARE(ui->lineWidthSpinBox->value(), 4); });
    QTest::newRow("view") << Edit([](auto *ui) { ui->viewComboBox->setCurrentIndex(1); })
                          << Edit([](auto *ui) {
                                 QCOMPARE(ui->viewComboBox->currentIndex(), 1);
                                 QCOMPARE(ui->colorStack->currentIndex(), 1);
                             });
    QTest::newRow("candle colours")
        << Edit([](auto *ui) {
               ui->wickSelfRadioButton->setChecked(true);
               ui->wickColorButton->setColor(Orange);
               ui->upColorButton->setColor(Violet);
               ui->upBoundColorButton->setColor(Qt::cyan);
               ui->downColorButton->setColor(Qt::magenta);
               ui->downBoundColorButton->setColor(Qt::yellow);
           })
        << Edit([](auto *ui) {
               QVERIFY(ui->wickSelfRadioButton->isChecked());
               QCOMPARE(ui->wickColorButton->color(), Orange);
               QCOMPARE(ui->upColorButton->color(), Violet);
               QCOMPARE(ui->upBoundColorButton->color(), QColor(Qt::cyan));
               QCOMPARE(ui->downColorButton->color(), QColor(Qt::magenta));
               QCOMPARE(ui->downBoundColorButton->color(), QColor(Qt::yellow));
           });
    QTest::newRow("bar and line colours")
        << Edit([](auto *ui) {
               ui->minmaxColorButton->setColor(Orange);
               ui->inColorButton->setColor(Violet);
               ui->outColorButton->setColor(Qt::cyan);
               ui->lineColorButton->setColor(Qt::magenta);
           })
        << Edit([](auto *ui) {
               QCOMPARE(ui->minmaxColorButton->color(), Orange);
               QCOMPARE(ui->inColorButton->color(), Violet);
               QCOMPARE(ui->outColorButton->color(), QColor(Qt::cyan));
               QCOMPARE(ui->lineColorButton->color(), QColor(Qt::magenta));
           });
    QTest::newRow("axis and scaling")
        << Edit([](auto *ui) {
               ui->axisPosComboBox->setCurrentIndex(1);
               ui->autoScaleComboBox->setCurrentIndex(1);
           })
        << Edit([](auto *ui) {
               QCOMPARE(ui->axisPosComboBox->currentText(), QStringLiteral("Слева"));
               QCOMPARE(ui->autoScaleComboBox->currentText(), QStringLiteral("По экрану"));
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
    const QVariantMap before = flatten(*std::make_unique<MapSettings>(savedState(*chart.series)));

    // Cancel after the change: the series is as before.
    bool seen = false;
    whenModal<SeriesItemPropertyDialog>([&](SeriesItemPropertyDialog *dialog) {
        edit(dialog->form());
        button(dialog->form()->buttonBox, QDialogButtonBox::Cancel)->click();
    }, &seen);
    view->changeItemProperties(chart.series);
    QVERIFY(seen);
    settle(*view);
    MapSettings afterCancel = savedState(*chart.series);
    QCOMPARE(flatten(afterCancel), before);

    // OK: reopened, the dialog shows the new value.
    seen = false;
    whenModal<SeriesItemPropertyDialog>([&](SeriesItemPropertyDialog *dialog) {
        edit(dialog->form());
        QVERIFY(button(dialog->form()->buttonBox, QDialogButtonBox::Ok)->isEnabled());
        button(dialog->form()->buttonBox, QDialogButtonBox::Ok)->click();
    }, &seen);
    view->changeItemProperties(chart.series);
    QVERIFY(seen);
    settle(*view);
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

void TestDialogs::seriesDialogHiddenAndNamelessItems()
{
    Chart chart;
    makeChart(chart, true);
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

void TestDialogs::studyDialogRoundTrip_data()
{
    using Edit = std::function<void(Ui::StudyItemPropertyDialog *)>;
    QTest::addColumn<Edit>("edit");
    QTest::addColumn<Edit>("check");
    const auto cell = [](QTableWidget *table, int column) { return table->cellWidget(0, column); };
    QTest::newRow("name") << Edit([](auto *ui) { ui->nameEdit->setText(QStringLiteral("Мой RSI")); })
                          << Edit([](auto *ui) { QCOMPARE(ui->nameEdit->text(), QStringLiteral("Мой RSI")); });
    QTest::newRow("plot view")
        << Edit([cell](auto *ui) { qobject_cast<QComboBox *>(cell(ui->stylesTable, 1))->setCurrentIndex(2); })
        << Edit([cell](auto *ui) {
               QCOMPARE(qobject_cast<QComboBox *>(cell(ui->stylesTable, 1))->currentText(),
                        QStringLiteral("Точки"));
           });
    QTest::newRow("plot colour")
        << Edit([cell](auto *ui) { qobject_cast<ColorButton *>(cell(ui->stylesTable, 2))->setColor(Violet); })
        << Edit([cell](auto *ui) {
               QCOMPARE(qobject_cast<ColorButton *>(cell(ui->stylesTable, 2))->color(), Violet);
           });
    QTest::newRow("plot width")
        << Edit([cell](auto *ui) { qobject_cast<QSpinBox *>(cell(ui->stylesTable, 3))->setValue(3); })
        << Edit([cell](auto *ui) { QCOMPARE(qobject_cast<QSpinBox *>(cell(ui->stylesTable, 3))->value(), 3); });
    QTest::newRow("parameter")
        << Edit([](auto *ui) { ui->parametersTable->item(0, 1)->setText(QStringLiteral("9")); })
        << Edit([](auto *ui) { QCOMPARE(ui->parametersTable->item(0, 1)->text(), QStringLiteral("9")); });
    QTest::newRow("decimals")
        << Edit([](auto *ui) {
               ui->customPrecisionRadioButton->setChecked(true);
               ui->decimalsComboBox->setCurrentIndex(4);
           })
        << Edit([](auto *ui) {
               QVERIFY(ui->customPrecisionRadioButton->isChecked());
               QVERIFY(ui->decimalsComboBox->isEnabled());
               QCOMPARE(ui->decimalsComboBox->currentIndex(), 4);
           });
    QTest::newRow("scale range") << Edit([](auto *ui) { ui->changeScaleRangeCheckBox->setChecked(false); })
                                 << Edit([](auto *ui) { QVERIFY(!ui->changeScaleRangeCheckBox->isChecked()); });
}

void TestDialogs::studyDialogRoundTrip()
{
    using Edit = std::function<void(Ui::StudyItemPropertyDialog *)>;
    QFETCH(Edit, edit);
    QFETCH(Edit, check);
    Chart chart;
    makeChart(chart, true);
    MultiView *view = chart.w.view;
    {
        StudyItemPropertyDialog dialog(chart.rsi, view, &chart.w.window);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Свойства индикатора RSI"));
        QCOMPARE(dialog.form()->stylesTable->horizontalHeaderItem(0)->text(), QStringLiteral("График"));
        QCOMPARE(dialog.form()->stylesTable->horizontalHeaderItem(3)->text(), QStringLiteral("Толщина"));
        QCOMPARE(dialog.form()->parametersTable->horizontalHeaderItem(1)->text(), QStringLiteral("Значение"));
        QVERIFY(dialog.form()->parametersTable->rowCount() >= 1);
        QVERIFY(!(dialog.form()->parametersTable->item(0, 0)->flags() & Qt::ItemIsEditable));
        QVERIFY(comboTexts(dialog.form()->axisPosComboBox).contains(QStringLiteral("Ось серии")));
        QCOMPARE(dialog.form()->decimalsComboBox->isEnabled(), chart.rsi->customPrecision());
    }
    const QVariantMap before = flatten(*std::make_unique<MapSettings>(savedState(*chart.rsi)));
    bool seen = false;
    whenModal<StudyItemPropertyDialog>([&](StudyItemPropertyDialog *dialog) {
        edit(dialog->form());
        button(dialog->form()->buttonBox, QDialogButtonBox::Cancel)->click();
    }, &seen);
    view->changeItemProperties(chart.rsi);
    QVERIFY(seen);
    MapSettings afterCancel = savedState(*chart.rsi);
    QCOMPARE(flatten(afterCancel), before);

    seen = false;
    whenModal<StudyItemPropertyDialog>([&](StudyItemPropertyDialog *dialog) {
        edit(dialog->form());
        button(dialog->form()->buttonBox, QDialogButtonBox::Ok)->click();
    }, &seen);
    view->changeItemProperties(chart.rsi);
    QVERIFY(seen);
    settle(*view);
    QVERIFY2(chart.rsi->scriptOk(), qPrintable(chart.rsi->errorText()));
    StudyItemPropertyDialog reopened(chart.rsi, view, &chart.w.window);
    check(reopened.form());
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
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("keys");
    const QStringList points = {"time1", "time2", "price1", "price2"};
    QTest::newRow("trend") << int(DrawingItem::TrendLine) << "Свойства линии тренда"
                           << QStringList{"lineWidth", "color", "extendLeft", "extendRight", "parentScale"} + points;
    QTest::newRow("horizontal") << int(DrawingItem::HorLine) << "Свойства горизонтальной линии"
                                << QStringList{"lineWidth", "color", "parentScale", "price"};
    QTest::newRow("levels") << int(DrawingItem::FibonacciLines) << "Свойства уровней Фибоначчи"
                            << QStringList{"lineWidth", "color", "extendRight", "parentScale"} + points;
    QTest::newRow("arcs") << int(DrawingItem::FibonacciArcs) << "Свойства дуг Фибоначчи"
                          << QStringList{"lineWidth", "color", "parentScale"} + points;
    QTest::newRow("fan") << int(DrawingItem::FibonacciFan) << "Свойства веера Фибоначчи"
                         << QStringList{"lineWidth", "color", "parentScale"} + points;
}

void TestDialogs::drawingDialogs()
{
    QFETCH(int, kind);
    QFETCH(QString, title);
    QFETCH(QStringList, keys);
    Chart chart;
    makeChart(chart, false);
    MultiView *view = chart.w.view;
    SubChartWidget *pane = view->subCharts().value(0);
    ParentScaleItem *scale = pane->scales().value(0);
    const auto scenePoint = [&](double index, double price) {
        return QPointF(index, scale->mapToScene(QPointF(0, -price)).y());
    };
    DrawingItem *item = DrawingServices::makeDrawing(kind, scale, view->synchronizer(),
                                                     scenePoint(60, 104.5), Orange, 1);
    if (auto *line = qobject_cast<LineDrawingItem *>(item))
        line->setSceneP2(scenePoint(120, 105.5));
    pane->setUpItem(item);
    settle(*view);

    auto dialog = DrawingPropertyDialog::create(item, view);
    QVERIFY(dialog);
    QCOMPARE(dialog->windowTitle(), title);
    auto *ui = dialog->form();
    QCOMPARE(ui->colorButton->color(), Orange);
    QCOMPARE(ui->axisComboBox->count(), 1);
    QCOMPARE(ui->axisComboBox->currentText(), scale->label());
    QCOMPARE(ui->price1SpinBox->decimals(), scale->decimals());
    QCOMPARE(ui->price1SpinBox->value(), 104.5);
    QVERIFY(ui->buttonBox->button(QDialogButtonBox::Ok)->isEnabled());
    MapSettings map;
    dialog->writeSettings(map);
    QCOMPARE(map.allKeys().size(), keys.size());
    for (const QString &key : keys)
        QVERIFY2(map.contains(key), qPrintable(key));
    dialog.reset();

    // Cancel after changes leaves the drawing as it was; OK applies and the dialog shows it.
    const auto change = [&](DrawingPropertyDialog *open) {
        auto *f = open->form();
        f->colorButton->setColor(Violet);
        f->lineWidthSpinBox->setValue(3);
        f->price1SpinBox->setValue(104.25);
        if (kind != DrawingItem::HorLine)
            f->time1Edit->setDateTime(at(Monday, 30).getDateTime());
        f->extendLeftCheckBox->setChecked(true);
        f->extendRightCheckBox->setChecked(false);
    };
    MapSettings before = savedState(*item);
    bool seen = false;
    whenModal<DrawingPropertyDialog>([&](DrawingPropertyDialog *open) {
        change(open);
        open->reject();
    }, &seen);
    view->changeItemProperties(item);
    QVERIFY(seen);
    MapSettings afterCancel = savedState(*item);
    QCOMPARE(flatten(afterCancel), flatten(before));

    seen = false;
    whenModal<DrawingPropertyDialog>([&](DrawingPropertyDialog *open) {
        change(open);
        open->form()->buttonBox->button(QDialogButtonBox::Ok)->click();
    }, &seen);
    item->onPropertyAction();
    QVERIFY(seen);
    settle(*view);
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
    // OK without changes moves nothing, though the prices are shown rounded.
    MapSettings settled = savedState(*item);
    seen = false;
    whenModal<DrawingPropertyDialog>([&](DrawingPropertyDialog *open) { open->accept(); }, &seen);
    item->onPropertyAction();
    QVERIFY(seen);
    MapSettings unchanged = savedState(*item);
    QCOMPARE(flatten(unchanged), flatten(settled));

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
    DrawingItem *item = DrawingServices::makeDrawing(DrawingItem::TrendLine, scale,
                                                     view->synchronizer(), QPointF(30, 0), Orange, 1);
    qobject_cast<LineDrawingItem *>(item)->setSceneP2(QPointF(90, 0));
    pane->setUpItem(item);
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
    DrawingItem *gone = DrawingServices::makeDrawing(DrawingItem::HorLine, scale,
                                                     view->synchronizer(), QPointF(30, 0), Orange, 1);
    pane->setUpItem(gone);
    DrawingItem::setPropertyEditor([](DrawingItem *drawing, QWidget *, MapSettings &) {
        delete drawing;
        return true;
    });
    gone->onPropertyAction();
    QCOMPARE(takeRefusal(view), QStringLiteral("Объект был удалён, пока открыт диалог свойств"));
}

// --- items manager --------------------------------------------------------------------------

void TestDialogs::managerTables()
{
    Chart chart;
    makeChart(chart, true);
    MultiView *view = chart.w.view;
    SubChartWidget *pane = view->subCharts().value(0);
    DrawingItem *trend = DrawingServices::makeDrawing(DrawingItem::TrendLine, pane->scales().value(0),
                                                      view->synchronizer(), QPointF(30, 0), Orange, 1);
    pane->setUpItem(trend);
    settle(*view);

    // Its first size, every column of every tab whole, is checked with the other dialogs'.
    AppSettings(ItemsManager::sizeGroup()).remove(QStringLiteral("dialog_size"));
    ItemsManager manager(view, &chart.w.window);
    manager.show();
    QVERIFY(QTest::qWaitForWindowExposed(&manager));
    manager.form()->tabWidget->setCurrentIndex(ItemsManager::SeriesTab);
    QCOMPARE(manager.windowTitle(), QStringLiteral("Менеджер объектов"));
    QCOMPARE(manager.form()->tabWidget->tabText(0), QStringLiteral("Серии"));
    QCOMPARE(manager.form()->tabWidget->tabText(1), QStringLiteral("Индикаторы"));
    QCOMPARE(manager.form()->tabWidget->tabText(2), QStringLiteral("Рисование"));
    const auto headers = [](QAbstractItemModel *model) {
        QStringList list;
        for (int c = 0; c < model->columnCount(); ++c)
            list.append(model->headerData(c, Qt::Horizontal).toString());
        return list;
    };
    QCOMPARE(headers(manager.seriesModel()),
             QStringList({"Имя", "Инструмент", "Видимость", "Таймфрейм", "Дней назад", "От даты", "Расположение"}));
    QCOMPARE(headers(manager.studiesModel()),
             QStringList({"Имя", "Индикатор", "Видимость", "Расположение", "Серия"}));
    QCOMPARE(headers(manager.drawingsModel()), QStringList({"Тип", "Видимость", "Ось", "Расположение"}));

    SeriesItemsDataModel *series = manager.seriesModel();
    QCOMPARE(series->rowCount(), 1);
    const auto cell = [](QAbstractItemModel *model, int row, int column, int role = Qt::DisplayRole) {
        return model->data(model->index(row, column), role);
    };
    QCOMPARE(cell(series, 0, 0).toString(), chart.series->displayName());
    QVERIFY(!cell(series, 0, 1).toString().isEmpty());
    QCOMPARE(cell(series, 0, 2).toString(), QString());
    QCOMPARE(cell(series, 0, 2, Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QCOMPARE(cell(series, 0, 3).toString(), QStringLiteral("1 мин"));
    QCOMPARE(cell(series, 0, 3, Qt::EditRole).toInt(), int(standardTimeFrames().indexOf(TimeFrameValue(60))));
    QCOMPARE(cell(series, 0, 4).toInt(), 5);
    QCOMPARE(cell(series, 0, 5).toDate(), Friday);
    QCOMPARE(cell(series, 0, 6).toString(), QStringLiteral("Область 1"));
    for (int centred : {2, 4, 5})
        QCOMPARE(cell(series, 0, centred, Qt::TextAlignmentRole).toInt(), int(Qt::AlignCenter));
    QCOMPARE(cell(series, 0, 0, Qt::TextAlignmentRole).toInt(), int(Qt::AlignLeft | Qt::AlignVCenter));
    QVERIFY(series->flags(series->index(0, 2)) & Qt::ItemIsUserCheckable);
    QVERIFY(series->flags(series->index(0, 3)) & Qt::ItemIsEditable);
    QVERIFY(!(series->flags(series->index(0, 4)) & Qt::ItemIsEditable));
    QCOMPARE(series->rowCount(series->index(0, 0)), 0);
    QVERIFY(manager.form()->seriesView->isPersistentEditorOpen(series->index(0, 3)));

    StudyItemsDataModel *studies = manager.studiesModel();
    QCOMPARE(studies->rowCount(), 1);
    QCOMPARE(cell(studies, 0, 1).toString(), QStringLiteral("RSI"));
    QCOMPARE(cell(studies, 0, 3).toString(), QStringLiteral("Область 2"));
    QCOMPARE(cell(studies, 0, 4).toString(), chart.series->displayName() + QStringLiteral(", 1 мин"));
    QCOMPARE(cell(studies, 0, 2, Qt::TextAlignmentRole).toInt(), int(Qt::AlignCenter));

    DrawingItemsDataModel *drawings = manager.drawingsModel();
    QCOMPARE(drawings->rowCount(), 1);
    QCOMPARE(cell(drawings, 0, 0).toString(), QStringLiteral("Линия тренда"));
    QCOMPARE(cell(drawings, 0, 2).toString(), pane->scales().value(0)->label());
    QCOMPARE(cell(drawings, 0, 3).toString(), QStringLiteral("Область 1"));
    QCOMPARE(cell(drawings, 0, 1, Qt::TextAlignmentRole).toInt(), int(Qt::AlignCenter));

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
    SubChartWidget *pane = view->subCharts().value(0);
    DrawingItem *trend = DrawingServices::makeDrawing(DrawingItem::TrendLine, pane->scales().value(0),
                                                      view->synchronizer(), QPointF(30, 0), Orange, 1);
    pane->setUpItem(trend);
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

void TestDialogs::managerFollowsTheChart()
{
    Chart chart;
    makeChart(chart, true);
    MultiView *view = chart.w.view;
    ItemsManager manager(view, &chart.w.window);
    StudyItemsDataModel *studies = manager.studiesModel();
    DrawingItemsDataModel *drawings = manager.drawingsModel();
    QCOMPARE(studies->rowCount(), 1);
    manager.form()->tabWidget->setCurrentIndex(ItemsManager::StudiesTab);
    manager.form()->studiesView->selectionModel()->select(
        studies->index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QVERIFY(manager.form()->delButton->isEnabled());

    // Deleted on the chart: the row goes and the buttons follow.
    delete chart.rsi;
    QCOMPARE(studies->rowCount(), 0);
    QVERIFY(!manager.form()->delButton->isEnabled());
    QVERIFY(!studies->itemAt(0));

    // Added on the chart: a row appears.
    ScriptStudyItem *macd = addStudy(view, chart.series, QStringLiteral("MACD"));
    QVERIFY(macd);
    QCOMPARE(studies->rowCount(), 1);
    QCOMPARE(studies->data(studies->index(0, 1)).toString(), QStringLiteral("MACD"));
    SubChartWidget *pane = view->subCharts().value(0);
    DrawingItem *line = DrawingServices::makeDrawing(DrawingItem::HorLine, pane->scales().value(0),
                                                     view->synchronizer(), QPointF(10, 0), Orange, 1);
    pane->setUpItem(line);
    view->onDrawingAdded();
    QCOMPARE(drawings->rowCount(), 1);
    // Every drawing removed from the chart at once.
    view->delAllDrawings();
    flush();
    QCOMPARE(drawings->rowCount(), 0);
    // The series goes (and its indicators with it): no row names a deleted item.
    SeriesItem *second = view->createDefaultSeriesItem(Kstr);
    settle(*view);
    QCOMPARE(manager.seriesModel()->rowCount(), 2);
    delete chart.series;
    flush();
    QCOMPARE(manager.seriesModel()->rowCount(), 1);
    QCOMPARE(manager.seriesModel()->itemAt(0), second);
    QCOMPARE(studies->rowCount(), 0);
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
        DrawingItem *item = DrawingServices::makeDrawing(
            kind, scale, view->synchronizer(), scenePoint(indexAt(from), 104.4 + 0.2 * kind), Orange, 2);
        if (auto *line = qobject_cast<LineDrawingItem *>(item))
            line->setSceneP2(scenePoint(indexAt(from + 120), 105.2 + 0.2 * kind));
        pane->setUpItem(item);
        drawings.append(item);
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
    // The chart itself: the trend line in its colour halfway along.
    const QImage chartImage = chart.w.window.grab().toImage();
    if (!directory.isEmpty())
        QVERIFY(chartImage.save(QDir(directory).filePath(QStringLiteral("chart-items.png"))));
    auto *trend = static_cast<LineDrawingItem *>(drawings.first());
    const QPoint middle = pane->view()->viewport()->mapTo(
        &chart.w.window, pane->view()->mapFromScene(trend->mapToScene(trend->line().pointAt(0.5))));
    bool orange = false;
    for (int dy = -2; dy <= 2; ++dy)
        orange = orange || QColor(chartImage.pixel(middle + QPoint(0, dy))) == Orange;
    QVERIFY2(orange, "the trend line halfway along");

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
