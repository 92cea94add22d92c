#pragma once

#include "graphicsitem.h"
#include "multiview.h"
#include <QAbstractItemModel>
#include <QList>
#include <QPointer>


// The items of a chart window as a flat table for the items manager: one row per item, kept
// in step with the window while the manager is open. An item deleted anywhere (the chart's
// Delete key, a restore, a live reset) leaves its row at once; an item added on the chart
// gets a row at the end. Rows hold guarded pointers: no row ever names a deleted item.
class GraphicsItemsDataModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    ~GraphicsItemsDataModel() override;

    MultiView *multiView() const { return m_view.data(); }
    // The column of the check box that shows or hides the row's item.
    int visibilityColumn() const { return m_visibilityColumn; }
    GraphicsItem *itemAt(int row) const;
    int rowOf(const GraphicsItem *item) const;
    QList<GraphicsItem *> items() const;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    // Deletes the items of the rows through their own delete (a series takes its indicators).
    bool removeRows(int row, int count, const QModelIndex &parent = {}) override;

    // Every column of the row, or of every row, changed.
    void rowChanged(int row);
    void allChanged();

public Q_SLOTS:
    // The window's items as they are now: rows of deleted items go, new items are appended.
    void sync();
    void itemRemoved(QObject *obj);

protected:
    GraphicsItemsDataModel(MultiView *view, const QStringList &headers, int visibilityColumn,
                           QObject *parent);
    // The window's items of this table, in order.
    virtual QList<GraphicsItem *> listed() const = 0;
    virtual QVariant cellText(GraphicsItem *item, int column) const = 0;
    virtual QVariant cellEdit(GraphicsItem *, int) const { return {}; }
    virtual bool setCell(GraphicsItem *, int, const QVariant &) { return false; }
    virtual Qt::ItemFlags extraFlags(int) const { return {}; }
    virtual Qt::Alignment alignment(int column) const;
    // "Область %1" with the item's sub-chart's place, or "Скрыт".
    QString placementText(GraphicsItem *item) const;

    int m_visibilityColumn;
    QList<int> m_centred;
    QList<int> m_left;

private:
    void append(GraphicsItem *item);

    QPointer<MultiView> m_view;
    QStringList m_headers;
    QList<QPointer<GraphicsItem>> m_items;
};

// "Имя", "Инструмент", "Видимость", "Таймфрейм", "Дней назад", "От даты", "Расположение".
class SeriesItemsDataModel : public GraphicsItemsDataModel
{
    Q_OBJECT
public:
    enum Column { Name, Instrument, Visibility, TimeFrame, DaysBack, FromDate, Placement };
    explicit SeriesItemsDataModel(MultiView *view, QObject *parent = nullptr);

protected:
    QList<GraphicsItem *> listed() const override;
    QVariant cellText(GraphicsItem *item, int column) const override;
    QVariant cellEdit(GraphicsItem *item, int column) const override;
    bool setCell(GraphicsItem *item, int column, const QVariant &value) override;
    Qt::ItemFlags extraFlags(int column) const override;
};

// "Имя", "Индикатор", "Видимость", "Расположение", "Серия".
class StudyItemsDataModel : public GraphicsItemsDataModel
{
    Q_OBJECT
public:
    enum Column { Name, Study, Visibility, Placement, Series };
    explicit StudyItemsDataModel(MultiView *view, QObject *parent = nullptr);

protected:
    QList<GraphicsItem *> listed() const override;
    QVariant cellText(GraphicsItem *item, int column) const override;
};

// "Тип", "Видимость", "Ось", "Расположение".
class DrawingItemsDataModel : public GraphicsItemsDataModel
{
    Q_OBJECT
public:
    enum Column { Type, Visibility, Axis, Placement };
    explicit DrawingItemsDataModel(MultiView *view, QObject *parent = nullptr);

protected:
    QList<GraphicsItem *> listed() const override;
    QVariant cellText(GraphicsItem *item, int column) const override;
};
