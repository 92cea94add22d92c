// Feeds arbitrary bytes to ZlibStream. The first byte chooses the stream: its value modulo 3
// the format (0 zlib, 1 gzip, 2 raw deflate), the next choices the internal buffer size and
// the compression level. The other bytes are
//   - read through a ZlibStream over a QBuffer until it returns 0 or -1;
//   - read with ZlibStream::readAllGzip;
//   - compressed with a writing ZlibStream and read back, which must give them back unchanged.
// Nothing may crash, trip a sanitizer or stop the process.

#include "zlibstream.h"

#include <QBuffer>
#include <QByteArray>
#include <QCoreApplication>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int BufferSizes[] = {65500, 16, 100, 4096};

// Broken streams are the point here; printing their warnings would only slow the fuzzer down.
void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtFatalMsg || type == QtCriticalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

[[noreturn]] void failure(const char *what, const QString &detail = QString())
{
    std::fprintf(stderr, "fuzz_zlibstream: %s %s\n", what, qPrintable(detail.left(400)));
    std::abort();
}

// Reads the stream in pieces of 4 KiB until it returns 0 or -1. A bomb stops at 64 MB.
qint64 readThrough(ZlibStream &stream, QByteArray *out)
{
    char piece[4096];
    qint64 total = 0;
    for (;;) {
        const qint64 got = stream.read(piece, sizeof piece);
        if (got < 0)
            return -1;
        if (got == 0)
            return total;
        if (got > qint64(sizeof piece))
            failure("read returned more than it was asked for");
        total += got;
        if (out)
            out->append(piece, got);
        if (total > (qint64(64) << 20))
            return total;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // Qt gets its own copy of the arguments: libFuzzer reads its flags from argv afterwards.
    static int qtArgc = 1;
    static char *qtArgv[] = {*argc > 0 ? (*argv)[0] : const_cast<char *>("fuzz_zlibstream"),
                             nullptr};
    static QCoreApplication app(qtArgc, qtArgv);
    qInstallMessageHandler(quietMessages);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const unsigned choice = data[0];
    const auto format = ZlibStream::Format(choice % 3);
    const int bufferSize = BufferSizes[(choice / 3) % 4];
    const int level = int(choice / 12) % 10;
    const QByteArray body(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));

    // Reading the bytes as a compressed stream.
    {
        QByteArray source = body;
        QBuffer buffer(&source);
        ZlibStream stream(&buffer);
        stream.setFormat(format);
        stream.setBufferSize(bufferSize);
        if (stream.open(QIODevice::ReadOnly)) {
            const qint64 total = readThrough(stream, nullptr);
            if (total < 0 && stream.errorString().isEmpty())
                failure("read failed without a message");
            stream.close();
        }
    }

    // The same bytes as a whole gzip body.
    {
        QByteArray source = body;
        QBuffer buffer(&source);
        QByteArray out;
        QString error;
        if (ZlibStream::readAllGzip(&buffer, &out, &error) && out.isEmpty())
            failure("readAllGzip succeeded with nothing");
    }

    // Compressing the bytes and reading them back gives them unchanged.
    {
        QByteArray packed;
        {
            QBuffer sink(&packed);
            ZlibStream writer(&sink);
            writer.setFormat(format);
            writer.setBufferSize(bufferSize);
            writer.setCompressionLevel(level);
            if (!writer.open(QIODevice::WriteOnly))
                failure("cannot open a writing stream", writer.errorString());
            // Two writes, so that the stream continues across calls.
            const qsizetype half = body.size() / 2;
            if (writer.write(body.constData(), half) != half
                || writer.write(body.constData() + half, body.size() - half)
                       != body.size() - half)
                failure("write failed", writer.errorString());
            writer.close();
            if (writer.state() == ZlibStream::Error)
                failure("finishing the stream failed", writer.errorString());
        }
        QBuffer source(&packed);
        ZlibStream reader(&source);
        reader.setFormat(format);
        reader.setBufferSize(bufferSize);
        if (!reader.open(QIODevice::ReadOnly))
            failure("cannot open a reading stream", reader.errorString());
        QByteArray back;
        const qint64 total = readThrough(reader, &back);
        if (total < 0)
            failure("reading back failed", reader.errorString());
        if (back != body)
            failure("reading back gave other bytes",
                    QStringLiteral("%1 bytes in, %2 out").arg(body.size()).arg(back.size()));
        if (!body.isEmpty() && reader.state() != ZlibStream::EndOfStream)
            failure("reading back stopped before the end of the stream");
    }
    return 0;
}
