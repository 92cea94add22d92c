#include "appsettings.h"
#include "checksum.h"
#include "datetime.h"
#include "decimal.h"
#include "hostclock.h"
#include "defaultsettings.h"
#include "indexsort.h"
#include "mapsettings.h"
#include "masterindex_column_pure.h"
#include "pow10.h"
#include "runnable.h"
#include "runnablemanager.h"
#include "table.h"
#include "testhelpers.h"
#include "xdecimal.h"

#include <QRandomGenerator>
#include <QSemaphore>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <QThreadPool>
#include <QtTest>

#include <atomic>
#include <limits>

namespace {

Table *makeTradesTable(QObject *parent = nullptr)
{
    return new Table(QStringLiteral("trades"),
                     {{QStringLiteral("id"), FieldType::Integer64},
                      {QStringLiteral("sec"), FieldType::Integer},
                      {QStringLiteral("price"), FieldType::Decimal},
                      {QStringLiteral("value"), FieldType::XDecimal},
                      {QStringLiteral("moment"), FieldType::Datetime},
                      {QStringLiteral("note"), FieldType::String}},
                     {QStringLiteral("sec"), QStringLiteral("id")}, parent);
}

Record trade(Table *t, qint64 id, int sec, const char *price)
{
    Record r(t);
    r.data(0) = id;
    r.data(1) = sec;
    r.data(2).setValue(QString::fromLatin1(price));
    return r;
}

// Records what the table tells it, and on which thread.
class RecordingIndex : public Index
{
public:
    void process(const QList<Record> &records) override
    {
        processed += records;
        threads.append(QThread::currentThread());
        // The writer holds the lock while notifying: another thread must not get it now.
        lockHeldByWriter = lockHeldByWriter && !lockFreeForOthers();
    }
    void update(const Record &record, int first, int last) override
    {
        lockHeldByWriter = lockHeldByWriter && !lockFreeForOthers();
        updated.append(record);
        ranges.append({first, last});
    }
    void rebuild() override { ++rebuilds; }

    bool lockFreeForOthers()
    {
        bool free = false;
        QThread *probe = QThread::create([&] {
            if (table()->mutex()->try_lock()) {
                free = true;
                table()->mutex()->unlock();
            }
        });
        probe->start();
        probe->wait();
        delete probe;
        return free;
    }

    QList<Record> processed;
    QList<QThread *> threads;
    QList<Record> updated;
    QList<QPair<int, int>> ranges;
    int rebuilds = 0;
    bool lockHeldByWriter = true;
};

class CountingRunnable : public Runnable
{
public:
    CountingRunnable(std::atomic<int> *started, std::atomic<int> *finished,
                     std::atomic<int> *destroyed)
        : m_started(started)
        , m_finished(finished)
        , m_destroyed(destroyed)
    {
    }
    ~CountingRunnable() override { ++*m_destroyed; }
    void run() override
    {
        ++*m_started;
        while (canRun())
            QThread::msleep(2);
        ++*m_finished;
    }

private:
    std::atomic<int> *m_started;
    std::atomic<int> *m_finished;
    std::atomic<int> *m_destroyed;
};

} // namespace

class TestHostData : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void decimalParse_data();
    void decimalParse();
    void decimalToDouble();

    void xdecimalParse_data();
    void xdecimalParse();
    void xdecimalSum();
    void mixedScalesAgainstWideIntegers();
    void xdecimalOverflowIsReported();
    void xdecimalCompare();

    void clockPinnedFrozenAndRunning();
    void datetimeCalendarArithmetic();
    void datetimeDaylightSaving();

    void settingsGroupsAndPersistence();
    void mapSettings();
    void defaultSettingsReadOnly();

    void fieldConversions();
    void variantConvert_data();
    void variantConvert();
    void masterIndexSearch();
    void masterIndexKeyText();
    void tableUpdateNotifiesAndResorts();
    void appendFromAnotherThread();

    void checksum();
    void runnableManagerStopsAndWaits();

private:
    QTemporaryDir m_dir;
};

void TestHostData::initTestCase()
{
    QVERIFY(m_dir.isValid());
    AppSettings::setFileName(m_dir.filePath(QStringLiteral("settings.ini")));
}

// --- decimal ------------------------------------------------------------------------------

