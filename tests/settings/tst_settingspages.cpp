// The settings pages: what each shows for stored values (good, missing and damaged), what it
// writes on apply, and the general page's history check box, migration and warning.

#include "appsettings.h"
#include "chartdefaults.h"
#include "icore.h"
#include "iplugin.h"
#include "legibility.h"
#include "mapsettings.h"
#include "optionsdialog.h"
#include "chartcolors.h"
#include "colorbutton.h"
#include "defaultsettings.h"
#include "tacolordefaultsettingspage.h"
#include "tacolorsettingspage.h"
#include "seriesitemdefaultpropertypage.h"
#include "studyitemdefaultpropertypage.h"
#include "taconfirmationoptionspage.h"
#include "tageneralsettingspage.h"
#include "tamarginssettingspage.h"
#include "testenvironment.h"
#include "testregistry.h"
#include "timeframevalue.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QFrame>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

// A loaded plug-in by name only.
class NamedPlugin : public QObject, public IPlugin
{
    Q_OBJECT
    Q_INTERFACES(IPlugin)
public:
    explicit NamedPlugin(const char *name)
        : m_name(name)
    {
    }
    QLatin1String name() const override { return QLatin1String(m_name); }
    QString displayName() const override { return QString::fromLatin1(m_name); }
    QString vendor() const override { return {}; }
    QString version() const override { return {}; }
    QString description() const override { return {}; }
    bool initialize(ICore *) override { return true; }
    void shutdown() override {}

private:
    const char *m_name;
};

template <class T>
T *child(QWidget *form, const char *name)
{
    T *widget = form ? form->findChild<T *>(QString::fromLatin1(name)) : nullptr;
    if (!widget)
        qWarning("no %s in the form", name);
    return widget;
}

void clearGroup(const QString &group)
{
    AppSettings(group).remove(QString());
}

// The pages by id; window pages work on a store of their own.
std::unique_ptr<IOptionsPage> makePage(const QString &id)
{
    if (id == QLatin1String("TechAnalysis.General"))
        return std::make_unique<TAGeneralSettingsPage>();
    if (id == QLatin1String("TechAnalysis.SeriesDefaults"))
        return std::make_unique<SeriesItemDefaultPropertyPage>();
    if (id == QLatin1String("TechAnalysis.StudyDefaults"))
        return std::make_unique<StudyItemDefaultPropertyPage>();
    if (id == QLatin1String("TechAnalysis.TAColorDefaults"))
        return std::make_unique<TAColorDefaultSettingsPage>();
    if (id == QLatin1String("TechAnalysis.Confirmations"))
        return std::make_unique<TAConfirmationOptionsPage>();
    if (id == QLatin1String("TechAnalysis.WindowColors"))
        return std::make_unique<TAColorSettingsPage>();
    return std::make_unique<TAMarginsSettingsPage>();
}

// The radio button that says "false" beside the one named after a key.
QString partnerOf(const QString &radio)
{
    if (radio == QLatin1String("barOnEnd"))
        return QStringLiteral("barOnStart");
    return QStringLiteral("wickUpDownColor");
}

// A field's value as the form shows it, by the kind of widget.
QVariant fieldValue(QWidget *form, const QString &name)
{
    QWidget *widget = form->findChild<QWidget *>(name);
    if (auto *box = qobject_cast<QCheckBox *>(widget))
        return box->isChecked();
    if (auto *radio = qobject_cast<QRadioButton *>(widget))
        return radio->isChecked();
    if (auto *spin = qobject_cast<QSpinBox *>(widget))
        return spin->value();
    if (auto *button = qobject_cast<ColorButton *>(widget))
        return button->color();
    if (auto *combo = qobject_cast<QComboBox *>(widget)) {
        const QVariant data = combo->currentData();
        if (data.canConvert<TimeFrameValue>() && data.typeId() != QMetaType::Int)
            return data.value<TimeFrameValue>().value;
        return data.isValid() ? data : QVariant(combo->currentIndex());
    }
    return {};
}

