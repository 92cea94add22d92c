#include "datamanagerstress.h"
#include "drawingservices.h"
#include "linedrawingitem.h"
#include "multiview.h"
#include "parentscaleitem.h"
#include "scriptstudyitem.h"
#include "studylibraryhelpers.h"
#include "studyservices.h"
#include "subchartwidget.h"
#include "tamainwindow.h"
#include "hdxtransport.h"
#include "historicaldatamanager.h"
#include "icore.h"
#include "referencedata.h"
#include "testenvironment.h"
#include "testregistry.h"
#include "tsynchronyzer.h"
#include "visualeventcenter.h"

#include <QDir>
#include <QRandomGenerator>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <utility>

using namespace BarTest;
using namespace DataTest;

namespace {

// Fillers of that kind created so far ("<kind> #<n> created in thread ...").
int created(const char *kind)
{
    int count = 0;
    for (const QString &line : LogCollector::filter(QString::fromLatin1(kind) + u'#'))
        count += line.contains(QLatin1String(" created in thread ")) ? 1 : 0;
    return count;
}

void restoreFollowingToday(SeriesDataModel &model, const TimeFrameValue &tf, int daysBack)
{
    MapSettings state;
    tf.save(state);
    state.setValue(QStringLiteral("toCurrDate"), true);
    state.setValue(QStringLiteral("dateTo"), datetime::today().toString(Qt::ISODate));
    state.setValue(QStringLiteral("daysBack"), daysBack);
    model.restoreState(state);
}

} // namespace

// The data manager with the host's tables, a table thread, the history service on a free
// port and cache files in a temporary directory.
class TestDataManager : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void registrationReadsTodaysTrades();
    void liveTradesReachEveryModelOnce();
    void todayShowsWhileHistoryLoads();
    void indexRefreshReplacesThePeriod();
    void dayChangeReportsAFailedRebuild();
    void windowsFollowTheDayChange();
    void proxyBoardFollowsItsRealRecord();
    void daylightSavingDays_data();
    void daylightSavingDays();
    void tableResetRebuildsCharts();
    void tradesWhileFillingRelayingOutAndTurningTheDay();

private:
    bool startServer(const QStringList &arguments = {});
    void useHistory(bool on);
    // A chart of the instrument over the days, registered and laid out: filling starts.
    std::unique_ptr<SeriesDataModel> openChart(const SeriesKey &key, int frame, const QDate &from,
                                               const QDate &to);

    QTemporaryDir m_dir;
    QProcess m_server;
    QList<Record> m_calendar;
    std::unique_ptr<HdxTransport> m_transport;
    LogCollector m_log;
};

void TestDataManager::initTestCase()
{
    TA_SET_UP_TEST_ENVIRONMENT(m_dir, "manager.ini");
    // Holidays of the shipped calendar must not decide whether today trades.
    m_calendar = tradeEveryDay();
    m_log.install();
}

void TestDataManager::cleanupTestCase()
{
    m_log.uninstall();
    CalendarDirectory::i()->table()->reset(m_calendar);
    qunsetenv("TA_DATA_DIR");
}

void TestDataManager::init()
{
    LogCollector::clear();
    deals()->reset({});
    setScheduleEverywhere(everyDay());
    AppSettings(QStringLiteral("TechAnalysis/General")).setValue(QStringLiteral("enabled"), true);
    AppSettings parameters(QStringLiteral("Transports/hdxplugin/Parameters"));
    parameters.setValue(QStringLiteral("requestGzip"), false);
    parameters.setValue(QStringLiteral("requestTimeout"), 3000);
    parameters.setValue(QStringLiteral("url"), QStringLiteral("http://127.0.0.1:1"));
    QDir(m_dir.filePath(QStringLiteral("data"))).removeRecursively();
}

void TestDataManager::cleanup()
{
    SeriesDataManager::destroyInstance();
    useHistory(false);
    m_server.kill();
    m_server.waitForFinished();
}

