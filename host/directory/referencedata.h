#pragma once

#include "../data/hostdata_global.h"

#include <QString>

class Table;

// Loads the host's reference tables ("stocks", "boards", "securities", "calendar") from a JSON
// file and registers them, together with an empty "all_deals" table, in the TableRegistry.
// The file format is described in the README.
class HOST_EXPORT ReferenceData
{
public:
    // $TA_REFERENCE_DATA when set, else "reference.json" in the application directory.
    static QString defaultPath();

    // On failure nothing is registered and *error names the file and the first problem.
    static bool load(const QString &path, QString *error);
    // The same from bytes already read; path is only used in messages.
    static bool loadFromData(const QByteArray &json, const QString &path, QString *error);

    // The empty live trade table.
    static Table *createDealsTable();
};
