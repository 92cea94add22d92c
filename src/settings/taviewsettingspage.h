#pragma once

#include "ioptionspage.h"

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QWidget>

// Common part of a chart window's own settings pages.
class TAViewSettingsPage : public QObject, public IViewSettingsPage
{
    Q_OBJECT
    Q_INTERFACES(IOptionsPage IViewSettingsPage)
public:
    TAViewSettingsPage(const QString &id, const QString &displayName, const QIcon &icon,
                       QObject *parent);

    QString id() const override { return m_id; }
    QString displayName() const override { return m_displayName; }
    QIcon categoryIcon() const override { return m_icon; }
    void finish() override { m_widget = nullptr; }
    QWidget *createPage(const Settings &settings, QWidget *parent) override;
    void apply(Settings &settings) override;

protected:
    virtual QWidget *createForm(const Settings &settings, QWidget *parent);
    virtual void applyForm(Settings &settings);

private:
    QString m_id;
    QString m_displayName;
    QIcon m_icon;
    QPointer<QWidget> m_widget;
};
