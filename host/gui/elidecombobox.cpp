#include "elidecombobox.h"

#include <QAbstractItemView>
#include <QScrollBar>
#include <QStyleOptionComboBox>
#include <QStylePainter>

namespace {

// Characters kept visible when the box is squeezed to its minimum.
const int MinimumVisibleChars = 4;

} // namespace

ElideComboBox::ElideComboBox(QWidget *parent)
    : QComboBox(parent)
{
}

QSize ElideComboBox::minimumSizeHint() const
{
    QStyleOptionComboBox option;
    initStyleOption(&option);
    const QFontMetrics fm = fontMetrics();
    QSize content(fm.horizontalAdvance(QLatin1Char('x')) * MinimumVisibleChars
            + fm.horizontalAdvance(QChar(0x2026)),
        fm.height());
    if (!option.currentIcon.isNull())
        content.rwidth() += iconSize().width() + 4;
    content.setHeight(qMax(content.height(), iconSize().height()));
    const QSize size = style()->sizeFromContents(QStyle::CT_ComboBox, &option, content, this);
    return QSize(qMin(size.width(), QComboBox::minimumSizeHint().width()),
        QComboBox::minimumSizeHint().height());
}

void ElideComboBox::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event)
    QStylePainter painter(this);
    painter.setPen(palette().color(QPalette::Text));

    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);

    if (!isEditable()) {
        QRect textRect = style()->subControlRect(
            QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
        int width = textRect.width();
        if (!option.currentIcon.isNull())
            width -= option.iconSize.width() + 4;
        option.currentText
            = fontMetrics().elidedText(option.currentText, Qt::ElideRight, qMax(0, width));
    }
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

int ElideComboBox::popupContentWidth() const
{
    const QFontMetrics fm = view()->fontMetrics();
    int widest = 0;
    bool anyIcon = false;
    for (int i = 0; i < count(); ++i) {
        widest = qMax(widest, fm.horizontalAdvance(itemText(i)));
        anyIcon = anyIcon || !itemIcon(i).isNull();
    }
    if (anyIcon)
        widest += iconSize().width() + 4;
    // Item margins, the frame and a vertical scroll bar that may appear.
    const int margins = 2 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view())
        + 2 * view()->frameWidth() + 16;
    int scrollBar = 0;
    if (count() > maxVisibleItems())
        scrollBar = view()->verticalScrollBar()->sizeHint().width();
    return widest + margins + scrollBar;
}

void ElideComboBox::showPopup()
{
    view()->setMinimumWidth(qMax(width(), popupContentWidth()));
    QComboBox::showPopup();
}
