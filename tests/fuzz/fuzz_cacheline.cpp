// Feeds arbitrary bytes to the bar cache reader: the input becomes the one-second day file
// ("yyyyMMdd_1") and the minute day file ("yyyyMMdd_60") of a share, and readCacheFiles folds
// them into a one-second and a one-minute model of that day. Whatever the bytes, reading must
// never crash or trip a sanitizer, and every bar the models hold must keep its open and close
// between its low and its high (bars are folded from deals, so this holds for any file).

#include "appsettings.h"
#include "historicaldatamanager.h"
#include "mapsettings.h"
#include "referencedata.h"
#include "seriesdatamodel.h"
#include "session.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

const SeriesKey Shares{2, 2, 2001}; // stock "EQ", board "EQMN"
const QDate Day(2025, 6, 4);        // a Wednesday: the default schedule covers all of it

struct Fixture
{
    QTemporaryDir dir;
    QString secondPath;
    QString minutePath;
    std::unique_ptr<SeriesDataModel> secondModel;
    std::unique_ptr<SeriesDataModel> minuteModel;
};

Fixture *fixture = nullptr;

// Warnings about odd files are expected; printing them would only slow the fuzzer down.
void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtFatalMsg || type == QtCriticalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

[[noreturn]] void failure(const char *what)
{
    std::fprintf(stderr, "fuzz_cacheline: %s\n", what);
    std::abort();
}

std::unique_ptr<SeriesDataModel> makeModel(const TimeFrameValue &tf)
{
    auto model = std::make_unique<SeriesDataModel>(Shares);
    MapSettings state;
    tf.save(state);
    state.setValue(QStringLiteral("toCurrDate"), false);
    state.setValue(QStringLiteral("dateTo"), Day.toString(Qt::ISODate));
    state.setValue(QStringLiteral("daysBack"), 1);
    model->restoreState(state);
    return model;
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
           && file.write(content) == content.size();
}

void readInto(SeriesDataModel *model)
{
    // Emptying a one-second day touches every slot: only when the last input left bars.
    if (model->validBarCount() > 0)
        model->clear();
    model->build(); // accepts deals again; no data service is installed
    HistoricalDataManager::readCacheFiles(model, Day, Day);

    const int valid = model->validBarCount();
    if (valid > model->totalBarCount())
        failure("more valid bars than slots");
    for (int k = 0; k < valid; ++k) {
        const TimeFrame bar = model->bar(model->validBar(k));
        if (!bar.valid)
            failure("a bar of the valid list is not valid");
        if (bar.high < bar.low || bar.open < bar.low || bar.high < bar.open
            || bar.close < bar.low || bar.high < bar.close)
            failure("a bar's open or close lies outside its low and high");
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // Seconds after midnight are elapsed time on the chosen day in this zone.
    qputenv("TZ", "Europe/Moscow");
    // Qt gets its own copy of the arguments: libFuzzer reads its flags from argv afterwards.
    static int qtArgc = 1;
    static char *qtArgv[] = {*argc > 0 ? (*argv)[0] : const_cast<char *>("fuzz_cacheline"),
                             nullptr};
    static QCoreApplication app(qtArgc, qtArgv);
    qInstallMessageHandler(quietMessages);

    // Destroyed at exit, before the application: the temporary directory goes with it.
    static Fixture instance;
    fixture = &instance;
    if (!fixture->dir.isValid())
        failure("no temporary directory");
    // The cache and the settings live in the temporary directory, never in the user's.
    qputenv("TA_DATA_DIR", fixture->dir.filePath(QStringLiteral("data")).toLocal8Bit());
    AppSettings::setFileName(fixture->dir.filePath(QStringLiteral("fuzz.ini")));
    QString error;
    if (!ReferenceData::load(QStringLiteral(TA_SOURCE_DIR "/terminal/reference.json"), &error)) {
        std::fprintf(stderr, "fuzz_cacheline: %s\n", qPrintable(error));
        std::abort();
    }
    {
        // Monday to Friday, whole days, as the schedule of stock "EQ".
        AppSettings ta(QStringLiteral("TechAnalysis"));
        ta.remove(QString());
        SettingsGroup group(ta, QStringLiteral("Schedule_EQ"));
        saveSchedule(defaultSchedule(), ta);
    }
    const QString directory = HistoricalDataManager::instrumentDirectory(Shares);
    if (directory.isEmpty())
        failure("the share has no cache directory");
    fixture->secondPath = HistoricalDataManager::dayFilePath(directory, Day, QStringLiteral("1"));
    fixture->minutePath = HistoricalDataManager::dayFilePath(directory, Day, QStringLiteral("60"));
    fixture->secondModel = makeModel(TimeFrameValue(1));
    fixture->minuteModel = makeModel(TimeFrameValue(60));
    if (fixture->secondModel->totalBarCount() != 86400
        || fixture->minuteModel->totalBarCount() != 1440)
        failure("the models do not cover the whole day");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray content(reinterpret_cast<const char *>(data), qsizetype(size));
    if (!writeFile(fixture->secondPath, content) || !writeFile(fixture->minutePath, content))
        failure("cannot write the day files");
    readInto(fixture->secondModel.get());
    readInto(fixture->minuteModel.get());
    return 0;
}
