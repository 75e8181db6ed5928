// cloffa-service: runs the local Cloffa-compatible service until SIGTERM or SIGINT.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/cloffa-service/LocalService.h"

namespace {

int usage()
{
    std::fprintf(stderr,
                 "usage: cloffa-service --store DIR [--port N] [--user ID] [--session-key KEY] [--quota BYTES]\n"
                 "                      [--namespace URI] [--sample] [--refuse-version]\n");
    return 2;
}

bool parseNumber(const char* text, long long min, long long max, long long& out)
{
    char* end = nullptr;
    errno = 0;
    out = std::strtoll(text, &end, 10);
    return *text && *end == '\0' && errno == 0 && out >= min && out <= max;
}

} // namespace

int main(int argc, char** argv)
{
    cloffa::ServiceOptions options;
    bool quotaGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        long long n = 0;
        if (arg == "--store" && hasValue) {
            options.storeDir = argv[++i];
        } else if (arg == "--port" && hasValue) {
            if (!parseNumber(argv[++i], 0, 65535, n))
                return usage();
            options.port = int(n);
        } else if (arg == "--user" && hasValue) {
            options.userId = argv[++i];
        } else if (arg == "--session-key" && hasValue) {
            options.sessionKey = argv[++i];
        } else if (arg == "--quota" && hasValue) {
            if (!parseNumber(argv[++i], 0, 2147483647LL, n))
                return usage();
            options.quotaTotal = int32_t(n);
            quotaGiven = true;
        } else if (arg == "--namespace" && hasValue) {
            options.serviceNamespace = argv[++i];
        } else if (arg == "--sample") {
            options.sampleSet = true;
        } else if (arg == "--refuse-version") {
            options.refuseVersion = true;
        } else {
            return usage();
        }
    }
    if (options.storeDir.empty())
        return usage();
    // The sample listing claims close to 2 GiB; leave room for uploads beside it.
    if (options.sampleSet && !quotaGiven)
        options.quotaTotal = 2147483647;

    // Block the stop signals in every thread; the main thread waits for them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    cloffa::LocalService service(options);
    std::string error;
    if (!service.start(&error)) {
        std::fprintf(stderr, "cloffa-service: %s\n", error.c_str());
        return 1;
    }
    std::printf("ready %s ca=%s\n", service.baseUrl().c_str(), service.caFile().c_str());
    std::fflush(stdout);
    int sig = 0;
    sigwait(&stopSignals, &sig);
    service.stop();
    return 0;
}
