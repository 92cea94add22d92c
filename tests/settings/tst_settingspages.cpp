// The settings pages: what each shows for stored values (good, missing and damaged), what it
// writes on apply, and the general page's history check box, migration and warning.

#include "appsettings.h"
#include "chartdefaults.h"
#include "icore.h"
#include "iplugin.h"
#include "mapsettings.h"
#include "chartcolors.h"
#include "colorbutton.h"
#include "defaultsettings.h"
#include "tacolordefaultsettingspage.h"
#include "tacolorsettingspage.h"
#include "taconfirmationoptionspage.h"
#include "tageneralsettingspage.h"
#include "tamarginssettingspage.h"
#include "testenvironment.h"
#include "testregistry.h"

#include <QCheckBox>
#include <QFrame>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QSpinBox>
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
    void confirmationsRoundTrip();
    void windowColorsAndTheirReset();
    void defaultColorsPage();
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
        QVERIFY(box);
        QVERIFY(box->isHidden());
        QVERIFY(!box->isChecked());
        QSignalSpy changed(&page, &TAOptionsPage::changed);
        page.apply(m_none);
        QCOMPARE(changed.size(), 1);
        const QVariant written = AppSettings(QStringLiteral("TechAnalysis/General")).value(QStringLiteral("enabled"));
        QVERIFY(written.isValid());
        QCOMPARE(written.toBool(), false);
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
    // Back to the remembered one: the warning stays.
    onStart->click();
    QVERIFY(!warning->isHidden());
    onEnd->click();
    page.apply(m_none);
    QCOMPARE(AppSettings(QStringLiteral("TechAnalysis/General")).value(QStringLiteral("barOnEnd")).toBool(), true);
    page.finish();
}

void TestSettingsPages::confirmationsRoundTrip()
{
    // Missing keys show the default (asked), damaged ones too.
    AppSettings stored(QStringLiteral("TechAnalysis/Confirmations"));
    stored.setValue(QStringLiteral("askDelSubChart"), QStringLiteral("perhaps"));
    stored.setValue(QStringLiteral("sayDrawingsRemoved"), false);
    TAConfirmationOptionsPage page;
    QWidget parent;
    QWidget *form = page.createPage(m_none, &parent);
    for (const char *key : ChartDefaults::Confirmations) {
        auto *box = child<QCheckBox>(form, key);
        QVERIFY2(box, key);
        QCOMPARE(box->isChecked(), QByteArray(key) != "sayDrawingsRemoved");
    }
    // Every box switched, applied, read again from the file by a new form.
    for (const char *key : ChartDefaults::Confirmations) {
        auto *box = child<QCheckBox>(form, key);
        box->setChecked(!box->isChecked());
    }
    page.apply(m_none);
    page.finish();
    AppSettings::syncAll();
    TAConfirmationOptionsPage again;
    QWidget *reread = again.createPage(m_none, &parent);
    for (const char *key : ChartDefaults::Confirmations) {
        QCOMPARE(child<QCheckBox>(reread, key)->isChecked(), QByteArray(key) == "sayDrawingsRemoved");
        QCOMPARE(stored.value(QString::fromLatin1(key)).toBool(), QByteArray(key) == "sayDrawingsRemoved");
    }
    again.finish();
}

void TestSettingsPages::windowColorsAndTheirReset()
{
    MapSettings window;
    window.setValue(QStringLiteral("gridColor"), QColor(1, 2, 3));
    window.setValue(QStringLiteral("subChartColor"), QStringLiteral("#102030"));
    window.setValue(QStringLiteral("splitterColor"), QStringLiteral("no colour"));
    window.setValue(QStringLiteral("rightMargin"), 25);
    TAColorSettingsPage page;
    QCOMPARE(page.id(), QStringLiteral("TechAnalysis.WindowColors"));
    QWidget parent;
    QWidget *form = page.createPage(window, &parent);
    const auto shown = [form](const char *key) { return child<ColorButton>(form, key)->color(); };
    QCOMPARE(shown("gridColor"), QColor(1, 2, 3));
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
    DefaultSettings::createReadWrite(QStringLiteral("TAMainWindow"))->setValue(QStringLiteral("gridColor"), QColor(9, 9, 9));
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
}

void TestSettingsPages::defaultColorsPage()
{
    auto stored = DefaultSettings::createReadWrite(QStringLiteral("TAMainWindow"));
    stored->setValue(QStringLiteral("timeAxisColor"), QColor(20, 20, 20));
    stored->setValue(QStringLiteral("caption"), QStringLiteral("kept"));
    TAColorDefaultSettingsPage page;
    QCOMPARE(page.id(), QStringLiteral("TechAnalysis.TAColorDefaults"));
    QCOMPARE(page.displayCategory(), QStringLiteral("Графики и ТА"));
    QWidget parent;
    QWidget *form = page.createPage(m_none, &parent);
    auto *reset = child<QPushButton>(form, "resetButton");
    QVERIFY(reset->isHidden() && !reset->isEnabled());
    QCOMPARE(child<ColorButton>(form, "timeAxisColor")->color(), QColor(20, 20, 20));
    QCOMPARE(child<ColorButton>(form, "gridColor")->color(), QColor(53, 53, 53));
    child<ColorButton>(form, "gridColor")->setColor(QColor(60, 60, 60));
    QSignalSpy changed(&page, &TAOptionsPage::changed);
    page.apply(m_none);
    QCOMPARE(changed.size(), 1);
    const auto reread = DefaultSettings::createReadOnly(QStringLiteral("TAMainWindow"));
    QCOMPARE(reread->value(QStringLiteral("gridColor")).value<QColor>(), QColor(60, 60, 60));
    QCOMPARE(reread->value(QStringLiteral("timeAxisColor")).value<QColor>(), QColor(20, 20, 20));
    QCOMPARE(reread->value(QStringLiteral("caption")).toString(), QStringLiteral("kept"));
    page.finish();
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
    QCOMPARE(page.id(), QStringLiteral("TechAnalysis.Margins"));
    QCOMPARE(page.displayName(), QStringLiteral("Отступы"));
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
