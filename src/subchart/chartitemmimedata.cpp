#include "chartitemmimedata.h"

#include "boarddirectory.h"
#include "chartitem.h"
#include "securitydirectory.h"
#include "serieskey.h"

#include <QDataStream>
#include <QIODevice>
#include <QGraphicsView>

ChartItemMimeData::ChartItemMimeData(ChartItem *item, QGraphicsView *sourceView, quint64 windowId)
    : m_item(item)
    , m_sourceView(sourceView)
    , m_windowId(windowId)
{
    setData(formatFor(windowId), QByteArray());
}

QString ChartItemMimeData::formatFor(quint64 windowId)
{
    return QStringLiteral("qdsk_%1/chartItem").arg(windowId);
}

Qt::DropAction ChartItemMimeData::acceptedAction(const QMimeData *data, quint64 windowId,
                                                 const QGraphicsView *target)
{
    if (!data)
        return Qt::IgnoreAction;
    if (data->hasFormat(securityFormat())) {
        const DroppedSecurity security = DroppedSecurity::parse(data);
        if (security.valid && BoardDirectory::i()->isChartById(security.stock, security.board))
            return Qt::CopyAction;
        return Qt::IgnoreAction;
    }
    const auto *itemData = qobject_cast<const ChartItemMimeData *>(data);
    if (itemData && itemData->hasFormat(formatFor(windowId)) && itemData->item()
        && itemData->sourceView() && itemData->sourceView() != target)
        return Qt::MoveAction;
    return Qt::IgnoreAction;
}

ChartItemDrag::ChartItemDrag(QObject *source, ChartItemMimeData *data)
    : QDrag(source)
{
    setMimeData(data);
}

DroppedSecurity DroppedSecurity::parse(const QMimeData *data)
{
    DroppedSecurity result;
    if (!data || !data->hasFormat(ChartItemMimeData::securityFormat()))
        return result;
    QByteArray bytes = data->data(ChartItemMimeData::securityFormat());
    QDataStream stream(&bytes, QIODevice::ReadOnly);
    QString text;
    stream >> text;
    if (stream.status() != QDataStream::Ok)
        return result;
    const QStringList parts = text.split(QLatin1Char(','), Qt::KeepEmptyParts);
    if (parts.size() < 2)
        return result;
    bool stockOk = false;
    bool boardOk = false;
    result.stock = parts[0].toInt(&stockOk);
    result.board = parts[1].toInt(&boardOk);
    if (!stockOk || !boardOk)
        return result;
    // The text must name an instrument the reference data knows.
    try {
        const SeriesKey key = SeriesKey::fromString(text);
        if (SecurityDirectory::i()->recordById(key.stock_id, key.board_id, key.sec_id).isNull())
            return result;
    } catch (const QString &) {
        return result;
    }
    result.key = text;
    result.valid = true;
    return result;
}
