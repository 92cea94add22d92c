// Listing a directory of 1,000 indicator files and reading the description column, as the file
// manager and the selector show it: the registry reads each description once. Beside it, the
// plain baseline of reading and parsing every file once more.
#include "scriptfilesmodel.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

namespace {

template <typename F>
double msPer(int runs, F f)
{
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < runs; ++i)
        f(i);
    return double(timer.nsecsElapsed()) / 1e6 / runs;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString user = dir.path() + QStringLiteral("/user/tascripts/indicators");
    QDir().mkpath(user);
    StudyFile file;
    file.description = QStringLiteral("Скользящая средняя за N баров");
    file.code = QStringLiteral("var s = 0;\nfor (var i = 0; i < N; ++i)\n  s += Close.at(CurrentBar - i);\nPlot(s / N, \"MA\");");
    file.parameters.insert(QStringLiteral("N"), {QStringLiteral("14"), false});
    file.styles.insert(QStringLiteral("MA"), {0, QColor(Qt::red), 1});
    const QByteArray content = ScriptFileFormat::writeStudy(file);
    for (int i = 0; i < 1000; ++i) {
        QFile out(user + QStringLiteral("/MA_%1").arg(i, 4, 10, QLatin1Char('0')));
        out.open(QIODevice::WriteOnly);
        out.write(content);
    }

    int rows = 0;
    const double list = msPer(5, [&](int) {
        StudyFilesModel model(dir.path());
        rows = model.rowCount();
        for (int r = 0; r < rows; ++r)
            model.data(model.index(r, ScriptFilesModel::DescriptionColumn));
    });
    StudyFilesModel model(dir.path());
    for (int r = 0; r < model.rowCount(); ++r)
        model.data(model.index(r, ScriptFilesModel::DescriptionColumn));
    const double repaint = msPer(50, [&](int) {
        for (int r = 0; r < model.rowCount(); ++r) {
            model.data(model.index(r, ScriptFilesModel::NameColumn));
            model.data(model.index(r, ScriptFilesModel::ModifiedColumn));
            model.data(model.index(r, ScriptFilesModel::DescriptionColumn));
        }
    });
    const double plain = msPer(5, [&](int) {
        for (const QString &name : QDir(user).entryList(QDir::Files)) {
            QFile in(user + QLatin1Char('/') + name);
            in.open(QIODevice::ReadOnly);
            ScriptFileFormat::parseStudy(in.readAll());
        }
    });
    std::printf("%d indicator files\n\n%-44s %10s %10s %8s\n", rows, "", "ms", "baseline", "ratio");
    std::printf("%-44s %10.3f %10.3f %8.2f   (reading and parsing every file)\n",
                "list and read the description column", list, plain, list / plain);
    std::printf("%-44s %10.3f %10s\n", "paint all three columns again (cached)", repaint, "");
    return 0;
}
