// Indicator files: their XML form, the registries over the built-in and the user's directory,
// the names that may become file names; the file manager, both editors and
// the indicator selector over registries in temporary directories, the name and question
// dialogs answered by the test.

#include "scriptfilesmanager.h"
#include "scriptfilesmodel.h"
#include "legibility.h"
#include "studyeditor.h"
#include "studyselector.h"
#include "testenvironment.h"
#include "testregistry.h"
#include "ui_functionseditor.h"
#include "ui_scriptfilesmanager.h"
#include "ui_studyeditor.h"
#include "ui_studyselector.h"

#include <QPlainTextEdit>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// An indicator file with a bit of everything a file holds; on a scale of its own (axis 1) or
// as the series (axis 0).
StudyFile study(const QString &description = QStringLiteral("Скользящая средняя & <полоса>"),
                int axis = 1, int precision = 3)
{
    StudyFile file;
    file.description = description;
    file.code = QStringLiteral("var s = 0;\nfor (var i = 0; i < N; ++i)\n\ts += Close.at(i);\nPlot(s / N, \"MA\");");
    file.declaration = QStringLiteral("var k = 2;");
    file.parameters.insert(QStringLiteral("N"), {QStringLiteral("14"), false});
    file.parameters.insert(QStringLiteral("K"), {QStringLiteral("N / 7"), true});
    file.styles.insert(QStringLiteral("MA"), {0, QColor(0x12, 0x34, 0x56), 2});
    file.styles.insert(QStringLiteral("Band"), {1, QColor(Qt::red), 1});
    file.axis = axis;
    file.changeScaleRange = axis != 1;
    file.precision = precision;
    return file;
}

void put(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

// An application directory of its own, with built-in files and user files.
struct Directories
{
    QTemporaryDir dir;
    // The user's files in the "user" folder of this application directory.
    TestEnvironment::ScopedVariable userData{"TA_DATA_DIR", dir.path() + QStringLiteral("/user")};
    QString app = dir.path();
    QString builtIn = app + QStringLiteral("/tascripts/indicators");
    QString user = app + QStringLiteral("/user/tascripts/indicators");
};

// Registries over a built-in read-only "RSI", the user's "Mine" and an unreadable "Broken".
struct Registries : Directories
{
    Registries()
    {
        const QString rsi = builtIn + QStringLiteral("/RSI");
        put(rsi, ScriptFileFormat::writeStudy(study(QStringLiteral("built-in"))));
        QFile::setPermissions(rsi, QFileDevice::ReadOwner | QFileDevice::ReadUser);
        put(userFile(QStringLiteral("Mine")),
            ScriptFileFormat::writeStudy(study(QStringLiteral("mine"), 0, -1)));
        put(userFile(QStringLiteral("Broken")), "<study><code>x");
        studies = std::make_unique<StudyFilesModel>(app);
        functions = std::make_unique<FunctionFilesModel>(app);
    }
    QString userFile(const QString &name) const { return user + QLatin1Char('/') + name; }
    std::unique_ptr<StudyFilesModel> studies;
    std::unique_ptr<FunctionFilesModel> functions;
};

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
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

} // namespace

class TestScriptFiles : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void studyRoundTrip();
    void readingDefaultsAndErrors_data();
    void readingDefaultsAndErrors();
    void unsafeNames_data();
    void unsafeNames();
    void changeNotices();
    void managerFlows();
    void editorRowsAndSaveButton();
    void readOnlyAndUnreadableFiles();
    void selectorWritesTheIndicatorGroups();

private:
    QTemporaryDir m_dir;
};

void TestScriptFiles::initTestCase()
{
    TA_SET_UP_TEST_ENVIRONMENT(m_dir, "scriptfiles.ini");
}

