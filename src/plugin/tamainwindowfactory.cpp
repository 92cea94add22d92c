#include "tamainwindowfactory.h"

#include "taconstants.h"
#include "tamainwindow.h"

TAMainWindowFactory::TAMainWindowFactory(QObject *parent)
    : QObject(parent)
{
}

QByteArray TAMainWindowFactory::name() const
{
    return QByteArray(TA::Constants::WindowFactoryName);
}

QString TAMainWindowFactory::title() const
{
    return tr("Тех. анализ");
}

QString TAMainWindowFactory::category() const
{
    return tr("Утилиты");
}

QIcon TAMainWindowFactory::icon() const
{
    return QIcon(QString::fromLatin1(TA::Constants::WindowIcon));
}

IView *TAMainWindowFactory::createView(const QVariant &argument, QWidget *parent)
{
    Q_UNUSED(argument)
    return new TAMainWindow(parent);
}
