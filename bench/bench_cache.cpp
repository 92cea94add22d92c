// Reading the bar cache files into bar models and inflating compressed bodies through
// ZlibStream, next to plain baselines measured in the same run. Figures only: nothing here
// passes or fails.

#include "appsettings.h"
#include "benchhelpers.h"
#include "dealbatch.h"
#include "historicaldatamanager.h"
#include "mapsettings.h"
#include "referencedata.h"
#include "seriesdatamodel.h"
#include "session.h"
#include "zlibstream.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

namespace {

const SeriesKey Shares{2, 2, 2001}; // stock "EQ", board "EQMN"
const QDate Day(2025, 6, 4);        // a Wednesday: the default schedule covers all of it
constexpr int Runs = 5;

// A trade in every second of the day: a random walk in kopecks around 187.20.
SecondBars randomDay()
{
    std::mt19937_64 random(20250604);
    SecondBars day;
    day.bars.resize(86400);
    qint64 price = 18720;
    for (int s = 0; s < 86400; ++s) {
        TimeFrame &bar = day.bars[size_t(s)];
        const qint64 open = price;
        qint64 high = open, low = open;
        for (int k = 0; k < 3; ++k) {
            price = std::max<qint64>(100, price + qint64(random() % 7) - 3);
            high = std::max(high, price);
            low = std::min(low, price);
        }
        bar.open = decimal(open, 2);
        bar.high = decimal(high, 2);
        bar.low = decimal(low, 2);
        bar.close = decimal(price, 2);
        bar.volume = 1 + qint64(random() % 500);
        bar.value = xdecimal(bar.close).multiplied(bar.volume * 10); // lots of 10 shares
        bar.valid = true;
    }
    day.lastSecond = 86399;
    return day;
}

double secondsOf(const std::function<void()> &work)
{
    QElapsedTimer clock;
    clock.start();
    work();
    return clock.nsecsElapsed() / 1e9;
}

// Best of several runs; prepare runs untimed before each one.
double best(const std::function<void()> &prepare, const std::function<void()> &work)
{
    double result = 1e9;
    for (int run = 0; run < Runs; ++run) {
        prepare();
        result = std::min(result, secondsOf(work));
    }
    return result;
}

// The baseline: QFile::readLine and a split of each line at ';'.
qint64 plainRead(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    qint64 fields = 0;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine();
        fields += line.split(';').size();
    }
    return fields;
}

struct ModelRead
{
    double seconds = 0;
    double plainSeconds = 0;
    int lines = 0;
    int validBars = 0;
    int totalBars = 0;
};

ModelRead timeModelRead(const TimeFrameValue &tf, const QString &path)
{
    ModelRead r;
    SeriesDataModel model(Shares);
    Bench::restore(model, tf, Day, Day);
    r.seconds = best(
        [&] {
            model.clear();
            model.build(); // accepts deals again; no data service is installed
        },
        [&] { HistoricalDataManager::readCacheFiles(&model, Day, Day); });
    r.validBars = model.validBarCount();
    r.totalBars = model.totalBarCount();
    qint64 fields = 0;
    r.plainSeconds = best([] {}, [&] { fields = plainRead(path); });
    r.lines = int(fields / 8);
    return r;
}

// The four deals a bar that readCacheFiles makes, folded without reading a file.
double timeFoldOnly(const SecondBars &day, int *dealCount)
{
    const datetime midnight(Day);
    std::vector<Deal> deals;
    deals.reserve(day.bars.size() * 4);
    for (size_t s = 0; s < day.bars.size(); ++s) {
        const TimeFrame &bar = day.bars[s];
        const datetime start = midnight.addMSecs(qint64(s) * 1000);
        Deal open, high, low, close;
        open.time = start;
        open.price = bar.open;
        high.time = low.time = start.addMSecs(500);
        high.price = bar.high;
        low.price = bar.low;
        close.time = start.addMSecs(999);
        close.price = bar.close;
        close.quantity = bar.volume;
        close.value = bar.value;
        deals.insert(deals.end(), {open, high, low, close});
    }
    *dealCount = int(deals.size());
    SeriesDataModel model(Shares);
    Bench::restore(model, TimeFrameValue(1), Day, Day);
    return best(
        [&] {
            model.clear();
            model.build();
        },
        [&] {
            DealBatch batch(&model, 4, true);
            for (const Deal &d : deals)
                batch.append(d);
        });
}