void TestHostData::decimalParse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("printed");

    QTest::newRow("integer") << "31250" << true << "31250";
    QTest::newRow("trailing zeros") << "187.4500" << true << "187.45";
    QTest::newRow("leading zeros") << "000123.40" << true << "123.4";
    QTest::newRow("negative") << "-0.0035" << true << "-0.0035";
    QTest::newRow("negative zero") << "-0.000" << true << "0";
    QTest::newRow("plus sign") << "+12.5" << true << "12.5";
    QTest::newRow("blanks") << "  7.25 " << true << "7.25";
    QTest::newRow("no integer part") << ".5" << true << "0.5";
    QTest::newRow("exponent") << "1.25e3" << true << "1250";
    QTest::newRow("negative exponent") << "125E-5" << true << "0.00125";
    QTest::newRow("18 decimals") << "0.000000000000000001" << true << "0.000000000000000001";
    QTest::newRow("19 digits") << "9223372036854775807" << true << "9223372036854775807";
    QTest::newRow("many digits with zeros") << "1.50000000000000000000000000" << true << "1.5";
    QTest::newRow("19 decimals") << "0.0000000000000000001" << false << "0";
    QTest::newRow("too many digits") << "12345678901234567890" << false << "0";
    QTest::newRow("beyond 64 bits") << "9223372036854775808" << false << "0";
    QTest::newRow("empty") << "" << false << "0";
    QTest::newRow("letters") << "abc" << false << "0";
    QTest::newRow("comma") << "12,5" << false << "0";
    QTest::newRow("two points") << "1.2.3" << false << "0";
    QTest::newRow("sign only") << "-" << false << "0";
    QTest::newRow("point only") << "." << false << "0";
    QTest::newRow("dangling exponent") << "1e" << false << "0";
    QTest::newRow("trailing garbage") << "12.5x" << false << "0";
}

void TestHostData::decimalParse()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(QString, printed);
    bool parsed = !ok;
    QString error;
    const decimal d = decimal::fromString(text, &parsed, &error);
    QCOMPARE(parsed, ok);
    QCOMPARE(d.toString(), printed);
    if (!ok) {
        QVERIFY(!error.isEmpty());
        QVERIFY(d.isZero());
        QVERIFY_THROWS_EXCEPTION(QString, decimal{text});
    } else {
        // What toString writes reads back as the same value.
        QCOMPARE(decimal(d.toString()), d);
    }
}

void TestHostData::decimalToDouble()
{
    QCOMPARE(decimal(QStringLiteral("0.1")).toDouble(), 0.1);
    TA_COMPARE_FUZZY(decimal(QStringLiteral("-0.0035")).toDouble(), -0.0035);
    TA_COMPARE_FUZZY(decimal(QStringLiteral("9223372036854775807")).toDouble(),
                     9223372036854775807.0);
    bool ok = false;
    QCOMPARE(decimal::fromDouble(187.45, &ok).toString(), QStringLiteral("187.45"));
    QVERIFY(ok);
    decimal::fromDouble(std::numeric_limits<double>::quiet_NaN(), &ok);
    QVERIFY(!ok);
}

// --- xdecimal -----------------------------------------------------------------------------

void TestHostData::xdecimalParse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("printed");

    QTest::newRow("turnover") << "12345678.90" << true << "12345678.9";
    QTest::newRow("large exponent") << "5e300" << true
                                    << QStringLiteral("5") + QString(300, u'0');
    QTest::newRow("small") << "-1e-20" << true << "-0.00000000000000000001";
    QTest::newRow("exponent too large") << "1e40000" << false << "0";
    // What toString writes for a large exponent must read back.
    QTest::newRow("written out large") << "1e4096" << true
                                       << QStringLiteral("1") + QString(4096, u'0');
    QTest::newRow("largest exponent") << "7e32767" << true
                                      << QStringLiteral("7") + QString(32767, u'0');
    QTest::newRow("zeros after the digits") << "1234567890123456789000000" << true
                                            << "1234567890123456789000000";
    QTest::newRow("twenty digits") << "12345678901234567890.5" << false << "0";
    QTest::newRow("text") << "value" << false << "0";
}