void TestScriptFiles::managerFlows()
{
    Registries r;
    ScriptFilesManager manager(r.studies.get(), r.functions.get());
    manager.show();
    {
        // The dialogs at their first size: every text whole, nothing past the edge. Kept when
        // TA_TEST_IMAGES names a directory.
        const QString pictures = qEnvironmentVariable("TA_TEST_IMAGES");
        manager.selectName(QStringLiteral("Mine"));
        StudyEditor indicator(r.studies.get(), QStringLiteral("RSI"), true);
        FunctionsEditor function(r.functions.get(), QStringLiteral("avg"), true);
        StudySelector selector(r.studies.get(), {QStringLiteral("ARKT"), QStringLiteral("KSTR")}, 1);
        const std::pair<QWidget *, const char *> shown[] = {{&manager, "script-manager.png"},
                                                            {&indicator, "study-editor.png"},
                                                            {&function, "function-editor.png"},
                                                            {&selector, "study-selector.png"}};
        for (const auto &[dialog, file] : shown) {
            dialog->show();
            QTest::qWait(100);
            if (!pictures.isEmpty())
                dialog->grab().save(pictures + QLatin1Char('/') + QLatin1String(file));
            QStringList faults = legibilityFaults(dialog, true);
            // The code editors show 80 columns of code.
            if (auto *code = dialog->findChild<QPlainTextEdit *>(QStringLiteral("codeEdit"));
                code && code->viewport()->width()
                            < 80 * QFontMetrics(code->font()).horizontalAdvance(QLatin1Char('m')))
                faults << QStringLiteral("code %1 px wide").arg(code->viewport()->width());
            QVERIFY2(faults.isEmpty(), qPrintable(QLatin1String(file) + QStringLiteral(": ")
                                                  + faults.join(QStringLiteral("; "))));
        }
    }
    QString answer;
    QString offered;
    ScriptFilesManager::setNamePrompt([&](QWidget *, const QString &, const QString &, const QString &,
                                          const QStringList &, const QString &initial) {
        offered = initial;
        return answer;
    });
    bool yes = true;
    QString asked;
    ScriptFilesManager::setQuestion([&](QWidget *, const QString &title, const QString &text) {
        asked = title + QLatin1Char('|') + text;
        return yes;
    });

    // Add: the editor opens; once saved the name is listed and selected.
    answer = QStringLiteral("NEW_1");
    manager.addFile();
    auto *editor = manager.findChild<StudyEditor *>();
    QVERIFY(editor);
    editor->form()->codeEdit->setPlainText(QStringLiteral("Plot(1, \"P\");"));
    editor->form()->buttonBox->button(QDialogButtonBox::Save)->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(QFile::exists(r.userFile(QStringLiteral("NEW_1"))));
    QCOMPARE(manager.selectedName(), QStringLiteral("NEW_1"));

    // Duplicate the read-only built-in file: "RSI_2" offered, a writable user file.
    manager.selectName(QStringLiteral("RSI"));
    answer = QStringLiteral("RSI_2");
    manager.duplicateFile();
    QCOMPARE(offered, QStringLiteral("RSI_2"));
    QCOMPARE(manager.selectedName(), QStringLiteral("RSI_2"));
    QVERIFY(QFileInfo(r.userFile(QStringLiteral("RSI_2"))).isWritable());

    // Rename the copy; a name taken by another file in another case is refused.
    answer = QStringLiteral("mine");
    manager.renameFile();
    QVERIFY(manager.findChild<QMessageBox *>(QStringLiteral("managerError")));
    answer = QStringLiteral("Renamed");
    manager.renameFile();
    QCOMPARE(manager.selectedName(), QStringLiteral("Renamed"));
    QVERIFY(!QFile::exists(r.userFile(QStringLiteral("RSI_2"))));

    // Delete: asked first; no keeps it, yes removes it and selects the row at its place.
    yes = false;
    manager.delFile();
    QVERIFY(QFile::exists(r.userFile(QStringLiteral("Renamed"))));
    QCOMPARE(asked, QStringLiteral("Удаление индикатора|Вы действительно хотите удалить \nиндикатор 'Renamed'?"));
    yes = true;
    const int row = r.studies->rowOf(QStringLiteral("Renamed"));
    manager.delFile();
    QVERIFY(!QFile::exists(r.userFile(QStringLiteral("Renamed"))));
    QVERIFY(!r.studies->existingNames().contains(QStringLiteral("Renamed")));
    QCOMPARE(manager.selectedName(), r.studies->nameAt(qMin(row, r.studies->rowCount() - 1)));
    ScriptFilesManager::setNamePrompt({});
    ScriptFilesManager::setQuestion({});
}

