#pragma once

#include "hostdata_global.h"

#include <QColor>
#include <QToolButton>

// A tool button that shows a colour as a swatch and lets the user pick another one (alpha
// included) in a colour dialog.
class HOST_EXPORT ColorButton : public QToolButton
{
    Q_OBJECT
    Q_PROPERTY(QColor color READ color WRITE setColor NOTIFY colorChanged USER true)
public:
    explicit ColorButton(QWidget *parent = nullptr);

    QColor color() const { return m_color; }
    // Emits colorChanged() only when the colour really changes.
    void setColor(const QColor &color);

    QSize sizeHint() const override;

Q_SIGNALS:
    void colorChanged(const QColor &color);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void chooseColor();

    QColor m_color = Qt::black;
};
