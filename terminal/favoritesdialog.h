#pragma once

#include <QDialog>

class QListWidget;

// Edits the list of favourite instruments: add through the instrument selector, remove,
// reorder.
class FavoritesDialog : public QDialog
{
    Q_OBJECT
public:
    explicit FavoritesDialog(QWidget *parent = nullptr);

private:
    void addInstrument();
    void removeSelected();
    void moveSelected(int delta);
    void store();
    QString describe(const QString &key) const;

    QListWidget *m_list;
};
