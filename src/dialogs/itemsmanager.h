#pragma once

#include "multiview.h"
#include <QDialog>
#include <QModelIndex>
#include <QPointer>

#include <memory>

class DrawingItemsDataModel;
class GraphicsItemsDataModel;
class QTreeView;
class SeriesItemsDataModel;
class StudyItemsDataModel;

namespace Ui {
class ItemsManager;
}

// The items manager of a chart window: its series, indicators and drawings in three tables,
// to show or hide them, change a series' time frame in place, open their property dialogs,
// delete them and add series or indicators. Everything is done through the window's chart
// area, which owns the items; the tables follow the chart while the dialog is open.
class ItemsManager : public QDialog
{
    Q_OBJECT
public:
    enum Tab { SeriesTab = 0, StudiesTab = 1, DrawingsTab = 2 };
    static QString sizeGroup() { return QStringLiteral("TechAnalysis/ItemsManager"); }
    static QString confirmationKey()
    {
        return QStringLiteral("TechAnalysis/Confirmations/askDelItem");
    }

    explicit ItemsManager(MultiView *view, QWidget *parent = nullptr);
    ~ItemsManager() override;

    Ui::ItemsManager *form() const { return m_ui.get(); }
    SeriesItemsDataModel *seriesModel() const { return m_series; }
    StudyItemsDataModel *studiesModel() const { return m_studies; }
    DrawingItemsDataModel *drawingsModel() const { return m_drawings; }
    QTreeView *currentView() const;
    GraphicsItemsDataModel *currentModel() const;

public Q_SLOTS:
    void on_propertiesButton_clicked();
    void on_delButton_clicked();
    void on_addButton_clicked();
    void selectionChanged();
    void onSeriesDoubleClicked(QModelIndex index);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void done(int result) override;

private:
    void setUpView(QTreeView *view, GraphicsItemsDataModel *model);
    void openTimeFrameEditors();
    void showProperties(GraphicsItemsDataModel *model, int row);
    void selectRow(QTreeView *view, int row);

    std::unique_ptr<Ui::ItemsManager> m_ui;
    QPointer<MultiView> m_view;
    SeriesItemsDataModel *m_series;
    StudyItemsDataModel *m_studies;
    DrawingItemsDataModel *m_drawings;
};
