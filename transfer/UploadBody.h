#pragma once
// The body of one upload as it goes out: the multipart head, the file's bytes read through a buffer in
// blocks, the tail. Before each block the caller may stop the body; it learns of every block sent.
#include <QByteArray>
#include <QtGlobal>

#include <functional>

class UploadBody {
public:
    enum class Stop { None, ByCaller, ReadFailed, QuotaShort };
    struct Hooks {
        std::function<void()> fileStarts;         // once, when the file's first byte is wanted
        std::function<bool()> mayGoOn;            // before each block; false stops
        std::function<bool(qint64 left)> roomFor; // the file's bytes still to go fit the quota
        std::function<void(qint64 sent)> sent;    // after each block
    };

    // `fd` is read from and stays the caller's; the file must give exactly `fileSize` bytes.
    UploadBody(int fd, const QByteArray& prefix, const QByteArray& suffix, qint64 fileSize, Hooks hooks);

    // Fills up to `max` bytes; the count, 0 at the end, -1 when stopped (stop() says why).
    qint64 produce(char* out, size_t max);

    Stop stop() const { return m_stop; }
    int readError() const { return m_readError; }
    qint64 fileBytesSent() const { return m_sent; }

private:
    enum class Phase { Prefix, File, Suffix, End };
    qint64 fill(qint64 want);
    bool nextBlock();

    int m_fd;
    const QByteArray& m_prefix;
    const QByteArray& m_suffix;
    qint64 m_size;
    Hooks m_hooks;
    Phase m_phase = Phase::Prefix;
    qint64 m_offset = 0; // within prefix or suffix
    qint64 m_sent = 0;
    bool m_fileStarted = false;
    bool m_fileDone = false;
    Stop m_stop = Stop::None;
    int m_readError = 0;
    QByteArray m_buffer;
    qint64 m_bufBegin = 0;
    qint64 m_bufEnd = 0;
    const char* m_carry = nullptr; // rest of a block that did not fit the last call
    qint64 m_carryLen = 0;
};