void TestScriptFiles::editorRowsAndSaveButton()
{
    Registries r;
    auto *editor = new StudyEditor(r.studies.get(), QStringLiteral("Fresh"), false);
    Ui::StudyEditor *ui = editor->form();
    QPushButton *save = ui->buttonBox->button(QDialogButtonBox::Save);
    QVERIFY(!save->isEnabled());
    ui->codeEdit->setPlainText(QStringLiteral("x"));
    QVERIFY(save->isEnabled());
    ui->addParamsButton->click();
    ui->addStyleButton->click();
    // Two rows of one name: the save is refused with the name, nothing is dropped or written.
    ui->addParamsButton->click();
    ui->addStyleButton->click();
    save->click();
    auto *refusal = editor->findChild<QMessageBox *>(QStringLiteral("saveError"));
    QVERIFY(refusal);
    QVERIFY2(refusal->text().contains(QStringLiteral("«Name»")), qPrintable(refusal->text()));
    QVERIFY(!r.studies->exists(QStringLiteral("Fresh")));
    delete refusal;
    ui->paramsTable->item(1, 0)->setText(QStringLiteral("Period"));
    save->click();
    refusal = editor->findChild<QMessageBox *>(QStringLiteral("saveError"));
    QVERIFY(refusal);
    QVERIFY2(refusal->text().contains(QStringLiteral("«Plot»")), qPrintable(refusal->text()));
    delete refusal;
    ui->styleTable->item(1, 0)->setText(QStringLiteral("Signal"));
    save->click();
    QVERIFY(!editor->findChild<QMessageBox *>(QStringLiteral("saveError")));
    const StudyFile written = r.studies->read(QStringLiteral("Fresh"));
    QCOMPARE(written.parameters.keys(), QStringList({"Name", "Period"}));
    QCOMPARE(written.styles.keys(), QStringList({"Plot", "Signal"}));
    delete editor;
}

void TestScriptFiles::readOnlyAndUnreadableFiles()
{
    Registries r;
    // A description longer than its field is shown from its start, read-only or not.
    const QString text = QStringLiteral("Индекс относительной силы Уайлдера: ") + QString(200, u'x');
    r.studies->save(QStringLiteral("Long"), study(text));
    for (bool readOnly : {true, false}) {
        StudyEditor editor(r.studies.get(), QStringLiteral("Long"), readOnly);
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        QCOMPARE(editor.form()->descriptionEdit->cursorPosition(), 0);
    }

    // An unreadable file shows its error and can never be saved over.
    const QByteArray before = contentOf(r.userFile(QStringLiteral("Broken")));
    auto *broken = new StudyEditor(r.studies.get(), QStringLiteral("Broken"), false);
    QCOMPARE(broken->readError(), QStringLiteral("Некорректный файл"));
    QVERIFY(broken->isReadOnly());
    broken->on_buttonBox_accepted();
    delete broken;
    QCOMPARE(contentOf(r.userFile(QStringLiteral("Broken"))), before);
}

