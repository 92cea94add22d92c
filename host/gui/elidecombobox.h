#pragma once

#include "hostdata_global.h"

#include <QComboBox>

// A combo box that may be narrower than its texts: the current text is elided at the right,
// while the popup is widened to show every text in full.
class HOST_EXPORT ElideComboBox : public QComboBox
{
    Q_OBJECT
public:
    explicit ElideComboBox(QWidget *parent = nullptr);

    // Small enough for layouts to squeeze the box; sizeHint() still asks for the full texts.
    QSize minimumSizeHint() const override;
    void showPopup() override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // The width the popup needs for the longest text.
    int popupContentWidth() const;
};
