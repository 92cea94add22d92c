#include "scriptfilesmodel.h"

#include "applicationpaths.h"
#include "checksum.h"
#include "processwide.h"
#include "tasharedobjects.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

namespace {

const QString CannotWrite = QStringLiteral("Невозможно записать файл");

bool lessIgnoringCase(const QString &a, const QString &b)
{
    const int c = QString::compare(a, b, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a < b;
}

QStringList filesOf(const QString &directory)
{
    QStringList names;
    const QFileInfoList entries = QDir(directory).entryInfoList(QDir::Files | QDir::NoDotAndDotDot);
    for (const QFileInfo &info : entries) {
        if (ScriptFileFormat::isSafeName(info.fileName()))
            names.append(info.fileName());
    }
    std::sort(names.begin(), names.end(), lessIgnoringCase);
    return names;
}

} // namespace

// --- the common registry --------------------------------------------------------------------

QString ScriptFilesModel::userDataDirectory(const QString &applicationDirectory)
{
    const QString chosen = qEnvironmentVariable("TA_DATA_DIR");
    if (!chosen.isEmpty()) {
        QDir().mkpath(chosen);
        return chosen;
    }
    const QString user = ApplicationPaths::userDataBase(applicationDirectory)
                         + QStringLiteral("/user");
    QDir().mkpath(user);
    return user;
}

ScriptFilesModel::ScriptFilesModel(const QString &applicationDirectory, const QString &subdirectory,
                                   const QString &nameHeader, QObject *parent)
    : QAbstractItemModel(parent)
    , m_builtIn(ApplicationPaths::dataDirectory(applicationDirectory) + QStringLiteral("/tascripts/")
                + subdirectory)
    , m_user(userDataDirectory(applicationDirectory) + QStringLiteral("/tascripts/") + subdirectory)
    , m_nameHeader(nameHeader)
{
    QDir().mkpath(m_builtIn);
    QDir().mkpath(m_user);
    reload();
}

void ScriptFilesModel::checkName(const QString &name)
{
    if (!ScriptFileFormat::isSafeName(name))
        throw QStringLiteral("Недопустимое имя файла: %1").arg(name);
}

void ScriptFilesModel::reload()
{
    beginResetModel();
    m_entries.clear();
    m_cache.clear();
    for (const QString &name : filesOf(m_builtIn))
        m_entries.append({name, false});
    for (const QString &name : filesOf(m_user)) {
        if (!isTaken(name))
            m_entries.insert(insertionRow(name), {name, true});
    }
    endResetModel();
}

int ScriptFilesModel::insertionRow(const QString &name) const
{
    const auto it = std::lower_bound(m_entries.cbegin(), m_entries.cend(), name,
                                     [](const Entry &e, const QString &n) {
                                         return lessIgnoringCase(e.name, n);
                                     });
    return int(it - m_entries.cbegin());
}

QStringList ScriptFilesModel::existingNames() const
{
    QStringList names;
    for (const Entry &e : m_entries)
        names.append(e.name);
    return names;
}

QString ScriptFilesModel::nameAt(int row) const
{
    return row >= 0 && row < m_entries.size() ? m_entries[row].name : QString();
}

int ScriptFilesModel::rowOf(const QString &name) const
{
    for (int i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].name == name)
            return i;
    }
    return -1;
}

bool ScriptFilesModel::isUserFile(int row) const
{
    return row >= 0 && row < m_entries.size() && m_entries[row].user;
}

