// Indicator and function files: their XML forms, the registries over the built-in and the
// user's directory, and the names that may become file names.

#include "filenamevalidator.h"
#include "scriptfilesmodel.h"
#include "testenvironment.h"
#include "testregistry.h"

#include <QDir>
#include <QFile>
#include <QPointer>
#include <QLineEdit>
#include <QToolTip>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

StudyFile sampleStudy()
{
    StudyFile file;
    file.description = QStringLiteral("Скользящая средняя & <полоса>");
    file.code = QStringLiteral("var s = 0;\nfor (var i = 0; i < N; ++i)\n\ts += Close.at(CurrentBar - i);\nPlot(s / N, \"MA\");");
    file.declaration = QStringLiteral("var k = 2;");
    file.parameters.insert(QStringLiteral("N"), {QStringLiteral("14"), false});
    file.parameters.insert(QStringLiteral("K"), {QStringLiteral("N / 7"), true});
    file.styles.insert(QStringLiteral("MA"), {0, QColor(0x12, 0x34, 0x56), 2});
    file.styles.insert(QStringLiteral("Band"), {1, QColor(Qt::red), 1});
    file.axis = 1;
    file.changeScaleRange = false;
    file.precision = 3;
    return file;
}

void writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

QString parseError(const QByteArray &content)
{
    try {
        ScriptFileFormat::parseStudy(content);
    } catch (const QString &text) {
        return text;
    }
    return {};
}

// An application directory of its own, with built-in files and user files.
struct Directories
{
    Directories()
    {
        app = dir.path();
        builtIn = app + QStringLiteral("/tascripts/indicators");
        user = app + QStringLiteral("/user/tascripts/indicators");
    }
    QTemporaryDir dir;
    // The user's files in the "user" folder of this application directory.
    TestEnvironment::ScopedVariable userData{"TA_DATA_DIR", dir.path() + QStringLiteral("/user")};
    QString app;
    QString builtIn;
    QString user;
};

} // namespace

class TestScripts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void studyRoundTrip();
    void readingDefaultsAndErrors_data();
    void readingDefaultsAndErrors();
    void controlCharactersAreRefused();
    void functionFiles();
    void unsafeNames_data();
    void unsafeNames();
    void listHidesUserFilesBehindBuiltIns();
    void changeNotices();
    void removeRenameDuplicate();
    void failedSaveKeepsThePreviousFile();
    void unreadableFileIsListed();
    void shippedVolumeIndicator();
    void registriesAreProcessWide();
    void validatorAndItsToolTip_data();
    void validatorAndItsToolTip();

private:
    QTemporaryDir m_dir;
};

void TestScripts::initTestCase()
{
    TA_SET_UP_TEST_ENVIRONMENT(m_dir, "scripts.ini");
}

