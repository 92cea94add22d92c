#include "statusline.h"

#include "chartitem.h"

#include <QGraphicsScene>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QLayout>
#include <QMouseEvent>

// --- LabelByLineEdit ----------------------------------------------------------------------

LabelByLineEdit::LabelByLineEdit(const QString &text, QWidget *parent)
    : QLineEdit(text, parent)
{
    setFrame(false);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setCursor(Qt::ArrowCursor);
    setFocusPolicy(Qt::NoFocus);
    setReadOnly(true);
    connect(this, &QLineEdit::textChanged, this, [this] { updateGeometry(); });
}

QSize LabelByLineEdit::sizeHint() const
{
    QFont bold = font();
    bold.setBold(true);
    const QSize base = QLineEdit::sizeHint();
    return {QFontMetrics(bold).horizontalAdvance(text()) + 3, base.height()};
}

void LabelByLineEdit::mousePressEvent(QMouseEvent *event)
{
    if (isReadOnly()) {
        event->ignore();
        return;
    }
    QLineEdit::mousePressEvent(event);
}

void LabelByLineEdit::mouseMoveEvent(QMouseEvent *event)
{
    if (isReadOnly()) {
        event->ignore();
        return;
    }
    QLineEdit::mouseMoveEvent(event);
}

void LabelByLineEdit::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (isReadOnly()) {
        event->ignore();
        return;
    }
    QLineEdit::mouseDoubleClickEvent(event);
}

void LabelByLineEdit::contextMenuEvent(QContextMenuEvent *event)
{
    if (isReadOnly()) {
        event->ignore();
        return;
    }
    QLineEdit::contextMenuEvent(event);
}

// --- ItemNameEdit -------------------------------------------------------------------------

ItemNameEdit::ItemNameEdit(const QString &text, QWidget *parent)
    : LabelByLineEdit(text, parent)
{
    connect(this, &QLineEdit::editingFinished, this, &ItemNameEdit::onEditingFinished);
}

void ItemNameEdit::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (!isReadOnly()) {
        QLineEdit::mouseDoubleClickEvent(event);
        return;
    }
    setReadOnly(false);
    setFocusPolicy(Qt::StrongFocus);
    setFocus();
    setCursor(Qt::IBeamCursor);
    selectAll();
    event->accept();
}

void ItemNameEdit::onEditingFinished()
{
    setReadOnly(true);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::ArrowCursor);
    clearFocus();
}

// --- StatusLine ---------------------------------------------------------------------------

StatusLine::StatusLine(ChartItem *item, QWidget *label)
    : m_item(item)
    , m_label(label)
{
}

StatusLine::~StatusLine() = default;

ChartItem *StatusLine::item() const
{
    return m_item.data();
}

void StatusLine::attachTo(QWidget *container)
{
    m_container = container;
    if (container && container->layout())
        container->layout()->addWidget(m_label);
}

// --- StatusLineLabel ----------------------------------------------------------------------

StatusLineLabel::StatusLineLabel(ChartItem *item, QWidget *parent)
    : QWidget(parent)
    , StatusLine(item, this)
    , m_name(new ItemNameEdit(item->displayName(), this))
    , m_parameters(new LabelByLineEdit(QStringLiteral(": ") + item->parametersText(), this))
    , m_status(new LabelByLineEdit(item->statusText(), this))
{
    auto *layout = new QHBoxLayout(this);
    layout->setSpacing(1);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_name);
    layout->addWidget(m_parameters);
    layout->addSpacing(5);
    layout->addWidget(m_status);
    connect(m_name, &QLineEdit::editingFinished, this, &StatusLineLabel::nameEdited);
    connect(item, &GraphicsItem::selectionChanged, this, &StatusLineLabel::updateStyleSheet);
    connect(item, &ChartItem::colorChanged, this, &StatusLineLabel::updateStyleSheet);
    connect(item, &ChartItem::nameChanged, this, &StatusLineLabel::updateText);
    connect(item, &ChartItem::parametersTextChanged, this, &StatusLineLabel::updateText);
    connect(item, &ChartItem::statusChanged, this, &StatusLineLabel::updateStatus);
    connect(item, &QObject::destroyed, this, &QObject::deleteLater);
    connect(item, &GraphicsItem::visibilityChanged, this, &QWidget::setVisible);
    setVisible(item->isVisible());
    updateStyleSheet();
}

void StatusLineLabel::setStruckThrough(bool struck)
{
    m_struck = struck;
    updateStyleSheet();
}

void StatusLineLabel::updateStyleSheet()
{
    const ChartItem *chartItem = item();
    if (!chartItem)
        return;
    const QString sheet =
        QStringLiteral("QLineEdit {background-color: transparent; font: %1; color: %2; %3}")
            .arg(chartItem->isSelected() ? QStringLiteral("bold") : QStringLiteral("normal"),
                 chartItem->color().name(),
                 m_struck ? QStringLiteral("text-decoration: line-through;") : QString());
    m_name->setStyleSheet(sheet);
    m_parameters->setStyleSheet(sheet);
    m_status->setStyleSheet(
        QStringLiteral("QLineEdit {background-color: transparent; font: italic; color: %1;}")
            .arg(chartItem->color().name()));
}

void StatusLineLabel::updateText()
{
    if (const ChartItem *chartItem = item()) {
        m_name->setText(chartItem->displayName());
        m_parameters->setText(QStringLiteral(": ") + chartItem->parametersText());
    }
}

void StatusLineLabel::updateStatus()
{
    if (const ChartItem *chartItem = item())
        m_status->setText(chartItem->statusText());
}

void StatusLineLabel::nameEdited()
{
    ChartItem *chartItem = item();
    if (!chartItem)
        return;
    const QString text = m_name->text().trimmed();
    if (text.isEmpty()) {
        // An empty name leaves the old one.
        m_name->setText(chartItem->displayName());
        return;
    }
    chartItem->setDisplayName(text);
}

void StatusLineLabel::mousePressEvent(QMouseEvent *event)
{
    if (ChartItem *chartItem = item()) {
        if (QGraphicsScene *scene = chartItem->scene()) {
            scene->clearSelection();
            chartItem->setSelected(true);
        }
    }
    event->accept();
}

void StatusLineLabel::mouseMoveEvent(QMouseEvent *event)
{
    if ((event->buttons() & Qt::LeftButton) && item())
        Q_EMIT dragRequested(item());
    event->accept();
}

void StatusLineLabel::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (ChartItem *chartItem = item())
        chartItem->onPropertyAction();
    event->accept();
}
