// The file manager, both editors and the indicator selector over registries in temporary
// directories; the name and question dialogs answered by the test.

#include "colorbutton.h"
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
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

namespace {

StudyFile study(const QString &description, int axis = 0, int precision = -1)
{
    StudyFile file;
    file.description = description;
    file.code = QStringLiteral("Plot(Close.at(CurrentBar), \"C\");");
    file.parameters.insert(QStringLiteral("N"), {QStringLiteral("14"), false});
    file.parameters.insert(QStringLiteral("K"), {QStringLiteral("N*2"), true});
    file.styles.insert(QStringLiteral("C"), {1, QColor(0x10, 0x20, 0x30), 3});
    file.axis = axis;
    file.changeScaleRange = axis == 1 ? false : true;
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

struct Registries
{
    Registries()
    {
        put(dir.path() + QStringLiteral("/tascripts/indicators/RSI"),
            ScriptFileFormat::writeStudy(study(QStringLiteral("built-in"), 1, 3)));
        QFile::setPermissions(dir.path() + QStringLiteral("/tascripts/indicators/RSI"),
                              QFileDevice::ReadOwner | QFileDevice::ReadUser);
        put(dir.path() + QStringLiteral("/user/tascripts/indicators/Mine"),
            ScriptFileFormat::writeStudy(study(QStringLiteral("mine"))));
        put(dir.path() + QStringLiteral("/user/tascripts/indicators/Broken"), "<study><code>x");
        studies = std::make_unique<StudyFilesModel>(dir.path());
        functions = std::make_unique<FunctionFilesModel>(dir.path());
    }
    QString userFile(const QString &name) const
    {
        return dir.path() + QStringLiteral("/user/tascripts/indicators/") + name;
    }
    QTemporaryDir dir;
    // The user's files in the "user" folder of this application directory.
    TestEnvironment::ScopedVariable userData{"TA_DATA_DIR", dir.path() + QStringLiteral("/user")};
    std::unique_ptr<StudyFilesModel> studies;
    std::unique_ptr<FunctionFilesModel> functions;
};

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

} // namespace

class TestScriptDialogs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void duplicateNames();
    void managerButtonsFollowTheSelection();
    void managerFlows();
    void editorShowsAndCollectsAFile();
    void editorRowsAndSaveButton();
    void readOnlyAndUnreadableFiles();
    void refusedSaveKeepsTheEditorOpen();
    void selectorWritesTheIndicatorGroups();

private:
    QTemporaryDir m_dir;
};

void TestScriptDialogs::initTestCase()
{
    TA_SET_UP_TEST_ENVIRONMENT(m_dir, "scriptdialogs.ini");
}

void TestScriptDialogs::duplicateNames()
{
    QCOMPARE(ScriptFilesManager::duplicateName(QStringLiteral("n"), {QStringLiteral("n")}), QStringLiteral("n_2"));
    QCOMPARE(ScriptFilesManager::duplicateName(QStringLiteral("n"), {QStringLiteral("n"), QStringLiteral("N_2")}),
             QStringLiteral("n_2_2"));
    QCOMPARE(ScriptFilesManager::duplicateName(QStringLiteral("n_2"), {QStringLiteral("n_2")}), QStringLiteral("n_2_2"));
}

void TestScriptDialogs::managerButtonsFollowTheSelection()
{
    Registries r;
    ScriptFilesManager manager(r.studies.get(), r.functions.get());
    Ui::ScriptFilesManager *ui = manager.form();
    QCOMPARE(manager.windowTitle(), QStringLiteral("Редактор индикаторов"));
    QVERIFY(!ui->openButton->isEnabled());
    manager.selectName(QStringLiteral("RSI"));
    QVERIFY(ui->openButton->isEnabled());
    QVERIFY(ui->duplicateButton->isEnabled());
    QVERIFY(!ui->renameButton->isEnabled());
    QVERIFY(!ui->deleteButton->isEnabled());
    manager.selectName(QStringLiteral("Mine"));
    QVERIFY(ui->renameButton->isEnabled());
    QVERIFY(ui->deleteButton->isEnabled());
    // The functions tab has nothing selected.
    ui->tabWidget->setCurrentIndex(1);
    QVERIFY(!ui->openButton->isEnabled());
    QVERIFY(!ui->deleteButton->isEnabled());
}

