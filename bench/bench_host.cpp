// Throughput of the host data library's hot paths, each next to a simple baseline measured in
// the same run, so that the ratio stays meaningful from one machine to another. Figures only:
// nothing here passes or fails.

#include "checksum.h"
#include "datetime.h"
#include "decimal.h"
#include "index.h"
#include "record.h"
#include "referencedata.h"
#include "table.h"
#include "xdecimal.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include <unistd.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

// Makes the optimiser believe the value is read, so that a measured loop is not dropped.
template<typename T>
inline void keep(const T &value)
{
    asm volatile("" : : "g"(&value) : "memory");
}

// Deterministic pseudo-random numbers: every run measures the same data.
class Lcg
{
public:
    explicit Lcg(quint64 seed)
        : m_state(seed)
    {
    }
    quint32 next()
    {
        m_state = m_state * 6364136223846793005ULL + 1442695040888963407ULL;
        return quint32(m_state >> 33);
    }
    int below(int n) { return int(next() % quint32(n)); }

private:
    quint64 m_state;
};

// Repeats pass() until minSeconds have elapsed and returns operations per second. One pass
// runs first untimed, so lazy initialisation and cold caches are not measured.
template<typename Pass>
double rate(qint64 opsPerPass, Pass pass, double minSeconds = 1.0)
{
    pass();
    QElapsedTimer timer;
    qint64 ops = 0;
    timer.start();
    do {
        pass();
        ops += opsPerPass;
    } while (timer.nsecsElapsed() < qint64(minSeconds * 1e9));
    return double(ops) * 1e9 / double(timer.nsecsElapsed());
}

// Resident set size in bytes, from /proc/self/statm (second field, in pages).
qint64 residentBytes()
{
    FILE *f = std::fopen("/proc/self/statm", "r");
    if (!f)
        return 0;
    long long size = 0;
    long long resident = 0;
    const int read = std::fscanf(f, "%lld %lld", &size, &resident);
    std::fclose(f);
    return read == 2 ? resident * sysconf(_SC_PAGESIZE) : 0;
}

// Hands freed heap pages back to the system, so that the next RSS reading starts clean.
void releaseFreedMemory()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

struct Row
{
    QString name;
    double figure;
    double baseline;
    QString unit;
    QString baselineName;
};

QList<Row> rows;

void report(const QString &name, double figure, double baseline, const QString &unit,
            const QString &baselineName)
{
    rows.append({name, figure, baseline, unit, baselineName});
    std::printf("  measured: %s\n", qPrintable(name));
    std::fflush(stdout);
}

QString human(double value, const QString &unit)
{
    if (unit == QLatin1String("/s")) {
        if (value >= 1e9)
            return QStringLiteral("%1 G/s").arg(value / 1e9, 0, 'f', 2);
        if (value >= 1e6)
            return QStringLiteral("%1 M/s").arg(value / 1e6, 0, 'f', 2);
        if (value >= 1e3)
            return QStringLiteral("%1 k/s").arg(value / 1e3, 0, 'f', 1);
        return QStringLiteral("%1 /s").arg(value, 0, 'f', 0);
    }
    return QStringLiteral("%1 %2").arg(value, 0, 'f', value < 100 ? 2 : 1).arg(unit);
}

// ---------------------------------------------------------------------------------------------
// Decimal texts: the shapes a price takes in a feed or a file.

QStringList priceTexts(int count)
{
    Lcg rng(20240611);
    QStringList texts;
    texts.reserve(count);
    // A few fixed ones so that the usual shapes are always present.
    texts << QStringLiteral("187.45") << QStringLiteral("-0.0035") << QStringLiteral("31250")
          << QStringLiteral("1e-3") << QStringLiteral("0.000125") << QStringLiteral("2.5E+2")
          << QStringLiteral("99.990") << QStringLiteral("-12.5");
    while (texts.size() < count) {
        const int whole = rng.below(100000);
        switch (rng.below(8)) {
        case 0: // share price with kopecks
            texts << QStringLiteral("%1.%2")
                         .arg(whole % 5000)
                         .arg(rng.below(100), 2, 10, QLatin1Char('0'));
            break;
        case 1: // futures points
            texts << QString::number(20000 + whole);
            break;
        case 2: // currency rate with four decimals
            texts << QStringLiteral("%1.%2")
                         .arg(50 + whole % 100)
                         .arg(rng.below(10000), 4, 10, QLatin1Char('0'));
            break;
        case 3: // negative spread
            texts << QStringLiteral("-0.%1").arg(rng.below(10000), 4, 10, QLatin1Char('0'));
            break;
        case 4: // exponent form
            texts << QStringLiteral("%1e-%2").arg(1 + rng.below(999)).arg(1 + rng.below(6));
            break;
        case 5: // bond price in percent
            texts << QStringLiteral("%1.%2")
                         .arg(80 + whole % 40)
                         .arg(rng.below(1000), 3, 10, QLatin1Char('0'));
            break;
        case 6: // penny stock with many decimals
            texts << QStringLiteral("0.%1").arg(rng.below(1000000), 6, 10, QLatin1Char('0'));
            break;
        default: // plain integer with trailing zeros
            texts << QString::number((1 + rng.below(999)) * 1000);
            break;
        }
    }
    return texts;
}

