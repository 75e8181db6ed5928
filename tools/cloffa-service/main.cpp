// cloffa-service: runs the local Cloffa-compatible service until SIGTERM or SIGINT.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

#include "tools/cloffa-service/LocalService.h"

namespace {

int usage() {
    std::fprintf(
        stderr,
        "usage: cloffa-service --store DIR [--port N] [--user ID] [--session-key KEY] [--quota BYTES]\n"
        "                      [--namespace URI] [--sample] [--refuse-version] [--control]\n"
        "--control: one command a line on stdin, each answered by a line \"ok ...\" or \"error ...\":\n"
        "  fault ENDPOINT KIND [count=N] [status=N] [bytes=N] [ms=N]   ENDPOINT: soap upload download any\n"
        "  clear-faults | quota BYTES | refuse-version 0|1 | add NAME<TAB>LOCAL-PATH | path NAME\n"
        "  list (the stored names, tab-separated)\n"
        "  calls WORD (requests so far whose target or body holds WORD)\n");
    return 2;
}

bool parseNumber(const char* text, long long min, long long max, long long& out) {
    char* end = nullptr;
    errno = 0;
    out = std::strtoll(text, &end, 10);
    return *text && *end == '\0' && errno == 0 && out >= min && out <= max;
}

const std::map<std::string, cloffa::Fault::Kind>& faultKinds() {
    using K = cloffa::Fault::Kind;
    static const std::map<std::string, K> kinds{{"soap-fault", K::SoapFault},
                                                {"http-status", K::HttpStatus},
                                                {"malformed-xml", K::MalformedXml},
                                                {"wrong-element", K::WrongElement},
                                                {"missing-file-array", K::MissingFileArray},
                                                {"stall", K::Stall},
                                                {"close-connection", K::CloseConnection},
                                                {"close-after-bytes", K::CloseAfterBytes},
                                                {"short-body", K::ShortBody},
                                                {"stall-mid-body", K::StallMidBody},
                                                {"status-after-body", K::StatusAfterBody},
                                                {"no-content-length", K::NoContentLength}};
    return kinds;
}

std::string runCommand(cloffa::LocalService& service, const std::string& line) {
    std::istringstream words(line);
    std::string verb;
    words >> verb;
    if (verb == "fault") {
        static const std::map<std::string, cloffa::Endpoint> endpoints{{"soap", cloffa::Endpoint::Soap},
                                                                       {"upload", cloffa::Endpoint::Upload},
                                                                       {"download", cloffa::Endpoint::Download},
                                                                       {"any", cloffa::Endpoint::Any}};
        std::string endpoint, kind, option;
        words >> endpoint >> kind;
        if (!endpoints.count(endpoint) || !faultKinds().count(kind))
            return "error unknown endpoint or fault";
        cloffa::Fault fault;
        fault.kind = faultKinds().at(kind);
        int count = 1;
        while (words >> option) {
            const size_t eq = option.find('=');
            long long n = 0;
            if (eq == std::string::npos || !parseNumber(option.c_str() + eq + 1, 0, 1LL << 40, n))
                return "error bad option " + option;
            const std::string name = option.substr(0, eq);
            if (name == "count")
                count = int(n);
            else if (name == "status")
                fault.status = int(n);
            else if (name == "bytes")
                fault.bytes = n;
            else if (name == "ms")
                fault.stallMs = int(n);
            else
                return "error bad option " + option;
        }
        service.injectFault(endpoints.at(endpoint), fault, count);
        return "ok";
    }
    if (verb == "clear-faults") {
        service.clearFaults();
        return "ok";
    }
    long long n = 0;
    std::string value;
    if (verb == "quota" && words >> value && parseNumber(value.c_str(), 0, 2147483647LL, n)) {
        service.setQuotaTotal(int32_t(n));
        return "ok";
    }
    if (verb == "refuse-version" && words >> value && (value == "0" || value == "1")) {
        service.setRefuseVersion(value == "1");
        return "ok";
    }
    if (verb == "add") {
        // Names may hold blanks: the name and the path are separated by a tab.
        const size_t tab = line.find('\t');
        if (line.size() < 5 || tab == std::string::npos || tab < 4)
            return "error add NAME<TAB>PATH";
        std::ifstream in(line.substr(tab + 1), std::ios::binary);
        if (!in)
            return "error cannot read " + line.substr(tab + 1);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        const int32_t idx = service.addFile(line.substr(4, tab - 4), bytes.str());
        return idx < 0 ? "error not stored" : "ok " + std::to_string(idx);
    }
    if (verb == "path") {
        const std::string name = line.size() > 5 ? line.substr(5) : std::string();
        for (const cloffa::StoredFile& f : service.files())
            if (f.name == name)
                return "ok " + service.contentPath(f.idx).string();
        return "error no stored file " + name;
    }
    if (verb == "calls" && words >> value) {
        int calls = 0;
        for (const cloffa::CapturedRequest& r : service.requests())
            calls += r.target.find(value) != std::string::npos || r.body.find(value) != std::string::npos;
        return "ok " + std::to_string(calls);
    }
    if (verb == "list") {
        std::string names;
        for (const cloffa::StoredFile& f : service.files())
            names += (names.empty() ? "" : "\t") + f.name;
        return "ok " + names;
    }
    return "error unknown command";
}

// Held while a command runs; once the service stops, commands no longer reach it.
std::mutex g_controlMutex;
bool g_stopped = false;

// Commands from the test that started the service; the answers go to stdout in order.
void serveControl(cloffa::LocalService& service) {
    std::string line;
    while (std::getline(std::cin, line)) {
        std::lock_guard lock(g_controlMutex);
        const std::string answer = g_stopped ? std::string("error stopped") : runCommand(service, line);
        std::printf("%s\n", answer.c_str());
        std::fflush(stdout);
    }
}

} // namespace

int main(int argc, char** argv) {
    cloffa::ServiceOptions options;
    bool quotaGiven = false;
    bool control = false;
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
        } else if (arg == "--control") {
            control = true;
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
    if (control)
        std::thread(serveControl, std::ref(service)).detach();
    int sig = 0;
    sigwait(&stopSignals, &sig);
    {
        std::lock_guard lock(g_controlMutex);
        g_stopped = true;
    }
    service.stop();
    return 0;
}
