#include "boarddirectory.h"
#include "calendardirectory.h"
#include "referencedata.h"
#include "securitydirectory.h"
#include "table.h"
#include "tableregistry.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString shippedReference()
{
    return QStringLiteral(TA_SOURCE_DIR "/terminal/reference.json");
}

// Good reference data; each bad case below breaks it in one place.
const char MinimalReference[] = R"({
    "stocks": [{"id": 2, "code": "EQ", "name": "Фондовый рынок"}],
    "boards": [{"stock": 2, "id": 2, "code": "EQMN", "hdxCode": "shares", "name": "Акции"},
               {"stock": 2, "id": 5, "code": "EQMR", "name": "Зеркало", "proxy": true}],
    "securities": [{"stock": 2, "board": 2, "id": 1, "code": "AAA", "name": "Альфа",
                    "decimals": 2, "price": "10.50"},
                   {"stock": 2, "board": 5, "id": 1, "code": "AAA", "name": "Альфа",
                    "decimals": 2, "real": {"stock": 2, "board": 2, "id": 1}}],
    "calendar": [{"date": "2026-11-04", "trading": false}]
})";

QByteArray broken(const char *from, const char *to)
{
    QByteArray json(MinimalReference);
    if (!json.contains(from))
        qFatal("the reference has no %s", from);
    return json.replace(from, to);
}

QByteArray withSchedule(const char *schedule)
{
    return broken("\"calendar\": [",
                  QByteArray("\"schedules\": [") + schedule + "], \"calendar\": [");
}

} // namespace

class TestHostDirectory : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void lookups();
    void calendarRange();
    void badReferenceData_data();
    void badReferenceData();
    void schedules();
    void directoriesSignalTableChanges();

private:
    QTemporaryDir m_dir;
};

void TestHostDirectory::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QString error;
    QVERIFY2(ReferenceData::load(shippedReference(), &error), qPrintable(error));
}

void TestHostDirectory::lookups()
{
    BoardDirectory *boards = BoardDirectory::i();
    QVERIFY(boards->isProxyById(2, 5));
    QVERIFY(!boards->isProxyById(2, 2));
    // Unknown boards and securities are nothing; an unknown lot is one piece.
    QVERIFY(!boards->isChartById(2, 99));
    QVERIFY(boards->codeById(2, 99).isEmpty());
    SecurityDirectory *sd = SecurityDirectory::i();
    QCOMPARE(sd->lotsizeById(2, 2, 999999), 1);
    QVERIFY(sd->recordById(2, 2, 999999).isNull());

    // A proxy board's security has its real record; an ordinary one is its own.
    const Record real = sd->realRecordById(2, 5, 2501);
    QCOMPARE(real.data(QStringLiteral("board_id")).toInteger(), 2);
    QCOMPARE(real.data(QStringLiteral("sec_id")).toInteger64(), qint64(2001));
    QCOMPARE(sd->realRecordById(2, 2, 2001), sd->recordById(2, 2, 2001));
    QVERIFY(sd->realRecordById(2, 5, 424242).isNull());
}

void TestHostDirectory::calendarRange()
{
    CalendarDirectory *cd = CalendarDirectory::i();
    const QList<Record> november = cd->range(datetime(QDate(2026, 11, 1)),
                                             datetime(QDate(2026, 11, 30)));
    QCOMPARE(november.size(), 1);
    QCOMPARE(cd->date(november.first()), datetime(QDate(2026, 11, 4)));
    QVERIFY(!cd->isTradingDay(november.first()));

    // The range is inclusive at both ends and ascending.
    const QList<Record> yearEnd = cd->range(datetime(QDate(2026, 12, 26)),
                                            datetime(QDate(2027, 1, 1)));
    QCOMPARE(yearEnd.size(), 3);
    QCOMPARE(cd->date(yearEnd.at(0)).getDate(), QDate(2026, 12, 26));
    QVERIFY(cd->isTradingDay(yearEnd.at(0))); // the working Saturday
    QCOMPARE(cd->date(yearEnd.at(2)).getDate(), QDate(2027, 1, 1));

    QVERIFY(cd->range(datetime(QDate(2026, 12, 1)), datetime(QDate(2026, 11, 1))).isEmpty());
    QVERIFY(cd->range(datetime(), datetime(QDate(2027, 1, 1))).isEmpty());
}

