// Feeds arbitrary bytes to the reference data loader. Whatever the bytes, loading must either
// succeed or fail with a message; it must never crash, trip a sanitizer or stop the process.

#include "referencedata.h"
#include "tableregistry.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// Loader warnings are expected for bad input; printing them would only slow the fuzzer down.
void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtFatalMsg || type == QtCriticalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // Qt gets its own copy of the arguments: libFuzzer reads its flags from argv afterwards.
    static int qtArgc = 1;
    static char *qtArgv[] = {*argc > 0 ? (*argv)[0] : const_cast<char *>("fuzz_reference"),
                             nullptr};
    static QCoreApplication app(qtArgc, qtArgv);
    qInstallMessageHandler(quietMessages);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray json(reinterpret_cast<const char *>(data), qsizetype(size));
    QString error;
    const bool ok = ReferenceData::loadFromData(json, QStringLiteral("fuzz.json"), &error);
    if (!ok && error.isEmpty()) {
        std::fprintf(stderr, "fuzz_reference: loading failed without a message\n");
        std::abort();
    }
    return 0;
}