void setField(QWidget *form, const QString &name, const QVariant &value)
{
    QWidget *widget = form->findChild<QWidget *>(name);
    if (auto *box = qobject_cast<QCheckBox *>(widget))
        box->setChecked(value.toBool());
    else if (auto *radio = qobject_cast<QRadioButton *>(widget))
        (value.toBool() ? radio : form->findChild<QRadioButton *>(partnerOf(name)))->setChecked(true);
    else if (auto *spin = qobject_cast<QSpinBox *>(widget))
        spin->setValue(value.toInt());
    else if (auto *button = qobject_cast<ColorButton *>(widget))
        button->setColor(value.value<QColor>());
    else if (auto *combo = qobject_cast<QComboBox *>(widget)) {
        for (int i = 0; i < combo->count(); ++i) {
            const QVariant data = combo->itemData(i);
            const QVariant shown = data.canConvert<TimeFrameValue>() && data.typeId() != QMetaType::Int
                                       ? QVariant(data.value<TimeFrameValue>().value)
                                       : (data.isValid() ? data : QVariant(i));
            if (shown == value)
                combo->setCurrentIndex(i);
        }
    }
}

} // namespace

class TestSettingsPages : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void generalPageHistoryBox();
    void generalPageMigratesEnabled();
    void generalPageWarnsAboutPlacement();
    void colourPagesAndTheirReset();
    void everyKeyRoundTrips_data();
    void everyKeyRoundTrips();
    void placementValuesOutOfTheList();
    void seriesDefaultsOfTooManyBarsAreRefused();
    void pagesAsShownAndCancelled();
    void marginsRoundTrip_data();
    void marginsRoundTrip();

private:
    QTemporaryDir m_dir;
    MapSettings m_none;
};

void TestSettingsPages::initTestCase()
{
    TA_SET_UP_TEST_ENVIRONMENT(m_dir, "settingspages.ini");
}

void TestSettingsPages::init()
{
    for (const char *group : {"TechAnalysis/General", "TechAnalysis/NetworkDataManager",
                              "TechAnalysis/Confirmations", "Defaults/TAMainWindow"})
        clearGroup(QString::fromLatin1(group));
}

void TestSettingsPages::generalPageHistoryBox()
{
    {
        // No history plug-in: no check box, but the stored value is still written on apply.
        AppSettings(QStringLiteral("TechAnalysis/General")).setValue(QStringLiteral("enabled"), false);
        TAGeneralSettingsPage page;
        QWidget parent;
        QWidget *form = page.createPage(m_none, &parent);
        auto *box = child<QCheckBox>(form, "useHDXForHistoricalMarketData");
        QVERIFY(box->isHidden());
        QVERIFY(!box->isChecked());
        QSignalSpy changed(&page, &TAOptionsPage::changed);
        page.apply(m_none);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(AppSettings(QStringLiteral("TechAnalysis/General")).value(QStringLiteral("enabled")).toBool(), false);
        page.finish();
    }
    {
        // With a plug-in named exactly "hdxplugin" the box shows; "HDXplugin" does not count.
        NamedPlugin other("HDXplugin");
        NamedPlugin history("hdxplugin");
        const auto unload = qScopeGuard([&] {
            ICore::instance()->removePlugin(&history);
            ICore::instance()->removePlugin(&other);
        });
        ICore::instance()->addPlugin(&other);
        QVERIFY(!TAGeneralSettingsPage::historyPluginLoaded());
        ICore::instance()->addPlugin(&history);
        QVERIFY(TAGeneralSettingsPage::historyPluginLoaded());
        AppSettings(QStringLiteral("TechAnalysis/General")).setValue(QStringLiteral("enabled"), QStringLiteral("garbage"));
        TAGeneralSettingsPage page;
        QWidget parent;
        QWidget *form = page.createPage(m_none, &parent);
        auto *box = child<QCheckBox>(form, "useHDXForHistoricalMarketData");
        QVERIFY(!box->isHidden());
        // A damaged value shows the default.
        QVERIFY(box->isChecked());
        box->setChecked(false);
        page.apply(m_none);
        QCOMPARE(AppSettings(QStringLiteral("TechAnalysis/General")).value(QStringLiteral("enabled")).toBool(), false);
        page.finish();
        // After finish, apply writes nothing (the form is gone).
        AppSettings(QStringLiteral("TechAnalysis/General")).setValue(QStringLiteral("enabled"), true);
        page.apply(m_none);
        QCOMPARE(AppSettings(QStringLiteral("TechAnalysis/General")).value(QStringLiteral("enabled")).toBool(), true);
    }
}