void TestHostData::xdecimalParse()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(QString, printed);
    bool parsed = !ok;
    const xdecimal x = xdecimal::fromString(text, &parsed);
    QCOMPARE(parsed, ok);
    QCOMPARE(x.toString(), printed);
    if (ok)
        QCOMPARE(xdecimal(x.toString()), x);
}

void TestHostData::mixedScalesAgainstWideIntegers()
{
    // Comparisons and sums of values whose scales differ (the common case for prices such as
    // 187.4 beside 187.45), near the 64-bit limits too, against exact 128-bit arithmetic.
    QRandomGenerator random(7);
    auto mantissa = [&random] {
        const int digits = int(random.bounded(19)) + 1;
        qint64 m = qint64(random.generate64() % quint64(Pow10Table[digits - 1] * 9)) + 1;
        return random.bounded(2) ? -m : m;
    };
    auto wide = [](qint64 m, int exponent, int base) {
        __int128 v = m;
        for (int e = base; e < exponent; ++e)
            v *= 10;
        return v;
    };
    for (int round = 0; round < 20000; ++round) {
        const qint64 ma = mantissa(), mb = mantissa();
        const int sa = int(random.bounded(10)), sb = int(random.bounded(10));
        const decimal a(ma, sa), b(mb, sb);
        // Values m * 10^-s, brought to the common exponent -9.
        const __int128 wa = wide(a.mantissa(), -a.scale(), -9);
        const __int128 wb = wide(b.mantissa(), -b.scale(), -9);
        QVERIFY2((a < b) == (wa < wb), qPrintable(a.toString() + QStringLiteral(" < ") + b.toString()));
        QCOMPARE(b < a, wb < wa);

        const xdecimal xa(ma, qint16(-sa)), xb(mb, qint16(-sb));
        xdecimal sum = xa;
        sum += xb;
        const __int128 exact = wide(ma, -sa, -9) + wide(mb, -sb, -9);
        if (!sum.isExact())
            continue; // beyond 19 digits: rounded, and said so
        QVERIFY2(wide(sum.mantissa(), sum.exponent(), -9) == exact,
                 qPrintable(xa.toString() + QStringLiteral(" + ") + xb.toString() + QStringLiteral(" = ") + sum.toString()));
        QCOMPARE(sum, xb + xa);
    }
}

void TestHostData::xdecimalSum()
{
    xdecimal sum = xdecimal::zero();
    sum += xdecimal(QStringLiteral("0.1"));
    sum += xdecimal(QStringLiteral("0.2"));
    QCOMPARE(sum.toString(), QStringLiteral("0.3"));
    QCOMPARE(sum, xdecimal(3, -1));

    // Mixed exponents: 1.5 million + 0.0001 + -250.25
    sum = xdecimal(15, 5);
    sum += xdecimal(1, -4);
    sum += xdecimal(QStringLiteral("-250.25"));
    QCOMPARE(sum.toString(), QStringLiteral("1499749.7501"));
    QVERIFY(sum.isExact());

    // A day of turnover: a million trades of 187.45 * 10.
    xdecimal day;
    const xdecimal one = xdecimal(decimal(QStringLiteral("187.45"))).multiplied(10);
    for (int i = 0; i < 1000000; ++i)
        day += one;
    QCOMPARE(day.toString(), QStringLiteral("1874500000"));
    QVERIFY(day.isExact());

    // Sums that cancel come back to exactly zero.
    xdecimal back = xdecimal(QStringLiteral("123.456"));
    back += xdecimal(QStringLiteral("-123.456"));
    QVERIFY(back.isZero());
    QCOMPARE(back, xdecimal());
}

void TestHostData::xdecimalOverflowIsReported()
{
    // 19 significant digits on both sides: the exact sum needs 20.
    const qint64 big = std::numeric_limits<qint64>::max() - 6; // 9223372036854775801
    xdecimal sum(big, 0);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("xdecimal::.*rounded")));
    sum += xdecimal(big, 0);
    QVERIFY(!sum.isExact());
    QVERIFY(sum > xdecimal(big, 0)); // no wrap-around into negative numbers
    TA_COMPARE_FUZZY(sum.toDouble(), 2.0 * double(big));
    QCOMPARE(sum.toString(), QStringLiteral("18446744073709551600")); // ...602 rounded

    // Once rounded, the value stays marked, and no further warnings flood the log.
    sum += xdecimal(1, 0);
    QVERIFY(!sum.isExact());

    // Operands far apart: the small one cannot be kept exactly.
    xdecimal apart(1, 10);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("xdecimal::.*rounded")));
    apart += xdecimal(1, -20);
    QVERIFY(!apart.isExact());
    QCOMPARE(apart, xdecimal(1, 10));

    // Negative overflow keeps its sign.
    xdecimal negative(-big, 0);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("xdecimal::.*rounded")));
    negative += xdecimal(-big, 0);
    QVERIFY(negative < xdecimal());
    QVERIFY(!negative.isExact());
}

