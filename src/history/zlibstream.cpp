#include "zlibstream.h"

#include "talogging.h"

#include <QDebug>

#include <zlib.h>

struct ZlibStream::Private
{
    QIODevice *device = nullptr;
    bool ownsOpen = false;
    z_stream zs{};
    int level = 6;
    int bufferSize = 65500;
    State state = NotOpen;
    Format format = Zlib;
    QByteArray buffer;
    bool reading = false;
};

namespace {

QString zlibMessage(const z_stream &zs, int code)
{
    if (zs.msg)
        return QString::fromLatin1(zs.msg);
    const char *text = zError(code);
    return text && *text ? QString::fromLatin1(text) : QString();
}

} // namespace

ZlibStream::ZlibStream(QIODevice *device, QObject *parent)
    : QIODevice(parent)
    , d(std::make_unique<Private>())
{
    d->device = device;
}

ZlibStream::~ZlibStream()
{
    if (isOpen())
        close();
}

void ZlibStream::setFormat(Format format)
{
    d->format = format;
}

ZlibStream::Format ZlibStream::format() const
{
    return d->format;
}

void ZlibStream::setCompressionLevel(int level)
{
    d->level = level;
}

void ZlibStream::setBufferSize(int size)
{
    d->bufferSize = qMax(16, size);
}

ZlibStream::State ZlibStream::state() const
{
    return d->state;
}

bool ZlibStream::open(OpenMode mode)
{
    if (isOpen()) {
        qCWarning(lcCache, "ZlibStream::open: device already open");
        return false;
    }
    const bool read = mode & ReadOnly;
    const bool write = mode & WriteOnly;
    if (read == write) {
        qCWarning(lcCache, "ZlibStream::open: ZlibStream can only be opened in the ReadOnly or WriteOnly "
                 "modes");
        return false;
    }
    if (!d->device)
        return false;
    if (d->device->isOpen()) {
        const OpenMode deviceMode = d->device->openMode();
        if ((read && !(deviceMode & ReadOnly)) || (write && !(deviceMode & WriteOnly))) {
            qCWarning(lcCache, "ZlibStream::open: underlying device must be open in one of the ReadOnly "
                     "or WriteOnly modes");
            return false;
        }
        d->ownsOpen = false;
    } else {
        if (!d->device->open(read ? ReadOnly : WriteOnly)) {
            setErrorString(tr("Ошибка открытия файла: ") + d->device->errorString());
            return false;
        }
        d->ownsOpen = true;
    }
    const int windowBits = d->format == Gzip ? 31 : (d->format == RawDeflate ? -15 : 15);
    d->zs = z_stream{};
    d->buffer.resize(d->bufferSize);
    int result;
    d->reading = read;
    if (read) {
        d->state = ReadNotStarted;
        result = d->format == Zlib ? inflateInit(&d->zs) : inflateInit2(&d->zs, windowBits);
    } else {
        d->state = WriteNotStarted;
        result = d->format == Zlib ? deflateInit(&d->zs, d->level)
                                   : deflateInit2(&d->zs, d->level, Z_DEFLATED, windowBits, 8,
                                                  Z_DEFAULT_STRATEGY);
    }
    if (result != Z_OK) {
        const QString message = zlibMessage(d->zs, result);
        setErrorString(tr("Внутренняя ошибка: ")
                       + (message.isEmpty()
                              ? tr(" Неизвестная ошибка, код : ") + QString::number(result)
                              : message));
        d->state = NotOpen;
        if (d->ownsOpen)
            d->device->close();
        return false;
    }
    return QIODevice::open(mode | Unbuffered);
}

void ZlibStream::close()
{
    if (!isOpen())
        return;
    if (d->reading) {
        inflateEnd(&d->zs);
        d->state = ReadNotStarted;
    } else {
        if (d->state == DataWritten) {
            d->zs.next_in = nullptr;
            d->zs.avail_in = 0;
            int result;
            do {
                d->zs.next_out = reinterpret_cast<Bytef *>(d->buffer.data());
                d->zs.avail_out = uInt(d->buffer.size());
                result = deflate(&d->zs, Z_FINISH);
                if (result == Z_STREAM_ERROR) {
                    d->state = Error;
                    setErrorString(tr("Внутренняя ошибка во время упаковки данных: ")
                                   + zlibMessage(d->zs, result));
                    break;
                }
                const qint64 produced = d->buffer.size() - d->zs.avail_out;
                if (produced > 0 && d->device->write(d->buffer.constData(), produced) != produced) {
                    d->state = Error;
                    setErrorString(tr("Ошибка записи: ") + d->device->errorString());
                    break;
                }
            } while (result != Z_STREAM_END);
        }
        deflateEnd(&d->zs);
        if (d->state != Error)
            d->state = WriteNotStarted;
    }
    if (d->ownsOpen)
        d->device->close();
    d->ownsOpen = false;
    QIODevice::close();
}