void TestScripts::studyRoundTrip()
{
    const StudyFile file = sampleStudy();
    const QByteArray written = ScriptFileFormat::writeStudy(file);
    // Elements in their order, one blank of indentation, parameters and styles by name.
    const QString text = QString::fromUtf8(written);
    QVERIFY(text.startsWith(QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<study>\n <description>")));
    const QStringList order{"<description>", "<code>", "<declaration>", "name=\"K\"", "name=\"N\"",
                            "name=\"Band\"", "name=\"MA\"", "<axis>1</axis>",
                            "<changeScaleRange>0</changeScaleRange>", "<precision>3</precision>"};
    qsizetype at = 0;
    for (const QString &part : order) {
        const qsizetype next = text.indexOf(part, at);
        QVERIFY2(next >= at, qPrintable(part));
        at = next;
    }
    QVERIFY(text.contains(QStringLiteral("<parameter name=\"K\" value=\"N / 7\" isFormula=\"true\"/>")));
    QVERIFY(text.contains(QStringLiteral("<style name=\"MA\" view=\"0\" color=\"#123456\" lineWidth=\"2\"/>")));
    // Field for field back, and the same bytes after a read-write cycle.
    const StudyFile read = ScriptFileFormat::parseStudy(written);
    QVERIFY(read == file);
    QCOMPARE(ScriptFileFormat::writeStudy(read), written);
}

void TestScripts::readingDefaultsAndErrors_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("axis");
    QTest::addColumn<bool>("changeScaleRange");
    QTest::addColumn<int>("precision");
    QTest::newRow("bare") << QByteArray("<study/>") << "" << 0 << true << -1;
    QTest::newRow("axis 5") << QByteArray("<study><axis>5</axis></study>") << "" << 0 << true << -1;
    QTest::newRow("axis text") << QByteArray("<study><axis>one</axis></study>") << "" << 0 << true << -1;
    QTest::newRow("change 0, precision 6") << QByteArray("<study><changeScaleRange>0</changeScaleRange><precision>6</precision></study>")
                                          << "" << 0 << false << -1;
    QTest::newRow("precision 5") << QByteArray("<study><precision>5</precision><axis>1</axis></study>") << "" << 1 << true << 5;
    QTest::newRow("style without view") << QByteArray("<study><style name=\"a\" color=\"#ff0000\" lineWidth=\"1\"/></study>")
                                        << "Некорректный файл: view" << 0 << false << 0;
    QTest::newRow("style width text") << QByteArray("<study><style name=\"a\" view=\"0\" lineWidth=\"wide\"/></study>")
                                      << "Некорректный файл: lineWidth" << 0 << false << 0;
    // Values a hand-edited file may hold that no plot can be drawn with: refused where read.
    QTest::newRow("style view 9") << QByteArray("<study><style name=\"MA\" view=\"9\" lineWidth=\"1\"/></study>")
                                  << "Некорректный файл: вид графика \"MA\" = 9 (допустимо 0…2)" << 0 << false << 0;
    QTest::newRow("style width 0") << QByteArray("<study><style name=\"MA\" view=\"0\" lineWidth=\"0\"/></study>")
                                   << "Некорректный файл: толщина линии \"MA\" = 0 (допустимо 1…10)" << 0 << false << 0;
    QTest::newRow("truncated") << QByteArray("<study><code>Plot(") << "Некорректный файл" << 0 << false << 0;
    QTest::newRow("another root") << QByteArray("<function/>") << "Некорректный файл" << 0 << false << 0;
    QTest::newRow("empty") << QByteArray() << "Некорректный файл" << 0 << false << 0;
}

void TestScripts::readingDefaultsAndErrors()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, error);
    QFETCH(int, axis);
    QFETCH(bool, changeScaleRange);
    QFETCH(int, precision);
    QCOMPARE(parseError(content), error);
    if (!error.isEmpty())
        return;
    const StudyFile file = ScriptFileFormat::parseStudy(content);
    QCOMPARE(file.axis, axis);
    QCOMPARE(file.changeScaleRange, changeScaleRange);
    QCOMPARE(file.precision, precision);
    QVERIFY(file.description.isEmpty());
}

void TestScripts::controlCharactersAreRefused()
{
    StudyFile file = sampleStudy();
    file.code += QChar(0x0001);
    QVERIFY_THROWS_EXCEPTION(QString, ScriptFileFormat::writeStudy(file));
    file = sampleStudy();
    file.parameters.insert(QStringLiteral("Bad"), {QString(QChar(0x0007)), false});
    QVERIFY_THROWS_EXCEPTION(QString, ScriptFileFormat::writeStudy(file));
    // Line ends of any kind are kept as line feeds.
    file = sampleStudy();
    file.code = QStringLiteral("a;\r\nb;\rc;");
    QCOMPARE(ScriptFileFormat::parseStudy(ScriptFileFormat::writeStudy(file)).code,
             QStringLiteral("a;\nb;\nc;"));
}

void TestScripts::functionFiles()
{
    FunctionFile file{QStringLiteral("Среднее"), QStringLiteral("function avg(a, b) { return (a + b) / 2; }")};
    const QByteArray written = ScriptFileFormat::writeFunction(file);
    QVERIFY(QString::fromUtf8(written).contains(QStringLiteral("<function>\n <description>Среднее</description>\n <code>")));
    QVERIFY(ScriptFileFormat::parseFunction(written) == file);
    // The translated element name of older files is read too.
    const FunctionFile old = ScriptFileFormat::parseFunction(
        QStringLiteral("<function><Описание>Старое</Описание><code>x</code></function>").toUtf8());
    QCOMPARE(old.description, QStringLiteral("Старое"));
    QVERIFY_THROWS_EXCEPTION(QString, ScriptFileFormat::parseFunction("<study/>"));
}

