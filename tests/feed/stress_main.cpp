// The concurrency scenarios of the bar model and the data manager as a plain program, for
// ThreadSanitizer.
#include "barmodelstress.h"
#include "datamanagerstress.h"
#include "referencedata.h"
#include "testclock.h"
#include "testenvironment.h"

#include <QTemporaryDir>

#include <cstdio>

namespace {

int report(const char *name, const QString &failure)
{
    std::printf("%s: %s\n", name, failure.isEmpty() ? "passed" : "FAILED");
    if (!failure.isEmpty())
        std::fprintf(stderr, "%s: %s\n", name, qPrintable(failure));
    return failure.isEmpty() ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    TestClock::pinRun();
    QTemporaryDir dir;
    const QString error =
        TestEnvironment::setUp(dir, "stress.ini");
    if (!error.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 2;
    }
    qRegisterMetaType<FrameIndex>("FrameIndex");
    int failures = 0;
    {
        BarTest::RecordingService service;
        SeriesDataService::setInstance(&service);
        BarTest::setSchedule(BarTest::everyWeekday({BarTest::at(1, 10, 0, 8 * 60 + 45)}));
        failures += report("bar model", BarModelStress::run());
        SeriesDataService::setInstance(nullptr);
    }
    {
        DataTest::tradeEveryDay();
        failures += report("data manager", DataManagerStress::run(8000));
        SeriesDataManager::destroyInstance();
    }
    return failures == 0 ? 0 : 1;
}
