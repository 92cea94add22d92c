#include "appsettings.h"
#include "datetime.h"
#include "decimal.h"
#include "hostclock.h"
#include "indexsort.h"
#include "pow10.h"
#include "table.h"
#include "testhelpers.h"
#include "xdecimal.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
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

} // namespace

class TestHostData : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void decimalParse_data();
    void decimalParse();

    void xdecimalParse_data();
    void xdecimalParse();
    void xdecimalSum();
    void mixedScalesAgainstWideIntegers();
    void xdecimalOverflowIsReported();
    void xdecimalCompare();

    void clockPinnedFrozenAndRunning();
    void datetimeCalendarArithmetic();
    void datetimeDaylightSaving();

    void variantConvert_data();
    void variantConvert();
    void tableUpdateNotifiesAndResorts();
    void appendFromAnotherThread();

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

// --- tables -------------------------------------------------------------------------------

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

QTEST_GUILESS_MAIN(TestHostData)
#include "tst_hostdata.moc"
