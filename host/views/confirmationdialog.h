#pragma once

#include "hostdata_global.h"

#include <QDialog>

#include <memory>

namespace Ui {
class ConfirmationDialog;
}

// A yes/no question with "Больше не спрашивать". The answer "don't ask" is kept as a bool
// under a settings key (a full path in the root AppSettings, true = ask, the default); once it
// is false, exec() answers yes at once without showing anything.
class HOST_EXPORT ConfirmationDialog : public QDialog
{
    Q_OBJECT
public:
    explicit ConfirmationDialog(QWidget *parent = nullptr, Qt::WindowFlags flags = {});
    ~ConfirmationDialog() override;

    void setText(const QString &text);
    // Without a key the dialog always asks and offers no "don't ask again".
    void setSettingsKey(const QString &key);
    QString settingsKey() const { return m_settingsKey; }

    // 1 for yes, 0 for no.
    int exec() override;

private:
    std::unique_ptr<Ui::ConfirmationDialog> m_ui;
    QString m_settingsKey;
};
