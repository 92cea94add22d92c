#pragma once

#include "chartitem.h"

#include <QDrag>
#include <QGraphicsView>
#include <QMimeData>
#include <QPointer>


// A chart item dragged between the areas of one window. The item, the window and the view it
// left are held by guarded pointers: whatever is deleted while the drag runs reads back as
// null and the drop is refused.
class ChartItemMimeData : public QMimeData
{
    Q_OBJECT
public:
    ChartItemMimeData(ChartItem *item, QGraphicsView *sourceView, quint64 windowId);

    // "qdsk_%1/chartItem", %1 the window's address.
    static QString formatFor(quint64 windowId);
    // The instrument type the host's tables drag.
    static QString securityFormat() { return QStringLiteral("application/x-gui-security"); }
    // What a window takes of dragged data: an instrument of a board that can be charted is
    // copied; a chart item of that window, still there, is moved unless it would land on the
    // view it left (target). Anything else is refused (IgnoreAction).
    static Qt::DropAction acceptedAction(const QMimeData *data, quint64 windowId,
                                         const QGraphicsView *target = nullptr);

    ChartItem *item() const { return m_item.data(); }
    QGraphicsView *sourceView() const { return m_sourceView.data(); }
    quint64 windowId() const { return m_windowId; }

private:
    QPointer<ChartItem> m_item;
    QPointer<QGraphicsView> m_sourceView;
    quint64 m_windowId;
};

// The drag of a chart item, with its data.
class ChartItemDrag : public QDrag
{
    Q_OBJECT
public:
    ChartItemDrag(QObject *source, ChartItemMimeData *data);
};

// An instrument dropped from the host's tables: one string "stock,board,..." in a data
// stream. Valid only when it has at least two parts, the first two are numbers and the
// instrument exists.
struct DroppedSecurity
{
    QString key;
    int stock = 0;
    int board = 0;
    bool valid = false;

    static DroppedSecurity parse(const QMimeData *data);
};
