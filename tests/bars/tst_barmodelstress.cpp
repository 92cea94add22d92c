#include "barmodelstress.h"
#include "referencedata.h"
#include "testenvironment.h"
#include "testregistry.h"

#include <QTemporaryDir>

using namespace BarTest;

class TestBarModelStress : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void foldWhileRelayingOut();

private:
    QTemporaryDir m_dir;
    RecordingService m_service;
};

void TestBarModelStress::initTestCase()
{
    TA_SET_UP_TEST_ENVIRONMENT(m_dir, "stress.ini");
    qRegisterMetaType<FrameIndex>("FrameIndex");
    SeriesDataService::setInstance(&m_service);
    setSchedule(everyWeekday({at(1, 10, 0, 8 * 60 + 45)}));
}

void TestBarModelStress::cleanupTestCase()
{
    SeriesDataService::setInstance(nullptr);
}

void TestBarModelStress::foldWhileRelayingOut()
{
    const QString failure = BarModelStress::run();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

TA_REGISTER_TEST(TestBarModelStress)
#include "tst_barmodelstress.moc"