void TestScripts::unsafeNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("safe");
    QTest::newRow("plain") << "RSI_14" << true;
    QTest::newRow("hyphen") << "my-ma" << true;
    QTest::newRow("slash") << "a/b" << false;
    QTest::newRow("backslash") << "a\\b" << false;
    QTest::newRow("dots") << ".." << false;
    QTest::newRow("parent") << "../etc" << false;
    QTest::newRow("leading dot") << ".installed" << false;
    QTest::newRow("nul") << QString(QStringLiteral("a") + QChar(0) + QStringLiteral("b")) << false;
    QTest::newRow("device") << "CON" << false;
    QTest::newRow("device with extension") << "nul.txt" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("blank around") << " RSI" << false;
}

void TestScripts::unsafeNames()
{
    QFETCH(QString, name);
    QFETCH(bool, safe);
    QCOMPARE(ScriptFileFormat::isSafeName(name), safe);
    if (safe)
        return;
    // Whatever the caller: reading, saving, renaming onto it and removing never touch a path.
    Directories d;
    StudyFilesModel model(d.app);
    QVERIFY_THROWS_EXCEPTION(QString, model.read(name));
    QVERIFY_THROWS_EXCEPTION(QString, model.save(name, sampleStudy()));
    model.save(QStringLiteral("Good"), sampleStudy());
    model.add(QStringLiteral("Good"));
    QString error;
    QVERIFY(!model.rename(model.rowOf(QStringLiteral("Good")), name, &error));
    QVERIFY(!model.duplicate(QStringLiteral("Good"), name, &error));
    QCOMPARE(QDir(d.user).entryList(QDir::Files), QStringList{"Good"});
    QVERIFY(!QFile::exists(d.app + QStringLiteral("/user/tascripts/etc")));
}

void TestScripts::listHidesUserFilesBehindBuiltIns()
{
    Directories d;
    writeFile(d.builtIn + QStringLiteral("/RSI"), ScriptFileFormat::writeStudy(sampleStudy()));
    writeFile(d.builtIn + QStringLiteral("/ma"), ScriptFileFormat::writeStudy(sampleStudy()));
    StudyFile mine = sampleStudy();
    mine.description = QStringLiteral("mine");
    writeFile(d.user + QStringLiteral("/rsi"), ScriptFileFormat::writeStudy(mine));
    writeFile(d.user + QStringLiteral("/Bands"), ScriptFileFormat::writeStudy(mine));
    writeFile(d.user + QStringLiteral("/Zeta"), ScriptFileFormat::writeStudy(mine));
    StudyFilesModel model(d.app);
    QCOMPARE(model.existingNames(), QStringList({"Bands", "ma", "RSI", "Zeta"}));
    QVERIFY(!model.isUserFile(model.rowOf("RSI")));
    QVERIFY(model.isUserFile(model.rowOf("Bands")));
    QCOMPARE(model.data(model.index(model.rowOf("Bands"), 0), ScriptFilesModel::EditableRole).toBool(), true);
    // The user's "rsi" is never read: the name means the built-in file.
    QCOMPARE(model.read(QStringLiteral("rsi")).description, sampleStudy().description);
    QCOMPARE(model.data(model.index(model.rowOf("RSI"), ScriptFilesModel::DescriptionColumn)).toString(),
             sampleStudy().description);
    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Имя индикатора"));
    // A new name equal to an existing one but for case is taken.
    QVERIFY(model.isTaken(QStringLiteral("rsi")));
    QVERIFY(model.isTaken(QStringLiteral("BANDS")));
    QVERIFY(!model.isTaken(QStringLiteral("Bands2")));
    // Saving over a built-in name is refused.
    QVERIFY_THROWS_EXCEPTION(QString, model.save(QStringLiteral("rsi"), mine));
    // A missing file reads as an empty one.
    const StudyFile none = model.read(QStringLiteral("Absent"));
    QVERIFY(none.code.isNull());
    QCOMPARE(none.precision, 0);
    QCOMPARE(none.axis, 0);
    QVERIFY(!none.changeScaleRange);
}