void TestDataManager::useHistory(bool on)
{
    if (on && !m_transport) {
        m_transport = std::make_unique<HdxTransport>();
        ICore::instance()->addPlugin(m_transport.get());
    } else if (!on && m_transport) {
        ICore::instance()->removePlugin(m_transport.get());
        m_transport.reset();
    }
}

bool TestDataManager::startServer(const QStringList &arguments)
{
    useHistory(true);
    return startHistoryService(m_server, arguments);
}

std::unique_ptr<SeriesDataModel> TestDataManager::openChart(const SeriesKey &key, int frame,
                                                           const QDate &from, const QDate &to)
{
    auto model = std::make_unique<SeriesDataModel>(key);
    restore(*model, TimeFrameValue(frame), from, to);
    SeriesDataManager::instance()->registerModel(model.get());
    model->build();
    return model;
}

void TestDataManager::registrationReadsTodaysTrades()
{
    const QDate today = datetime::today();
    deals()->append({trade(Futures, datetime(today), "100", 1),
                     trade(Futures, t(today, 10, 0, 1), "101", 2),
                     trade(Futures, t(today, 10, 0, 2), "150", 5, /*nosystem*/ 1),
                     trade(Futures, datetime(today.addDays(1)), "999", 7),
                     trade(Futures, datetime(today).addMSecs(-1), "50", 3),
                     trade(Dollar, t(today, 10, 0, 1), "92", 1)});

    SeriesDataManager *manager = SeriesDataManager::instance();
    SeriesDataModel model(Futures);
    restore(model, TimeFrameValue(60), today, today);
    manager->registerModel(&model);

    const SecondBars seconds = manager->secondBars(Futures);
    // Seconds count real time from midnight: 10:00:01 is second 36001 of an ordinary day and
    // second 39601 of the day the clocks go back.
    const int tenOhOne = int(datetime(today).msecsTo(t(today, 10, 0, 1)) / 1000);
    QCOMPARE(seconds.lastSecond, tenOhOne);
    int valid = 0;
    for (const TimeFrame &bar : seconds.bars)
        valid += bar.valid ? 1 : 0;
    QCOMPARE(valid, 2);
    QVERIFY(seconds.bars[0].valid); // the trade at today start
    QCOMPARE(seconds.bars[0].open, decimal(QStringLiteral("100")));
    QCOMPARE(seconds.bars[size_t(tenOhOne)].close, decimal(QStringLiteral("101")));
    // Contracts: no lot size on derivatives.
    QCOMPARE(seconds.bars[size_t(tenOhOne)].volume, qint64(2));

    QSignalSpy finished(manager, &SeriesDataManager::fillingFinished);
    model.build();
    QVERIFY(waitFilled(model));
    QVERIFY(!finished.isEmpty() || finished.wait(2000));
    QCOMPARE(finished.first().at(0).value<SeriesDataModel *>(), &model);
    // 00:00 lies outside the sessions; the 10:00 bar holds the one order-book trade.
    QCOMPARE(model.validBarCount(), 1);
    const TimeFrame bar = model.bar(model.validBar(0));
    QCOMPARE(bar.close, decimal(QStringLiteral("101")));
    QCOMPARE(bar.volume, qint64(2));

    // With its chart closed the instrument keeps its trades: a chart opened again has them.
    manager->unregisterModel(&model);
    TableThread feed;
    feed.append({trade(Futures, t(today, 10, 2), "102", 4)});
    const auto again = openChart(Futures, 60, today, today);
    QCOMPARE(manager->entryCount(), 1);
    QVERIFY(waitFilled(*again));
    QCOMPARE(again->validBarCount(), 2);
    QCOMPARE(again->bar(again->validBar(1)).close, decimal(QStringLiteral("102")));
}