void TestScriptFiles::selectorWritesTheIndicatorGroups()
{
    Registries r;
    StudySelector selector(r.studies.get(), {QStringLiteral("ARKT"), QStringLiteral("KSTR")}, 1);
    Ui::StudySelector *ui = selector.form();
    // The list takes the focus and a current row, but nothing is chosen yet: OK stays off.
    selector.show();
    QVERIFY(QTest::qWaitForWindowExposed(&selector));
    ui->studiesView->setFocus();
    QTRY_VERIFY(ui->studiesView->currentIndex().isValid());
    QVERIFY(ui->studiesView->selectionModel()->selectedRows().isEmpty());
    QVERIFY(!ui->buttonBox->button(QDialogButtonBox::Ok)->isEnabled());

    // The broken file shows its error and is left out.
    QItemSelectionModel *selection = ui->studiesView->selectionModel();
    const auto select = [&](const QString &name, QItemSelectionModel::SelectionFlags flags) {
        const QModelIndex index = r.studies->index(r.studies->rowOf(name), 0);
        selection->setCurrentIndex(index, flags | QItemSelectionModel::Rows);
    };
    select(QStringLiteral("Broken"), QItemSelectionModel::ClearAndSelect);
    QCOMPARE(selector.errorText(), QStringLiteral("Некорректный файл"));
    QVERIFY(ui->buttonBox->button(QDialogButtonBox::Ok)->isEnabled());

    // An edited value stays with its indicator while the current one changes.
    select(QStringLiteral("Mine"), QItemSelectionModel::Select);
    QCOMPARE(ui->paramsTable->rowCount(), 2);
    ui->paramsTable->item(1, 1)->setText(QStringLiteral("21")); // "N", after "K"
    select(QStringLiteral("RSI"), QItemSelectionModel::Select);
    select(QStringLiteral("Mine"), QItemSelectionModel::Select);
    QCOMPARE(ui->paramsTable->item(1, 1)->text(), QStringLiteral("21"));

    const QList<MapSettings> groups = selector.results();
    QCOMPARE(groups.size(), 2);
    const MapSettings &mine = groups[0].value(QStringLiteral("name")).toString() == QLatin1String("Mine") ? groups[0] : groups[1];
    // Each group for its own indicator and the chosen series, with the edited value.
    QCOMPARE(mine.value(QStringLiteral("parameter_1/name")).toString(), QStringLiteral("N"));
    QCOMPARE(mine.value(QStringLiteral("parameter_1/value")).toString(), QStringLiteral("21"));
    QCOMPARE(mine.value(QStringLiteral("seriesInd")).toInt(), 1);
    QCOMPARE(mine.value(QStringLiteral("crc")).toULongLong(), r.studies->checksum(QStringLiteral("Mine")));
    // Every chosen row unchosen with the mouse: OK goes off again.
    for (const QString &name : {QStringLiteral("Broken"), QStringLiteral("Mine"), QStringLiteral("RSI")}) {
        const QRect rect = ui->studiesView->visualRect(r.studies->index(r.studies->rowOf(name), 0));
        QTest::mouseClick(ui->studiesView->viewport(), Qt::LeftButton, Qt::ControlModifier, rect.center());
    }
    QVERIFY(ui->studiesView->selectionModel()->selectedRows().isEmpty());
    QVERIFY(!ui->buttonBox->button(QDialogButtonBox::Ok)->isEnabled());
}

void TestScriptFiles::studyRoundTrip()
{
    // Field for field back, and the same bytes after a read-write cycle. (The shipped files
    // are checked byte for byte against this writer with the library.)
    const StudyFile file = study();
    const QByteArray written = ScriptFileFormat::writeStudy(file);
    const StudyFile read = ScriptFileFormat::parseStudy(written);
    QVERIFY(read == file);
    QCOMPARE(ScriptFileFormat::writeStudy(read), written);
    // Line ends of any kind are kept as line feeds; control characters are refused.
    StudyFile lines = study();
    lines.code = QStringLiteral("a;\r\nb;\rc;");
    QCOMPARE(ScriptFileFormat::parseStudy(ScriptFileFormat::writeStudy(lines)).code,
             QStringLiteral("a;\nb;\nc;"));
    lines.parameters.insert(QStringLiteral("Bad"), {QString(QChar(0x0007)), false});
    QVERIFY_THROWS_EXCEPTION(QString, ScriptFileFormat::writeStudy(lines));
}

