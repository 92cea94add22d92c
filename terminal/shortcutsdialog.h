#pragma once

#include <QDialog>

class QTreeWidget;
class QTreeWidgetItem;
class QKeySequenceEdit;

// Lists every registered command with its shortcut and lets the user rebind it.
class ShortcutsDialog : public QDialog
{
    Q_OBJECT
public:
    explicit ShortcutsDialog(QWidget *parent = nullptr);

private:
    void fill();
    void currentChanged(QTreeWidgetItem *item);
    void assign();
    void reset();

    QTreeWidget *m_tree;
    QKeySequenceEdit *m_edit;
};