void TestSettingsPages::generalPageMigratesEnabled()
{
    AppSettings(QStringLiteral("TechAnalysis/NetworkDataManager")).setValue(QStringLiteral("enabled"), false);
    TAGeneralSettingsPage page;
    QWidget parent;
    QWidget *form = page.createPage(m_none, &parent);
    QVERIFY(!child<QCheckBox>(form, "useHDXForHistoricalMarketData")->isChecked());
    QCOMPARE(AppSettings(QStringLiteral("TechAnalysis/General")).value(QStringLiteral("enabled")).toBool(), false);
    QVERIFY(!AppSettings(QStringLiteral("TechAnalysis/NetworkDataManager")).contains(QStringLiteral("enabled")));
    // An own value is never replaced by the old one.
    AppSettings(QStringLiteral("TechAnalysis/NetworkDataManager")).setValue(QStringLiteral("enabled"), true);
    TAGeneralSettingsPage::migrateEnabled();
    QCOMPARE(AppSettings(QStringLiteral("TechAnalysis/General")).value(QStringLiteral("enabled")).toBool(), false);
    QVERIFY(AppSettings(QStringLiteral("TechAnalysis/NetworkDataManager")).contains(QStringLiteral("enabled")));
    page.finish();
}

void TestSettingsPages::generalPageWarnsAboutPlacement()
{
    AppSettings(QStringLiteral("TechAnalysis/General")).setValue(QStringLiteral("barOnEnd"), false);
    TAGeneralSettingsPage page;
    QWidget parent;
    QWidget *form = page.createPage(m_none, &parent);
    auto *onEnd = child<QRadioButton>(form, "barOnEnd");
    auto *onStart = child<QRadioButton>(form, "barOnStart");
    auto *warning = child<QFrame>(form, "warningFrame");
    QVERIFY(onStart->isChecked());
    QVERIFY(warning->isHidden());
    // The remembered placement clicked again: nothing to warn about.
    onStart->click();
    QVERIFY(warning->isHidden());
    onEnd->click();
    QVERIFY(!warning->isHidden());
    // Laid out as the settings dialog shows it, wider than it needs: the red title stands
    // right before its text.
    parent.resize(form->sizeHint().expandedTo(QSize(700, 240)));
    form->resize(parent.size());
    parent.show();
    QCoreApplication::processEvents();
    const QRect title = child<QLabel>(form, "warningTitle")->geometry();
    const QRect text = child<QLabel>(form, "warningText")->geometry();
    const QString placed = QStringLiteral("title %1,%2 %3x%4, text %5,%6 %7x%8")
                               .arg(title.x()).arg(title.y()).arg(title.width()).arg(title.height())
                               .arg(text.x()).arg(text.y()).arg(text.width()).arg(text.height());
    const QString directory = qEnvironmentVariable("TA_TEST_IMAGES");
    if (!directory.isEmpty())
        parent.grab().save(directory + QStringLiteral("/settings-general-warning.png"));
    const QFontMetrics metrics(child<QLabel>(form, "warningTitle")->font());
    QVERIFY2(title.width() < metrics.horizontalAdvance(QStringLiteral("Внимание!")) + 12,
             qPrintable(placed));
    QVERIFY2(text.left() - title.right() < 12, qPrintable(placed));
    QVERIFY2(title.top() < text.bottom() && text.top() < title.bottom(), qPrintable(placed));
    parent.hide();
    // Back to the remembered one: the warning stays.
    onStart->click();
    QVERIFY(!warning->isHidden());
    onEnd->click();
    page.apply(m_none);
    QCOMPARE(AppSettings(QStringLiteral("TechAnalysis/General")).value(QStringLiteral("barOnEnd")).toBool(), true);
    page.finish();
}