void TestHostData::xdecimalCompare()
{
    QVERIFY(xdecimal(QStringLiteral("1e3")) == xdecimal(1000, 0));
    QVERIFY(xdecimal(QStringLiteral("0.999")) < xdecimal(1, 0));
    QVERIFY(xdecimal(QStringLiteral("-5")) < xdecimal(QStringLiteral("-4.9999")));
    QVERIFY(xdecimal(1, 300) > xdecimal(std::numeric_limits<qint64>::max(), 0));
    QVERIFY(xdecimal(1, -300) > xdecimal());
    QVERIFY(xdecimal(-1, -300) < xdecimal());
    QVERIFY(xdecimal() == xdecimal(0, 12));
}

// --- datetime -----------------------------------------------------------------------------

void TestHostData::clockPinnedFrozenAndRunning()
{
    // CTest starts this suite with TA_NOW set to a moment after 2038-01-19 (32-bit time).
    const QByteArray named = qgetenv(hostclock::EnvironmentVariable);
    if (named.isEmpty())
        QSKIP("run without TA_NOW");
    const datetime start(QDateTime::fromString(QString::fromLatin1(named), Qt::ISODate));
    QVERIFY(start.isValid());
    // The process starts running on from the named moment.
    const qint64 sinceStart = start.msecsTo(datetime::now());
    QVERIFY2(sinceStart >= 0 && sinceStart < 120000, qPrintable(QString::number(sinceStart)));

    const datetime eve(2040, 12, 31, 23, 59, 59);
    hostclock::freezeAt(eve);
    QCOMPARE(datetime::now(), eve);
    QTest::qWait(20);
    QCOMPARE(datetime::now(), eve); // frozen: time stands still
    hostclock::advance(1000);
    QCOMPARE(datetime::today(), QDate(2041, 1, 1));

    hostclock::startAt(eve);
    QTest::qWait(20);
    const qint64 ran = eve.msecsTo(datetime::now());
    QVERIFY2(ran >= 15 && ran < 60000, qPrintable(QString::number(ran)));

    // Released, the clock is back on the moment the process started from.
    hostclock::release();
    const qint64 back = start.msecsTo(datetime::now());
    QVERIFY2(back >= sinceStart && back < 120000, qPrintable(QString::number(back)));
}

void TestHostData::datetimeCalendarArithmetic()
{
    const datetime null;
    QVERIFY(null.toString().isEmpty());
    QVERIFY(null.addSecs(10).isNull());
    QVERIFY(null < datetime(2026, 1, 1));
    QVERIFY(datetime(2026, 2, 30).isNull()); // no such day
    const datetime t(2026, 12, 6, 10, 30, 15, 250);
    QCOMPARE(t.toString(), QStringLiteral("2026-12-06 10:30:15.250"));
    QCOMPARE(t.toString(QStringLiteral("yyyyMMdd hhmmss")), QStringLiteral("20261206 103015"));
    QCOMPARE(QDateTime(t), QDateTime(QDate(2026, 12, 6), QTime(10, 30, 15, 250)));

    const datetime eve(2026, 12, 31, 23, 59, 59, 999);
    QCOMPARE(eve.addMSecs(1), datetime(2027, 1, 1));
    QCOMPARE(eve.addSecs(1).getDate(), QDate(2027, 1, 1));
    QCOMPARE(datetime(2026, 1, 31, 12).addDays(1), datetime(2026, 2, 1, 12));
    QCOMPARE(datetime(2028, 2, 28, 9).addDays(1), datetime(2028, 2, 29, 9)); // leap year
    QCOMPARE(datetime(2027, 2, 28, 9).addDays(1), datetime(2027, 3, 1, 9));
    QCOMPARE(datetime(2027, 3, 1).addDays(-1), datetime(2027, 2, 28));
    QCOMPARE(datetime(2026, 6, 1).addSecs(-1), datetime(2026, 5, 31, 23, 59, 59));
    QCOMPARE(datetime(2026, 1, 1).msecsTo(datetime(2027, 1, 1)), qint64(365) * 86400000);
}

