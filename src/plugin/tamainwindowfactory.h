#pragma once

#include "iviewfactory.h"

#include <QObject>

// Creates chart windows for the terminal's window manager.
class TAMainWindowFactory : public QObject, public IViewFactory
{
    Q_OBJECT
    Q_INTERFACES(IViewFactory)
public:
    explicit TAMainWindowFactory(QObject *parent = nullptr);

    QByteArray name() const override;
    QString title() const override;
    QString category() const override;
    QIcon icon() const override;
    IView *createView(const QVariant &argument, QWidget *parent) override;
};
