// The settings pages: what each shows for stored values (good, missing and damaged), what it
// writes on apply, and the general page's warning.

#include "appsettings.h"
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
#include <QDialogButtonBox>
#include <QLabel>
#include <QFrame>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

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

} // namespace

class TestSettingsPages : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void generalPageWarnsAboutPlacement();
    void placementValuesOutOfTheList();
    void seriesDefaultsOfTooManyBarsAreRefused();
    void pagesAsShownCancelledAndApplied();
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
    page.apply(m_none);
    QCOMPARE(AppSettings(QStringLiteral("TechAnalysis/General")).value(QStringLiteral("barOnEnd")).toBool(), true);
    page.finish();
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
    page.finish();
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

void TestSettingsPages::pagesAsShownCancelledAndApplied()
{
    // Every page with its defaults in the settings dialog at its first size, as a person sees
    // it: every text whole, nothing past the edge. Kept when TA_TEST_IMAGES names a directory
    // (the pictures of the documentation come from here). Then every field the user can reach
    // is changed and the dialog cancelled: the stores are as they were, key for key. Changed
    // again and confirmed with OK, a dialog opened afterwards shows every field as it was left.
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
    // The fields of a page by name, as the form shows them.
    const auto fields = [](QWidget *form) {
        QVariantMap shown;
        for (QCheckBox *box : form->findChildren<QCheckBox *>())
            shown.insert(box->objectName(), box->isChecked());
        for (QSpinBox *spin : form->findChildren<QSpinBox *>())
            shown.insert(spin->objectName(), spin->value());
        for (QComboBox *combo : form->findChildren<QComboBox *>())
            shown.insert(combo->objectName(), combo->currentIndex());
        for (ColorButton *button : form->findChildren<ColorButton *>())
            shown.insert(button->objectName(), button->color());
        return shown;
    };
    AppSettings(QStringLiteral("TechAnalysis/Confirmations")).setValue(QStringLiteral("askDelItem"), true);
    AppSettings::syncAll();
    AppSettings root;
    MapSettings window;
    window.setValue(QStringLiteral("rightMargin"), 12);
    window.setValue(QStringLiteral("caption"), QStringLiteral("kept"));
    const QVariantMap rootBefore = snapshot(root);
    const QVariantMap windowBefore = snapshot(window);
    QStringList faults;
    QMap<QString, QVariantMap> confirmed;
    for (const bool ok : {false, true}) {
        for (const bool terminal : {true, false}) {
            // The terminal's settings and a window's settings: the first five pages and the last two.
            std::vector<std::unique_ptr<IOptionsPage>> made;
            QList<IOptionsPage *> list;
            for (int i = terminal ? 0 : 5; i < (terminal ? 5 : 7); ++i) {
                made.push_back(makePage(QString::fromLatin1(pages[i].id)));
                list.append(made.back().get());
            }
            OptionsDialog dialog;
            dialog.setPages(list, terminal ? static_cast<Settings *>(&root) : &window);
            dialog.show();
            for (IOptionsPage *page : list) {
                QVERIFY(dialog.showPage(page->id()));
                QCoreApplication::processEvents();
                if (ok)
                    continue;
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
                // A check box the page hides (no history plug-in) is not the user's to change.
                for (QCheckBox *box : form->findChildren<QCheckBox *>())
                    box->setChecked(box->isChecked() != box->isVisibleTo(form));
                for (QSpinBox *spin : form->findChildren<QSpinBox *>())
                    spin->setValue(spin->maximum());
                for (QComboBox *combo : form->findChildren<QComboBox *>())
                    combo->setCurrentIndex(combo->count() - 1);
                for (ColorButton *button : form->findChildren<ColorButton *>())
                    button->setColor(QColor(1, 1, 1));
                confirmed.insert(page->id(), fields(form));
            }
            if (!ok) {
                dialog.reject();
                continue;
            }
            dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
            std::vector<std::unique_ptr<IOptionsPage>> reread;
            QList<IOptionsPage *> rereadList;
            for (IOptionsPage *page : list) {
                reread.push_back(makePage(page->id()));
                rereadList.append(reread.back().get());
            }
            OptionsDialog again;
            again.setPages(rereadList, terminal ? static_cast<Settings *>(&root) : &window);
            for (IOptionsPage *page : rereadList)
                QCOMPARE(fields(again.pageWidget(page->id())), confirmed.value(page->id()));
            again.reject();
        }
        if (!ok) {
            QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
            AppSettings::syncAll();
            QCOMPARE(snapshot(root), rootBefore);
            QCOMPARE(snapshot(window), windowBefore);
        }
    }
    // The window's keys the pages do not own are left alone.
    QCOMPARE(window.value(QStringLiteral("caption")).toString(), QStringLiteral("kept"));
}

void TestSettingsPages::marginsRoundTrip_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<int>("shown");
    QTest::newRow("missing") << QVariant() << 10;
    QTest::newRow("zero") << QVariant(0) << 0;
    QTest::newRow("thirty as text") << QVariant("30") << 30;
    QTest::newRow("too many") << QVariant(101) << 10;
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