void TestHostData::datetimeDaylightSaving()
{
    // Find the spring and autumn transitions of 2026 in the local zone; the suite also runs in
    // Europe/Berlin so that they exist.
    QDate spring, autumn;
    for (QDate d(2026, 1, 1); d.year() == 2026; d = d.addDays(1)) {
        const qint64 length = datetime(d).msecsTo(datetime(d.addDays(1)));
        if (length == 23 * 3600000LL)
            spring = d;
        else if (length == 25 * 3600000LL)
            autumn = d;
    }
    if (!spring.isValid() && !autumn.isValid())
        QSKIP("the local time zone has no daylight saving in 2026");
    QVERIFY(spring.isValid());
    QVERIFY(autumn.isValid());
    // Calendar days keep the wall-clock time; seconds are real elapsed time.
    QCOMPARE(datetime(spring, QTime(12, 0)).addDays(1).getTime(), QTime(12, 0));
    QCOMPARE(datetime(spring).addSecs(23 * 3600), datetime(spring.addDays(1)));
    const datetime autumnStart(autumn);
    const datetime lateOnAutumnDay = autumnStart.addSecs(24 * 3600 + 1800);
    QCOMPARE(lateOnAutumnDay.getDate(), autumn); // still the same day, 24.5 h after midnight
    QCOMPARE(lateOnAutumnDay.getTime(), QTime(23, 30));
    QCOMPARE(autumnStart.addDays(1), autumnStart.addSecs(25 * 3600));
}

// --- settings -----------------------------------------------------------------------------

void TestHostData::settingsGroupsAndPersistence()
{
    {
        AppSettings settings(QStringLiteral("TechAnalysis"));
        settings.beginGroup(QStringLiteral("General"));
        settings.setValue(QStringLiteral("title"), QStringLiteral("Тех. анализ"));
        settings.setValue(QStringLiteral("price"), QVariant::fromValue(decimal(18745, 2)));
        settings.endGroup();
        settings.setValue(QStringLiteral("Schedule_EQ/count"), 2);
        settings.setValue(QStringLiteral("Schedule_EQ/inner/x"), true);
        settings.remove(QStringLiteral("Schedule_EQ/inner"));
        QCOMPARE(settings.childGroups(), QStringList({"General", "Schedule_EQ"}));
        // Another object of the process sees the change at once.
        AppSettings other(QStringLiteral("TechAnalysis/General"));
        QVERIFY(other.contains(QStringLiteral("title")));
        settings.sync();
    }
    // A new reader of the file finds everything, Cyrillic text included, and nothing removed.
    QSettings file(AppSettings::fileName(), QSettings::IniFormat);
    QCOMPARE(file.value(QStringLiteral("TechAnalysis/General/title")).toString(),
             QStringLiteral("Тех. анализ"));
    QCOMPARE(file.value(QStringLiteral("TechAnalysis/General/price")).toString(),
             QStringLiteral("187.45"));
    QCOMPARE(file.value(QStringLiteral("TechAnalysis/Schedule_EQ/count")).toInt(), 2);
    QVERIFY(!file.contains(QStringLiteral("TechAnalysis/Schedule_EQ/inner/x")));
}

