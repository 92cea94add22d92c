// "ta-tool snapshot" end to end: the local history service, the data path and the chart window
// drawn offscreen into a PNG.

#include "bartesthelpers.h"
#include "testregistry.h"

#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Run
{
    int status = -1;
    QString errors;
};

Run snapshot(const QStringList &arguments)
{
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    tool.setProcessEnvironment(environment);
    tool.start(QCoreApplication::applicationDirPath() + QStringLiteral("/ta-tool"),
               QStringList{QStringLiteral("snapshot")} + arguments);
    Run run;
    if (!tool.waitForFinished(120000))
        return run;
    run.status = tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
    run.errors = QString::fromLocal8Bit(tool.readAllStandardError());
    return run;
}

bool isUp(QRgb pixel)
{
    return qRed(pixel) < 40 && qGreen(pixel) > 215 && qBlue(pixel) < 40;
}

bool isDown(QRgb pixel)
{
    return qRed(pixel) > 215 && qGreen(pixel) < 40 && qBlue(pixel) < 40;
}

} // namespace

class TestSnapshotTool : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void candlesOfAWeek();
    void refusals_data();
    void refusals();

private:
    QString url() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }

    QTemporaryDir m_dir;
    QProcess m_server;
    int m_port = 0;
};

void TestSnapshotTool::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_server.start(QCoreApplication::applicationDirPath() + QStringLiteral("/hdx-server"),
                   {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--reference"),
                    QStringLiteral(TA_SOURCE_DIR "/terminal/reference.json")});
    QVERIFY(m_server.waitForStarted());
    QVERIFY(m_server.waitForReadyRead(20000));
    m_port = m_server.readLine().trimmed().toInt();
    QVERIFY(m_port > 0);
}

void TestSnapshotTool::cleanupTestCase()
{
    m_server.kill();
    m_server.waitForFinished();
}

void TestSnapshotTool::candlesOfAWeek()
{
    // Sunday to Tuesday before the run's Wednesday, one-minute bars: two trading days.
    const QString png = m_dir.filePath(QStringLiteral("week.png"));
    const Run run = snapshot({"--key", "2,2,2001", "--timeframe", "60", "--days", "3", "--to",
                              "2026-11-24", "--hdx-url", url(), "--data-dir",
                              m_dir.filePath(QStringLiteral("data")), "--size", "1200x700",
                              "--output", png});
    QVERIFY2(run.status == 0, qPrintable(run.errors));
    QImage image(png);
    QCOMPARE(image.size(), QSize(1200, 700));
    image = image.convertToFormat(QImage::Format_RGB32);

    // The time axis' line: a red row across the window; the plot lies above it.
    int axisLine = -1;
    for (int y = image.height() - 1; y > 0 && axisLine < 0; --y) {
        int red = 0;
        for (int x = 0; x < image.width(); ++x)
            red += isDown(image.pixel(x, y)) ? 1 : 0;
        if (red > image.width() * 8 / 10)
            axisLine = y;
    }
    QVERIFY(axisLine > image.height() / 2);
    // Candles of both colours, and the rightmost candle pixel.
    int up = 0, down = 0, lastCandle = -1;
    for (int y = 0; y < axisLine; ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            const bool candle = isUp(pixel) || isDown(pixel);
            up += isUp(pixel) && y > 50 ? 1 : 0;
            down += isDown(pixel) && y > 50 ? 1 : 0;
            // The price axis' last-price mark is green too, and the tool bars have coloured
            // icons: candles are right of the axis and below the tool bars.
            if (candle && x > 80 && y > 50)
                lastCandle = qMax(lastCandle, x);
        }
    }
    QVERIFY2(up > 500 && down > 500, qPrintable(QStringLiteral("%1 up, %2 down").arg(up).arg(down)));
    // Right of the last bar only the margin of ten bars at nine pixels each.
    const int margin = image.width() - 1 - lastCandle;
    QVERIFY2(margin >= 80 && margin <= 110, qPrintable(QString::number(margin)));
}

void TestSnapshotTool::refusals_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    const QStringList range{"--timeframe", "60", "--days", "1", "--to", "2026-11-24"};
    QTest::newRow("unknown key") << (QStringList{"--key", "9,9,9999", "--no-history"} + range) << 2
                                 << "unknown instrument 9,9,9999";
    QTest::newRow("board not charted") << (QStringList{"--key", "2,7,2701", "--no-history"} + range)
                                       << 2 << "cannot be charted";
    QTest::newRow("history down") << (QStringList{"--key", "2,2,2001", "--hdx-url", "http://127.0.0.1:9"} + range)
                                  << 1 << "";
    QTest::newRow("unwritable file") << (QStringList{"--key", "2,2,2001", "--no-history"} + range) << 2
                                     << "cannot write";
    QTest::newRow("no key") << (QStringList{"--no-history"} + range) << 2 << "--key";
    // A second chart over a thousand days would lay out tens of millions of bars.
    QTest::newRow("too many bars")
        << QStringList{"--key", "2,2,2001", "--no-history", "--timeframe", "1", "--days", "1000"}
        << 2 << "Слишком большой диапазон: ";
}

void TestSnapshotTool::refusals()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, message);
    const bool unwritable = QString::fromLatin1(QTest::currentDataTag()) == QLatin1String("unwritable file");
    const QString png = unwritable ? m_dir.filePath(QStringLiteral("absent/dir/x.png"))
                                   : m_dir.filePath(QStringLiteral("refused.png"));
    QFile::remove(png);
    // A cache of its own: the history must be asked for.
    const QString data = m_dir.filePath(QStringLiteral("data-") + QString::fromLatin1(QTest::currentDataTag()));
    const Run run = snapshot(arguments + QStringList{"--output", png, "--data-dir", data});
    QCOMPARE(run.status, status);
    QVERIFY2(run.errors.contains(QStringLiteral("ta-tool: ")), qPrintable(run.errors));
    if (!message.isEmpty())
        QVERIFY2(run.errors.contains(message), qPrintable(run.errors));
    QVERIFY(!QFile::exists(png));
}

TA_REGISTER_TEST(TestSnapshotTool)

#include "tst_snapshottool.moc"
