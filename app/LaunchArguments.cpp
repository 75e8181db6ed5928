#include "app/LaunchArguments.h"

#include "app/Utils.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include <cwctype>
#include <limits>

namespace {
bool isWideSpace(QChar c) {
    return std::iswspace(static_cast<wint_t>(c.unicode())) != 0;
}
} // namespace

qint32 ParseLeadingInt(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && isWideSpace(text.at(i)))
        ++i;
    bool negative = false;
    if (i < text.size() && (text.at(i) == u'+' || text.at(i) == u'-')) {
        negative = text.at(i) == u'-';
        ++i;
    }
    qint64 value = 0;
    constexpr qint64 kLimit = qint64(std::numeric_limits<qint32>::max()) + 1;
    for (; i < text.size() && text.at(i) >= u'0' && text.at(i) <= u'9'; ++i) {
        value = value * 10 + (text.at(i).unicode() - u'0');
        if (value > kLimit)
            value = kLimit;
    }
    if (negative)
        return static_cast<qint32>(-value); // -2^31 at most
    return value >= kLimit ? std::numeric_limits<qint32>::max() : static_cast<qint32>(value);
}

namespace {
const QLatin1String kProgramName("Quorvane.exe");

// Trims and splits the argument text, then reads "/start" and its values.
LaunchArguments ParseArgumentText(QString args) {
    LaunchArguments result;
    qsizetype end = args.size();
    while (end > 0 && isWideSpace(args.at(end - 1)))
        --end;
    qsizetype begin = 0;
    while (begin < end && isWideSpace(args.at(begin)))
        ++begin;
    args = args.mid(begin, end - begin);

    const QStringList tokens = SplitCommandLine(args);
    if (tokens.isEmpty())
        return result;
    if (tokens.at(0).toLower() == QLatin1String("/start")) {
        if (tokens.size() != 4)
            return result;
        result.hasToken = true;
        result.token = tokens.at(1);
        result.left = ParseLeadingInt(tokens.at(2));
        result.top = ParseLeadingInt(tokens.at(3));
    }
    result.proceed = true;
    return result;
}
} // namespace

LaunchArguments ParseLaunchCommandLine(const QString& fullCommandLine) {
    // The line would not fit the buffer with its terminator: refuse it rather than cut it.
    if (fullCommandLine.size() >= kMaxCommandLine)
        return {};
    const qsizetype found = fullCommandLine.indexOf(kProgramName);
    // The name's 12 characters plus the closing quote or blank after it.
    const qsizetype start = (found < 0 ? -1 : found) + 13;
    return ParseArgumentText(start < fullCommandLine.size() ? fullCommandLine.mid(start) : QString());
}

LaunchArguments ParseLaunchArguments(const QStringList& arguments) {
    const QString full = arguments.join(u' ');
    if (arguments.isEmpty() || arguments.first().contains(kProgramName))
        return ParseLaunchCommandLine(full);
    if (full.size() >= kMaxCommandLine)
        return {};
    return ParseArgumentText(arguments.mid(1).join(u' '));
}

QStringList SentFiles(const QStringList& arguments) {
    if (arguments.size() < 2 || arguments.at(1).toLower() == QLatin1String("/start"))
        return {};
    QStringList paths;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        QString path;
        if (argument.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
            const QUrl url(argument);
            if (!url.isValid() || !url.isLocalFile() || !url.host().isEmpty())
                return {};
            path = url.toLocalFile();
        } else if (QDir::isAbsolutePath(argument)) {
            path = argument;
        } else if (!argument.isEmpty() && QFileInfo::exists(argument)) {
            path = QFileInfo(argument).absoluteFilePath();
        } else {
            return {};
        }
        if (!QDir::isAbsolutePath(path))
            return {};
        paths << QDir::cleanPath(path);
    }
    return paths;
}
