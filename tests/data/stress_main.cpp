// The bar model's concurrency scenario as a plain program, for ThreadSanitizer.
#include "barmodelstress.h"
#include "referencedata.h"

#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    AppSettings::setFileName(dir.filePath(QStringLiteral("stress.ini")));
    QString error;
    if (!ReferenceData::load(QStringLiteral(TA_SOURCE_DIR "/terminal/reference.json"), &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 2;
    }
    qRegisterMetaType<FrameIndex>("FrameIndex");
    BarTest::RecordingService service;
    SeriesDataService::setInstance(&service);
    BarTest::setSchedule(BarTest::everyWeekday({BarTest::at(1, 10, 0, 8 * 60 + 45)}));
    const QString failure = BarModelStress::run();
    SeriesDataService::setInstance(nullptr);
    std::printf("%s\n", failure.isEmpty() ? "1 passed, 0 failed" : "0 passed, 1 failed");
    if (!failure.isEmpty())
        std::fprintf(stderr, "%s\n", qPrintable(failure));
    return failure.isEmpty() ? 0 : 1;
}
