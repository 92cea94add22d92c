#pragma once

#include "appsettings.h"
#include "referencedata.h"

#include <QTemporaryDir>
#include <QtTest>

// What a suite's initTestCase sets up before anything reads settings or the directories: the
// settings file in the suite's temporary directory, the shipped reference data loaded and,
// for the suites that write cache files, the data directory beside the settings.
namespace TestEnvironment {

enum Option { SettingsOnly = 0, CacheInDirectory = 1 };

// An empty text, or what went wrong.
inline QString setUp(const QTemporaryDir &dir, const char *settingsFile, int options = SettingsOnly)
{
    if (!dir.isValid())
        return QStringLiteral("no temporary directory: ") + dir.errorString();
    AppSettings::setFileName(dir.filePath(QString::fromUtf8(settingsFile)));
    if (options & CacheInDirectory)
        qputenv("TA_DATA_DIR", dir.filePath(QStringLiteral("data")).toUtf8());
    QString error;
    if (!ReferenceData::load(QStringLiteral(TA_SOURCE_DIR "/terminal/reference.json"), &error))
        return error.isEmpty() ? QStringLiteral("the reference data did not load") : error;
    return {};
}

} // namespace TestEnvironment

#define TA_SET_UP_TEST_ENVIRONMENT(dir, ...)                                                       \
    do {                                                                                           \
        const QString setUpError = TestEnvironment::setUp(dir, __VA_ARGS__);                      \
        QVERIFY2(setUpError.isEmpty(), qPrintable(setUpError));                                    \
    } while (false)