void TestSettingsPages::colourPagesAndTheirReset()
{
    MapSettings window;
    window.setValue(QStringLiteral("gridColor"), QColor(1, 2, 3));
    window.setValue(QStringLiteral("subChartColor"), QStringLiteral("#102030"));
    window.setValue(QStringLiteral("splitterColor"), QStringLiteral("no colour"));
    window.setValue(QStringLiteral("rightMargin"), 25);
    TAColorSettingsPage page;
    QWidget parent;
    QWidget *form = page.createPage(window, &parent);
    const auto shown = [&form](const char *key) { return child<ColorButton>(form, key)->color(); };
    QCOMPARE(shown("subChartColor"), QColor(0x10, 0x20, 0x30));
    // Damaged: the built-in value, and the garbage is not written back.
    QCOMPARE(shown("splitterColor"), QColor(191, 202, 202));
    auto *reset = child<QPushButton>(form, "resetButton");
    QVERIFY(!reset->isHidden() && reset->isEnabled());

    // Reset with no default colours stored: exactly the built-in table.
    reset->click();
    for (const ChartColors::Entry &entry : ChartColors::All)
        QCOMPARE(shown(entry.key), QColor::fromRgb(entry.rgb));
    // With a stored default, that one (and the table for the others).
    auto stored = DefaultSettings::createReadWrite(QStringLiteral("TAMainWindow"));
    stored->setValue(QStringLiteral("gridColor"), QColor(9, 9, 9));
    reset->click();
    QCOMPARE(shown("gridColor"), QColor(9, 9, 9));
    QCOMPARE(shown("timeAxisLineColor"), QColor(255, 0, 0));

    // Apply writes the ten colours and leaves the window's other keys alone.
    child<ColorButton>(form, "vertAxisTextColor")->setColor(QColor(0, 0, 200));
    page.apply(window);
    QCOMPARE(window.value(QStringLiteral("vertAxisTextColor")).value<QColor>(), QColor(0, 0, 200));
    QCOMPARE(window.value(QStringLiteral("splitterColor")).value<QColor>(), QColor(191, 202, 202));
    QCOMPARE(window.value(QStringLiteral("rightMargin")).toInt(), 25);
    QCOMPARE(window.allKeys().size(), 11);
    page.finish();

    // The page of the default colours has no reset, and leaves the store's other keys alone.
    stored->setValue(QStringLiteral("caption"), QStringLiteral("kept"));
    TAColorDefaultSettingsPage defaults;
    form = defaults.createPage(m_none, &parent);
    reset = child<QPushButton>(form, "resetButton");
    QVERIFY(reset->isHidden() && !reset->isEnabled());
    QCOMPARE(shown("gridColor"), QColor(9, 9, 9));
    child<ColorButton>(form, "gridColor")->setColor(QColor(60, 60, 60));
    QSignalSpy changed(&defaults, &TAOptionsPage::changed);
    defaults.apply(m_none);
    QCOMPARE(changed.size(), 1);
    const auto reread = DefaultSettings::createReadOnly(QStringLiteral("TAMainWindow"));
    QCOMPARE(reread->value(QStringLiteral("gridColor")).value<QColor>(), QColor(60, 60, 60));
    QCOMPARE(reread->value(QStringLiteral("caption")).toString(), QStringLiteral("kept"));
    defaults.finish();
}

