#pragma once

#include "scriptfile.h"

#include <QAbstractItemModel>
#include <QDateTime>
#include <QHash>
#include <QStringList>

// The indicator or function files of the built-in directory and of the user's directory as
// one flat list: the built-in files sorted by name ignoring case, then the user's files whose
// names the list does not hold yet (ignoring case) at their sorted places. A built-in file
// hides a user file of the same name, and reading a name takes the built-in file first.
//
// Names become file names only when ScriptFileFormat::isSafeName() accepts them, whoever
// asks; changes go to the user directory only, written whole or not at all.
class ScriptFilesModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    static constexpr int EditableRole = Qt::UserRole + 1;
    enum Column { NameColumn, ModifiedColumn, DescriptionColumn, ColumnCount };

    // The per-user data directory: $TA_DATA_DIR when set (tools, tests and demos keep their
    // files apart from the user's, as the cache does); else "user" in
    // ApplicationPaths::userDataBase(), the user's data location when the application
    // directory holds a file ".installed", else the application directory. The built-in files
    // lie in "tascripts/" of the installation's data folder, which is the application
    // directory in a build tree.
    static QString userDataDirectory(const QString &applicationDirectory);
    // The application directory of the process-wide registries created from now on (empty:
    // the executable's), so that tests and tools can point them elsewhere.
    static void setRegistryDirectory(const QString &applicationDirectory);

    QString builtInDirectory() const { return m_builtIn; }
    QString userDirectory() const { return m_user; }

    void reload();
    QStringList existingNames() const;
    QString nameAt(int row) const;
    int rowOf(const QString &name) const;
    bool isUserFile(int row) const;
    // The file reading would use; empty for a name that does not exist or is not safe.
    QString pathFor(const QString &name) const;
    bool exists(const QString &name) const { return !pathFor(name).isEmpty(); }
    // Whether the name is taken, ignoring case, in either directory.
    bool isTaken(const QString &name) const;
    // qChecksum64 over the file that reading would use; 0 when there is none.
    quint64 checksum(const QString &name) const;

    void add(const QString &name);
    // User files only. False with a message when the file cannot go (the list stays).
    bool remove(int row, QString *error);
    bool rename(int row, const QString &newName, QString *error);
    // Copies the named file (from wherever it lies) into the user directory under a new
    // name, writable, and lists it.
    bool duplicate(const QString &name, const QString &newName, QString *error);

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &) const override { return {}; }
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

Q_SIGNALS:
    // A file was saved with other content, renamed (the old name) or removed.
    void fileChanged(const QString &name);

protected:
    ScriptFilesModel(const QString &applicationDirectory, const QString &subdirectory,
                     const QString &nameHeader, QObject *parent);

    // The bytes of the file reading would use; empty with *exists false when there is none.
    // Throws "Некорректный файл" when it cannot be read.
    QByteArray readContent(const QString &name, bool *exists) const;
    // Writes the whole content to the user directory or nothing; throws "Невозможно записать
    // файл" with the reason. With notify, fileChanged() follows when an existing user file
    // got other content.
    void writeContent(const QString &name, const QByteArray &content, bool notify);

private:
    struct Entry
    {
        QString name;
        bool user = false;
    };
    static void checkName(const QString &name);
    int insertionRow(const QString &name) const;
    QString userPath(const QString &name) const;
    QString entryPath(const Entry &entry) const;

    QString m_builtIn;
    QString m_user;
    QString m_nameHeader;
    QList<Entry> m_entries;
    // Descriptions and times read once per file version, not on every paint.
    struct Cached
    {
        QDateTime modified;
        QString description;
        bool readable = true;
    };
    mutable QHash<QString, Cached> m_cache;
};

// The indicator files ("indicators"): one registry for the process.
class StudyFilesModel : public ScriptFilesModel
{
    Q_OBJECT
public:
    explicit StudyFilesModel(const QString &applicationDirectory, QObject *parent = nullptr);
    static StudyFilesModel *instance();
    static void destroyInstance();

    // An empty file (null texts, axis 0, precision 0) when there is none; throws the reading
    // errors of ScriptFileFormat::parseStudy.
    StudyFile read(const QString &name) const;
    // Throws "Невозможно записать файл…"; the previous file stays then.
    void save(const QString &name, const StudyFile &file);
};

// The function files ("functions"): one registry for the process.
class FunctionFilesModel : public ScriptFilesModel
{
    Q_OBJECT
public:
    explicit FunctionFilesModel(const QString &applicationDirectory, QObject *parent = nullptr);
    static FunctionFilesModel *instance();
    static void destroyInstance();

    FunctionFile read(const QString &name) const;
    void save(const QString &name, const FunctionFile &file);
};
