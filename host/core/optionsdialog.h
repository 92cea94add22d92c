#pragma once

#include "hostdata_global.h"

#include <QDialog>
#include <QList>

#include <memory>

class IOptionsPage;
class QAbstractButton;
class QTreeWidgetItem;
class Settings;

namespace Ui {
class OptionsDialog;
}

// Pages grouped by category on the left, the chosen page on the right; OK and Apply write
// every page into the settings store, Cancel writes nothing.
class HOST_EXPORT OptionsDialog : public QDialog
{
    Q_OBJECT
public:
    explicit OptionsDialog(QWidget *parent = nullptr);
    ~OptionsDialog() override;

    // The pages are shown in the given order, their categories in order of first appearance.
    void setPages(const QList<IOptionsPage *> &pages, Settings *settings);
    // Shows the page with that id.
    bool showPage(const QString &id);
    QWidget *pageWidget(const QString &id) const;
    void apply();

Q_SIGNALS:
    void applied();

private Q_SLOTS:
    void on_buttonBox_clicked(QAbstractButton *button);
    void on_pageTree_currentItemChanged(QTreeWidgetItem *current, QTreeWidgetItem *previous);

private:
    void finishPages();

    std::unique_ptr<Ui::OptionsDialog> m_ui;
    QList<IOptionsPage *> m_pages;
    QList<QWidget *> m_widgets;
    Settings *m_settings = nullptr;
};
