#include "datamanagerstress.h"
#include "referencedata.h"
#include "testenvironment.h"
#include "testregistry.h"

#include <QTemporaryDir>

// The data manager's concurrency scenario under the sanitizers of the test build.
class TestDataManagerStress : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void tradesWhileFillingRelayingOutAndTurningTheDay();

private:
    QTemporaryDir m_dir;
    QList<Record> m_calendar;
};

void TestDataManagerStress::initTestCase()
{
    TA_SET_UP_TEST_ENVIRONMENT(m_dir, "stress.ini");
    m_calendar = DataTest::tradeEveryDay();
    DataTest::deals()->reset({});
}

void TestDataManagerStress::cleanupTestCase()
{
    SeriesDataManager::destroyInstance();
    DataTest::deals()->reset({});
    CalendarDirectory::i()->table()->reset(m_calendar);
    qunsetenv("TA_DATA_DIR");
}

void TestDataManagerStress::tradesWhileFillingRelayingOutAndTurningTheDay()
{
    const QString failure = DataManagerStress::run(8000);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

TA_REGISTER_TEST(TestDataManagerStress)
#include "tst_datamanagerstress.moc"