void TestSettingsPages::everyKeyRoundTrips_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("group"); // empty: the window's own store
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QVariant>("other");
    QTest::addColumn<QVariant>("standard");
    const auto row = [](const char *page, const char *group, const char *key, const char *field,
                        const QVariant &other, const QVariant &standard) {
        QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(QLatin1String(page), QLatin1String(key))))
            << QString::fromLatin1(page) << QString::fromLatin1(group) << QString::fromLatin1(key)
            << QString::fromLatin1(field) << other << standard;
    };
    row("TechAnalysis.General", "TechAnalysis/General", "enabled", "useHDXForHistoricalMarketData", false, true);
    row("TechAnalysis.General", "TechAnalysis/General", "barOnEnd", "barOnEnd", false, true);
    const char *series = "TechAnalysis/SeriesDefaultProperty";
    row("TechAnalysis.SeriesDefaults", series, "timeFrameValue", "timeFrame", 3600, 180);
    row("TechAnalysis.SeriesDefaults", series, "daysBack", "daysBack", 7, 1);
    row("TechAnalysis.SeriesDefaults", series, "lineWidth", "lineWidth", 4, 1);
    row("TechAnalysis.SeriesDefaults", series, "view", "view", 2, 0);
    for (const ChartDefaults::ColorEntry &entry : ChartDefaults::SeriesColors)
        row("TechAnalysis.SeriesDefaults", series, entry.key, entry.key, QColor(10, 20, 30),
            QColor::fromRgb(entry.rgb));
    row("TechAnalysis.SeriesDefaults", series, "wickSelfColor", "wickSelfColor", true, false);
    row("TechAnalysis.SeriesDefaults", series, "axisPos", "axisPos", 0, 1);
    row("TechAnalysis.SeriesDefaults", series, "autoScale", "autoScale", 1, 2);
    const char *study = "TechAnalysis/StudyDefaultProperty";
    row("TechAnalysis.StudyDefaults", study, "axisPos", "axisPos", 3, 1);
    row("TechAnalysis.StudyDefaults", study, "autoScale", "autoScale", 1, 2);
    for (const ChartColors::Entry &entry : ChartColors::All) {
        row("TechAnalysis.TAColorDefaults", "Defaults/TAMainWindow", entry.key, entry.key,
            QColor(40, 50, 60), QColor::fromRgb(entry.rgb));
        row("TechAnalysis.WindowColors", "", entry.key, entry.key, QColor(70, 80, 90),
            QColor::fromRgb(entry.rgb));
    }
    for (const char *key : ChartDefaults::Confirmations)
        row("TechAnalysis.Confirmations", "TechAnalysis/Confirmations", key, key, false, true);
    row("TechAnalysis.Margins", "", "rightMargin", "rightMargin", 25, 10);
}

void TestSettingsPages::everyKeyRoundTrips()
{
    QFETCH(QString, page);
    QFETCH(QString, group);
    QFETCH(QString, key);
    QFETCH(QString, field);
    QFETCH(QVariant, other);
    QFETCH(QVariant, standard);
    for (const char *g : {"TechAnalysis/SeriesDefaultProperty", "TechAnalysis/StudyDefaultProperty"})
        clearGroup(QString::fromLatin1(g));
    MapSettings window;
    QWidget parent;
    // The key absent: the default.
    {
        const std::unique_ptr<IOptionsPage> fresh = makePage(page);
        QWidget *form = fresh->createPage(window, &parent);
        QCOMPARE(fieldValue(form, field), standard);
        // Another value through the form, applied.
        setField(form, field, other);
        QCOMPARE(fieldValue(form, field), other);
        fresh->apply(window);
        fresh->finish();
    }
    AppSettings::syncAll();
    if (!group.isEmpty()) {
        const QVariant written = AppSettings(group).value(key);
        QVERIFY2(written.isValid(), qPrintable(key));
    }
    // A new form from what was written shows it.
    const std::unique_ptr<IOptionsPage> again = makePage(page);
    QWidget *form = again->createPage(window, &parent);
    QCOMPARE(fieldValue(form, field), other);
    again->finish();
    if (page == QLatin1String("TechAnalysis.SeriesDefaults"))
        QCOMPARE(AppSettings(group).value(QStringLiteral("toCurrDate")).toBool(), true);
    if (page == QLatin1String("TechAnalysis.StudyDefaults")) {
        const AppSettings written(group);
        QCOMPARE(written.value(QStringLiteral("lineWidth")).toInt(), 1);
        QCOMPARE(written.value(QStringLiteral("color")).value<QColor>(), QColor(255, 0, 0));
        QCOMPARE(written.value(QStringLiteral("view")).toInt(), 0);
    }
}

