#include "app/CodePage.h"

#include <iconv.h>

#include <cerrno>
#include <vector>

namespace {
// Converts with iconv; an input sequence that cannot be converted becomes `replacement`
// and the converter skips one input unit (one UTF-16 code unit or one byte).
QByteArray convert(const char* to, const char* from, const char* in, size_t inLen, size_t unit,
                   const QByteArray& replacement) {
    QByteArray out;
    // A converter of its own, so the process locale (LC_CTYPE) is never changed for a conversion.
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return out;
    std::vector<char> buf(4096);
    char* src = const_cast<char*>(in);
    size_t left = inLen;
    while (left > 0) {
        char* dst = buf.data();
        size_t room = buf.size();
        const size_t rc = iconv(cd, &src, &left, &dst, &room);
        out.append(buf.data(), static_cast<qsizetype>(buf.size() - room));
        if (rc == static_cast<size_t>(-1)) {
            if (errno == E2BIG)
                continue;
            // EILSEQ or EINVAL: replace one unit and go on.
            out.append(replacement);
            const size_t skip = left < unit ? left : unit;
            src += skip;
            left -= skip;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    char* dst = buf.data();
    size_t room = buf.size();
    iconv(cd, nullptr, nullptr, &dst, &room);
    out.append(buf.data(), static_cast<qsizetype>(buf.size() - room));
    iconv_close(cd);
    return out;
}
} // namespace

QByteArray ToAnsi(const QString& text) {
    // Characters outside the BMP are surrogate pairs; each half that fails becomes one "?".
    return convert("CP949", "UTF-16LE", reinterpret_cast<const char*>(text.utf16()),
                   static_cast<size_t>(text.size()) * 2, 2, QByteArrayLiteral("?"));
}

QString FromAnsi(const QByteArray& bytes) {
    const QByteArray u16 = convert("UTF-16LE", "CP949", bytes.constData(), static_cast<size_t>(bytes.size()), 1,
                                   QByteArray("\x3f\x00", 2));
    return QString(reinterpret_cast<const QChar*>(u16.constData()), u16.size() / 2);
}
