#include "fuzz/tools/ServiceFixture.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>

namespace fuzz {
namespace {

struct Fixture {
    std::filesystem::path dir;
    cloffa::LocalService* service = nullptr;
    std::set<int32_t> initial;

    Fixture() {
        char tmpl[] = "/tmp/quorvane-fuzz-XXXXXX";
        if (!mkdtemp(tmpl))
            std::abort();
        dir = tmpl;
        cloffa::ServiceOptions options;
        options.storeDir = dir / "store";
        options.quotaTotal = 1 << 20;
        service = new cloffa::LocalService(options);
        std::string why;
        if (!service->start(&why)) {
            std::fprintf(stderr, "local service: %s\n", why.c_str());
            std::abort();
        }
        service->addFile("stored.txt", "stored content");
        service->addFile("second.bin", std::string(3000, 'x'));
        for (const cloffa::StoredFile& f : service->files())
            initial.insert(f.idx);
    }
    ~Fixture() {
        delete service;
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

} // namespace

cloffa::LocalService& Service() {
    return *fixture().service;
}

std::string SessionHeaders() {
    const std::string key = "test-session-key";
    return "userSession: " + key + "\r\nIf-None-Match: " + cloffa::EtagFor(key) + "\r\n";
}

void RestoreStore() {
    Fixture& f = fixture();
    for (const cloffa::StoredFile& file : f.service->files())
        if (!f.initial.count(file.idx))
            f.service->removeFile(file.idx);
    f.service->clearRequests();
}

int FirstStatus(const std::string& output) {
    if (output.compare(0, 9, "HTTP/1.1 ") != 0 || output.size() < 12)
        return 0;
    return std::atoi(output.substr(9, 3).c_str());
}

} // namespace fuzz
