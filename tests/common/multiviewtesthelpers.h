#pragma once

// A chart area in a window of its own over a week of one-minute bars, for the suites that
// drive the multi-view as the window's tool bars do.

#include "charttesthelpers.h"
#include "multiview.h"

#include <QCoreApplication>
#include <QTest>
#include <QVBoxLayout>
#include <QVariantMap>

// Monday 2026-11-30 to Friday 2026-12-04, one session 10:00-11:00 a day: 300 one-minute bars.
namespace MultiViewTest {
const QDate Monday(2026, 11, 30);
const QDate Friday(2026, 12, 4);
} // namespace MultiViewTest

inline datetime at(const QDate &day, int minute)
{
    return BarTest::t(day, 10, 0).addSecs(60 * minute);
}

// Sixty bars a day around a price.
inline void fillDays(SeriesItem *series, const QDate &from, const QDate &to, double price = 105)
{
    DealBatch batch(series->model(), 4, false);
    for (QDate day = from; day <= to; day = day.addDays(1)) {
        if (day.dayOfWeek() > 5)
            continue;
        for (int m = 0; m < 60; ++m) {
            const QByteArray p = QByteArray::number(price + (m % 7) * price / 1000, 'f', 2);
            const QByteArray h = QByteArray::number(price * 1.01, 'f', 2);
            const QByteArray l = QByteArray::number(price * 0.99, 'f', 2);
            ChartFixture::addBar(batch, at(day, m), p.constData(), h.constData(), l.constData(),
                                 p.constData());
        }
    }
}

// Posted events and deferred deletes, as a turn of the event loop handles them.
inline void flush()
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

inline void settle(MultiView &view)
{
    view.synchronizer()->update();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

// A chart area in a window of its own, shown and active.
struct Window
{
    explicit Window(int width = 1000, int height = 600)
    {
        window.resize(width, height);
        auto *layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        view = new MultiView(&window);
        layout->addWidget(view);
        window.show();
        window.activateWindow();
        active = QTest::qWaitForWindowActive(&window);
    }
    // A series of the instrument over the week, filled.
    SeriesItem *addSeries(const QString &key, double price = 105)
    {
        SeriesItem *series = view->createDefaultSeriesItem(key);
        if (series)
            fillDays(series, MultiViewTest::Monday, MultiViewTest::Friday, price);
        settle(*view);
        return series;
    }
    // The time axis viewport made exactly `width` wide.
    void setAxisWidth(int width)
    {
        for (int i = 0; i < 3; ++i) {
            const int now = view->timeAxis()->viewport()->width();
            window.resize(window.width() + width - now, window.height());
            settle(*view);
        }
    }
    QWidget window;
    MultiView *view;
    bool active = false;
};

// The window state as a flat map of every key.
inline QVariantMap flatten(Settings &settings)
{
    QVariantMap map;
    for (const QString &key : settings.allKeys())
        map.insert(key, settings.value(key));
    return map;
}
