#pragma once

#include "iview.h"

#include <QMainWindow>
#include <QStringList>

class QLabel;

// A chart window: the view the terminal opens through the window factory. It shows the
// instruments it was opened for; the chart area arrives with the chart subsystems.
class TAMainWindow : public QMainWindow, public IView
{
    Q_OBJECT
    Q_INTERFACES(IView)
public:
    explicit TAMainWindow(QWidget *parent = nullptr);
    ~TAMainWindow() override;

    QList<IViewSettingsPage *> viewSettingsPages(QObject *parent) override;
    void fillViewContextMenu(const QPoint &pos, QMenu *menu) override;
    void saveViewState(Settings &settings) override;
    void saveViewSettings(Settings &settings) override;
    void applyViewSettings(Settings &settings) override;
    void restoreViewState(Settings &settings) override;
    QSize defaultViewSize() const override;

    QStringList instrumentKeys() const { return m_keys; }
    void setUserTitle(const QString &title);

private:
    void addInstrument(const QString &key);
    void updateContent();

    QStringList m_keys;
    QStringList m_problems;
    QLabel *m_content;
};