void TestScriptFiles::readingDefaultsAndErrors_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("error");
    // What is read where there is no error: the axis, changeScaleRange and the precision.
    QTest::addColumn<QString>("read");
    QTest::newRow("axis text") << QByteArray("<study><axis>one</axis></study>") << "" << "0 1 -1";
    QTest::newRow("change 0, precision 6") << QByteArray("<study><changeScaleRange>0</changeScaleRange><precision>6</precision></study>")
                                          << "" << "0 0 -1";
    QTest::newRow("precision 5") << QByteArray("<study><precision>5</precision><axis>1</axis></study>") << "" << "1 1 5";
    QTest::newRow("style width text") << QByteArray("<study><style name=\"a\" view=\"0\" lineWidth=\"wide\"/></study>")
                                      << "Некорректный файл: lineWidth" << "";
    // Values a hand-edited file may hold that no plot can be drawn with: refused where read.
    QTest::newRow("style view 9") << QByteArray("<study><style name=\"MA\" view=\"9\" lineWidth=\"1\"/></study>")
                                  << "Некорректный файл: вид графика \"MA\" = 9 (допустимо 0…2)" << "";
    QTest::newRow("style width 0") << QByteArray("<study><style name=\"MA\" view=\"0\" lineWidth=\"0\"/></study>")
                                   << "Некорректный файл: толщина линии \"MA\" = 0 (допустимо 1…10)" << "";
    QTest::newRow("truncated") << QByteArray("<study><code>Plot(") << "Некорректный файл" << "";
    QTest::newRow("another root") << QByteArray("<function/>") << "Некорректный файл" << "";
}

void TestScriptFiles::readingDefaultsAndErrors()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, error);
    QFETCH(QString, read);
    QCOMPARE(parseError(content), error);
    if (error.isEmpty()) {
        const StudyFile file = ScriptFileFormat::parseStudy(content);
        QCOMPARE(QStringLiteral("%1 %2 %3").arg(file.axis).arg(int(file.changeScaleRange)).arg(file.precision),
                 read);
    }
}

void TestScriptFiles::unsafeNames_data()
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

void TestScriptFiles::unsafeNames()
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
    QVERIFY_THROWS_EXCEPTION(QString, model.save(name, study()));
    model.save(QStringLiteral("Good"), study());
    model.add(QStringLiteral("Good"));
    QString error;
    QVERIFY(!model.rename(model.rowOf(QStringLiteral("Good")), name, &error));
    QVERIFY(!model.duplicate(QStringLiteral("Good"), name, &error));
    QCOMPARE(QDir(d.user).entryList(QDir::Files), QStringList{"Good"});
    QVERIFY(!QFile::exists(d.app + QStringLiteral("/user/tascripts/etc")));
}

void TestScriptFiles::changeNotices()
{
    Directories d;
    StudyFilesModel model(d.app);
    QSignalSpy changed(&model, &ScriptFilesModel::fileChanged);
    // A new file is no change; the same content again is none either.
    model.save(QStringLiteral("MA"), study());
    model.add(QStringLiteral("MA"));
    QCOMPARE(changed.count(), 0);
    model.save(QStringLiteral("MA"), study());
    QCOMPARE(changed.count(), 0);
    const QModelIndex description = model.index(model.rowOf("MA"), ScriptFilesModel::DescriptionColumn);
    QCOMPARE(model.data(description).toString(), study().description);
    StudyFile other = study();
    other.description = QStringLiteral("другое");
    model.save(QStringLiteral("MA"), other);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.first().first().toString(), QStringLiteral("MA"));
    // The listing shows the file as saved.
    QCOMPARE(model.data(description).toString(), other.description);
}

TA_REGISTER_TEST(TestScriptFiles)

#include "tst_scriptfiles.moc"
