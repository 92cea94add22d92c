#pragma once

#include "testclock.h"

#include <QLibraryInfo>
#include <QList>
#include <QLocale>
#include <QTranslator>
#include <QObject>
#include <QtTest>

#include <functional>

// Several test classes of one subsystem in one executable: each source file registers its
// class with TA_REGISTER_TEST, and TA_TEST_MAIN runs them all (or the one named by -class).
namespace TestRegistry {

using Factory = std::function<QObject *()>;

inline QList<QPair<const char *, Factory>> &tests()
{
    static QList<QPair<const char *, Factory>> list;
    return list;
}

struct Registrar
{
    Registrar(const char *name, Factory factory) { tests().append({name, std::move(factory)}); }
};

// Runs every registered class with the command-line arguments; "-class Name" picks one.
inline int runAll(int argc, char *argv[])
{
    QStringList args;
    QString only;
    for (int i = 0; i < argc; ++i) {
        if (QByteArray(argv[i]) == "-class" && i + 1 < argc) {
            only = QString::fromLocal8Bit(argv[++i]);
            continue;
        }
        args.append(QString::fromLocal8Bit(argv[i]));
    }
    int failures = 0;
    for (const auto &[name, factory] : tests()) {
        if (!only.isEmpty() && only != QLatin1String(name))
            continue;
        std::unique_ptr<QObject> test(factory());
        failures += QTest::qExec(test.get(), args);
    }
    return failures;
}

} // namespace TestRegistry

#define TA_REGISTER_TEST(Class)                                                                    \
    static TestRegistry::Registrar registrar_##Class(#Class, [] { return new Class; });

#define TA_TEST_MAIN                                                                               \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        QApplication app(argc, argv);                                                              \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                   \
        /* Qt's own texts in Russian, as the terminal shows them. */                              \
        QTranslator qtTexts;                                                                       \
        if (qtTexts.load(QLocale(QLocale::Russian), QStringLiteral("qtbase"), QStringLiteral("_"), \
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))                      \
            QCoreApplication::installTranslator(&qtTexts);                                         \
        TestClock::pinRun();                                                                       \
        return TestRegistry::runAll(argc, argv);                                                   \
    }
