#pragma once

#include "hostdata_global.h"

#include <QIcon>
#include <QObject>
#include <QString>

class Settings;
class QWidget;

// A page of the terminal's options dialog.
class HOST_EXPORT IOptionsPage
{
public:
    virtual ~IOptionsPage();

    virtual QString id() const = 0;
    virtual QString displayName() const = 0;
    virtual QString category() const = 0;
    virtual QString displayCategory() const = 0;
    virtual QIcon categoryIcon() const = 0;
    virtual bool matches(const QString &searchText) const
    {
        Q_UNUSED(searchText)
        return false;
    }
    // The dialog closes: forget the page widget (the dialog owns it).
    virtual void finish() = 0;
    virtual QWidget *createPage(const Settings &settings, QWidget *parent) = 0;
    virtual void apply(Settings &settings) = 0;
};

#define IOptionsPage_iid "com.zorn.qvantor.Plugin.IOptionsPage/1.0"
Q_DECLARE_INTERFACE(IOptionsPage, IOptionsPage_iid)

// A page of one view's settings; by default it is its own category.
class HOST_EXPORT IViewSettingsPage : public IOptionsPage
{
public:
    QString category() const override { return id(); }
    QString displayCategory() const override { return displayName(); }
};

#define IViewSettingsPage_iid "com.zorn.qvantor.Plugin.IViewSettingsPage/1.0"
Q_DECLARE_INTERFACE(IViewSettingsPage, IViewSettingsPage_iid)
