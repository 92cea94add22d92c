#pragma once

#include "directorybase.h"

#include <QList>

// Boards of every stock: codes, names, the code the history service knows, and whether the
// board can be charted, holds indices or mirrors securities of another board (proxy).
class HOST_EXPORT BoardDirectory : public DirectoryBase
{
    Q_OBJECT
public:
    static BoardDirectory *i();

    QString codeById(int stockId, int boardId) const;
    QString codeHdxById(int stockId, int boardId) const;
    QString nameById(int stockId, int boardId) const;
    QList<int> ids(int stockId) const;
    bool isChartById(int stockId, int boardId) const;
    bool isIndexById(int stockId, int boardId) const;
    bool isProxyById(int stockId, int boardId) const;

private:
    BoardDirectory();
    bool flag(int stockId, int boardId, const char *column) const;
    QString text(int stockId, int boardId, const char *column) const;
};