qint64 ZlibStream::bytesAvailable() const
{
    if (!d->reading || !isOpen())
        return 0;
    qint64 available = QIODevice::bytesAvailable();
    if (d->state == ReadNotStarted)
        available += d->device->bytesAvailable();
    else if (d->state == Reading)
        available += 1;
    return available > 0 ? 1 : 0;
}

qint64 ZlibStream::readData(char *data, qint64 maxSize)
{
    if (d->state == EndOfStream)
        return 0;
    if (d->state == Error)
        return -1;
    if (maxSize <= 0)
        return 0;
    d->zs.next_out = reinterpret_cast<Bytef *>(data);
    d->zs.avail_out = uInt(qMin<qint64>(maxSize, std::numeric_limits<uInt>::max()));
    for (;;) {
        if (d->zs.avail_in == 0) {
            const qint64 got = d->device->read(d->buffer.data(), d->buffer.size());
            if (got < 0) {
                d->state = Error;
                setErrorString(tr("Ошибка чтения: ") + d->device->errorString());
                return -1;
            }
            if (got == 0) {
                const qint64 produced = qint64(d->zs.next_out - reinterpret_cast<Bytef *>(data));
                // The device has ended but the stream has not: it was cut short.
                if (d->state == Reading && d->device->atEnd() && produced == 0) {
                    d->state = Error;
                    setErrorString(tr("Внутренняя ошибка во время распаковки данных: ")
                                   + tr("unexpected end of stream"));
                    return -1;
                }
                // Nothing more to read now: hand over what was produced.
                return produced;
            }
            d->state = Reading;
            d->zs.next_in = reinterpret_cast<Bytef *>(d->buffer.data());
            d->zs.avail_in = uInt(got);
        }
        const int result = inflate(&d->zs, Z_SYNC_FLUSH);
        const qint64 produced = qint64(d->zs.next_out - reinterpret_cast<Bytef *>(data));
        switch (result) {
        case Z_BUF_ERROR:
            return produced;
        case Z_MEM_ERROR:
        case Z_DATA_ERROR:
        case Z_NEED_DICT:
            d->state = Error;
            setErrorString(tr("Внутренняя ошибка во время распаковки данных: ")
                           + zlibMessage(d->zs, result));
            return -1;
        case Z_STREAM_END:
            d->state = EndOfStream;
            return produced;
        default:
            break;
        }
        if (d->zs.avail_out == 0)
            return maxSize;
    }
}

qint64 ZlibStream::writeData(const char *data, qint64 size)
{
    if (d->state == Error)
        return -1;
    d->zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data));
    d->zs.avail_in = uInt(size);
    do {
        d->zs.next_out = reinterpret_cast<Bytef *>(d->buffer.data());
        d->zs.avail_out = uInt(d->buffer.size());
        const int result = deflate(&d->zs, Z_NO_FLUSH);
        if (result == Z_STREAM_ERROR) {
            d->state = Error;
            setErrorString(tr("Внутренняя ошибка во время упаковки данных: ")
                           + zlibMessage(d->zs, result));
            return -1;
        }
        const qint64 produced = d->buffer.size() - d->zs.avail_out;
        if (produced > 0 && d->device->write(d->buffer.constData(), produced) != produced) {
            d->state = Error;
            setErrorString(tr("Ошибка записи: ") + d->device->errorString());
            return -1;
        }
    } while (d->zs.avail_out == 0);
    d->state = DataWritten;
    return size;
}

bool ZlibStream::readAllGzip(QIODevice *device, QByteArray *out, QString *error)
{
    ZlibStream stream(device);
    stream.setFormat(Gzip);
    stream.setCompressionLevel(6);
    stream.setBufferSize(65500);
    if (!stream.open(ReadOnly)) {
        if (error)
            *error = stream.errorString();
        return false;
    }
    out->clear();
    QByteArray chunk(1 << 16, Qt::Uninitialized);
    for (;;) {
        const qint64 got = stream.read(chunk.data(), chunk.size());
        if (got < 0) {
            if (error)
                *error = stream.errorString();
            stream.close();
            return false;
        }
        if (got == 0)
            break;
        out->append(chunk.constData(), got);
    }
    // A body that ends before the gzip trailer is truncated.
    const bool complete = stream.state() == EndOfStream;
    stream.close();
    if (!complete && error)
        *error = tr("Внутренняя ошибка во время распаковки данных: ") + tr("поток оборван");
    return complete && !out->isEmpty();
}
