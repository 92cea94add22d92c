// Indicator and function files as read from disk: any bytes either parse or throw the reading
// error, and what parses writes out and reads back the same.
#include "scriptfile.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray content(reinterpret_cast<const char *>(data), qsizetype(size));
    try {
        const StudyFile file = ScriptFileFormat::parseStudy(content);
        try {
            const QByteArray again = ScriptFileFormat::writeStudy(file);
            if (!(ScriptFileFormat::writeStudy(ScriptFileFormat::parseStudy(again)) == again))
                __builtin_trap();
        } catch (const QString &) {
            // Text that XML cannot hold is refused on writing.
        }
    } catch (const QString &) {
    }
    try {
        ScriptFileFormat::parseFunction(content);
    } catch (const QString &) {
    }
    ScriptFileFormat::descriptionOf(content);
    return 0;
}