void TestSettingsPages::placementValuesOutOfTheList()
{
    AppSettings stored(QStringLiteral("TechAnalysis/SeriesDefaultProperty"));
    stored.setValue(QStringLiteral("axisPos"), 7);
    stored.setValue(QStringLiteral("autoScale"), 0);
    stored.setValue(QStringLiteral("timeFrameValue"), 7);
    stored.setValue(QStringLiteral("lineWidth"), 11);
    stored.setValue(QStringLiteral("daysBack"), 0);
    stored.setValue(QStringLiteral("view"), 5);
    stored.setValue(QStringLiteral("upColor"), QStringLiteral("not a colour"));
    SeriesItemDefaultPropertyPage page;
    QWidget parent;
    QWidget *form = page.createPage(m_none, &parent);
    QCOMPARE(child<QComboBox>(form, "axisPos")->currentText(), QStringLiteral("Слева"));
    QCOMPARE(child<QComboBox>(form, "autoScale")->currentText(), QStringLiteral("По экрану"));
    QCOMPARE(child<QComboBox>(form, "timeFrame")->currentText(), TimeFrameValue(180).toString());
    QCOMPARE(child<QSpinBox>(form, "lineWidth")->value(), 1);
    QCOMPARE(child<QSpinBox>(form, "daysBack")->value(), 1);
    QCOMPARE(child<QComboBox>(form, "view")->currentIndex(), 0);
    QCOMPARE(child<ColorButton>(form, "upColor")->color(), QColor(0, 255, 0));
    // autoScale 3 is in range but not offered: the first entry.
    stored.setValue(QStringLiteral("autoScale"), 3);
    page.finish();
    SeriesItemDefaultPropertyPage other;
    form = other.createPage(m_none, &parent);
    QCOMPARE(child<QComboBox>(form, "autoScale")->currentText(), QStringLiteral("По экрану"));
    // The colour page follows the view.
    auto *view = child<QComboBox>(form, "view");
    auto *pages = child<QStackedWidget>(form, "colorPages");
    for (int i = 0; i < 3; ++i) {
        view->setCurrentIndex(i);
        QCOMPARE(pages->currentIndex(), i);
    }
    other.finish();
}

// New series take these defaults whatever their instrument: one-second bars of a year could
// make 31.6 million bars of one trading around the clock, so the page shows the refusal and
// keeps the stored frame and days; the rest of the page is written.
void TestSettingsPages::seriesDefaultsOfTooManyBarsAreRefused()
{
    AppSettings stored(QStringLiteral("TechAnalysis/SeriesDefaultProperty"));
    stored.remove(QString());
    SeriesItemDefaultPropertyPage page;
    QWidget parent;
    QWidget *form = page.createPage(m_none, &parent);
    auto *refusal = child<QLabel>(form, "rangeRefusal");
    QVERIFY(!refusal->isVisibleTo(form));
    auto *frame = child<QComboBox>(form, "timeFrame");
    frame->setCurrentText(TimeFrameValue(1).toString());
    child<QSpinBox>(form, "daysBack")->setValue(365);
    QVERIFY(refusal->isVisibleTo(form));
    QVERIFY2(refusal->text().startsWith(QStringLiteral("Слишком большой диапазон: ")),
             qPrintable(refusal->text()));
    child<QSpinBox>(form, "lineWidth")->setValue(3);
    page.apply(m_none);
    QVERIFY(!stored.contains(QStringLiteral("timeFrameValue")));
    QVERIFY(!stored.contains(QStringLiteral("daysBack")));
    QCOMPARE(stored.value(QStringLiteral("lineWidth")).toInt(), 3);
    // A hundred days are under the limit.
    child<QSpinBox>(form, "daysBack")->setValue(100);
    QVERIFY(!refusal->isVisibleTo(form));
    page.apply(m_none);
    QCOMPARE(stored.value(QStringLiteral("daysBack")).toInt(), 100);
    QCOMPARE(stored.value(QStringLiteral("timeFrameValue")).toInt(), 1);
    page.finish();
}

