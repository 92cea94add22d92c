#include "colorbutton.h"

#include <QColorDialog>
#include <QPainter>
#include <QStyleOptionToolButton>
#include <QStylePainter>

ColorButton::ColorButton(QWidget *parent)
    : QToolButton(parent)
{
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    connect(this, &QToolButton::clicked, this, &ColorButton::chooseColor);
}

void ColorButton::setColor(const QColor &color)
{
    if (color == m_color)
        return;
    m_color = color;
    update();
    emit colorChanged(m_color);
}

QSize ColorButton::sizeHint() const
{
    // Wide enough for a swatch that reads as a colour rather than a dot.
    const QSize base = QToolButton::sizeHint();
    return QSize(qMax(base.width(), base.height() * 2), base.height());
}

void ColorButton::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event)
    QStylePainter painter(this);
    QStyleOptionToolButton option;
    initStyleOption(&option);
    option.text.clear();
    option.icon = QIcon();
    painter.drawComplexControl(QStyle::CC_ToolButton, option);

    const int margin = qMax(3, style()->pixelMetric(QStyle::PM_ButtonMargin, &option, this));
    const QRect swatch = rect().adjusted(margin, margin, -margin - 1, -margin - 1);
    if (!swatch.isValid())
        return;
    if (m_color.alpha() < 255) {
        // A checkerboard under a translucent colour shows how transparent it is.
        const int cell = 4;
        painter.save();
        painter.setClipRect(swatch);
        painter.fillRect(swatch, Qt::white);
        for (int y = swatch.top(); y <= swatch.bottom(); y += cell) {
            for (int x = swatch.left() + ((y - swatch.top()) / cell % 2) * cell;
                 x <= swatch.right(); x += 2 * cell)
                painter.fillRect(QRect(x, y, cell, cell), Qt::lightGray);
        }
        painter.restore();
    }
    painter.fillRect(swatch, m_color);
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawRect(swatch);
}

void ColorButton::chooseColor()
{
    QColorDialog dialog(m_color, this);
    dialog.setOption(QColorDialog::ShowAlphaChannel, true);
    dialog.setWindowTitle(tr("Выбор цвета"));
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QColor chosen = dialog.selectedColor();
    if (chosen.isValid())
        setColor(chosen);
}
