#include "tradesfile.h"

#include "datetime.h"
#include "decimal.h"
#include "table.h"
#include "xdecimal.h"

#include <QDateTime>
#include <QIODevice>
#include <QTextStream>

bool readTrades(QIODevice &file, const QString &path, Table *deals, const SeriesKey &ids,
                QList<Record> *records, QString *error)
{
    const QStringList expected{QStringLiteral("moment"),        QStringLiteral("price"),
                               QStringLiteral("quantity"),      QStringLiteral("value"),
                               QStringLiteral("open_interest"), QStringLiteral("nosystem")};
    QTextStream in(&file);
    in.setEncoding(QStringConverter::Utf8);
    int lineNumber = 0;
    qint64 dealId = 1;
    QList<Record> read;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        ++lineNumber;
        if (lineNumber == 1) {
            if (line.split(u',') != expected) {
                *error = QStringLiteral("%1:1: the header must be \"%2\"")
                             .arg(path, expected.join(u','));
                return false;
            }
            continue;
        }
        if (line.isEmpty())
            continue;
        const QStringList f = line.split(u',');
        auto fail = [&](const QString &what) {
            *error = QStringLiteral("%1:%2: %3").arg(path).arg(lineNumber).arg(what);
            return false;
        };
        if (f.size() != expected.size())
            return fail(QStringLiteral("%1 fields instead of %2").arg(f.size()).arg(6));
        const QDateTime moment = QDateTime::fromString(f.at(0).trimmed(),
                                                       QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
        if (!moment.isValid())
            return fail(QStringLiteral("bad moment \"%1\"").arg(f.at(0)));
        bool ok = false;
        const decimal price = decimal::fromString(f.at(1).trimmed(), &ok);
        if (!ok || price.isZero() || price < decimal())
            return fail(QStringLiteral("bad price \"%1\"").arg(f.at(1)));
        const qint64 quantity = f.at(2).trimmed().toLongLong(&ok);
        if (!ok || quantity < 0)
            return fail(QStringLiteral("bad quantity \"%1\"").arg(f.at(2)));
        xdecimal value;
        const bool hasValue = !f.at(3).trimmed().isEmpty();
        if (hasValue) {
            value = xdecimal::fromString(f.at(3).trimmed(), &ok);
            if (!ok)
                return fail(QStringLiteral("bad value \"%1\"").arg(f.at(3)));
        }
        int openInterest = 0;
        if (!f.at(4).trimmed().isEmpty()) {
            openInterest = f.at(4).trimmed().toInt(&ok);
            if (!ok || openInterest < 0)
                return fail(QStringLiteral("bad open interest \"%1\"").arg(f.at(4)));
        }
        int nosystem = 0;
        if (!f.at(5).trimmed().isEmpty()) {
            nosystem = f.at(5).trimmed().toInt(&ok);
            if (!ok || (nosystem != 0 && nosystem != 1))
                return fail(QStringLiteral("bad nosystem flag \"%1\"").arg(f.at(5)));
        }
        Record r(deals);
        r.data(QStringLiteral("deal_id")) = dealId++;
        r.data(QStringLiteral("stock_id")) = ids.stock_id;
        r.data(QStringLiteral("board_id")) = ids.board_id;
        r.data(QStringLiteral("sec_id")) = ids.sec_id;
        r.data(QStringLiteral("sess_id")) = moment.date().year() * 10000
                                            + moment.date().month() * 100 + moment.date().day();
        r.data(QStringLiteral("moment")).setValue(QVariant::fromValue(datetime(moment)));
        r.data(QStringLiteral("price")).setValue(QVariant::fromValue(price));
        r.data(QStringLiteral("quantity")) = quantity;
        if (hasValue)
            r.data(QStringLiteral("value")).setValue(QVariant::fromValue(value));
        r.data(QStringLiteral("open_interest")) = openInterest;
        r.data(QStringLiteral("nosystem")) = nosystem;
        r.data(QStringLiteral("buysell")) = 1;
        read.append(r);
    }
    if (lineNumber == 0) {
        *error = QStringLiteral("%1: empty file, the header is missing").arg(path);
        return false;
    }
    *records += read;
    return true;
}

