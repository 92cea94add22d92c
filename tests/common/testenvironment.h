#pragma once

#include "appsettings.h"
#include "referencedata.h"

#include <QTemporaryDir>
#include <QtTest>

// What a suite's initTestCase sets up before anything reads settings or the directories: the
// settings file and the data directory (cache and user script files) in the suite's temporary
// directory, and the shipped reference data loaded. Nothing lands beside the test executable.
namespace TestEnvironment {

// An empty text, or what went wrong.
inline QString setUp(const QTemporaryDir &dir, const char *settingsFile)
{
    if (!dir.isValid())
        return QStringLiteral("no temporary directory: ") + dir.errorString();
    AppSettings::setFileName(dir.filePath(QString::fromUtf8(settingsFile)));
    qputenv("TA_DATA_DIR", dir.filePath(QStringLiteral("data")).toUtf8());
    QString error;
    if (!ReferenceData::load(QStringLiteral(TA_SOURCE_DIR "/terminal/reference.json"), &error))
        return error.isEmpty() ? QStringLiteral("the reference data did not load") : error;
    return {};
}

// An environment variable set for the object's lifetime, then as it was before.
class ScopedVariable
{
public:
    ScopedVariable(const char *name, const QString &value)
        : m_name(name)
        , m_wasSet(qEnvironmentVariableIsSet(name))
        , m_previous(qgetenv(name))
    {
        qputenv(name, value.toUtf8());
    }
    ~ScopedVariable()
    {
        if (m_wasSet)
            qputenv(m_name, m_previous);
        else
            qunsetenv(m_name);
    }
    ScopedVariable(const ScopedVariable &) = delete;
    ScopedVariable &operator=(const ScopedVariable &) = delete;

private:
    const char *m_name;
    bool m_wasSet;
    QByteArray m_previous;
};

} // namespace TestEnvironment

#define TA_SET_UP_TEST_ENVIRONMENT(dir, ...)                                                       \
    do {                                                                                           \
        const QString setUpError = TestEnvironment::setUp(dir, __VA_ARGS__);                      \
        QVERIFY2(setUpError.isEmpty(), qPrintable(setUpError));                                    \
    } while (false)
