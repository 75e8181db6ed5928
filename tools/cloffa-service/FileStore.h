#pragma once
// The service's persistent store: one file per object under objects/ and an index that is replaced
// atomically (written to a temporary file, then renamed). Sample entries have no object file: their
// content is generated on demand from the index.
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "tools/cloffa-service/LocalService.h"

namespace cloffa {

class FileStore {
public:
    bool open(const std::filesystem::path& dir, bool withSamples, std::string* error);

    std::vector<StoredFile> files() const;
    std::optional<StoredFile> file(int32_t idx) const;
    std::optional<StoredFile> findByName(const std::string& name) const;
    std::filesystem::path contentPath(int32_t idx) const;
    bool isGenerated(int32_t idx) const;
    int64_t listedTotal() const;

    int32_t add(const std::string& name, const std::string& bytes);
    // Moves a finished temporary file into the store: a new entry, or the content of `replaceIdx`.
    int32_t commit(const std::filesystem::path& tempFile, const std::string& name, int64_t size,
                   int32_t replaceIdx);
    bool remove(int32_t idx);

    // A fresh path for a transfer in progress (outside objects/, so an aborted upload leaves no object).
    std::filesystem::path newTempPath();
    // Deterministic bytes of a generated entry.
    static void generate(int32_t idx, int64_t offset, char* out, size_t n);

private:
    struct Entry {
        StoredFile info;
        bool generated = false;
    };
    bool loadIndex();
    bool saveIndexLocked();
    void addSamplesLocked();
    std::filesystem::path objectPathLocked(int32_t idx) const;

    mutable std::mutex m_mutex;
    std::filesystem::path m_dir;
    std::vector<Entry> m_entries;
    int32_t m_nextIdx = 1;
    uint64_t m_tempCounter = 0;
};

// Registration date text in the service's form, "2026-11-03 오전 9:12:00".
std::string FormatRegDate(int year, int month, int day, int hour, int minute, int second);
std::string NowRegDate();

} // namespace cloffa