void TestScripts::changeNotices()
{
    Directories d;
    StudyFilesModel model(d.app);
    QSignalSpy changed(&model, &ScriptFilesModel::fileChanged);
    // A new file is no change; the same content again is none either.
    model.save(QStringLiteral("MA"), sampleStudy());
    model.add(QStringLiteral("MA"));
    QCOMPARE(changed.count(), 0);
    model.save(QStringLiteral("MA"), sampleStudy());
    QCOMPARE(changed.count(), 0);
    const quint64 before = model.checksum(QStringLiteral("MA"));
    StudyFile other = sampleStudy();
    other.code += QStringLiteral("\n// more");
    model.save(QStringLiteral("MA"), other);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.first().first().toString(), QStringLiteral("MA"));
    QVERIFY(model.checksum(QStringLiteral("MA")) != before);
    // Function files are saved without notices.
    FunctionFilesModel functions(d.app);
    QSignalSpy functionChanged(&functions, &ScriptFilesModel::fileChanged);
    functions.save(QStringLiteral("avg"), {QStringLiteral("d"), QStringLiteral("a")});
    functions.save(QStringLiteral("avg"), {QStringLiteral("d"), QStringLiteral("b")});
    QCOMPARE(functionChanged.count(), 0);
    QCOMPARE(functions.read(QStringLiteral("avg")).code, QStringLiteral("b"));
}

void TestScripts::removeRenameDuplicate()
{
    Directories d;
    writeFile(d.builtIn + QStringLiteral("/RSI"), ScriptFileFormat::writeStudy(sampleStudy()));
    QFile::setPermissions(d.builtIn + QStringLiteral("/RSI"), QFileDevice::ReadOwner | QFileDevice::ReadUser);
    StudyFilesModel model(d.app);
    QString error;
    // Built-in rows cannot go or change their name.
    QVERIFY(!model.remove(model.rowOf("RSI"), &error));
    QVERIFY(!model.rename(model.rowOf("RSI"), QStringLiteral("X"), &error));
    QVERIFY(QFile::exists(d.builtIn + QStringLiteral("/RSI")));

    // A duplicate of the read-only built-in file is a writable user file.
    QVERIFY(model.duplicate(QStringLiteral("RSI"), QStringLiteral("RSI_2"), &error));
    QVERIFY(model.isUserFile(model.rowOf("RSI_2")));
    StudyFile changed = sampleStudy();
    changed.description = QStringLiteral("changed");
    model.save(QStringLiteral("RSI_2"), changed);
    QCOMPARE(model.read(QStringLiteral("RSI_2")).description, QStringLiteral("changed"));
    QVERIFY(!model.duplicate(QStringLiteral("RSI"), QStringLiteral("rsi_2"), &error));

    // Rename onto a taken name (either directory, any case) is refused, not overwritten.
    QSignalSpy notices(&model, &ScriptFilesModel::fileChanged);
    QVERIFY(!model.rename(model.rowOf("RSI_2"), QStringLiteral("rsi"), &error));
    QVERIFY(model.rename(model.rowOf("RSI_2"), QStringLiteral("Mine"), &error));
    QCOMPARE(notices.count(), 1);
    QCOMPARE(notices.first().first().toString(), QStringLiteral("RSI_2"));
    QCOMPARE(model.existingNames(), QStringList({"Mine", "RSI"}));
    QVERIFY(QFile::exists(d.user + QStringLiteral("/Mine")));

    // Removal is told once the file is gone.
    bool goneWhenTold = false;
    connect(&model, &ScriptFilesModel::fileChanged, this, [&](const QString &name) {
        goneWhenTold = !QFile::exists(d.user + QLatin1Char('/') + name);
    });
    QVERIFY(model.remove(model.rowOf("Mine"), &error));
    QVERIFY(goneWhenTold);
    QCOMPARE(model.existingNames(), QStringList{"RSI"});
}

