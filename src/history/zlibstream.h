#pragma once

#include <QByteArray>
#include <QIODevice>

#include <memory>

// Inflates or deflates another device through zlib: zlib, gzip or raw deflate streams.
class ZlibStream : public QIODevice
{
    Q_OBJECT
public:
    enum Format { Zlib = 0, Gzip = 1, RawDeflate = 2 };
    enum State {
        ReadNotStarted = 0,
        Reading = 1,
        EndOfStream = 2,
        WriteNotStarted = 3,
        DataWritten = 4,
        NotOpen = 5,
        Error = 6,
    };

    explicit ZlibStream(QIODevice *device, QObject *parent = nullptr);
    ~ZlibStream() override;

    void setFormat(Format format);
    Format format() const;
    void setCompressionLevel(int level);
    void setBufferSize(int size);
    State state() const;

    bool open(OpenMode mode) override;
    void close() override;
    qint64 bytesAvailable() const override;
    bool isSequential() const override { return true; }

    // Reads a whole gzip body from the device; false when it is empty or broken.
    static bool readAllGzip(QIODevice *device, QByteArray *out, QString *error = nullptr);

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};