void TestScriptDialogs::managerFlows()
{
    Registries r;
    ScriptFilesManager manager(r.studies.get(), r.functions.get());
    manager.show();
    {
        // The dialogs at their first size: every text whole, nothing past the edge. Kept when
        // TA_TEST_IMAGES names a directory.
        const QString pictures = qEnvironmentVariable("TA_TEST_IMAGES");
        manager.selectName(QStringLiteral("Mine"));
        StudyEditor study(r.studies.get(), QStringLiteral("RSI"), true);
        FunctionsEditor function(r.functions.get(), QStringLiteral("avg"), true);
        StudySelector selector(r.studies.get(), {QStringLiteral("ARKT"), QStringLiteral("KSTR")}, 1);
        const std::pair<QWidget *, const char *> shown[] = {{&manager, "script-manager.png"},
                                                            {&study, "study-editor.png"},
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
    QStringList taken;
    ScriptFilesManager::setNamePrompt([&](QWidget *, const QString &, const QString &, const QString &,
                                          const QStringList &forbidden, const QString &initial) {
        offered = initial;
        taken = forbidden;
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
    QCOMPARE(editor->windowTitle(), QStringLiteral("Индикатор NEW_1"));
    editor->form()->codeEdit->setPlainText(QStringLiteral("Plot(1, \"P\");"));
    editor->form()->buttonBox->button(QDialogButtonBox::Save)->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(QFile::exists(r.userFile(QStringLiteral("NEW_1"))));
    QCOMPARE(manager.selectedName(), QStringLiteral("NEW_1"));
    QVERIFY(taken.contains(QStringLiteral("RSI")));

    // Duplicate the read-only built-in file: "RSI_2" offered, a writable user file.
    manager.selectName(QStringLiteral("RSI"));
    answer = QString();
    manager.duplicateFile();
    QCOMPARE(offered, QStringLiteral("RSI_2"));
    answer = QStringLiteral("RSI_2");
    manager.duplicateFile();
    QCOMPARE(manager.selectedName(), QStringLiteral("RSI_2"));
    QVERIFY(QFileInfo(r.userFile(QStringLiteral("RSI_2"))).isWritable());

    // Rename the copy; a name taken by another file in another case is refused.
    answer = QStringLiteral("mine");
    manager.renameFile();
    QVERIFY(manager.findChild<QMessageBox *>(QStringLiteral("managerError")));
    QCOMPARE(manager.selectedName(), QStringLiteral("RSI_2"));
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
    const QStringList before = r.studies->existingNames();
    const int row = r.studies->rowOf(QStringLiteral("Renamed"));
    manager.delFile();
    QVERIFY(!QFile::exists(r.userFile(QStringLiteral("Renamed"))));
    QCOMPARE(manager.selectedName(), r.studies->nameAt(qMin(row, r.studies->rowCount() - 1)));
    QCOMPARE(r.studies->rowCount(), before.size() - 1);
    ScriptFilesManager::setNamePrompt({});
    ScriptFilesManager::setQuestion({});
}

void TestScriptDialogs::editorShowsAndCollectsAFile()
{
    Registries r;
    const StudyFile series = study(QStringLiteral("on the series"), 1, 3);
    r.studies->save(QStringLiteral("OnSeries"), series);
    auto *editor = new StudyEditor(r.studies.get(), QStringLiteral("OnSeries"), false);
    Ui::StudyEditor *ui = editor->form();
    QVERIFY(ui->seriesAxisRadio->isChecked());
    QVERIFY(ui->changeScaleCheck->isEnabled());
    QVERIFY(!ui->changeScaleCheck->isChecked());
    QVERIFY(ui->decimalsRadio->isChecked());
    QCOMPARE(ui->decimalsCombo->currentIndex(), 3);
    QCOMPARE(ui->paramsTable->rowCount(), 2);
    QCOMPARE(ui->codeEdit->font().family(), QStringLiteral("Courier New"));
    // Field for field what the file holds.
    QVERIFY(editor->collect() == series);
    // A separate axis always affects its own scale; "as the series" is -1.
    ui->separateAxisRadio->setChecked(true);
    QVERIFY(!ui->changeScaleCheck->isEnabled());
    ui->asSeriesRadio->setChecked(true);
    const StudyFile changed = editor->collect();
    QCOMPARE(changed.axis, 0);
    QVERIFY(changed.changeScaleRange);
    QCOMPARE(changed.precision, -1);
    delete editor;
}

void TestScriptDialogs::editorRowsAndSaveButton()
{
    Registries r;
    auto *editor = new StudyEditor(r.studies.get(), QStringLiteral("Fresh"), false);
    Ui::StudyEditor *ui = editor->form();
    QPushButton *save = ui->buttonBox->button(QDialogButtonBox::Save);
    QVERIFY(!save->isEnabled());
    ui->codeEdit->setPlainText(QStringLiteral("x"));
    QVERIFY(save->isEnabled());
    QVERIFY(!ui->delParamsButton->isEnabled());
    ui->addParamsButton->click();
    ui->addStyleButton->click();
    const StudyFile file = editor->collect();
    QCOMPARE(file.parameters.value(QStringLiteral("Name")).value, QStringLiteral("0"));
    QVERIFY(!file.parameters.value(QStringLiteral("Name")).isFormula);
    QCOMPARE(file.styles.value(QStringLiteral("Plot")).view, 0);
    QCOMPARE(file.styles.value(QStringLiteral("Plot")).color, QColor(Qt::red));
    QCOMPARE(file.styles.value(QStringLiteral("Plot")).lineWidth, 1);
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
    ui->paramsTable->selectRow(0);
    QVERIFY(ui->delParamsButton->isEnabled());
    ui->delParamsButton->click();
    QCOMPARE(ui->paramsTable->rowCount(), 1);
    delete editor;
}

void TestScriptDialogs::readOnlyAndUnreadableFiles()
{
    Registries r;
    auto *builtIn = new StudyEditor(r.studies.get(), QStringLiteral("RSI"), true);
    QVERIFY(builtIn->form()->codeEdit->isReadOnly());
    QVERIFY(builtIn->form()->buttonBox->button(QDialogButtonBox::Save)->isHidden());
    QVERIFY(builtIn->form()->addParamsButton->isHidden());
    delete builtIn;
    // A description longer than its field is shown from its start, read-only or not.
    const QString text = QStringLiteral("Индекс относительной силы Уайлдера: ") + QString(200, u'x');
    r.studies->save(QStringLiteral("Long"), study(text));
    r.functions->save(QStringLiteral("long"), {text, QStringLiteral("a")});
    for (bool readOnly : {true, false}) {
        StudyEditor editor(r.studies.get(), QStringLiteral("Long"), readOnly);
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        QCOMPARE(editor.form()->descriptionEdit->cursorPosition(), 0);
        FunctionsEditor function(r.functions.get(), QStringLiteral("long"), readOnly);
        function.show();
        QVERIFY(QTest::qWaitForWindowExposed(&function));
        QCOMPARE(function.form()->descriptionEdit->cursorPosition(), 0);
    }

    // An unreadable file shows its error and can never be saved over.
    const QByteArray before = contentOf(r.userFile(QStringLiteral("Broken")));
    auto *broken = new StudyEditor(r.studies.get(), QStringLiteral("Broken"), false);
    QCOMPARE(broken->readError(), QStringLiteral("Некорректный файл"));
    QVERIFY(broken->isReadOnly());
    broken->on_buttonBox_accepted();
    delete broken;
    QCOMPARE(contentOf(r.userFile(QStringLiteral("Broken"))), before);

    // Function files the same way.
    r.functions->save(QStringLiteral("avg"), {QStringLiteral("среднее"), QStringLiteral("a")});
    auto *function = new FunctionsEditor(r.functions.get(), QStringLiteral("avg"), false);
    QCOMPARE(function->windowTitle(), QStringLiteral("Функция avg"));
    function->form()->codeEdit->setPlainText(QStringLiteral("b"));
    function->on_buttonBox_accepted();
    QCOMPARE(r.functions->read(QStringLiteral("avg")).code, QStringLiteral("b"));
}

void TestScriptDialogs::refusedSaveKeepsTheEditorOpen()
{
    Registries r;
    auto *editor = new StudyEditor(r.studies.get(), QStringLiteral("Mine"), false);
    editor->show();
    QSignalSpy saved(editor, &StudyEditor::saved);
    QPointer<StudyEditor> alive(editor);
    editor->form()->codeEdit->setPlainText(QStringLiteral("Plot(2, \"C\");") + QChar(0x0001));
    editor->on_buttonBox_accepted();
    QCoreApplication::processEvents();
    QVERIFY(alive);
    QVERIFY(editor->isVisible());
    QVERIFY(editor->findChild<QMessageBox *>(QStringLiteral("saveError")));
    QCOMPARE(saved.count(), 0);
    QCOMPARE(r.studies->read(QStringLiteral("Mine")).description, QStringLiteral("mine"));
    delete editor;
}

void TestScriptDialogs::selectorWritesTheIndicatorGroups()
{
    Registries r;
    StudySelector selector(r.studies.get(), {QStringLiteral("ARKT"), QStringLiteral("KSTR")}, 1);
    Ui::StudySelector *ui = selector.form();
    QCOMPARE(ui->seriesCombo->currentIndex(), 1);
    QVERIFY(!ui->buttonBox->button(QDialogButtonBox::Ok)->isEnabled());
    QVERIFY(ui->studiesView->isColumnHidden(ScriptFilesModel::ModifiedColumn));
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
    const MapSettings &rsi = &mine == &groups[0] ? groups[1] : groups[0];
    QCOMPARE(mine.value(QStringLiteral("parametersCount")).toInt(), 2);
    QCOMPARE(mine.value(QStringLiteral("parameter_1/name")).toString(), QStringLiteral("N"));
    QCOMPARE(mine.value(QStringLiteral("parameter_1/value")).toString(), QStringLiteral("21"));
    QCOMPARE(mine.value(QStringLiteral("parameter_0/isFormula")).toBool(), true);
    QCOMPARE(mine.value(QStringLiteral("styleCount")).toInt(), 1);
    QCOMPARE(mine.value(QStringLiteral("style_0/color")).toString(), QStringLiteral("#102030"));
    QCOMPARE(mine.value(QStringLiteral("customPrecision")).toBool(), false);
    QCOMPARE(mine.value(QStringLiteral("seriesInd")).toInt(), 1);
    QCOMPARE(mine.value(QStringLiteral("crc")).toULongLong(), r.studies->checksum(QStringLiteral("Mine")));
    QCOMPARE(rsi.value(QStringLiteral("axis")).toInt(), 1);
    QCOMPARE(rsi.value(QStringLiteral("customPrecision")).toBool(), true);
    QCOMPARE(rsi.value(QStringLiteral("decimals")).toInt(), 3);
    QCOMPARE(rsi.value(QStringLiteral("code")).toString(), study(QString()).code);
    // Every chosen row unchosen with the mouse: OK goes off again.
    for (const QString &name : {QStringLiteral("Broken"), QStringLiteral("Mine"), QStringLiteral("RSI")}) {
        const QRect rect = ui->studiesView->visualRect(r.studies->index(r.studies->rowOf(name), 0));
        QTest::mouseClick(ui->studiesView->viewport(), Qt::LeftButton, Qt::ControlModifier, rect.center());
    }
    QVERIFY(ui->studiesView->selectionModel()->selectedRows().isEmpty());
    QVERIFY(!ui->buttonBox->button(QDialogButtonBox::Ok)->isEnabled());
}

TA_REGISTER_TEST(TestScriptDialogs)

#include "tst_scriptdialogs.moc"
