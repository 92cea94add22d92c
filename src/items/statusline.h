#pragma once

#include <QLineEdit>
#include <QPointer>
#include <QWidget>

class ChartItem;
class QHBoxLayout;

// A read-only line of text that looks like a label: no frame, no focus, as wide as its text
// in bold. Presses go to the widget under it while it is read-only.
class LabelByLineEdit : public QLineEdit
{
    Q_OBJECT
public:
    explicit LabelByLineEdit(const QString &text = {}, QWidget *parent = nullptr);
    QSize sizeHint() const override;

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    // While read-only the line offers no copy menu of its own: the item's menu opens.
    void contextMenuEvent(QContextMenuEvent *event) override;
};

// The item's name in its status label: a double click makes it editable, finishing the edit
// makes it read-only again.
class ItemNameEdit : public LabelByLineEdit
{
    Q_OBJECT
public:
    explicit ItemNameEdit(const QString &text = {}, QWidget *parent = nullptr);

public Q_SLOTS:
    void onEditingFinished();

protected:
    void mouseDoubleClickEvent(QMouseEvent *event) override;
};

// What a status label keeps of its place: the item it shows (null once the item is gone) and
// the container whose layout holds the label.
class StatusLine
{
public:
    virtual ~StatusLine();

    ChartItem *item() const;
    QWidget *container() const { return m_container; }
    // Adds the label to the container's layout.
    void attachTo(QWidget *container);

protected:
    StatusLine(ChartItem *item, QWidget *label);

private:
    QPointer<ChartItem> m_item;
    QPointer<QWidget> m_container;
    QWidget *m_label;
};

// One chart item in the status line above a sub-chart: its name (editable), ": " and its
// parameters, and its status in italics, all in the item's colour. A right click anywhere on
// it opens the item's menu.
class StatusLineLabel : public QWidget, public StatusLine
{
    Q_OBJECT
public:
    explicit StatusLineLabel(ChartItem *item, QWidget *parent = nullptr);

    ItemNameEdit *nameEdit() const { return m_name; }
    LabelByLineEdit *parametersEdit() const { return m_parameters; }
    LabelByLineEdit *statusEdit() const { return m_status; }
    // Whether the item is an indicator that is switched off (drawn struck through).
    void setStruckThrough(bool struck);

Q_SIGNALS:
    // A move with the left button held: the sub-chart starts dragging the item.
    void dragRequested(ChartItem *item);

public Q_SLOTS:
    void updateStyleSheet();
    void updateText();
    void updateStatus();
    void nameEdited();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    ItemNameEdit *m_name;
    LabelByLineEdit *m_parameters;
    LabelByLineEdit *m_status;
    bool m_struck = false;
};
