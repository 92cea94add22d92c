#include "scriptlimits.h"

#include "appsettings.h"
#include "settingsvalues.h"

#include <QAtomicInt>

#include <algorithm>

namespace ScriptLimits {

namespace {

QAtomicInt g_generation;

const QString Group = QStringLiteral("TechAnalysis/Scripts");

} // namespace

Range range(Kind kind)
{
    switch (kind) {
    case RebuildTime:
        return {"rebuildTimeLimit", 10, 600000, 5000};
    case UpdateTime:
        return {"updateTimeLimit", 10, 600000, 1000};
    case Memory:
        break;
    }
    return {"memoryLimit", 16, 65536, 256};
}

int stored(Kind kind)
{
    const Range r = range(kind);
    AppSettings settings(Group);
    return SettingsValues::intIn(settings.value(QLatin1String(r.key)), r.low, r.high, r.fallback);
}

void store(Kind kind, int value)
{
    const Range r = range(kind);
    AppSettings settings(Group);
    settings.setValue(QLatin1String(r.key), std::clamp(value, r.low, r.high));
    g_generation.fetchAndAddOrdered(1);
}

int generation()
{
    return g_generation.loadAcquire();
}

} // namespace ScriptLimits