void TestHostData::mapSettings()
{
    MapSettings map;
    map.setValue(QStringLiteral("lineWidth"), 2);
    map.beginGroup(QStringLiteral("item_0"));
    map.setValue(QStringLiteral("type"), 1);
    map.setValue(QStringLiteral("params/period"), 14);
    map.endGroup();
    map.setValue(QStringLiteral("item_1/type"), 2);
    QCOMPARE(map.childGroups(), QStringList({"item_0", "item_1"}));

    // A copy is independent.
    MapSettings copy = map;
    copy.setValue(QStringLiteral("lineWidth"), 5);
    QCOMPARE(map.value(QStringLiteral("lineWidth")).toInt(), 2);

    // Copying from a group of another store takes the keys relative to that group.
    map.beginGroup(QStringLiteral("item_0"));
    const MapSettings sub(map.asSetRef());
    map.endGroup();
    QCOMPARE(sub.allKeys(), QStringList({"params/period", "type"}));

    // Through the persistent store and back.
    AppSettings stored(QStringLiteral("MapRoundTrip"));
    stored.copyFrom(map);
    QCOMPARE(MapSettings(stored).allKeys(), map.allKeys());
}

void TestHostData::defaultSettingsReadOnly()
{
    DefaultSettings::createReadWrite(QStringLiteral("TAMainWindow"))
        ->setValue(QStringLiteral("subChartColor"), QStringLiteral("#101010"));
    auto readOnly = DefaultSettings::createReadOnly(QStringLiteral("TAMainWindow"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("read-only")));
    readOnly->setValue(QStringLiteral("subChartColor"), QStringLiteral("#ffffff"));
    QCOMPARE(readOnly->value(QStringLiteral("subChartColor")).toString(),
             QStringLiteral("#101010"));
    // Defaults live apart from the ordinary settings of the same name.
    QVERIFY(!AppSettings(QStringLiteral("TAMainWindow")).contains(QStringLiteral("subChartColor")));
}

// --- tables -------------------------------------------------------------------------------

void TestHostData::fieldConversions()
{
    std::unique_ptr<Table> t(makeTradesTable());
    Record r(t.get());
    QVERIFY(r.data(2).isNull());
    QVERIFY(r.data(2).setValue(QStringLiteral("187.45")));
    QCOMPARE(r.data(2).toDouble(), 187.45);
    QCOMPARE(r.data(2).toXDecimal(), xdecimal(18745, -2));
    QVERIFY(!r.data(2).setValue(QStringLiteral("12,5"))); // refused, value kept
    QCOMPARE(r.data(2).toString(), QStringLiteral("187.45"));
    r.data(0) = qint64(1) << 40;
    QCOMPARE(r.data(QStringLiteral("id")).toDecimal(), decimal(qint64(1) << 40, 0));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("no column")));
    QVERIFY(r.data(QStringLiteral("nothing")).isNull());

    // Copies share the row; clone detaches.
    Record shared = r;
    Record detached = r.clone();
    r.data(1) = 7;
    QCOMPARE(shared.data(1).toInteger(), 7);
    QVERIFY(detached.data(1).isNull());
    QVERIFY(shared == r && detached != r);
}

void TestHostData::variantConvert_data()
{
    QTest::addColumn<QVariant>("input");
    QTest::addColumn<int>("type");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("int overflow") << QVariant(qint64(1) << 40) << int(FieldType::Integer)
                                  << QVariant();
    QTest::newRow("fraction to int") << QVariant(1.5) << int(FieldType::Integer64) << QVariant();
    QTest::newRow("bad int text") << QVariant(QStringLiteral("4x")) << int(FieldType::Integer64)
                                  << QVariant();
    QTest::newRow("double to decimal")
        << QVariant(0.1) << int(FieldType::Decimal) << QVariant::fromValue(decimal(1, 1));
    QTest::newRow("bad decimal") << QVariant(QStringLiteral("n/a")) << int(FieldType::Decimal)
                                 << QVariant();
    QTest::newRow("text to xdecimal")
        << QVariant(QStringLiteral("-3e2")) << int(FieldType::XDecimal)
        << QVariant::fromValue(xdecimal(-300, 0));
    QTest::newRow("iso text to datetime")
        << QVariant(QStringLiteral("2026-12-06T10:00:00.500")) << int(FieldType::Datetime)
        << QVariant::fromValue(datetime(2026, 12, 6, 10, 0, 0, 500));
    QTest::newRow("bad datetime") << QVariant(QStringLiteral("yesterday"))
                                  << int(FieldType::Datetime) << QVariant();
    QTest::newRow("bad bool") << QVariant(QStringLiteral("maybe")) << int(FieldType::Bool)
                              << QVariant();
    QTest::newRow("decimal to string") << QVariant::fromValue(decimal(5, 1))
                                       << int(FieldType::String) << QVariant(QStringLiteral("0.5"));
    QTest::newRow("unknown type") << QVariant(1) << 99 << QVariant();
}

