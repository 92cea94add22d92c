#include "boarddirectory.h"
#include "calendardirectory.h"
#include "indexsort.h"
#include "referencedata.h"
#include "securitydirectory.h"
#include "stockdirectory.h"
#include "table.h"
#include "tableregistry.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

QString shippedReference()
{
    return QStringLiteral(TA_SOURCE_DIR "/terminal/reference.json");
}

QJsonObject minimalReference()
{
    return QJsonDocument::fromJson(R"({
        "stocks": [{"id": 2, "code": "EQ", "name": "Фондовый рынок"}],
        "boards": [{"stock": 2, "id": 2, "code": "EQMN", "hdxCode": "shares", "name": "Акции"},
                   {"stock": 2, "id": 5, "code": "EQMR", "name": "Зеркало", "proxy": true}],
        "securities": [{"stock": 2, "board": 2, "id": 1, "code": "AAA", "name": "Альфа",
                        "decimals": 2, "price": "10.50"},
                       {"stock": 2, "board": 5, "id": 1, "code": "AAA", "name": "Альфа",
                        "decimals": 2, "real": {"stock": 2, "board": 2, "id": 1}}],
        "calendar": [{"date": "2026-11-04", "trading": false}]
    })")
        .object();
}

} // namespace

class TestHostDirectory : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void stocksAndBoards();
    void securities();
    void proxyBoardRealRecords();
    void calendarRange();
    void badReferenceData_data();
    void badReferenceData();
    void missingFile();
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

void TestHostDirectory::stocksAndBoards()
{
    QCOMPARE(StockDirectory::i()->ids(), QList<int>({1, 2, 3}));
    QCOMPARE(StockDirectory::i()->codeById(2), QStringLiteral("EQ"));
    QCOMPARE(StockDirectory::i()->nameById(3), QStringLiteral("Валютный рынок"));
    QVERIFY(StockDirectory::i()->codeById(9).isEmpty());

    BoardDirectory *boards = BoardDirectory::i();
    QCOMPARE(boards->ids(1), QList<int>({1, 14}));
    QCOMPARE(boards->ids(2), QList<int>({2, 3, 5, 7, 16}));
    QVERIFY(boards->ids(42).isEmpty());
    QCOMPARE(boards->codeById(2, 2), QStringLiteral("EQMN"));
    QCOMPARE(boards->codeHdxById(2, 2), QStringLiteral("shares"));
    QCOMPARE(boards->nameById(1, 14), QStringLiteral("Опционы"));
    QVERIFY(boards->isChartById(2, 2));
    QVERIFY(!boards->isChartById(2, 7));
    QVERIFY(boards->isIndexById(2, 16));
    QVERIFY(!boards->isIndexById(2, 2));
    QVERIFY(boards->isProxyById(2, 5));
    QVERIFY(!boards->isProxyById(2, 2));
    QVERIFY(!boards->isChartById(2, 99)); // unknown boards are nothing
    QVERIFY(boards->codeById(2, 99).isEmpty());
}

void TestHostDirectory::securities()
{
    SecurityDirectory *sd = SecurityDirectory::i();
    QCOMPARE(sd->codeById(2, 2, 2001), QStringLiteral("ARKT"));
    QCOMPARE(sd->nameById(1, 1, 1001), QStringLiteral("VLMR-3.27"));
    QCOMPARE(sd->textIdById(2, 2, 2001), QStringLiteral("2,2,2001"));
    QCOMPARE(sd->decimalsById(3, 4, 3001), 4);
    QCOMPARE(sd->lotsizeById(2, 2, 2002), 100);
    QCOMPARE(sd->lotsizeById(2, 2, 999999), 1);
    QVERIFY(sd->recordById(2, 2, 999999).isNull());
    const Record r = sd->recordById(2, 2, 2001);
    QCOMPARE(r.data(QStringLiteral("price")).toDecimal(), decimal(QStringLiteral("187.2")));
    QCOMPARE(sd->getPriceLimitHighByFullId(1, 1, 1003), decimal(QStringLiteral("196.8")));
    QCOMPARE(sd->getPriceLimitLowByFullId(1, 1, 1003), decimal(QStringLiteral("178.1")));
    QCOMPARE(sd->getTheorPriceBySecId(1101, Enums::ExchangeTheoreticalPrice),
             decimal(QStringLiteral("735")));
    QCOMPARE(sd->getTheorPriceBySecId(1101, Enums::NoPricingModel), decimal());
    QVERIFY(sd->getCalcVolatTimer()->isActive());
    QCOMPARE(sd->getCalcVolatTimer(), sd->getCalcVolatTimer());

    // Every security has what the charts need: a key that parses back, a name, sane decimals.
    Table *t = TableRegistry::instance()->table(QStringLiteral("securities"));
    TableLocker locker(t);
    QVERIFY(t->masterIndex()->count() >= 20 && t->masterIndex()->count() <= 30);
    for (const Record &sec : t->masterIndex()->records()) {
        const QStringList key = sec.data(QStringLiteral("text_id")).toString().split(u',');
        QCOMPARE(key.size(), 3);
        QCOMPARE(key.at(0).toInt(), sec.data(QStringLiteral("stock_id")).toInteger());
        QVERIFY(!sec.data(QStringLiteral("sec_name")).toString().isEmpty());
        const int decimals = sec.data(QStringLiteral("decimals")).toInteger();
        QVERIFY(decimals >= 0 && decimals <= 4);
    }
}