bool ScriptFilesModel::isTaken(const QString &name) const
{
    for (const Entry &e : m_entries) {
        if (QString::compare(e.name, name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QString ScriptFilesModel::userPath(const QString &name) const
{
    return m_user + QLatin1Char('/') + name;
}

QString ScriptFilesModel::entryPath(const Entry &entry) const
{
    return (entry.user ? m_user : m_builtIn) + QLatin1Char('/') + entry.name;
}

QString ScriptFilesModel::pathFor(const QString &name) const
{
    if (!ScriptFileFormat::isSafeName(name))
        return {};
    // A built-in file hides the user's file of the same name, whatever its case.
    for (const QString &directory : {m_builtIn, m_user}) {
        for (const QString &file : QDir(directory).entryList(QDir::Files)) {
            if (QString::compare(file, name, Qt::CaseInsensitive) == 0)
                return file == name || directory == m_builtIn ? directory + QLatin1Char('/') + file
                                                               : QString();
        }
    }
    return {};
}

quint64 ScriptFilesModel::checksum(const QString &name) const
{
    const QString path = pathFor(name);
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return 0;
    return qChecksum64(file.readAll());
}

QByteArray ScriptFilesModel::readContent(const QString &name, bool *exists) const
{
    checkName(name);
    const QString path = pathFor(name);
    *exists = !path.isEmpty();
    if (path.isEmpty())
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw QStringLiteral("Некорректный файл");
    return file.readAll();
}

void ScriptFilesModel::writeContent(const QString &name, const QByteArray &content, bool notify)
{
    checkName(name);
    // A built-in file is read-only; a user file of its name would never be read.
    for (const QString &file : QDir(m_builtIn).entryList(QDir::Files)) {
        if (QString::compare(file, name, Qt::CaseInsensitive) == 0)
            throw CannotWrite + QStringLiteral(": встроенный файл %1 не изменяется").arg(file);
    }
    const QString path = userPath(name);
    const bool existed = QFile::exists(path);
    quint64 before = 0;
    if (existed) {
        QFile old(path);
        if (old.open(QIODevice::ReadOnly))
            before = qChecksum64(old.readAll());
    }
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(content) != content.size() || !out.commit())
        throw CannotWrite + QStringLiteral(": ") + out.errorString();
    m_cache.remove(name);
    const int row = rowOf(name);
    if (row >= 0)
        Q_EMIT dataChanged(index(row, 0), index(row, ColumnCount - 1));
    if (notify && existed && before != qChecksum64(content))
        Q_EMIT fileChanged(name);
}

void ScriptFilesModel::add(const QString &name)
{
    if (!ScriptFileFormat::isSafeName(name) || isTaken(name))
        return;
    const int row = insertionRow(name);
    beginInsertRows({}, row, row);
    m_entries.insert(row, {name, !QFile::exists(m_builtIn + QLatin1Char('/') + name)});
    endInsertRows();
}

bool ScriptFilesModel::remove(int row, QString *error)
{
    if (!isUserFile(row)) {
        *error = QStringLiteral("Встроенный файл нельзя удалить");
        return false;
    }
    const QString name = m_entries[row].name;
    QFile file(userPath(name));
    if (!file.remove()) {
        *error = QStringLiteral("Файл %1 не удалён: %2").arg(name, file.errorString());
        return false;
    }
    beginRemoveRows({}, row, row);
    m_entries.removeAt(row);
    m_cache.remove(name);
    endRemoveRows();
    // Told once the file is gone, so that indicators on charts see it gone.
    Q_EMIT fileChanged(name);
    return true;
}

bool ScriptFilesModel::rename(int row, const QString &newName, QString *error)
{
    if (!isUserFile(row)) {
        *error = QStringLiteral("Встроенный файл нельзя переименовать");
        return false;
    }
    const QString oldName = m_entries[row].name;
    if (!ScriptFileFormat::isSafeName(newName)) {
        *error = QStringLiteral("Недопустимое имя файла: %1").arg(newName);
        return false;
    }
    if (newName == oldName)
        return true;
    // Another file of that name, in either directory and in any case, is never overwritten.
    const bool caseOnly = QString::compare(newName, oldName, Qt::CaseInsensitive) == 0;
    if ((!caseOnly && isTaken(newName)) || QFile::exists(m_builtIn + QLatin1Char('/') + newName)) {
        *error = QStringLiteral("Файл с именем %1 уже существует").arg(newName);
        return false;
    }
    if (!QFile::rename(userPath(oldName), userPath(newName))) {
        *error = QStringLiteral("Файл %1 не переименован").arg(oldName);
        return false;
    }
    beginRemoveRows({}, row, row);
    m_entries.removeAt(row);
    m_cache.remove(oldName);
    endRemoveRows();
    Q_EMIT fileChanged(oldName);
    add(newName);
    return true;
}

bool ScriptFilesModel::duplicate(const QString &name, const QString &newName, QString *error)
{
    const QString from = pathFor(name);
    if (from.isEmpty()) {
        *error = QStringLiteral("Файл %1 не найден").arg(name);
        return false;
    }
    if (!ScriptFileFormat::isSafeName(newName) || isTaken(newName)) {
        *error = QStringLiteral("Недопустимое или занятое имя: %1").arg(newName);
        return false;
    }
    const QString to = userPath(newName);
    if (QFile::exists(to) || !QFile::copy(from, to)) {
        *error = QStringLiteral("Файл %1 не скопирован").arg(name);
        return false;
    }
    // A copy of a read-only built-in file must be writable, or it can never be saved.
    QFile::setPermissions(to, QFile::permissions(to) | QFileDevice::WriteOwner | QFileDevice::ReadOwner);
    add(newName);
    return true;
}

QModelIndex ScriptFilesModel::index(int row, int column, const QModelIndex &parent) const
{
    if (parent.isValid() || row < 0 || row >= m_entries.size() || column < 0 || column >= ColumnCount)
        return {};
    return createIndex(row, column);
}

int ScriptFilesModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

int ScriptFilesModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ScriptFilesModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_entries.size())
        return {};
    const Entry &entry = m_entries[index.row()];
    if (role == EditableRole)
        return entry.user;
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    if (index.column() == NameColumn)
        return entry.name;
    auto cached = m_cache.find(entry.name);
    if (cached == m_cache.end()) {
        // Read once: a list of a thousand files is painted without a thousand reads a frame.
        Cached value;
        const QString path = entryPath(entry);
        value.modified = QFileInfo(path).lastModified();
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            value.description = ScriptFileFormat::descriptionOf(file.readAll(), &value.readable);
        else
            value = {value.modified, QStringLiteral("Некорректный файл"), false};
        cached = m_cache.insert(entry.name, value);
    }
    if (index.column() == ModifiedColumn)
        return cached->modified;
    return cached->description;
}

QVariant ScriptFilesModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case NameColumn:
        return m_nameHeader;
    case ModifiedColumn:
        return QStringLiteral("Дата изменения");
    case DescriptionColumn:
        return QStringLiteral("Описание");
    default:
        return {};
    }
}

