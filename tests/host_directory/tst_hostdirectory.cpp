#include "referencedata.h"
#include "securitydirectory.h"
#include "table.h"
#include "tableregistry.h"

#include <QFile>
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
    void badReferenceData_data();
    void badReferenceData();

private:
    QTemporaryDir m_dir;
};

void TestHostDirectory::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QString error;
    QVERIFY2(ReferenceData::load(shippedReference(), &error), qPrintable(error));
}

void TestHostDirectory::badReferenceData_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("problem");

    QTest::newRow("not json") << QByteArray("{\"stocks\": [") << "not valid JSON";
    QTest::newRow("no stocks") << broken("\"stocks\"", "\"stock\"") << "stocks: expected an array";
    QTest::newRow("missing name") << broken("\"name\": \"Альфа\",", "")
                                  << "securities[0].name: missing";
    QTest::newRow("price as number") << broken("\"10.50\"", "10.5")
                                     << "securities[0].price: expected a decimal number";
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

QTEST_GUILESS_MAIN(TestHostDirectory)
#include "tst_hostdirectory.moc"
