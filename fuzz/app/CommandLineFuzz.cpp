// The command line the program is started with (UTF-8 here; the program sees it as wide text).
#include "app/LaunchArguments.h"

#include <QString>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString line = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const LaunchArguments args = ParseLaunchCommandLine(line);
    if (args.hasToken && (!args.proceed || args.token.isEmpty() || args.token.contains(u' ')))
        __builtin_trap();
    if (!args.hasToken && (args.left != kDefaultLeft || args.top != kDefaultTop))
        __builtin_trap();
    (void)ParseLeadingInt(line);
    return 0;
}