// --- the two registries ---------------------------------------------------------------------

namespace {

ProcessWide<StudyFilesModel> *studies = nullptr;
ProcessWide<FunctionFilesModel> *functions = nullptr;

QString &registryDirectory()
{
    static QString directory;
    return directory;
}

QString applicationDirectory()
{
    return registryDirectory().isEmpty() ? QCoreApplication::applicationDirPath()
                                         : registryDirectory();
}

} // namespace

StudyFilesModel::StudyFilesModel(const QString &applicationDirectory, QObject *parent)
    : ScriptFilesModel(applicationDirectory, QStringLiteral("indicators"),
                       QStringLiteral("Имя индикатора"), parent)
{
}

void ScriptFilesModel::setRegistryDirectory(const QString &applicationDirectory)
{
    registryDirectory() = applicationDirectory;
}

StudyFilesModel *StudyFilesModel::instance()
{
    static ProcessWide<StudyFilesModel> object(
        [] { return new StudyFilesModel(applicationDirectory()); });
    static const bool registered = [] {
        studies = &object;
        TASharedObjects::add("StudyFilesModel", [] { StudyFilesModel::destroyInstance(); });
        return true;
    }();
    Q_UNUSED(registered)
    return object.instance();
}

void StudyFilesModel::destroyInstance()
{
    if (studies && studies->existing())
        studies->destroy();
}

StudyFile StudyFilesModel::read(const QString &name) const
{
    bool exists = false;
    const QByteArray content = readContent(name, &exists);
    if (!exists) {
        StudyFile empty;
        empty.precision = 0;
        return empty;
    }
    return ScriptFileFormat::parseStudy(content);
}

void StudyFilesModel::save(const QString &name, const StudyFile &file)
{
    const QByteArray content = ScriptFileFormat::writeStudy(file);
    // What would not read back is never committed.
    try {
        ScriptFileFormat::parseStudy(content);
    } catch (const QString &) {
        throw QStringLiteral("Невозможно записать файл: содержимое не читается обратно");
    }
    writeContent(name, content, true);
}

FunctionFilesModel::FunctionFilesModel(const QString &applicationDirectory, QObject *parent)
    : ScriptFilesModel(applicationDirectory, QStringLiteral("functions"),
                       QStringLiteral("Имя функции"), parent)
{
}

FunctionFilesModel *FunctionFilesModel::instance()
{
    static ProcessWide<FunctionFilesModel> object(
        [] { return new FunctionFilesModel(applicationDirectory()); });
    static const bool registered = [] {
        functions = &object;
        TASharedObjects::add("FunctionFilesModel", [] { FunctionFilesModel::destroyInstance(); });
        return true;
    }();
    Q_UNUSED(registered)
    return object.instance();
}

void FunctionFilesModel::destroyInstance()
{
    if (functions && functions->existing())
        functions->destroy();
}

FunctionFile FunctionFilesModel::read(const QString &name) const
{
    bool exists = false;
    const QByteArray content = readContent(name, &exists);
    return exists ? ScriptFileFormat::parseFunction(content) : FunctionFile();
}

void FunctionFilesModel::save(const QString &name, const FunctionFile &file)
{
    const QByteArray content = ScriptFileFormat::writeFunction(file);
    // What would not read back is never committed.
    try {
        ScriptFileFormat::parseFunction(content);
    } catch (const QString &) {
        throw QStringLiteral("Невозможно записать файл: содержимое не читается обратно");
    }
    writeContent(name, content, false);
}
