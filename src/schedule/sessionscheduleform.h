#pragma once

#include "mapsettings.h"
#include "session.h"

#include <QHash>
#include <QModelIndex>
#include <QWidget>

#include <memory>

class QStandardItem;
class QStandardItemModel;
class SessionScheduleDataModel;

namespace Ui {
class SessionScheduleForm;
}

// Stocks and their boards on the left, the schedule of the selected one on the right. A board
// without a schedule of its own follows its stock's. Items whose schedule differs from what is
// stored carry a pencil mark.
class SessionScheduleForm : public QWidget
{
    Q_OBJECT
public:
    explicit SessionScheduleForm(QWidget *parent = nullptr);
    ~SessionScheduleForm() override;

    // Every stock and board; settings is at the "TechAnalysis" group.
    void load(Settings &settings);
    // One stock and one of its boards only (an instrument's property dialog).
    void loadFor(Settings &settings, int stockId, int boardId);
    // Replaces every stored schedule group by the schedules of the form.
    void apply(Settings &settings) const;
    // Writes the schedules of the stocks and boards the form shows, leaving every other
    // stored schedule group as it is (after loadFor()).
    void applyShown(Settings &settings) const;

    // The schedule in force for a stock (boardId 0) or a board.
    SessionList scheduleOf(int stockId, int boardId = 0) const;
    bool hasOwnSchedule(int stockId, int boardId = 0) const;
    bool isModified(int stockId, int boardId = 0) const;
    bool isModified() const;
    bool select(int stockId, int boardId = 0);

    SessionScheduleDataModel *scheduleModel() const { return m_schedule; }
    QStandardItemModel *stockBoardModel() const { return m_tree; }

Q_SIGNALS:
    void changed();

public Q_SLOTS:
    void on_addButton_clicked();
    void on_delButton_clicked();
    void on_editButton_clicked();
    void on_scheduleView_activated(const QModelIndex &index);
    void checkSelection();
    void stockBoardSelectionChanged();
    void showSchedule(const QModelIndex &index, bool editable = true);
    void updateSelectedSchedule();
    void on_applyToBoards_clicked();
    void on_resetBoard_clicked();
    void checkForDifference();
    void currScheduleChanged();

private:
    using Key = QPair<int, int>;
    struct Entry
    {
        int stock = 0;
        int board = 0;
        QString stockCode;
        QString boardCode;
        bool storedOwn = false;
        SessionList stored;
        bool own = false;
        SessionList current;
        // A stored group that could not be read: kept as it was unless the user replaces it.
        QString loadError;
        MapSettings raw;
        bool touched = false;
    };

    void fill(Settings &settings, const QList<int> &stocks, int onlyBoard);
    void readEntry(Settings &settings, Entry &entry);
    Key keyOf(const QModelIndex &index) const;
    Key currentKey() const;
    void editRow(int row);
    void updateTitle();

    std::unique_ptr<Ui::SessionScheduleForm> m_ui;
    QStandardItemModel *m_tree;
    SessionScheduleDataModel *m_schedule;
    QHash<Key, Entry> m_entries;
    QHash<Key, QStandardItem *> m_items;
    Key m_shown{-1, -1};
    bool m_editable = true;
    bool m_updating = false;
};