void TestDataManager::liveTradesReachEveryModelOnce()
{
    const QDate today = datetime::today();
    QRandomGenerator random(7);
    // Trades of one append lie apart from those of another: a second's trades come either
    // replayed from the second bars or live, never both (the replay knows no finer times).
    auto someTrades = [&](int count, int fromMinute, int minutes) {
        QList<Record> list;
        for (int i = 0; i < count; ++i) {
            const datetime when = t(today, 10, 0).addMSecs(
                qint64(fromMinute) * 60000 + qint64(random.bounded(minutes * 60000)));
            const QByteArray price = QByteArray::number(92.0 + random.bounded(100) / 100.0, 'f', 2);
            list.append(trade(Dollar, when, price.constData(), 1 + random.bounded(9)));
        }
        return list;
    };
    // Some trades before the charts open, more while they are filled and afterwards. The
    // earlier ones are many: the charts' replays of them queue one after the other, so the
    // first live trades reach charts whose replay has not started yet.
    QList<Record> all = someTrades(3000, 0, 60);
    deals()->append(all);

    SeriesDataManager *manager = SeriesDataManager::instance();
    const QList<int> frames{1, 60, 300};
    std::vector<std::unique_ptr<SeriesDataModel>> models;
    for (int frame : frames) {
        models.push_back(std::make_unique<SeriesDataModel>(Dollar));
        restore(*models.back(), TimeFrameValue(frame), today, today);
        manager->registerModel(models.back().get());
    }
    TableThread feed;
    for (auto &m : models)
        m->build();
    for (int round = 0; round < 5; ++round) {
        const QList<Record> more = someTrades(100, 60 + round * 10, 10);
        feed.append(more);
        all += more;
    }
    for (auto &m : models)
        QVERIFY(waitFilled(*m));
    const QList<Record> late = someTrades(100, 120, 60);
    feed.append(late);
    all += late;

    // The currency market counts pieces: quantity times the lot size of 1000.
    const SecondBars seconds = manager->secondBars(Dollar);
    qint64 volume = 0;
    for (const TimeFrame &bar : seconds.bars)
        volume += bar.volume;
    qint64 quantity = 0;
    for (const Record &r : std::as_const(all))
        quantity += r.data(QStringLiteral("quantity")).toInteger64();
    QCOMPARE(volume, quantity * 1000);

    for (size_t i = 0; i < models.size(); ++i)
        QCOMPARE(barsOf(*models[i]), plainFold(all, frames[i], 1000));
    // Rebuilt from the second bars, a chart shows the same bars: nothing counted twice.
    models[1]->rebuild();
    QVERIFY(waitFilled(*models[1]));
    QCOMPARE(barsOf(*models[1]), plainFold(all, 60, 1000));
}

// A new chart shows today's trades, and the live trades that follow, at once, however slow
// the history service is; once the history is in, nothing was counted twice.
void TestDataManager::todayShowsWhileHistoryLoads()
{
    QVERIFY(startServer({QStringLiteral("--delay"), QStringLiteral("1200")}));
    const QDate today = datetime::today();
    QList<Record> trades;
    for (int i = 0; i < 40; ++i)
        trades.append(trade(Futures, t(today, 10, 0).addSecs(i * 20), i % 3 ? "100" : "101", 1 + i % 4));
    deals()->append(trades);
    SeriesDataManager *manager = SeriesDataManager::instance();
    // Every download thread busy: one, with this chart's download.
    manager->pool()->setMaxThreadCount(1);
    const auto model = openChart(Futures, 60, today.addDays(-3), today);
    // Today's bars as the chart holds them.
    const auto todaysBars = [&] { return barsOf(*model).filter(today.toString(Qt::ISODate)); };
    QVERIFY(waitFor([&] { return todaysBars().size() == plainFold(trades, 60, 1).size(); }, 1000));
    QVERIFY2(manager->isFilling(model.get()), "the history is still loading");
    {
        TableThread feed;
        const Record live = trade(Futures, t(today, 10, 20), "99", 3);
        trades.append(live);
        feed.append({live});
    }
    QVERIFY(waitFor([&] { return todaysBars().size() == plainFold(trades, 60, 1).size(); }, 1000));
    QVERIFY(manager->isFilling(model.get()));
    QVERIFY(waitFilled(*model));
    QCOMPARE(todaysBars(), plainFold(trades, 60, 1));
}

