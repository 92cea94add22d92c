#include "responseparser.h"
#include "testregistry.h"

namespace {

QJsonObject reply(const QByteArray &json)
{
    QJsonObject root;
    QString error;
    if (!ResponseParser::parseDocument(json, &root, &error))
        qFatal("test reply is not JSON: %s", qPrintable(error));
    return root;
}

} // namespace

class TestResponseParser : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void shortRows();
    void refusesBadBlocks();
};

void TestResponseParser::shortRows()
{
    const QByteArray json = R"({"borders": {"metadata": {"begin": {"type": "datetime"},
        "end": {"type": "datetime"}, "interval": {"type": "int32"}},
        "columns": ["begin", "end", "interval"],
        "data": [["2026-01-01 00:00:00", "2026-12-01 00:00:00", 1], ["2026-01-01 00:00:00"]]}})";
    const QList<ResponseParser::Column> columns{
        {QStringLiteral("begin"), {QStringLiteral("datetime")}},
        {QStringLiteral("interval"), {QStringLiteral("int32")}}};
    ResponseParser parser(reply(json), QStringLiteral("borders"), columns);
    QVERIFY(parser.init());
    QCOMPARE(parser.toInt(QStringLiteral("interval")), 1);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("nextRow")));
    QString thrown = QStringLiteral("nothing");
    try {
        parser.nextRow();
    } catch (const QString &e) {
        thrown = e;
    }
    QVERIFY(thrown.isEmpty()); // an empty text: the request is asked again
}

// Missing columns and wrong types are refused through the history client; here what it
// cannot reach: empty, broken and absent blocks, a string column of an unexpected size, and
// replies that are no JSON object.
void TestResponseParser::refusesBadBlocks()
{
    const QJsonObject root = reply(R"({"candles": {"metadata": {}, "columns": [], "data": []},
        "broken": {"metadata": 1, "columns": [], "data": []},
        "securities": {"metadata": {"SECID": {"type": "string", "bytes": 36}},
                       "columns": ["SECID"], "data": []}})");
    QVERIFY(!ResponseParser(root, QStringLiteral("candles"), {}).init());
    QVERIFY(!ResponseParser(root, QStringLiteral("broken"), {}).init());
    QVERIFY(!ResponseParser(root, QStringLiteral("absent"), {}).init());
    ResponseParser parser(root, QStringLiteral("securities"),
                          {{QStringLiteral("SECID"), {QStringLiteral("string")}, 51}});
    QString thrown;
    try {
        parser.init();
    } catch (const QString &e) {
        thrown = e;
    }
    QCOMPARE(thrown, QStringLiteral("ResponseParser::init: Field SECID has unexpected size 36 "
                                    "instead of 51"));
    QJsonObject out;
    QString error;
    QVERIFY(!ResponseParser::parseDocument("[1, 2]", &out, &error));
    QVERIFY(!ResponseParser::parseDocument("{\"a\": ", &out, &error));
    QVERIFY(!error.isEmpty());
}

TA_REGISTER_TEST(TestResponseParser)
#include "tst_responseparser.moc"
