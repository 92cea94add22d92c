#include "frameindex.h"

#include <QDebug>

QDebug operator<<(QDebug debug, const FrameIndex &index)
{
    QDebugStateSaver saver(debug);
    debug.nospace().noquote() << QStringLiteral("(%1, %2)").arg(index.chunk).arg(index.bar);
    return debug;
}