void TestHostData::variantConvert()
{
    QFETCH(QVariant, input);
    QFETCH(int, type);
    QFETCH(QVariant, expected);
    const QVariant result = variant_convert(input, type);
    QCOMPARE(result.isValid(), expected.isValid());
    if (expected.isValid()) {
        QCOMPARE(result.metaType(), expected.metaType());
        QCOMPARE(result, expected);
    }
}

void TestHostData::masterIndexSearch()
{
    std::unique_ptr<Table> t(makeTradesTable());
    // Out of key order on purpose.
    t->append({trade(t.get(), 5, 2, "10"), trade(t.get(), 1, 1, "11"), trade(t.get(), 3, 2, "12"),
               trade(t.get(), 2, 1, "13"), trade(t.get(), 4, 3, "14")});
    const IndexSort *index = t->masterIndex();
    QList<qint64> order;
    for (int i = 0; i < index->count(); ++i)
        order.append(index->at(i).data(0).toInteger64());
    QCOMPARE(order, QList<qint64>({1, 2, 3, 5, 4}));
    // A search on the first key column finds the first and last record of a security, or
    // where it would go.
    Record key(t.get());
    key.data(1) = 2;
    QCOMPARE(index->searchFull(key, 1), 2);
    QCOMPARE(index->searchLast(key, 1), 3);
    key.data(1) = 9;
    QCOMPARE(index->searchFull(key, 1), -1);
    QCOMPARE(index->search(key, 1), 5);
    key.data(1) = 3;
    key.data(0) = qint64(4);
    QCOMPARE(index->find(key).data(2).toString(), QStringLiteral("14"));
    QCOMPARE(index->indexOf(trade(t.get(), 5, 2, "10")), -1); // equal values, other row

    // A filtered index built over the table follows its appends.
    class SecurityTwo : public IndexSort
    {
    public:
        using IndexSort::IndexSort;
        bool accepts(const Record &r) const override { return r.data(1).toInteger() == 2; }
    };
    SecurityTwo onlyTwo(MasterIndex_Column_Pure(t.get(), {2})); // sorted by price
    t->addIndex(&onlyTwo);
    onlyTwo.build();
    t->append(trade(t.get(), 6, 2, "11"));
    t->append(trade(t.get(), 7, 1, "1"));
    QCOMPARE(onlyTwo.count(), 3);
    QCOMPARE(onlyTwo.at(1).data(2).toString(), QStringLiteral("11"));
}

void TestHostData::masterIndexKeyText()
{
    std::unique_ptr<Table> t(makeTradesTable());
    MasterIndex_Column_Pure key(t.get(), {1, 0});
    Record r = trade(t.get(), 77, 3, "1");
    QCOMPARE(key.toText(r), QStringLiteral("3,77"));
    Record back(t.get());
    QVERIFY(key.fromText(QStringLiteral("3,77"), back));
    QCOMPARE(key.compare(back, r), 0);
    QVERIFY(!key.fromText(QStringLiteral("3"), back));
    QVERIFY(!key.fromText(QStringLiteral("3,x"), back));
    QVERIFY(!key.fromText(QStringLiteral("4,"), back));
    QCOMPARE(back.data(1).toInteger(), 3); // failed parses leave the record as it was
    Record other = trade(t.get(), 78, 3, "1");
    QCOMPARE(key.compare(r, other), -1);
    QCOMPARE(key.compare(r, other, 1), 0);
}

