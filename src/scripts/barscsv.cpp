#include "barscsv.h"

#include "dealbatch.h"

#include <QDate>
#include <QList>
#include <QTime>

namespace BarsCsv {

namespace {

bool parseTime(QByteArrayView text, datetime *time)
{
    // yyyy-MM-dd HH:mm:ss
    if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != ' '
        || text[13] != ':' || text[16] != ':')
        return false;
    auto number = [&](int from, int length, int *out) {
        int v = 0;
        for (int i = from; i < from + length; ++i) {
            if (text[i] < '0' || text[i] > '9')
                return false;
            v = v * 10 + (text[i] - '0');
        }
        *out = v;
        return true;
    };
    int y, mo, d, h, mi, s;
    if (!number(0, 4, &y) || !number(5, 2, &mo) || !number(8, 2, &d) || !number(11, 2, &h)
        || !number(14, 2, &mi) || !number(17, 2, &s))
        return false;
    if (!QDate::isValid(y, mo, d) || !QTime::isValid(h, mi, s))
        return false;
    *time = datetime::fromLocalParts(y, mo, d, h, mi, s, 0);
    return !time->isNull();
}

} // namespace

std::vector<Bar> parse(const QByteArray &text, QString *error)
{
    std::vector<Bar> bars;
    int lineNumber = 0;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        QByteArrayView line(text.constData() + start, end - start);
        start = end + 1;
        ++lineNumber;
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.trimmed().isEmpty())
            continue;
        if (bars.empty() && lineNumber == 1 && line.startsWith("time"))
            continue;
        const QList<QByteArrayView> fields = [&] {
            QList<QByteArrayView> parts;
            qsizetype from = 0;
            for (;;) {
                const qsizetype comma = line.indexOf(',', from);
                parts.append(line.sliced(from, comma < 0 ? line.size() - from : comma - from)
                                 .trimmed());
                if (comma < 0)
                    break;
                from = comma + 1;
            }
            return parts;
        }();
        auto fail = [&](const QString &what) {
            if (error)
                *error = QStringLiteral("line %1: %2").arg(lineNumber).arg(what);
            return std::vector<Bar>();
        };
        if (fields.size() < 6 || fields.size() > 8)
            return fail(QStringLiteral("expected time,open,high,low,close,volume[,value[,oi]]"));
        Bar bar;
        if (!parseTime(fields[0], &bar.begin))
            return fail(QStringLiteral("bad time \"%1\"").arg(QString::fromLatin1(fields[0])));
        decimal *prices[] = {&bar.open, &bar.high, &bar.low, &bar.close};
        static const char *names[] = {"open", "high", "low", "close"};
        for (int i = 0; i < 4; ++i) {
            bool ok = false;
            *prices[i] = decimal::fromLatin1(fields[1 + i], &ok);
            if (!ok)
                return fail(QStringLiteral("bad %1 price").arg(QLatin1String(names[i])));
        }
        if (bar.high < bar.low || bar.open < bar.low || bar.high < bar.open
            || bar.close < bar.low || bar.high < bar.close)
            return fail(QStringLiteral("the prices lie outside low..high"));
        bool ok = false;
        bar.volume = fields[5].toLongLong(&ok);
        if (!ok || bar.volume < 0)
            return fail(QStringLiteral("bad volume"));
        if (fields.size() > 6 && !fields[6].isEmpty()) {
            bar.value = xdecimal::fromLatin1(fields[6], &ok);
            if (!ok)
                return fail(QStringLiteral("bad value"));
        }
        if (fields.size() > 7 && !fields[7].isEmpty()) {
            const qint64 oi = fields[7].toLongLong(&ok);
            if (!ok || oi < 0 || oi > qint64(std::numeric_limits<quint32>::max()))
                return fail(QStringLiteral("bad open interest"));
            bar.openInterest = quint32(oi);
        }
        bar.valid = true;
        bars.push_back(bar);
    }
    return bars;
}

void appendDeals(DealBatch &batch, const Bar &bar)
{
    Deal d;
    d.time = bar.begin;
    d.price = bar.open;
    batch.append(d);
    d.time = bar.begin.addMSecs(500);
    d.price = bar.low;
    batch.append(d);
    d.price = bar.high;
    batch.append(d);
    d.time = bar.begin.addMSecs(999);
    d.price = bar.close;
    d.quantity = bar.volume;
    d.value = bar.value;
    d.openInterest = bar.openInterest;
    batch.append(d);
}

} // namespace BarsCsv
