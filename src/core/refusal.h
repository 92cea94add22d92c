#pragma once

class QString;
class QWidget;

// Tells the user why a command they gave was not carried out: a warning box over parent,
// opened without a nested event loop so that the chart goes on as it was. The text is also
// logged. The box is named "refusal".
void showRefusal(QWidget *parent, const QString &text);