void TestSettingsPages::pagesAsShownAndCancelled()
{
    // Every page with its defaults in the settings dialog at its first size, as a person sees
    // it: every text whole, nothing past the edge. Kept when TA_TEST_IMAGES names a directory
    // (the pictures of the documentation come from here). Then every field is changed and the
    // dialog cancelled: the stores are as they were, key for key.
    const QString directory = qEnvironmentVariable("TA_TEST_IMAGES");
    const struct
    {
        const char *id;
        const char *file;
    } pages[] = {
        {"TechAnalysis.General", "settings-general.png"},
        {"TechAnalysis.SeriesDefaults", "settings-series.png"},
        {"TechAnalysis.StudyDefaults", "settings-indicators.png"},
        {"TechAnalysis.TAColorDefaults", "settings-colours.png"},
        {"TechAnalysis.Confirmations", "settings-confirmations.png"},
        {"TechAnalysis.WindowColors", "settings-window-colours.png"},
        {"TechAnalysis.Margins", "settings-margins.png"},
    };
    const auto snapshot = [](const Settings &settings) {
        QVariantMap all;
        for (const QString &key : settings.allKeys())
            all.insert(key, settings.value(key));
        return all;
    };
    AppSettings(QStringLiteral("TechAnalysis/Confirmations")).setValue(QStringLiteral("askDelItem"), true);
    AppSettings::syncAll();
    AppSettings root;
    MapSettings window;
    window.setValue(QStringLiteral("rightMargin"), 12);
    const QVariantMap rootBefore = snapshot(root);
    const QVariantMap windowBefore = snapshot(window);
    // The terminal's settings and a window's settings: the first five pages and the last two.
    std::vector<std::unique_ptr<IOptionsPage>> made;
    QList<IOptionsPage *> terminalPages;
    QList<IOptionsPage *> windowPages;
    for (const auto &entry : pages) {
        made.push_back(makePage(QString::fromLatin1(entry.id)));
        (made.size() <= 5 ? terminalPages : windowPages).append(made.back().get());
    }
    QStringList faults;
    for (const auto &[list, settings] : {std::pair<QList<IOptionsPage *>, Settings *>{terminalPages, &root},
                                         {windowPages, &window}}) {
        OptionsDialog dialog;
        dialog.setPages(list, settings);
        dialog.show();
        for (IOptionsPage *page : list) {
            QVERIFY(dialog.showPage(page->id()));
            QCoreApplication::processEvents();
            const char *file = std::find_if(std::begin(pages), std::end(pages), [&](const auto &e) {
                                   return page->id() == QLatin1String(e.id);
                               })->file;
            if (!directory.isEmpty())
                dialog.grab().save(directory + QLatin1Char('/') + QLatin1String(file));
            for (const QString &fault : legibilityFaults(&dialog))
                faults << QLatin1String(file) + QStringLiteral(": ") + fault;
        }
        for (IOptionsPage *page : list) {
            QWidget *form = dialog.pageWidget(page->id());
            QVERIFY(form);
            for (QCheckBox *box : form->findChildren<QCheckBox *>())
                box->setChecked(!box->isChecked());
            for (QSpinBox *spin : form->findChildren<QSpinBox *>())
                spin->setValue(spin->maximum());
            for (QComboBox *combo : form->findChildren<QComboBox *>())
                combo->setCurrentIndex(combo->count() - 1);
            for (ColorButton *button : form->findChildren<ColorButton *>())
                button->setColor(QColor(1, 1, 1));
        }
        dialog.reject();
    }
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
    AppSettings::syncAll();
    QCOMPARE(snapshot(root), rootBefore);
    QCOMPARE(snapshot(window), windowBefore);
}

void TestSettingsPages::marginsRoundTrip_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<int>("shown");
    QTest::newRow("missing") << QVariant() << 10;
    QTest::newRow("zero") << QVariant(0) << 0;
    QTest::newRow("thirty as text") << QVariant("30") << 30;
    QTest::newRow("too many") << QVariant(101) << 10;
    QTest::newRow("negative") << QVariant(-1) << 10;
    QTest::newRow("fraction") << QVariant(2.5) << 10;
    QTest::newRow("text") << QVariant("wide") << 10;
}

void TestSettingsPages::marginsRoundTrip()
{
    QFETCH(QVariant, stored);
    QFETCH(int, shown);
    MapSettings window;
    if (stored.isValid())
        window.setValue(QStringLiteral("rightMargin"), stored);
    window.setValue(QStringLiteral("showGrid"), true);
    TAMarginsSettingsPage page;
    QWidget parent;
    QWidget *form = page.createPage(window, &parent);
    auto *spin = child<QSpinBox>(form, "rightMargin");
    QCOMPARE(spin->value(), shown);
    spin->setValue(42);
    page.apply(window);
    QCOMPARE(window.value(QStringLiteral("rightMargin")).toInt(), 42);
    // The window's other keys are left alone.
    QCOMPARE(window.value(QStringLiteral("showGrid")).toBool(), true);
    page.finish();
}

TA_REGISTER_TEST(TestSettingsPages)
#include "tst_settingspages.moc"