void benchDecimalParse(const QStringList &texts)
{
    int failures = 0;
    for (const QString &t : texts) {
        bool ok = false;
        decimal::fromString(t, &ok);
        bool okDouble = false;
        t.toDouble(&okDouble);
        if (!ok || !okDouble)
            ++failures;
    }
    if (failures)
        std::printf("  warning: %d of %lld texts did not parse\n", failures,
                    static_cast<long long>(texts.size()));

    const double figure = rate(texts.size(), [&texts] {
        for (const QString &t : texts) {
            bool ok;
            const decimal d = decimal::fromString(t, &ok);
            keep(d);
        }
    });
    const double baseline = rate(texts.size(), [&texts] {
        for (const QString &t : texts) {
            bool ok;
            const double d = t.toDouble(&ok);
            keep(d);
        }
    });
    report(QStringLiteral("decimal::fromString"), figure, baseline, QStringLiteral("/s"),
           QStringLiteral("QString::toDouble"));
}

void benchDecimalCompare(const QStringList &texts)
{
    const qsizetype n = texts.size();
    std::vector<decimal> a;
    std::vector<decimal> b;
    std::vector<double> da;
    std::vector<double> db;
    int differentScales = 0;
    for (qsizetype i = 0; i < n; ++i) {
        bool ok;
        a.push_back(decimal::fromString(texts.at(i), &ok));
        b.push_back(decimal::fromString(texts.at((i * 7 + 3) % n), &ok));
        da.push_back(a.back().toDouble());
        db.push_back(b.back().toDouble());
        if (a.back().scale() != b.back().scale())
            ++differentScales;
    }
    std::printf("  compare: %d of %lld pairs have different scales\n", differentScales,
                static_cast<long long>(n));

    const double figure = rate(n, [&] {
        int less = 0;
        for (size_t i = 0; i < a.size(); ++i)
            less += a[i] < b[i];
        keep(less);
    });
    const double baseline = rate(n, [&] {
        int less = 0;
        for (size_t i = 0; i < da.size(); ++i)
            less += da[i] < db[i];
        keep(less);
    });
    report(QStringLiteral("decimal operator<"), figure, baseline, QStringLiteral("/s"),
           QStringLiteral("double <"));
}

void benchXDecimalSum(const QStringList &texts)
{
    // Turnovers price * quantity: exponents from about -6 to +3 mixed in one sum.
    Lcg rng(7);
    std::vector<xdecimal> turnovers;
    std::vector<qint64> fixedPoint; // the same turnovers in millionths
    for (const QString &t : texts) {
        bool ok;
        decimal price = decimal::fromString(t, &ok);
        if (price.mantissa() < 0)
            price = decimal(-price.mantissa(), price.scale());
        const xdecimal value = xdecimal(price).multiplied(1 + rng.below(1000));
        turnovers.push_back(value);
        fixedPoint.push_back(std::llround(value.toDouble() * 1e6));
    }
    int minExponent = 0;
    int maxExponent = 0;
    for (const xdecimal &v : turnovers) {
        minExponent = qMin(minExponent, int(v.exponent()));
        maxExponent = qMax(maxExponent, int(v.exponent()));
    }
    std::printf("  sum: exponents from %d to %d\n", minExponent, maxExponent);

    bool exact = true;
    const double figure = rate(qint64(turnovers.size()), [&] {
        xdecimal sum;
        for (const xdecimal &v : turnovers)
            sum += v;
        exact = exact && sum.isExact();
        keep(sum);
    });
    if (!exact)
        std::printf("  warning: the turnover sum was rounded\n");
    const double baseline = rate(qint64(fixedPoint.size()), [&] {
        qint64 sum = 0;
        for (qint64 v : fixedPoint)
            sum += v;
        keep(sum);
    });
    report(QStringLiteral("xdecimal operator+="), figure, baseline, QStringLiteral("/s"),
           QStringLiteral("qint64 +="));
}

// ---------------------------------------------------------------------------------------------
// Appending deals to the "all_deals" table.

