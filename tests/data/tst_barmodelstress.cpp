#include "barmodelstress.h"
#include "referencedata.h"
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
    QVERIFY(m_dir.isValid());
    AppSettings::setFileName(m_dir.filePath(QStringLiteral("stress.ini")));
    QString error;
    QVERIFY2(ReferenceData::load(QStringLiteral(TA_SOURCE_DIR "/terminal/reference.json"), &error),
             qPrintable(error));
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
