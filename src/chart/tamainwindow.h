#pragma once

#include "iview.h"
#include "modelmenu.h"
#include "multiview.h"

#include <QList>
#include <QMainWindow>

class Action;
class ColorButton;
class QActionGroup;
class QModelIndex;
class QToolBar;
class QToolButton;
class VisualEvent;

// Favourite and recent instruments to add to a chart window; the last entry opens the
// instrument selector.
class TAAddSecurityMenu : public ModelMenu
{
    Q_OBJECT
public:
    explicit TAAddSecurityMenu(QWidget *parent = nullptr);

    bool prePopulated() override;
    void postPopulated() override;

Q_SIGNALS:
    void addUnknownItem();

private:
    Action *m_chooseAction = nullptr;
};

// A chart window: the view the terminal opens through the window factory. Its chart area
// (the multi-view) does the work; the window carries the six tool bars, keeps them in step with
// the current chart item and titles itself after its series.
class TAMainWindow : public QMainWindow, public IView
{
    Q_OBJECT
    Q_INTERFACES(IView)
public:
    explicit TAMainWindow(QWidget *parent = nullptr);
    ~TAMainWindow() override;

    MultiView *chartArea() const { return m_view; }
    QList<QToolBar *> toolBars() const { return m_toolBars; }
    QList<QAction *> viewModeActions() const;
    QList<QAction *> timeFrameActions() const;
    QList<QAction *> projectionActions() const { return m_projections; }
    QList<QAction *> drawingActions() const { return m_drawings; }
    QList<QAction *> lineWidthActions() const;
    QToolButton *projectionButton() const { return m_projectionButton; }
    QToolButton *autoScaleButton() const { return m_autoScaleButton; }
    QToolButton *timeFrameButton() const { return m_timeFrameButton; }
    ColorButton *colorButton() const { return m_colorButton; }
    QAction *deleteSelectedAction() const { return m_delSelected; }
    QAction *autoScaleSeriesAction() const;
    QAction *autoScaleScreenAction() const;
    QList<QAction *> verticalScaleActions() const;
    QAction *backScaleAction() const;
    QAction *defaultScaleAction() const;
    QAction *gridAction() const;
    QAction *summaryAction() const;
    // The checked line width, 1 when none is.
    int currentLineWidth() const;
    // The keys of the window's series, top to bottom.
    QStringList instrumentKeys() const;
    void setUserTitle(const QString &title);

    QList<IViewSettingsPage *> viewSettingsPages(QObject *parent) override;
    void fillViewContextMenu(const QPoint &pos, QMenu *menu) override;
    void saveViewState(Settings &settings) override;
    void saveViewSettings(Settings &settings) override;
    // Opens the instruments of "extraKey" (once), then the display options. Never throws:
    // a key that cannot be opened or a bad option is reported and the rest applied.
    void applyViewSettings(Settings &settings) override;
    // Throws the text of the key that is wrong; the window is left empty then.
    void restoreViewState(Settings &settings) override;
    QSize defaultViewSize() const override;

public Q_SLOTS:
    void updateToolBar();
    void projectionTriggered(QAction *action);
    void projectionButtonClicked(bool checked);
    void drawingsWidthChanged(QAction *action);
    void uncheckDrawings();
    void emulateExclusiveDrawingMode(bool checked);
    void addSecurity(const QModelIndex &index);
    void onSeriesItemNameChange();

Q_SIGNALS:
    // What the window told the user (also sent to the terminal's events).
    void noticeShown(const QString &text);

private:
    void createActions();
    void createToolBars();
    void connectActions();
    QToolBar *newToolBar(const QString &title);
    void notify(const QString &text);
    void switchProjectionsOff();

    MultiView *m_view;
    VisualEvent *m_events;
    QList<QToolBar *> m_toolBars;

    Action *m_addInstrument = nullptr;
    Action *m_addStudy = nullptr;
    Action *m_itemsManager = nullptr;
    Action *m_refresh = nullptr;
    Action *m_delStudies = nullptr;
    Action *m_delDrawings = nullptr;
    QAction *m_delSelected = nullptr;
    QActionGroup *m_viewModes = nullptr;
    QActionGroup *m_timeFrames = nullptr;
    QAction *m_selectArea = nullptr;
    Action *m_backScale = nullptr;
    Action *m_defaultScale = nullptr;
    Action *m_incView = nullptr;
    Action *m_decView = nullptr;
    QAction *m_incScale = nullptr;
    QAction *m_decScale = nullptr;
    Action *m_seriesAutoScale = nullptr;
    Action *m_screenAutoScale = nullptr;
    QAction *m_upScale = nullptr;
    QAction *m_downScale = nullptr;
    Action *m_grid = nullptr;
    QList<QAction *> m_projections;
    Action *m_summary = nullptr;
    QList<QAction *> m_drawings;
    QActionGroup *m_lineWidths = nullptr;
    QToolButton *m_addInstrumentButton = nullptr;
    TAAddSecurityMenu *m_addSecurityMenu = nullptr;
    QToolButton *m_timeFrameButton = nullptr;
    QToolButton *m_autoScaleButton = nullptr;
    QToolButton *m_projectionButton = nullptr;
    ColorButton *m_colorButton = nullptr;
    QToolButton *m_lineWidthButton = nullptr;
};