// One deal as a plain struct: the baseline stores these in a std::vector, and the table run
// writes the same values into records.
struct PlainDeal
{
    qint64 dealId = 0;
    qint32 stockId = 0;
    qint32 boardId = 0;
    qint64 secId = 0;
    qint32 sessId = 0;
    qint64 moment = 0; // msecs since the epoch
    decimal price;
    qint64 quantity = 0;
    xdecimal value;
    qint32 openInterest = 0;
    qint32 nosystem = 0;
    qint32 buysell = 0;
};

// A pool of varied deals; deal i takes its values from the pool and gets its own id and time.
class DealSource
{
public:
    explicit DealSource(const QStringList &texts)
    {
        Lcg rng(99);
        const qint64 start = datetime(2026, 3, 2, 10, 0).toMSecsSinceEpoch();
        for (int i = 0; i < PoolSize; ++i) {
            PlainDeal d;
            d.stockId = 1 + rng.below(3);
            d.boardId = 1 + rng.below(16);
            d.secId = 1000 + rng.below(500);
            d.sessId = 5000;
            d.moment = start;
            bool ok;
            d.price = decimal::fromString(texts.at(i % texts.size()), &ok);
            if (d.price.mantissa() < 0)
                d.price = decimal(-d.price.mantissa(), d.price.scale());
            d.quantity = 1 + rng.below(500);
            d.value = xdecimal(d.price).multiplied(d.quantity);
            d.openInterest = rng.below(100000);
            d.nosystem = rng.below(10) == 0;
            d.buysell = 1 + rng.below(2);
            m_pool[i] = d;
        }
    }

    PlainDeal at(qint64 i) const
    {
        PlainDeal d = m_pool[i % PoolSize];
        d.dealId = 1 + i;
        d.moment += i * 7;
        return d;
    }

private:
    static constexpr int PoolSize = 1024;
    PlainDeal m_pool[PoolSize];
};

// The index the benchmark attaches: counts what it is told about.
class CountingIndex : public Index
{
public:
    void process(const QList<Record> &records) override { m_count += records.size(); }
    qint64 count() const { return m_count; }

private:
    qint64 m_count = 0;
};

struct Columns
{
    explicit Columns(const Table *t)
        : dealId(t->columnIndex(QStringLiteral("deal_id")))
        , stockId(t->columnIndex(QStringLiteral("stock_id")))
        , boardId(t->columnIndex(QStringLiteral("board_id")))
        , secId(t->columnIndex(QStringLiteral("sec_id")))
        , sessId(t->columnIndex(QStringLiteral("sess_id")))
        , moment(t->columnIndex(QStringLiteral("moment")))
        , price(t->columnIndex(QStringLiteral("price")))
        , quantity(t->columnIndex(QStringLiteral("quantity")))
        , value(t->columnIndex(QStringLiteral("value")))
        , openInterest(t->columnIndex(QStringLiteral("open_interest")))
        , nosystem(t->columnIndex(QStringLiteral("nosystem")))
        , buysell(t->columnIndex(QStringLiteral("buysell")))
    {
    }
    int dealId, stockId, boardId, secId, sessId, moment, price, quantity, value, openInterest,
        nosystem, buysell;
};

Record makeRecord(const Table *table, const Columns &c, const PlainDeal &d)
{
    Record r(table);
    r.data(c.dealId).setValue(QVariant::fromValue(d.dealId));
    r.data(c.stockId).setValue(QVariant::fromValue(d.stockId));
    r.data(c.boardId).setValue(QVariant::fromValue(d.boardId));
    r.data(c.secId).setValue(QVariant::fromValue(d.secId));
    r.data(c.sessId).setValue(QVariant::fromValue(d.sessId));
    r.data(c.moment).setValue(QVariant::fromValue(datetime::fromMSecsSinceEpoch(d.moment)));
    r.data(c.price).setValue(QVariant::fromValue(d.price));
    r.data(c.quantity).setValue(QVariant::fromValue(d.quantity));
    r.data(c.value).setValue(QVariant::fromValue(d.value));
    r.data(c.openInterest).setValue(QVariant::fromValue(d.openInterest));
    r.data(c.nosystem).setValue(QVariant::fromValue(d.nosystem));
    r.data(c.buysell).setValue(QVariant::fromValue(d.buysell));
    return r;
}

struct AppendResult
{
    double perSecond = 0;
    double bytesPerRecord = 0;
};

AppendResult appendToVector(const DealSource &source, qint64 count)
{
    releaseFreedMemory();
    const qint64 before = residentBytes();
    QElapsedTimer timer;
    timer.start();
    std::vector<PlainDeal> deals;
    for (qint64 i = 0; i < count; ++i)
        deals.push_back(source.at(i));
    const qint64 ns = timer.nsecsElapsed();
    keep(deals.data());
    const qint64 after = residentBytes();
    return {double(count) * 1e9 / double(ns), double(after - before) / double(count)};
}