void TestHostDirectory::proxyBoardRealRecords()
{
    SecurityDirectory *sd = SecurityDirectory::i();
    const Record real = sd->realRecordById(2, 5, 2501);
    QVERIFY(!real.isNull());
    QCOMPARE(real.data(QStringLiteral("board_id")).toInteger(), 2);
    QCOMPARE(real.data(QStringLiteral("sec_id")).toInteger64(), qint64(2001));
    // An ordinary security is its own real record.
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
    QCOMPARE(yearEnd.at(0).data(QStringLiteral("date")).toDatetime().getDate().dayOfWeek(), 6);
    QCOMPARE(cd->date(yearEnd.at(2)).getDate(), QDate(2027, 1, 1));

    QVERIFY(cd->range(datetime(QDate(2026, 12, 1)), datetime(QDate(2026, 11, 1))).isEmpty());
    QVERIFY(cd->range(datetime(), datetime(QDate(2027, 1, 1))).isEmpty());
}

void TestHostDirectory::badReferenceData_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("problem");

    auto variant = [](auto edit) {
        QJsonObject root = minimalReference();
        edit(root);
        return QJsonDocument(root).toJson();
    };
    auto editSecurity = [&](const char *member, const QJsonValue &value) {
        return variant([&](QJsonObject &root) {
            QJsonArray securities = root[QStringLiteral("securities")].toArray();
            QJsonObject first = securities[0].toObject();
            if (value.isUndefined())
                first.remove(QLatin1String(member));
            else
                first[QLatin1String(member)] = value;
            securities[0] = first;
            root[QStringLiteral("securities")] = securities;
        });
    };

    QTest::newRow("not json") << QByteArray("{\"stocks\": [") << "not valid JSON";
    QTest::newRow("array at top") << QByteArray("[]") << "top level";
    QTest::newRow("no stocks") << variant([](QJsonObject &r) { r.remove(QStringLiteral("stocks")); })
                               << "stocks: expected an array";
    QTest::newRow("missing name") << editSecurity("name", QJsonValue::Undefined)
                                  << "securities[0].name: missing";
    QTest::newRow("price as number") << editSecurity("price", 10.5)
                                     << "securities[0].price: expected a decimal number";
    QTest::newRow("bad price text") << editSecurity("price", QStringLiteral("10,5"))
                                    << "securities[0].price: \"10,5\" is not a decimal";
    QTest::newRow("decimals out of range") << editSecurity("decimals", 12)
                                           << "securities[0].decimals: expected an integer";
    QTest::newRow("fractional id") << editSecurity("id", 1.5)
                                   << "securities[0].id: expected an integer";
    QTest::newRow("id beyond 64 bits") << editSecurity("id", 1e19)
                                       << "securities[0].id: expected an integer from 1 to";
    QTest::newRow("unknown board") << editSecurity("board", 9)
                                   << "securities[0].board: unknown board 9 of stock 2";
    QTest::newRow("duplicate security") << editSecurity("board", 2).replace("\"board\": 5", "\"board\": 2")
                                        << "is defined twice";
    QTest::newRow("proxy without real") << variant([](QJsonObject &r) {
        QJsonArray s = r[QStringLiteral("securities")].toArray();
        QJsonObject second = s[1].toObject();
        second.remove(QStringLiteral("real"));
        s[1] = second;
        r[QStringLiteral("securities")] = s;
    }) << "securities[1].real: a security on a proxy board needs its real record";
    QTest::newRow("dangling real") << variant([](QJsonObject &r) {
        QJsonArray s = r[QStringLiteral("securities")].toArray();
        QJsonObject second = s[1].toObject();
        second[QStringLiteral("real")] = QJsonObject{{"stock", 2}, {"board", 2}, {"id", 77}};
        s[1] = second;
        r[QStringLiteral("securities")] = s;
    }) << "securities[1].real: unknown security 2,2,77";
    auto withSchedule = [&](const QJsonObject &schedule) {
        return variant([&](QJsonObject &r) {
            r[QStringLiteral("schedules")] = QJsonArray{schedule};
        });
    };
    auto session = [](int day, const char *from, const char *to) {
        return QJsonObject{{"day", day}, {"from", from}, {"to", to}};
    };
    QTest::newRow("schedule of unknown board")
        << withSchedule({{"stock", "EQ"}, {"board", "NOPE"},
                         {"sessions", QJsonArray{session(1, "10:00", "18:00")}}})
        << "schedules[0].board: unknown board code NOPE of stock EQ";
    QTest::newRow("overlapping sessions")
        << withSchedule({{"stock", "EQ"},
                         {"sessions", QJsonArray{session(1, "10:00", "18:00"),
                                                 session(1, "17:00", "19:00")}}})
        << "schedules[0].sessions[1]: sessions must be in order and must not overlap";
    QTest::newRow("bad session time")
        << withSchedule({{"stock", "EQ"}, {"sessions", QJsonArray{session(1, "10h", "18:00")}}})
        << "schedules[0].sessions[0].from: expected a time hh:mm";
    QTest::newRow("session day 8")
        << withSchedule({{"stock", "EQ"}, {"sessions", QJsonArray{session(8, "10:00", "18:00")}}})
        << "schedules[0].sessions[0].day: expected an integer from 1 to 7";
    QTest::newRow("bad date") << variant([](QJsonObject &r) {
        r[QStringLiteral("calendar")] = QJsonArray{QJsonObject{{"date", "04.11.2026"}, {"trading", false}}};
    }) << "calendar[0].date: \"04.11.2026\" is not a date";
    QTest::newRow("day twice") << variant([](QJsonObject &r) {
        const QJsonObject day{{"date", "2026-11-04"}, {"trading", false}};
        r[QStringLiteral("calendar")] = QJsonArray{day, day};
    }) << "calendar[1].date: 2026-11-04 is listed twice";
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

