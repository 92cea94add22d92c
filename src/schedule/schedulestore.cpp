#include "schedulestore.h"

#include "appsettings.h"
#include "boarddirectory.h"
#include "stockdirectory.h"
#include "table.h"

namespace ScheduleStore {

QString groupName(const QString &stockCode, const QString &boardCode)
{
    QString name = QStringLiteral("Schedule_") + stockCode;
    if (!boardCode.isEmpty())
        name += u'_' + boardCode;
    return name;
}

bool isScheduleGroup(const QString &group)
{
    return group.startsWith(QLatin1String("Schedule"));
}

SessionList scheduleForBoard(int stockId, int boardId)
{
    QString stockCode;
    QString boardCode;
    {
        TableLocker locker(StockDirectory::i()->table());
        stockCode = StockDirectory::i()->codeById(stockId);
    }
    {
        TableLocker locker(BoardDirectory::i()->table());
        boardCode = BoardDirectory::i()->codeById(stockId, boardId);
    }
    AppSettings settings(QStringLiteral("TechAnalysis"));
    const QStringList groups = settings.childGroups();
    QString group;
    if (!boardCode.isEmpty() && groups.contains(groupName(stockCode, boardCode)))
        group = groupName(stockCode, boardCode);
    else if (!stockCode.isEmpty() && groups.contains(groupName(stockCode)))
        group = groupName(stockCode);
    if (group.isEmpty())
        return defaultSchedule();
    SettingsGroup scope(settings, group);
    try {
        return loadSchedule(settings);
    } catch (const QString &message) {
        throw group + QStringLiteral(": ") + message;
    }
}

} // namespace ScheduleStore
