#pragma once

#include "hostdata_global.h"

#include <QColor>
#include <QSplitter>

// A splitter whose handles are painted in one colour, so that the panes of a chart read as
// separated by a line of the chart's own colour scheme.
class HOST_EXPORT ColorSplitter : public QSplitter
{
    Q_OBJECT
public:
    explicit ColorSplitter(QWidget *parent = nullptr);
    explicit ColorSplitter(Qt::Orientation orientation, QWidget *parent = nullptr);

    QColor color() const { return m_color; }
    // An invalid colour gives back the style's own handles.
    void setColor(const QColor &color);

protected:
    QSplitterHandle *createHandle() override;

private:
    QColor m_color;
};