void TestScripts::failedSaveKeepsThePreviousFile()
{
    Directories d;
    StudyFilesModel model(d.app);
    model.save(QStringLiteral("MA"), sampleStudy());
    const QByteArray before = [&] {
        QFile f(d.user + QStringLiteral("/MA"));
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    QSignalSpy changed(&model, &ScriptFilesModel::fileChanged);
    StudyFile other = sampleStudy();
    other.code = QStringLiteral("Plot(1, \"MA\");");
    // The user directory replaced by a plain file for the moment of the save: nothing can be
    // written whoever runs the test.
    const QString aside = d.user + QStringLiteral(".aside");
    QVERIFY(QDir().rename(d.user, aside));
    writeFile(d.user, "not a directory");
    QVERIFY_THROWS_EXCEPTION(QString, model.save(QStringLiteral("MA"), other));
    QVERIFY(QFile::remove(d.user));
    QVERIFY(QDir().rename(aside, d.user));
    {
        QFile f(d.user + QStringLiteral("/MA"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
        QCOMPARE(changed.count(), 0);
    }
    // A directory that refuses writing (not as root: root writes anyway).
    QFile::setPermissions(d.user, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    bool refused = false;
    try {
        model.save(QStringLiteral("MA"), other);
    } catch (const QString &text) {
        refused = true;
        QVERIFY2(text.startsWith(QStringLiteral("Невозможно записать файл")), qPrintable(text));
    }
    QFile::setPermissions(d.user, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    // Root writes into a read-only directory anyway; the replaced directory above covered it.
    if (!refused)
        return;
    QFile f(d.user + QStringLiteral("/MA"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before);
    QCOMPARE(changed.count(), 0);
}

void TestScripts::unreadableFileIsListed()
{
    Directories d;
    writeFile(d.user + QStringLiteral("/Broken"), "<study><code>Plot(");
    writeFile(d.user + QStringLiteral("/Good"), ScriptFileFormat::writeStudy(sampleStudy()));
    StudyFilesModel model(d.app);
    QCOMPARE(model.existingNames(), QStringList({"Broken", "Good"}));
    QCOMPARE(model.data(model.index(0, ScriptFilesModel::DescriptionColumn)).toString(),
             QStringLiteral("Некорректный файл"));
    QVERIFY_THROWS_EXCEPTION(QString, model.read(QStringLiteral("Broken")));
    QCOMPARE(model.read(QStringLiteral("Good")).description, sampleStudy().description);
}

void TestScripts::shippedVolumeIndicator()
{
    // The built-in file beside the executables, as the build installs it.
    QFile file(QCoreApplication::applicationDirPath() + QStringLiteral("/tascripts/indicators/Volume"));
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
    const QByteArray content = file.readAll();
    const StudyFile volume = ScriptFileFormat::parseStudy(content);
    QVERIFY(volume.code.contains(QStringLiteral("Volume")));
    QCOMPARE(volume.styles.keys(), QStringList{"Volume"});
    QCOMPARE(volume.styles.value("Volume").view, 1);
    QCOMPARE(volume.axis, 0);
    // Written exactly as this code writes files.
    QCOMPARE(QString::fromUtf8(ScriptFileFormat::writeStudy(volume)), QString::fromUtf8(content));
}

void TestScripts::registriesAreProcessWide()
{
    // One each for the process, over the application directory; gone on shutdown, then anew.
    StudyFilesModel *studies = StudyFilesModel::instance();
    QCOMPARE(StudyFilesModel::instance(), studies);
    QCOMPARE(studies->builtInDirectory(),
             QCoreApplication::applicationDirPath() + QStringLiteral("/tascripts/indicators"));
    QVERIFY(studies->existingNames().contains(QStringLiteral("Volume")));
    FunctionFilesModel *functions = FunctionFilesModel::instance();
    QCOMPARE(FunctionFilesModel::instance(), functions);
    QVERIFY(static_cast<QObject *>(functions) != static_cast<QObject *>(studies));
    QPointer<StudyFilesModel> watched(studies);
    StudyFilesModel::destroyInstance();
    FunctionFilesModel::destroyInstance();
    QVERIFY(!watched);
    QVERIFY(StudyFilesModel::instance());
    StudyFilesModel::destroyInstance();
}

void TestScripts::validatorAndItsToolTip_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("valid");
    QTest::newRow("capitals, underscore, digit") << "MY_RSI2" << true;
    QTest::newRow("small letters and hyphen") << "ma-fast" << true;
    QTest::newRow("blank") << "MY RSI" << false;
    QTest::newRow("cyrillic") << "Индикатор" << false;
}

void TestScripts::validatorAndItsToolTip()
{
    QFETCH(QString, name);
    QFETCH(bool, valid);
    QLineEdit edit;
    auto *validator = new FileNameValidator(&edit);
    edit.setValidator(validator);
    edit.show();
    QToolTip::hideText();
    QString text = name;
    int pos = 0;
    QCOMPARE(validator->validate(text, pos) == QValidator::Acceptable, valid);
    QCOMPARE(QToolTip::isVisible(), !valid);
    if (!valid)
        QCOMPARE(QToolTip::text(), FileNameValidator::toolTipText());
    QToolTip::hideText();
}

TA_REGISTER_TEST(TestScripts)

#include "tst_scripts.moc"