// Reads the stream to its end in 64 KiB pieces; -1 when it failed.
qint64 readThrough(ZlibStream &stream, QByteArray &out)
{
    constexpr qint64 Piece = 1 << 16;
    qint64 total = 0;
    for (;;) {
        if (out.size() < total + Piece)
            out.resize(total + Piece);
        const qint64 got = stream.read(out.data() + total, Piece);
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        total += got;
    }
    return total;
}

QByteArray deflateBody(const QByteArray &body, int windowBits)
{
    z_stream zs{};
    if (deflateInit2(&zs, 6, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    QByteArray out(qsizetype(deflateBound(&zs, uLong(body.size()))), Qt::Uninitialized);
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(body.constData()));
    zs.avail_in = uInt(body.size());
    zs.next_out = reinterpret_cast<Bytef *>(out.data());
    zs.avail_out = uInt(out.size());
    const int result = deflate(&zs, Z_FINISH);
    out.resize(qsizetype(zs.total_out));
    deflateEnd(&zs);
    return result == Z_STREAM_END ? out : QByteArray();
}

void printRow(const char *name, double seconds, double baselineSeconds, double megabytes)
{
    std::printf("%-40s %12.2f %12.1f %8.2f\n", name, seconds * 1000, megabytes / seconds,
                seconds / baselineSeconds);
}

} // namespace

