#include "transfer/UploadBody.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include <unistd.h>

namespace {
constexpr qint64 kBlock = 1024;
constexpr qint64 kFileBuffer = 256 * 1024;
} // namespace

UploadBody::UploadBody(int fd, const QByteArray& prefix, const QByteArray& suffix, qint64 fileSize, Hooks hooks)
    : m_fd(fd), m_prefix(prefix), m_suffix(suffix), m_size(fileSize), m_hooks(std::move(hooks)),
      m_buffer(kFileBuffer, Qt::Uninitialized) {}

// Makes `want` bytes contiguous in the buffer; returns what is there (less only at the end of file).
qint64 UploadBody::fill(qint64 want) {
    if (m_bufEnd - m_bufBegin >= want)
        return want;
    const qint64 have = m_bufEnd - m_bufBegin;
    std::memmove(m_buffer.data(), m_buffer.constData() + m_bufBegin, static_cast<size_t>(have));
    m_bufBegin = 0;
    m_bufEnd = have;
    while (m_bufEnd < want) {
        const ssize_t r = ::read(m_fd, m_buffer.data() + m_bufEnd, static_cast<size_t>(kFileBuffer - m_bufEnd));
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0) {
            m_readError = errno;
            return -1;
        }
        if (r == 0)
            break;
        m_bufEnd += r;
    }
    return std::min(want, m_bufEnd);
}

// One logical block: cancel, pause gate, read, quota, progress. False when the body stops.
bool UploadBody::nextBlock() {
    if (m_hooks.mayGoOn && !m_hooks.mayGoOn()) {
        m_stop = Stop::ByCaller;
        return false;
    }
    const qint64 want = std::min(kBlock, m_size - m_sent);
    const qint64 got = fill(want);
    if (got < want) {
        m_stop = Stop::ReadFailed;
        if (got >= 0)
            m_readError = EIO;
        return false;
    }
    if (m_hooks.roomFor && !m_hooks.roomFor(m_size - m_sent)) {
        m_stop = Stop::QuotaShort;
        return false;
    }
    m_carry = m_buffer.constData() + m_bufBegin;
    m_carryLen = got;
    m_bufBegin += got;
    m_sent += got;
    if (m_hooks.sent)
        m_hooks.sent(m_sent);
    if (got < kBlock)
        m_fileDone = true;
    return true;
}

qint64 UploadBody::produce(char* out, size_t max) {
    qint64 produced = 0;
    const qint64 room = qint64(max);
    while (produced < room) {
        if (m_phase == Phase::Prefix || m_phase == Phase::Suffix) {
            const QByteArray& part = m_phase == Phase::Prefix ? m_prefix : m_suffix;
            const qint64 n = std::min(room - produced, part.size() - m_offset);
            std::memcpy(out + produced, part.constData() + m_offset, static_cast<size_t>(n));
            produced += n;
            m_offset += n;
            if (m_offset == part.size()) {
                m_offset = 0;
                m_phase = m_phase == Phase::Prefix ? Phase::File : Phase::End;
            }
            continue;
        }
        if (m_phase == Phase::End)
            break;
        if (!m_fileStarted) {
            m_fileStarted = true;
            if (m_hooks.fileStarts)
                m_hooks.fileStarts();
        }
        if (m_carryLen > 0) {
            const qint64 n = std::min(room - produced, m_carryLen);
            std::memcpy(out + produced, m_carry, static_cast<size_t>(n));
            produced += n;
            m_carry += n;
            m_carryLen -= n;
            continue;
        }
        if (m_fileDone) {
            m_phase = Phase::Suffix;
            continue;
        }
        if (!nextBlock())
            return -1;
    }
    return produced;
}
