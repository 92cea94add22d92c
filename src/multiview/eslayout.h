#pragma once

#include <QEvent>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSpacerItem>
#include <QWidgetItem>

class QLayout;

// The widgets of one column across the panes of a chart (every pane's left axis row, say):
// the group is as wide as its widest member, so that the plot areas line up.
class EqualSizingWidgetItems : public QObject
{
    Q_OBJECT
public:
    explicit EqualSizingWidgetItems(QObject *parent = nullptr);

    void addWidget(QWidget *widget);
    QList<QWidget *> widgets() const;
    // The largest preferred width of the members (each polished first); 0 when empty.
    int width() const;

public Q_SLOTS:
    void removeWidget(QObject *widget);

private:
    QList<QPointer<QWidget>> m_widgets;
};

// A widget in a pane's layout that reports its group's width as its own.
class ESWidgetItem : public QWidgetItem
{
public:
    ESWidgetItem(QWidget *widget, EqualSizingWidgetItems *group);

    QSize sizeHint() const override;
    QSize minimumSize() const override;

private:
    QPointer<EqualSizingWidgetItems> m_group;
};

// A gap as wide as a group: the time axis row keeps its axis under the plot areas.
class ESSpacerItem : public QSpacerItem
{
public:
    explicit ESSpacerItem(EqualSizingWidgetItems *group);

    QSize sizeHint() const override;
    QSize minimumSize() const override;
    QSize maximumSize() const override;
    bool isEmpty() const override { return false; }

private:
    QPointer<EqualSizingWidgetItems> m_group;
};

// Lays out the panes of a chart in one batch: the first layout request of any managed layout
// invalidates all of them and is answered on the next turn of the event loop by activating
// them together, so a label that widens one pane's axis widens every pane's at once.
class ESLayoutManager : public QObject
{
    Q_OBJECT
public:
    static constexpr QEvent::Type BatchEvent = QEvent::Type(1000);

    explicit ESLayoutManager(QObject *parent = nullptr);

    void addLayout(QLayout *layout);
    QList<QLayout *> layouts() const;
    bool isBatchPending() const { return m_pending; }
    // Batches run so far, for tests and benchmarks.
    int batches() const { return m_batches; }

public Q_SLOTS:
    void removeLayout(QObject *layout);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void customEvent(QEvent *event) override;

private:
    QList<QPointer<QLayout>> m_layouts;
    bool m_pending = false;
    int m_batches = 0;
};
