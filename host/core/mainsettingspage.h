#pragma once

#include "hostdata_global.h"
#include "ioptionspage.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

class QCheckBox;
class QLineEdit;

// The terminal's own page among a window's settings: the window's caption and whether it
// stays on top. Values live under "Host/" in the window's settings.
class HOST_EXPORT MainSettingsPage : public QObject, public IViewSettingsPage
{
    Q_OBJECT
    Q_INTERFACES(IOptionsPage IViewSettingsPage)
public:
    explicit MainSettingsPage(QObject *parent = nullptr);

    QString id() const override;
    QString displayName() const override;
    QIcon categoryIcon() const override;
    void finish() override;
    QWidget *createPage(const Settings &settings, QWidget *parent) override;
    void apply(Settings &settings) override;

private:
    QPointer<QWidget> m_widget;
    QLineEdit *m_caption = nullptr;
    QCheckBox *m_stayOnTop = nullptr;
};