void TestDataManager::indexRefreshReplacesThePeriod()
{
    // A Wednesday in late November: this year's bar has most of a year of trading in it.
    const PinnedClock lateNovember(datetime(2026, 11, 25, 14, 30));
    // The service's own schedules: weekdays.
    setScheduleEverywhere(everyWeekday({at(1, 10, 0, 8 * 60 + 50)}));
    QVERIFY(startServer());
    SeriesDataManager *manager = SeriesDataManager::instance();
    SeriesDataModel model(IndexKey);
    // One bar a year: the refresh, from January 1 to tomorrow, covers this year's bar.
    restoreFollowingToday(model, TimeFrameValue(1, Year), 800);
    manager->registerModel(&model);
    model.build();
    QCOMPARE(created("FillerHistoricalData "), 1);
    QCOMPARE(created("TodayDataFiller "), 0);
    QVERIFY(waitFilled(model));
    QVERIFY(model.validBarCount() > 0);
    const int barsBefore = model.validBarCount();
    const FrameIndex last = model.lastIndex();
    const TimeFrame before = model.bar(last);
    QVERIFY(!before.value.isZero());
    QCOMPARE(model.frameTime(last, false).getDate().year(), 2026);

    // The timer refreshes the chart; twice here.
    manager->refreshTimer()->setInterval(100);
    QVERIFY(waitFor([] {
        return LogCollector::filter(QStringLiteral("CurrentDataFillerForIndices #")).size() >= 4; // 2 x (created, finished)
    }));
    QVERIFY(waitFilled(model));
    manager->refreshTimer()->setInterval(60000);
    QVERIFY(LogCollector::filter(QStringLiteral("Querying HDX server for exchange index for data from "))
                .first()
                .endsWith(datetime::today().addDays(1).toString(Qt::ISODate)));
    // The first refresh moved the range to whole years: laid out anew, the chart was filled
    // whole again, its earlier years included.
    QCOMPARE(model.validBarCount(), barsBefore);
    const TimeFrame after = model.bar(last);
    // The same period again (a minute or two more at most), not added on top: today's
    // candles, counted again, would add a quarter of a percent.
    QVERIFY2(after.value.toDouble() < before.value.toDouble() * 1.0005,
             qPrintable(after.value.toString() + u' ' + before.value.toString()));
    QVERIFY(!(after.value < before.value));
    QCOMPARE(after.open, before.open);
}

