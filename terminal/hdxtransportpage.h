#pragma once

#include "ioptionspage.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

class QCheckBox;
class QLineEdit;
class QSpinBox;

// Options page of the history service connection.
class HdxTransportPage : public QObject, public IOptionsPage
{
    Q_OBJECT
    Q_INTERFACES(IOptionsPage)
public:
    explicit HdxTransportPage(QObject *parent = nullptr);

    QString id() const override { return QStringLiteral("Terminal.Hdx"); }
    QString displayName() const override;
    QString category() const override { return QStringLiteral("Terminal"); }
    QString displayCategory() const override;
    QIcon categoryIcon() const override;
    void finish() override { m_widget = nullptr; }
    QWidget *createPage(const Settings &settings, QWidget *parent) override;
    void apply(Settings &settings) override;

private:
    QPointer<QWidget> m_widget;
    QLineEdit *m_url = nullptr;
    QCheckBox *m_gzip = nullptr;
    QSpinBox *m_timeout = nullptr;
};