int main(int argc, char *argv[])
{
    // Seconds after midnight are elapsed time on the chosen day in this zone.
    qputenv("TZ", "Europe/Moscow");
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no temporary directory\n");
        return 2;
    }
    qputenv("TA_DATA_DIR", dir.filePath(QStringLiteral("data")).toLocal8Bit());
    AppSettings::setFileName(dir.filePath(QStringLiteral("bench.ini")));
    QString error;
    if (!ReferenceData::load(ReferenceData::defaultPath(), &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 2;
    }
    Bench::storeSchedule(defaultSchedule());

    std::printf("best of %d runs; ratio: time over the plain baseline's time (above 1: slower)\n\n",
                Runs);

    // --- cache files ---------------------------------------------------------------------
    const SecondBars day = randomDay();
    const double writeSeconds =
        secondsOf([&] { HistoricalDataManager::storeSecondFile(Shares, Day, day); });
    const QString directory = HistoricalDataManager::instrumentDirectory(Shares);
    const QString secondPath =
        HistoricalDataManager::dayFilePath(directory, Day, QStringLiteral("1"));
    const QString minutePath =
        HistoricalDataManager::dayFilePath(directory, Day, QStringLiteral("60"));
    std::printf("storeSecondFile: %.1f ms for the \"_1\" file (%lld bytes) and the \"_60\" file "
                "(%lld bytes)\n\n",
                writeSeconds * 1000, QFile(secondPath).size(), QFile(minutePath).size());

    std::printf("%-40s %12s %12s %8s %14s\n", "readCacheFiles, one day", "ms", "plain ms",
                "ratio", "valid/slots");
    const struct
    {
        const char *name;
        TimeFrameValue tf;
        QString path;
    } reads[] = {
        {"\"_1\" file into a 1-second model", TimeFrameValue(1), secondPath},
        {"\"_60\" file into a 1-minute model", TimeFrameValue(60), minutePath},
    };
    for (const auto &c : reads) {
        const ModelRead r = timeModelRead(c.tf, c.path);
        std::printf("%-40s %12.2f %12.2f %8.2f %8d/%d\n", c.name, r.seconds * 1000,
                    r.plainSeconds * 1000, r.seconds / r.plainSeconds, r.validBars, r.totalBars);
        std::printf("%-40s %12.0f lines/s (%d lines)\n", "", r.lines / r.seconds, r.lines);
    }
    int dealCount = 0;
    const double foldSeconds = timeFoldOnly(day, &dealCount);
    std::printf("%-40s %12.2f %12s %8s   (%d deals through DealBatch, no file)\n",
                "fold only, 1-second model", foldSeconds * 1000, "", "", dealCount);

    // --- inflating -----------------------------------------------------------------------
    // 10 MB of cache file text: what history bodies mostly carry.
    QByteArray text;
    {
        QFile file(secondPath);
        if (file.open(QIODevice::ReadOnly))
            text = file.readAll();
    }
    if (text.isEmpty()) {
        std::fprintf(stderr, "the one-second file was not written\n");
        return 2;
    }
    constexpr qsizetype BodySize = 10'000'000;
    QByteArray body;
    body.reserve(BodySize + text.size());
    while (body.size() < BodySize)
        body += text;
    body.truncate(BodySize);
    const double megabytes = BodySize / 1e6;

    const QByteArray zlibBody = deflateBody(body, 15);
    const QByteArray gzipBody = deflateBody(body, 31);
    std::printf("\ninflating %.0f MB: zlib body %lld bytes, gzip body %lld bytes\n", megabytes,
                qint64(zlibBody.size()), qint64(gzipBody.size()));

    QByteArray out(BodySize + (1 << 16), Qt::Uninitialized);
    bool allEqual = true;

    const double uncompressSeconds = best([] {}, [&] {
        uLongf length = uLongf(out.size());
        if (uncompress(reinterpret_cast<Bytef *>(out.data()), &length,
                       reinterpret_cast<const Bytef *>(zlibBody.constData()),
                       uLong(zlibBody.size()))
                != Z_OK
            || std::memcmp(out.constData(), body.constData(), size_t(BodySize)) != 0
            || length != uLongf(BodySize))
            allEqual = false;
    });

    auto streamRead = [&](const QByteArray &compressed, ZlibStream::Format format) {
        QByteArray source = compressed; // shared, not copied
        QBuffer buffer(&source);
        ZlibStream stream(&buffer);
        stream.setFormat(format);
        if (!stream.open(QIODevice::ReadOnly)) {
            allEqual = false;
            return;
        }
        const qint64 total = readThrough(stream, out);
        if (total != BodySize || stream.state() != ZlibStream::EndOfStream)
            allEqual = false;
    };
    const double zlibSeconds = best([] {}, [&] { streamRead(zlibBody, ZlibStream::Zlib); });
    allEqual = allEqual && std::memcmp(out.constData(), body.constData(), size_t(BodySize)) == 0;
    const double gzipSeconds = best([] {}, [&] { streamRead(gzipBody, ZlibStream::Gzip); });
    allEqual = allEqual && std::memcmp(out.constData(), body.constData(), size_t(BodySize)) == 0;
    QByteArray whole;
    const double readAllSeconds = best([] {}, [&] {
        QByteArray source = gzipBody;
        QBuffer buffer(&source);
        if (!ZlibStream::readAllGzip(&buffer, &whole))
            allEqual = false;
    });
    allEqual = allEqual && whole == body;

    std::printf("%-40s %12s %12s %8s\n", "10 MB body", "ms", "MB/s", "ratio");
    printRow("uncompress (zlib), the baseline", uncompressSeconds, uncompressSeconds, megabytes);
    printRow("ZlibStream, Zlib format", zlibSeconds, uncompressSeconds, megabytes);
    printRow("ZlibStream, Gzip format", gzipSeconds, uncompressSeconds, megabytes);
    printRow("ZlibStream::readAllGzip", readAllSeconds, uncompressSeconds, megabytes);
    std::printf("\ninflated output %s the original body\n", allEqual ? "equals" : "DIFFERS FROM");
    return allEqual ? 0 : 1;
}
