#pragma once

#include <QMetaType>

class QDebug;

// The place of a bar in a bar model: (chunk, bar within the chunk); (-1, -1) is no bar.
struct FrameIndex
{
    int chunk = -1;
    int bar = -1;

    FrameIndex() = default;
    FrameIndex(int c, int b)
        : chunk(c)
        , bar(b)
    {
    }

    bool isValid() const { return chunk >= 0 && bar >= 0; }
    bool operator==(const FrameIndex &other) const
    {
        return chunk == other.chunk && bar == other.bar;
    }
    bool operator!=(const FrameIndex &other) const { return !(*this == other); }
    bool operator<(const FrameIndex &other) const
    {
        return chunk != other.chunk ? chunk < other.chunk : bar < other.bar;
    }
};

// "(chunk, bar)".
QDebug operator<<(QDebug debug, const FrameIndex &index);

Q_DECLARE_METATYPE(FrameIndex)