AppendResult appendToTable(const DealSource &source, qint64 count, int batchSize)
{
    releaseFreedMemory();
    const qint64 before = residentBytes();
    auto table = std::unique_ptr<Table>(ReferenceData::createDealsTable());
    CountingIndex counter;
    table->addIndex(&counter);
    const Columns columns(table.get());

    QElapsedTimer timer;
    timer.start();
    if (batchSize == 1) {
        for (qint64 i = 0; i < count; ++i)
            table->append(makeRecord(table.get(), columns, source.at(i)));
    } else {
        QList<Record> batch;
        batch.reserve(batchSize);
        for (qint64 i = 0; i < count; ++i) {
            batch.append(makeRecord(table.get(), columns, source.at(i)));
            if (batch.size() == batchSize) {
                table->append(batch);
                batch.clear();
            }
        }
        if (!batch.isEmpty())
            table->append(batch);
    }
    const qint64 ns = timer.nsecsElapsed();
    const qint64 after = residentBytes();

    if (counter.count() != count || table->recordCount() != count)
        std::printf("  warning: batch %d: %lld records, index saw %lld, expected %lld\n",
                    batchSize, static_cast<long long>(table->recordCount()),
                    static_cast<long long>(counter.count()), static_cast<long long>(count));
    table->removeIndex(&counter);
    table.reset();
    releaseFreedMemory();
    return {double(count) * 1e9 / double(ns), double(after - before) / double(count)};
}

void benchTableAppend(const QStringList &texts)
{
    constexpr qint64 Count = 1000000;
    const auto source = std::make_unique<DealSource>(texts);
    // Warm-up: first use of the metatypes and the allocator's arenas.
    appendToTable(*source, 10000, 1000);

    const AppendResult plain = appendToVector(*source, Count);
    const AppendResult batched = appendToTable(*source, Count, 1000);
    const AppendResult single = appendToTable(*source, Count, 1);
    const QString baselineName = QStringLiteral("std::vector<struct>");
    report(QStringLiteral("Table::append, batches of 1000"), batched.perSecond, plain.perSecond,
           QStringLiteral("/s"), baselineName);
    report(QStringLiteral("Table::append, one by one"), single.perSecond, plain.perSecond,
           QStringLiteral("/s"), baselineName);
    report(QStringLiteral("RSS per record, batches of 1000"), batched.bytesPerRecord,
           plain.bytesPerRecord, QStringLiteral("B"), baselineName);
    report(QStringLiteral("RSS per record, one by one"), single.bytesPerRecord,
           plain.bytesPerRecord, QStringLiteral("B"), baselineName);
}

// ---------------------------------------------------------------------------------------------

void benchChecksum()
{
    constexpr qsizetype Size = 16 * 1024 * 1024;
    QByteArray data(Size, Qt::Uninitialized);
    Lcg rng(64);
    for (qsizetype i = 0; i < Size; ++i)
        data[i] = char(rng.next());

    // Bytes per second, printed as MB/s (10^6 bytes).
    const double figure = rate(Size, [&data] { keep(qChecksum64(data)); }) / 1e6;
    const double baseline = rate(Size, [&data] { keep(qChecksum(data)); }) / 1e6;
    report(QStringLiteral("qChecksum64 over 16 MB"), figure, baseline, QStringLiteral("MB/s"),
           QStringLiteral("qChecksum (CRC-16)"));
}

void printTable()
{
    std::printf("\n%-34s %14s %14s %8s  %s\n", "benchmark", "figure", "baseline", "ratio",
                "baseline measured");
    std::printf("%s\n", QByteArray(34 + 1 + 14 + 1 + 14 + 1 + 8 + 2 + 22, '-').constData());
    for (const Row &r : std::as_const(rows)) {
        std::printf("%-34s %14s %14s %8.3f  %s\n", qPrintable(r.name),
                    qPrintable(human(r.figure, r.unit)), qPrintable(human(r.baseline, r.unit)),
                    r.baseline > 0 ? r.figure / r.baseline : 0.0, qPrintable(r.baselineName));
    }
    std::printf("\nratio = figure / baseline; for rates higher is better, for RSS lower is.\n"
                "Table::append includes filling the 12 fields of each \"all_deals\" record;\n"
                "RSS per record is the growth of the resident set while the records were kept.\n");
}

} // namespace

int main()
{
    QElapsedTimer total;
    total.start();
    std::printf("bench_host: host data library throughput\n");
    const QStringList texts = priceTexts(4096);

    benchDecimalParse(texts);
    benchDecimalCompare(texts);
    benchXDecimalSum(texts);
    benchTableAppend(texts);
    benchChecksum();

    printTable();
    std::printf("total time %.1f s\n", double(total.elapsed()) / 1000.0);
    return 0;
}