// A window left open over midnight: at the day change its time axis moves to the new day's
// periods by itself, the new session's bars come in at their places, its indicator follows
// and its drawing stays on its moments; a window fixed on its dates stays as it was, and a
// weekend's midnight adds no empty day. Thursday 26 November 2026, a minute before midnight.
void TestDataManager::windowsFollowTheDayChange()
{
    const QDate thursday(2026, 11, 26);
    const QDate friday = thursday.addDays(1);
    const QDate saturday = friday.addDays(1);
    std::optional<PinnedClock> clock(std::in_place, t(thursday, 23, 59));
    useHistory(true);
    useCopyOfLibrary(m_dir);
    StudyServices::install();
    DrawingServices::install();
    setScheduleEverywhere(everyWeekday({at(1, 10, 0, 8 * 60 + 45)}));
    QList<Record> trades;
    for (int i = 0; i < 120; ++i)
        trades.append(trade(Shares, t(thursday, 10, 0).addSecs(i * 30), i % 2 ? "101" : "100", 1 + i % 3));
    deals()->append(trades);

    // Five-second bars of two days: the ending day's bars come back from its cache file.
    auto openWindow = [](bool followToday) {
        AppSettings defaults(QStringLiteral("TechAnalysis/SeriesDefaultProperty"));
        defaults.remove(QString());
        TimeFrameValue(5).save(defaults);
        defaults.setValue(QStringLiteral("toCurrDate"), followToday);
        defaults.setValue(QStringLiteral("dateTo"), datetime::today().toString(Qt::ISODate));
        defaults.setValue(QStringLiteral("daysBack"), 2);
        auto window = std::make_unique<TAMainWindow>();
        window->setProperty("extraKey", QStringLiteral("2,2,2001"));
        MapSettings none;
        window->applyViewSettings(none);
        window->resize(1000, 700);
        window->show();
        return window;
    };
    auto following = openWindow(true);
    auto fixed = openWindow(false);
    MultiView *view = following->chartArea();
    SeriesItem *series = view->seriesItems().first();
    QVERIFY(waitFilled(*series->model()) && waitFilled(*fixed->chartArea()->seriesItems().first()->model()));
    QCoreApplication::processEvents();
    ScriptStudyItem *volume = nullptr;
    for (SubChartWidget *pane : view->subCharts()) {
        for (ChartItem *item : pane->chartItems()) {
            if (auto *study = qobject_cast<ScriptStudyItem *>(item))
                volume = study;
        }
    }
    QVERIFY(volume);
    TSynchronyzer *sync = view->synchronizer();
    QCOMPARE(sync->spans().last(), t(thursday, 18, 45).toMSecsSinceEpoch());
    const QList<qint64> fixedSpans = fixed->chartArea()->synchronizer()->spans();
    // A trend line over Thursday's trades.
    auto *scale = qobject_cast<ParentScaleItem *>(series->parentChartItem());
    const datetime from = t(thursday, 10, 10), to = t(thursday, 10, 40);
    auto *line = qobject_cast<LineDrawingItem *>(DrawingServices::makeDrawing(
        0, scale, sync, QPointF(sync->indexOf(from), series->mapToScene(0, -100).y()), Qt::yellow, 1));
    QVERIFY(line);
    line->setSceneP2(QPointF(sync->indexOf(to), series->mapToScene(0, -101).y()));
    QCOMPARE(line->time1(), from);
    const int validBefore = series->model()->validBarCount();

    // Midnight, as the terminal announces it.
    clock.reset();
    clock.emplace(datetime(friday).addSecs(1));
    ICore::instance()->announceNewDay();
    QCOMPARE(SeriesDataManager::instance()->today(), friday);
    // The axis ends with Friday's session at once, before any bar came back.
    QCOMPARE(sync->spans().last(), t(friday, 18, 45).toMSecsSinceEpoch());
    QCOMPARE(sync->spans().first(), t(thursday, 10, 0).toMSecsSinceEpoch());
    QVERIFY(waitFilled(*series->model()));
    QCoreApplication::processEvents();
    QCOMPARE(series->model()->validBarCount(), validBefore);
    QCOMPARE(fixed->chartArea()->synchronizer()->spans(), fixedSpans);
    // The drawing is where its moments now are.
    QCOMPARE(line->mapToScene(line->line().p1()).x(), double(sync->indexOf(from)));
    QCOMPARE(line->mapToScene(line->line().p2()).x(), double(sync->indexOf(to)));

    // Friday's first trades come in at Friday's place, the indicator with them.
    clock.reset();
    clock.emplace(t(friday, 10, 0, 30));
    {
        TableThread feed;
        feed.append({trade(Shares, t(friday, 10, 0, 12), "103", 2)});
    }
    QVERIFY(waitFor([&] {
        const FrameIndex last = series->lastIndex();
        return last.isValid() && series->model()->frameTime(last, false) == t(friday, 10, 0, 10)
               && volume->valueAt(QStringLiteral("Volume"), last).valid;
    }));
    const FrameIndex last = series->lastIndex();
    QCOMPARE(int(series->pos().x() + series->xOf(last)) - series->barOffset(),
             sync->indexOf(t(friday, 10, 0, 10)));
    QCOMPARE(volume->valueAt(QStringLiteral("Volume"), last).value,
             double(series->model()->bar(last).volume));

    // Saturday's midnight: no session, no empty day at the end of the axis.
    clock.reset();
    clock.emplace(datetime(saturday).addSecs(1));
    ICore::instance()->announceNewDay();
    QVERIFY(waitFilled(*series->model()));
    QCOMPARE(sync->spans().last(), t(friday, 18, 45).toMSecsSinceEpoch());
    QCOMPARE(sync->spans().first(), t(friday, 10, 0).toMSecsSinceEpoch());
    following.reset();
    fixed.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(SeriesDataManager::instance()->synchronizerCount(), 0);
}

