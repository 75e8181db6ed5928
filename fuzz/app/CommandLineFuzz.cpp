// The command line the program is started with: as one line (UTF-8 here; the program sees wide text),
// and as the process's argument list (the input split at NUL bytes, program path first).
#include "app/LaunchArguments.h"

#include <QDir>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>

namespace {
void check(const LaunchArguments& args) {
    if (args.hasToken && (!args.proceed || args.token.isEmpty() || args.token.contains(u' ')))
        __builtin_trap();
    if (!args.hasToken && (args.left != kDefaultLeft || args.top != kDefaultTop))
        __builtin_trap();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString line = QString::fromUtf8(bytes);
    check(ParseLaunchCommandLine(line));
    QStringList arguments;
    for (const QByteArray& part : bytes.split('\0'))
        arguments << QString::fromUtf8(part);
    check(ParseLaunchArguments(arguments));
    // Files sent from a file manager: only absolute paths, one for each argument after the program.
    const QStringList sent = SentFiles(arguments);
    if (!sent.isEmpty() && sent.size() != arguments.size() - 1)
        __builtin_trap();
    for (const QString& path : sent) {
        if (!QDir::isAbsolutePath(path))
            __builtin_trap();
    }
    (void)ParseLeadingInt(line);
    return 0;
}
