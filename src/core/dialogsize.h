#pragma once

#include <QList>
#include <QSize>
#include <QString>

class QAbstractItemView;
class QTreeView;
class QWidget;

// The sizes the chart's dialogs open at: the user's, kept under "dialog_size" in a settings
// group when the dialog closes, and the first time one that shows the dialog's tables whole.
// GUI thread only.
namespace DialogSize {

// The size kept in the group when it is a sane one; an invalid size otherwise.
QSize remembered(const QString &group);
void remember(const QWidget *dialog, const QString &group);
// The dialog's size hint while each of the views asks for the width of all its columns; no
// wider than the screen.
QSize showingColumns(QWidget *dialog, const QList<QTreeView *> &views);
// The width a tree or table view needs to show every column whole: each as wide as its header or its
// widest cell (a free text up to 48 characters), its frame and a vertical scroll bar.
int widthForColumns(QAbstractItemView *view);
// The remembered size, or the one showing the views' columns.
void restore(QWidget *dialog, const QString &group, const QList<QTreeView *> &views);

} // namespace DialogSize