void TestHostDirectory::badReferenceData_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("problem");

    QTest::newRow("not json") << QByteArray("{\"stocks\": [") << "not valid JSON";
    QTest::newRow("array at top") << QByteArray("[]") << "top level";
    QTest::newRow("no stocks") << broken("\"stocks\"", "\"stock\"") << "stocks: expected an array";
    QTest::newRow("missing name") << broken("\"name\": \"Альфа\",", "")
                                  << "securities[0].name: missing";
    QTest::newRow("price as number") << broken("\"10.50\"", "10.5")
                                     << "securities[0].price: expected a decimal number";
    QTest::newRow("decimals out of range") << broken("\"decimals\": 2, \"price\"",
                                                     "\"decimals\": 12, \"price\"")
                                           << "securities[0].decimals: expected an integer";
    QTest::newRow("fractional id") << broken("\"id\": 1, \"code\"", "\"id\": 1.5, \"code\"")
                                   << "securities[0].id: expected an integer";
    QTest::newRow("id beyond 64 bits") << broken("\"id\": 1, \"code\"", "\"id\": 1e19, \"code\"")
                                       << "securities[0].id: expected an integer from 1 to";
    QTest::newRow("unknown board") << broken("\"board\": 2, \"id\": 1, \"code\"",
                                             "\"board\": 9, \"id\": 1, \"code\"")
                                   << "securities[0].board: unknown board 9 of stock 2";
    QTest::newRow("duplicate security") << broken("\"board\": 5", "\"board\": 2")
                                        << "is defined twice";
    QTest::newRow("proxy without real")
        << broken(", \"real\": {\"stock\": 2, \"board\": 2, \"id\": 1}", "")
        << "securities[1].real: a security on a proxy board needs its real record";
    QTest::newRow("dangling real")
        << broken("\"board\": 2, \"id\": 1}", "\"board\": 2, \"id\": 77}")
        << "securities[1].real: unknown security 2,2,77";
    QTest::newRow("schedule of unknown board")
        << withSchedule(R"({"stock": "EQ", "board": "NOPE",
                            "sessions": [{"day": 1, "from": "10:00", "to": "18:00"}]})")
        << "schedules[0].board: unknown board code NOPE of stock EQ";
    QTest::newRow("overlapping sessions")
        << withSchedule(R"({"stock": "EQ",
                            "sessions": [{"day": 1, "from": "10:00", "to": "18:00"},
                                         {"day": 1, "from": "17:00", "to": "19:00"}]})")
        << "schedules[0].sessions[1]: sessions must be in order and must not overlap";
    QTest::newRow("bad session time")
        << withSchedule(
               R"({"stock": "EQ", "sessions": [{"day": 1, "from": "10h", "to": "18:00"}]})")
        << "schedules[0].sessions[0].from: expected a time hh:mm";
    QTest::newRow("session day 8")
        << withSchedule(
               R"({"stock": "EQ", "sessions": [{"day": 8, "from": "10:00", "to": "18:00"}]})")
        << "schedules[0].sessions[0].day: expected an integer from 1 to 7";
    QTest::newRow("bad date") << broken("\"2026-11-04\"", "\"04.11.2026\"")
                              << "calendar[0].date: \"04.11.2026\" is not a date";
    QTest::newRow("day twice")
        << broken("\"trading\": false}",
                  "\"trading\": false}, {\"date\": \"2026-11-04\", \"trading\": false}")
        << "calendar[1].date: 2026-11-04 is listed twice";
}

void TestHostDirectory::badReferenceData()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, problem);
    const QString path = m_dir.filePath(QStringLiteral("broken.json"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(json);
    file.close();

    Table *before = TableRegistry::instance()->table(QStringLiteral("securities"));
    QString error;
    QVERIFY(!ReferenceData::load(path, &error));
    QVERIFY2(error.startsWith(path), qPrintable(error));
    QVERIFY2(error.contains(problem), qPrintable(error));
    // What was loaded before stays.
    QCOMPARE(TableRegistry::instance()->table(QStringLiteral("securities")), before);
    QCOMPARE(SecurityDirectory::i()->codeById(2, 2, 2001), QStringLiteral("ARKT"));
}

void TestHostDirectory::schedules()
{
    const QList<ReferenceSchedule> all = ReferenceData::schedules();
    const ReferenceSchedule *bonds = ReferenceData::scheduleFor(all, QStringLiteral("EQ"),
                                                                QStringLiteral("EQBD"));
    QVERIFY(bonds && bonds->boardCode == QStringLiteral("EQBD"));
    // A board without its own schedule gets its stock's.
    const ReferenceSchedule *shares = ReferenceData::scheduleFor(all, QStringLiteral("EQ"),
                                                                 QStringLiteral("EQMN"));
    QVERIFY(shares && shares->boardCode.isEmpty());
    QCOMPARE(shares->sessions.first().open, 10 * 60);
    // Currency sessions run past midnight: 07:00 to 01:30 the next day.
    const ReferenceSchedule *fx = ReferenceData::scheduleFor(all, QStringLiteral("FX"), QString());
    QVERIFY(fx);
    QCOMPARE(fx->sessions.first().length, 18 * 60 + 30);
    QVERIFY(!ReferenceData::scheduleFor(all, QStringLiteral("NONE"), QString()));
}

void TestHostDirectory::directoriesSignalTableChanges()
{
    SecurityDirectory *sd = SecurityDirectory::i();
    Table *t = sd->table();
    QSignalSpy spy(sd, &DirectoryBase::dataChanged);
    const Record r = sd->recordById(2, 2, 2001);
    QVERIFY(t->update(r, {{t->columnIndex(QStringLiteral("price")), QStringLiteral("190.1")}}));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(sd->recordById(2, 2, 2001).data(QStringLiteral("price")).toString(),
             QStringLiteral("190.1"));

    // Reloading the reference data replaces the tables; the directory follows the new one.
    QString error;
    QVERIFY2(ReferenceData::load(shippedReference(), &error), qPrintable(error));
    QCOMPARE(sd->recordById(2, 2, 2001).data(QStringLiteral("price")).toString(),
             QStringLiteral("187.2"));
    Table *fresh = sd->table();
    QVERIFY(fresh->update(sd->recordById(2, 2, 2001),
                          {{fresh->columnIndex(QStringLiteral("bid")), QStringLiteral("187.1")}}));
    QCOMPARE(spy.count(), 2);
}

QTEST_GUILESS_MAIN(TestHostDirectory)
#include "tst_hostdirectory.moc"