void TestHostDirectory::missingFile()
{
    const QString path = m_dir.filePath(QStringLiteral("absent.json"));
    QString error;
    QVERIFY(!ReferenceData::load(path, &error));
    QVERIFY2(error.startsWith(path) && error.contains(QLatin1String("cannot open")),
             qPrintable(error));
}

void TestHostDirectory::schedules()
{
    const QList<ReferenceSchedule> all = ReferenceData::schedules();
    QVERIFY(all.size() >= 4);
    const ReferenceSchedule *bonds = ReferenceData::scheduleFor(all, QStringLiteral("EQ"),
                                                                QStringLiteral("EQBD"));
    QVERIFY(bonds);
    QCOMPARE(bonds->boardCode, QStringLiteral("EQBD"));
    // A board without its own schedule gets its stock's.
    const ReferenceSchedule *shares = ReferenceData::scheduleFor(all, QStringLiteral("EQ"),
                                                                 QStringLiteral("EQMN"));
    QVERIFY(shares && shares->boardCode.isEmpty());
    QCOMPARE(shares->sessions.first().open, 10 * 60);
    QCOMPARE(shares->sessions.first().length, 3 * 60);
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
    QVERIFY(sd->table() != nullptr);
    QCOMPARE(sd->recordById(2, 2, 2001).data(QStringLiteral("price")).toString(),
             QStringLiteral("187.2"));
    Table *fresh = sd->table();
    QVERIFY(fresh->update(sd->recordById(2, 2, 2001),
                          {{fresh->columnIndex(QStringLiteral("bid")), QStringLiteral("187.1")}}));
    QCOMPARE(spy.count(), 2);
}

QTEST_GUILESS_MAIN(TestHostDirectory)
#include "tst_hostdirectory.moc"