void TestDataManager::proxyBoardFollowsItsRealRecord()
{
    const QDate today = datetime::today();
    SeriesDataManager *manager = SeriesDataManager::instance();
    const auto model = openChart(Mirror, 60, today, today);
    // The mirror board's trades happen on the main board.
    QCOMPARE(manager->matchedKey(Mirror), Shares);
    QVERIFY(waitFilled(*model));

    Table *securities = SecurityDirectory::i()->table();
    const Record mirror = SecurityDirectory::i()->recordById(Mirror.stock_id, Mirror.board_id,
                                                             Mirror.sec_id);
    const int realColumn = securities->columnIndex(QStringLiteral("real_sec_id"));
    QVERIFY(securities->update(mirror, {{realColumn, 2003}}));
    QVERIFY(waitFor([&] { return manager->matchedKey(Mirror) == SeriesKey{2, 2, 2003}; }));

    TableThread feed;
    feed.append({trade(Shares, t(today, 10, 5), "187.5", 1),
                 trade(SeriesKey{2, 2, 2003}, t(today, 10, 6), "3120.5", 2)});
    QVERIFY(waitFilled(*model));
    QCOMPARE(model->validBarCount(), 1);
    QCOMPARE(model->bar(model->validBar(0)).close, decimal(QStringLiteral("3120.5")));
    QVERIFY(securities->update(mirror, {{realColumn, 2001}}));
    QVERIFY(waitFor([&] { return manager->matchedKey(Mirror) == Shares; }));
}

// The data service as a model reaches it, refusing the next cancel of a model's fillers (where
// every rebuild starts) with a text, once; everything else goes to the data manager.
class RefusingService : public SeriesDataService
{
public:
    RefusingService(SeriesDataService *real, const QString &text) : m_real(real), m_text(text) {}
    void registerModel(SeriesDataModel *model) override { m_real->registerModel(model); }
    bool isFilling(SeriesDataModel *model) const override { return m_real->isFilling(model); }
    void fillModel(SeriesDataModel *model) override { m_real->fillModel(model); }
    void updateModel(SeriesDataModel *model) override { m_real->updateModel(model); }
    void unregisterModel(SeriesDataModel *model) override { m_real->unregisterModel(model); }
    void cancelFillers(SeriesDataModel *model) override
    {
        m_real->cancelFillers(model);
        if (!m_text.isEmpty())
            throw std::exchange(m_text, QString());
    }

private:
    SeriesDataService *m_real;
    QString m_text;
};

// A model that cannot be rebuilt at midnight, which no user asked for: its text goes to the
// terminal's events and becomes the model's layout error (its series shows it in the status
// line); the next day lays the model out again.
void TestDataManager::dayChangeReportsAFailedRebuild()
{
    SeriesDataManager *manager = SeriesDataManager::instance();
    SeriesDataModel model(Dollar);
    restoreFollowingToday(model, TimeFrameValue(60), 2);
    manager->registerModel(&model);
    model.build();
    const QString text = QStringLiteral("Расписание не удовлетворяет требованиям");
    QSignalSpy shown(VisualEventCenter::instance(), &VisualEventCenter::eventShown);
    RefusingService refusing(manager, text);
    SeriesDataService::setInstance(&refusing);
    const QDate today = manager->today();
    manager->turnDay(today.addDays(1));
    SeriesDataService::setInstance(manager);
    QCOMPARE(manager->today(), today.addDays(1));
    QCOMPARE(model.layoutError(), text);
    QCoreApplication::processEvents();
    QStringList events;
    for (const QList<QVariant> &event : shown)
        events.append(event.at(1).toString());
    QVERIFY2(events.contains(text), qPrintable(events.join(u'|')));

    manager->turnDay(today.addDays(2));
    QCOMPARE(model.layoutError(), QString());
}

void TestDataManager::daylightSavingDays_data()
{
    QTest::addColumn<QDate>("day");
    QTest::newRow("spring forward") << QDate(2026, 3, 29);
    QTest::newRow("fall back") << QDate(2026, 10, 25);
    QTest::newRow("ordinary") << QDate(2026, 11, 25);
}