void TestHostData::tableUpdateNotifiesAndResorts()
{
    std::unique_ptr<Table> t(makeTradesTable());
    RecordingIndex recorder;
    t->addIndex(&recorder);
    QCOMPARE(recorder.table(), t.get());
    QSignalSpy changed(t.get(), &Table::changed);
    const Record a = trade(t.get(), 1, 1, "10");
    const Record b = trade(t.get(), 2, 1, "11");
    t->append({a, b});
    QCOMPARE(recorder.processed, QList<Record>({a, b}));
    QCOMPARE(changed.count(), 1);

    QString error;
    QVERIFY(t->update(a, {{2, QStringLiteral("10.5")}, {5, QStringLiteral("x")}}, &error));
    QCOMPARE(recorder.updated, QList<Record>({a}));
    QCOMPARE(recorder.ranges.constLast(), qMakePair(2, 5));
    QVERIFY(recorder.lockHeldByWriter);
    QCOMPARE(a.data(2).toString(), QStringLiteral("10.5"));

    // A bad value changes nothing and says why.
    QVERIFY(!t->update(a, {{2, QStringLiteral("11")}, {4, QStringLiteral("soon")}}, &error));
    QVERIFY2(error.contains(QLatin1String("moment")), qPrintable(error));
    QCOMPARE(a.data(2).toString(), QStringLiteral("10.5"));
    QCOMPARE(recorder.updated.size(), 1);

    // Changing a key column moves the record in the master index.
    QVERIFY(t->update(a, {{0, qint64(9)}}));
    QCOMPARE(t->masterIndex()->at(1), a);

    t->reset({});
    QCOMPARE(recorder.rebuilds, 1);
    QCOMPARE(t->recordCount(), 0);

    t->removeIndex(&recorder);
    QVERIFY(!recorder.table());
    t->append(trade(t.get(), 3, 1, "1"));
    QCOMPARE(recorder.processed.size(), 2);
}

void TestHostData::appendFromAnotherThread()
{
    std::unique_ptr<Table> t(makeTradesTable());
    RecordingIndex recorder;
    t->addIndex(&recorder);
    const int count = 200;
    std::atomic<bool> writerDone{false};
    QThread *writer = QThread::create([&] {
        for (int i = 0; i < count; ++i)
            t->append(trade(t.get(), i, i % 3, "1"));
        writerDone = true;
    });
    {
        // While a reader holds the lock, the writer cannot get its records in.
        TableLocker locker(t.get());
        writer->start();
        QThread::msleep(100);
        QVERIFY(!writerDone);
        QCOMPARE(t->masterIndex()->count(), 0);
    }
    QVERIFY(writer->wait(10000));
    delete writer;
    QCOMPARE(recorder.processed.size(), count);
    QVERIFY(recorder.lockHeldByWriter);
    for (QThread *thread : std::as_const(recorder.threads))
        QVERIFY(thread != QThread::currentThread());
    TableLocker locker(t.get());
    QCOMPARE(t->masterIndex()->count(), count);
}

// --- helpers ------------------------------------------------------------------------------

void TestHostData::checksum()
{
    // The standard check value of this CRC.
    QCOMPARE(qChecksum64(QByteArrayLiteral("123456789")), Q_UINT64_C(0x995DC9BBDF1939FA));
    QCOMPARE(qChecksum64(QByteArray()), Q_UINT64_C(0));
    QVERIFY(qChecksum64(QByteArrayLiteral("a")) != qChecksum64(QByteArrayLiteral("b")));
}

void TestHostData::runnableManagerStopsAndWaits()
{
    QThreadPool pool;
    pool.setMaxThreadCount(2);
    std::atomic<int> started{0}, finished{0}, destroyed{0};
    const auto startCounting = [&](RunnableManager *manager) {
        auto *r = new CountingRunnable(&started, &finished, &destroyed);
        r->setAutoDelete(true);
        manager->startRunnable(r, &pool, 0);
    };
    auto *manager = new RunnableManager;
    QVERIFY(!manager->isRunning());
    startCounting(manager);
    startCounting(manager);
    QTRY_COMPARE(started.load(), 2);
    QVERIFY(manager->isRunning());
    // Deleting the manager stops both and returns only once they have finished and gone.
    delete manager;
    QCOMPARE(finished.load(), 2);
    QCOMPARE(destroyed.load(), 2);

    // Runnables still queued behind a busy pool are dropped without running.
    QSemaphore release;
    pool.setMaxThreadCount(1);
    pool.start([&release] { release.acquire(); });
    manager = new RunnableManager;
    for (int i = 0; i < 3; ++i)
        startCounting(manager);
    delete manager;
    QCOMPARE(destroyed.load(), 5);
    release.release();
    QVERIFY(pool.waitForDone(10000));
    QCOMPARE(started.load(), 2);
}

QTEST_GUILESS_MAIN(TestHostData)
#include "tst_hostdata.moc"
