#pragma once

#include "hostdata_global.h"

#include <QDialog>

#include <functional>
#include <memory>

class QMenu;
class QModelIndex;
class QSortFilterProxyModel;
class SecuritiesModel;

namespace Ui {
class InstrumentSelectorDialog;
}

// Lets the user pick an instrument from the security directory, filtered by code or name.
class HOST_EXPORT InstrumentSelectorDialog : public QDialog
{
    Q_OBJECT
public:
    explicit InstrumentSelectorDialog(QWidget *parent = nullptr);
    ~InstrumentSelectorDialog() override;

    // Lists only securities of boards that can be charted.
    void setShowChartOnly(bool chartOnly);
    // Selects the instrument with this key when it is listed.
    void setCurrentTextId(const QString &textId);
    // The key "stock,board,security" of the selected instrument, empty when none.
    QString currentText() const;

    // Adds the sub-menu "Инструмент" with the favourite and recent instruments (the current
    // one checked) and "Выбрать...", which opens the dialog over the instruments that can be
    // charted. onChosen receives the chosen key, only while context lives (without a context,
    // while the menu lives). Returns the sub-menu.
    static QMenu *addInstrumentSelectorToMenu(QMenu *menu, const QString &currentTextId,
        QObject *context, const std::function<void(const QString &textId)> &onChosen);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private Q_SLOTS:
    void on_filterEdit_textChanged(const QString &text);
    void on_tableView_doubleClicked(const QModelIndex &index);

private:
    void selectRow(int proxyRow);
    void updateOkButton();

    std::unique_ptr<Ui::InstrumentSelectorDialog> m_ui;
    SecuritiesModel *m_model = nullptr;
    QSortFilterProxyModel *m_proxy = nullptr;
};
