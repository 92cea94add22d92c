#include "colorsplitter.h"

#include <QPainter>

namespace {

// Asks its splitter for the colour at paint time, so handles created at any moment agree.
class ColorSplitterHandle : public QSplitterHandle
{
public:
    ColorSplitterHandle(Qt::Orientation orientation, ColorSplitter *parent)
        : QSplitterHandle(orientation, parent)
        , m_splitter(parent)
    {
    }

protected:
    void paintEvent(QPaintEvent *event) override
    {
        const QColor color = m_splitter->color();
        if (!color.isValid()) {
            QSplitterHandle::paintEvent(event);
            return;
        }
        QPainter painter(this);
        painter.fillRect(rect(), color);
    }

private:
    ColorSplitter *m_splitter;
};

} // namespace

ColorSplitter::ColorSplitter(QWidget *parent)
    : QSplitter(parent)
{
}

ColorSplitter::ColorSplitter(Qt::Orientation orientation, QWidget *parent)
    : QSplitter(orientation, parent)
{
}

void ColorSplitter::setColor(const QColor &color)
{
    if (color == m_color)
        return;
    m_color = color;
    for (int i = 0; i < count(); ++i) {
        if (QSplitterHandle *h = handle(i))
            h->update();
    }
}

QSplitterHandle *ColorSplitter::createHandle()
{
    return new ColorSplitterHandle(orientation(), this);
}