void TestDataManager::daylightSavingDays()
{
    // The whole day trades, so that a late bar has its slot.
    SessionList wholeDays;
    for (int day = 1; day <= 7; ++day)
        wholeDays.append(at(day, 0, 0, 1440));
    setScheduleEverywhere(wholeDays);
    QFETCH(QDate, day);
    SeriesDataManager *manager = SeriesDataManager::instance();
    manager->turnDay(day);
    const qint64 dayLength = datetime(day).msecsTo(datetime(day.addDays(1))) / 1000;

    SeriesDataModel live(Dollar);
    restore(live, TimeFrameValue(60), day, day);
    manager->registerModel(&live);
    live.build();
    QVERIFY(waitFilled(live));
    const datetime late = t(day, 23, 30, 15);
    // 2.5 and 3.5 hours after midnight: on the day the clocks go back both read 02:30.
    const datetime early = datetime(day).addMSecs(9015000);
    const datetime repeated = datetime(day).addMSecs(12615000);
    TableThread feed;
    feed.append({trade(Dollar, t(day, 1, 30), "92", 1), trade(Dollar, early, "92.5", 3),
                 trade(Dollar, repeated, "92.7", 4), trade(Dollar, late, "93", 2)});
    // The late trade has its second, inside the day however long it is.
    const SecondBars seconds = manager->secondBars(Dollar);
    const int s = int(datetime(day).msecsTo(late) / 1000);
    QCOMPARE(seconds.lastSecond, s);
    QVERIFY(s < dayLength);
    QVERIFY(seconds.bars[size_t(s)].valid);
    QCOMPARE(live.validBarCount(), 4);
    QCOMPARE(live.frameTime(live.validBar(3), false), t(day, 23, 30));

    // Stored at the day change and read back, every bar keeps its time, the repeated hour
    // included.
    manager->turnDay(day.addDays(1));
    for (int frame : {1, 60}) {
        SeriesDataModel cached(Dollar);
        restore(cached, TimeFrameValue(frame), day, day);
        cached.build();
        HistoricalDataManager::readCacheFiles(&cached, day, day);
        QCOMPARE(cached.validBarCount(), 4);
        const QList<datetime> expected{t(day, 1, 30), early, repeated, late};
        const QList<qint64> volumes{1000, 3000, 4000, 2000};
        for (int k = 0; k < 4; ++k) {
            const qint64 ms = expected.at(k).toMSecsSinceEpoch();
            const datetime start = datetime::fromMSecsSinceEpoch(ms - ms % (frame * 1000));
            QCOMPARE(cached.frameTime(cached.validBar(k), false), start);
            QCOMPARE(cached.bar(cached.validBar(k)).volume, volumes.at(k));
        }
    }
}

void TestDataManager::tableResetRebuildsCharts()
{
    const QDate today = datetime::today();
    deals()->append({trade(Futures, t(today, 10, 0, 5), "100", 1)});
    SeriesDataManager *manager = SeriesDataManager::instance();
    const auto model = openChart(Futures, 60, today, today);
    QVERIFY(waitFilled(*model));
    QCOMPARE(model->validBarCount(), 1);
    // The host replaces the table's content: the chart shows the new trades only.
    const QList<Record> replaced{trade(Futures, t(today, 11, 0, 5), "110", 2),
                                 trade(Futures, t(today, 12, 0, 5), "120", 3)};
    deals()->reset(replaced);
    QVERIFY(waitFor([&] {
        return !manager->isFilling(model.get()) && model->validBarCount() == 2;
    }));
    QCOMPARE(barsOf(*model), plainFold(replaced, 60, 1));
}

// The concurrency scenario under the sanitizers of the test build.
void TestDataManager::tradesWhileFillingRelayingOutAndTurningTheDay()
{
    const QString failure = DataManagerStress::run(8000);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

TA_REGISTER_TEST(TestDataManager)
#include "tst_datamanager.moc"
