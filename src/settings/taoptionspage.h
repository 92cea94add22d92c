#pragma once

#include "ioptionspage.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

// Common part of the plug-in's global settings pages: id, title, the "Графики и ТА"
// category and the page widget, which the options dialog owns.
class TAOptionsPage : public QObject, public IOptionsPage
{
    Q_OBJECT
    Q_INTERFACES(IOptionsPage)
public:
    TAOptionsPage(const QString &id, const QString &displayName, QObject *parent);

    QString id() const override { return m_id; }
    QString displayName() const override { return m_displayName; }
    QString category() const override;
    QString displayCategory() const override;
    QIcon categoryIcon() const override;
    bool matches(const QString &searchText) const override;
    void finish() override;
    QWidget *createPage(const Settings &settings, QWidget *parent) override;
    void apply(Settings &settings) override;

    QWidget *pageWidget() const { return m_widget; }

Q_SIGNALS:
    void changed();

protected:
    // The form of the page, filled from the settings.
    virtual QWidget *createForm(const Settings &settings, QWidget *parent);
    // Writes the form into the settings.
    virtual void applyForm(Settings &settings);

private:
    QString m_id;
    QString m_displayName;
    QPointer<QWidget> m_widget;
};
