#include "tools/cloffa-service/FileStore.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>

namespace cloffa {
namespace {

std::string escapeField(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c == '%' || c == '\t' || c == '\n' || c == '\r') {
            char buf[4];
            std::snprintf(buf, sizeof buf, "%%%02X", c);
            out += buf;
        } else {
            out += char(c);
        }
    }
    return out;
}

std::string unescapeField(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            out += char(std::stoi(s.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

std::vector<std::string> split(const std::string& line, char sep) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t pos = line.find(sep, start);
        parts.push_back(line.substr(start, pos == std::string::npos ? std::string::npos : pos - start));
        if (pos == std::string::npos)
            return parts;
        start = pos + 1;
    }
}

bool writeFileSynced(const std::filesystem::path& path, const std::string& data) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n <= 0) {
            ::close(fd);
            return false;
        }
        done += size_t(n);
    }
    const bool ok = ::fsync(fd) == 0;
    return ::close(fd) == 0 && ok;
}

struct Sample {
    const char* name;
    int64_t size;
    int32_t listed;
    const char* date;
};

// Content stays small; the listing may claim more, as the demo needs sizes up to near 2 GiB.
const Sample kSamples[] = {
    {"회의록_2026년_12월.hwp", 48213, 48213, "2026-12-01 오후 2:45:10"},
    {"여행 사진 모음.zip", 3 * 1024 * 1024 + 517, 73400320, "2026-11-03 오전 9:12:00"},
    {"빈 파일.txt", 0, 0, "2026-10-15 오후 11:59:59"},
    {"readme.txt", 1024, 1024, "2026-09-30 오전 12:00:01"},
    {"2026년도 하반기 사업계획 및 예산 편성안 최종 검토본 (수정 반영) - 기획조정실 내부 배포용 첨부자료 포함.docx",
     262144, 262144, "2026-11-20 오후 5:03:27"},
    {"가족 동영상_제주도_2026.mp4", 1024 * 1024, 1950000000, "2026-08-14 오후 7:30:00"},
    {"음악 모음 (MP3) 128kbps.7z", 777777, 9646899, "2026-07-02 오전 10:10:10"},
    {"budget-2027.xlsx", 20480, 20480, "2026-12-07 오전 8:05:44"},
    {"스캔_주민등록등본.pdf", 131072, 131072, "2026-06-21 오후 1:00:00"},
    {"a..b.txt", 17, 17, "2026-05-05 오전 5:05:05"},
    {"프레젠테이션 발표자료 v3.pptx", 524288 + 3, 5242883, "2026-04-18 오후 4:18:00"},
    {"로그.log", 999, 999, "2026-03-01 오전 9:00:00"},
};

} // namespace

std::string FormatRegDate(int year, int month, int day, int hour, int minute, int second) {
    const char* half = hour < 12 ? "오전" : "오후";
    int h12 = hour % 12;
    if (h12 == 0)
        h12 = 12;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %s %d:%02d:%02d", year, month, day, half, h12, minute, second);
    return buf;
}

std::string NowRegDate() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return FormatRegDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
}

bool FileStore::open(const std::filesystem::path& dir, bool withSamples, std::string* error) {
    std::lock_guard lock(m_mutex);
    m_dir = dir;
    std::error_code ec;
    std::filesystem::create_directories(dir / "objects", ec);
    std::filesystem::create_directories(dir / "incoming", ec);
    if (ec) {
        if (error)
            *error = "cannot create the store folder: " + ec.message();
        return false;
    }
    // Leftovers of transfers that never finished.
    for (const auto& e : std::filesystem::directory_iterator(dir / "incoming", ec))
        std::filesystem::remove(e.path(), ec);
    if (std::filesystem::exists(dir / "index.txt")) {
        if (!loadIndex()) {
            if (error)
                *error = "the store index is unreadable";
            return false;
        }
        return true;
    }
    if (withSamples)
        addSamplesLocked();
    if (!saveIndexLocked()) {
        if (error)
            *error = "cannot write the store index";
        return false;
    }
    return true;
}

bool FileStore::loadIndex() {
    std::ifstream in(m_dir / "index.txt", std::ios::binary);
    std::string line;
    if (!std::getline(in, line) || line.rfind("next\t", 0) != 0)
        return false;
    m_nextIdx = std::stoi(line.substr(5));
    m_entries.clear();
    while (std::getline(in, line)) {
        const auto f = split(line, '\t');
        if (f.size() != 7)
            return false;
        Entry e;
        e.info.idx = std::stoi(f[0]);
        e.info.sidx = std::stoi(f[1]);
        e.info.size = std::stoll(f[2]);
        e.info.listedSize = std::stoi(f[3]);
        e.generated = f[4] == "1";
        e.info.regDate = unescapeField(f[5]);
        e.info.name = unescapeField(f[6]);
        m_entries.push_back(std::move(e));
    }
    return true;
}

bool FileStore::saveIndexLocked() {
    std::ostringstream out;
    out << "next\t" << m_nextIdx << '\n';
    for (const Entry& e : m_entries)
        out << e.info.idx << '\t' << e.info.sidx << '\t' << e.info.size << '\t' << e.info.listedSize << '\t'
            << (e.generated ? 1 : 0) << '\t' << escapeField(e.info.regDate) << '\t' << escapeField(e.info.name)
            << '\n';
    const auto tmp = m_dir / "index.txt.tmp";
    if (!writeFileSynced(tmp, out.str()))
        return false;
    std::error_code ec;
    std::filesystem::rename(tmp, m_dir / "index.txt", ec);
    return !ec;
}

void FileStore::addSamplesLocked() {
    for (const Sample& s : kSamples) {
        Entry e;
        e.info.idx = m_nextIdx++;
        e.info.sidx = 1;
        e.info.name = s.name;
        e.info.size = s.size;
        e.info.listedSize = s.listed;
        e.info.regDate = s.date;
        e.generated = true;
        m_entries.push_back(std::move(e));
    }
}

std::vector<StoredFile> FileStore::files() const {
    std::lock_guard lock(m_mutex);
    std::vector<StoredFile> out;
    for (const Entry& e : m_entries)
        out.push_back(e.info);
    return out;
}

std::optional<StoredFile> FileStore::file(int32_t idx) const {
    std::lock_guard lock(m_mutex);
    for (const Entry& e : m_entries)
        if (e.info.idx == idx)
            return e.info;
    return std::nullopt;
}

std::optional<StoredFile> FileStore::findByName(const std::string& name) const {
    std::lock_guard lock(m_mutex);
    for (const Entry& e : m_entries)
        if (e.info.name == name)
            return e.info;
    return std::nullopt;
}

bool FileStore::isGenerated(int32_t idx) const {
    std::lock_guard lock(m_mutex);
    for (const Entry& e : m_entries)
        if (e.info.idx == idx)
            return e.generated;
    return false;
}

int64_t FileStore::listedTotal() const {
    std::lock_guard lock(m_mutex);
    int64_t total = 0;
    for (const Entry& e : m_entries)
        total += e.info.listedSize;
    return total;
}

std::filesystem::path FileStore::objectPathLocked(int32_t idx) const {
    return m_dir / "objects" / (std::to_string(idx) + ".bin");
}

std::filesystem::path FileStore::contentPath(int32_t idx) const {
    std::lock_guard lock(m_mutex);
    return objectPathLocked(idx);
}

std::filesystem::path FileStore::newTempPath() {
    std::lock_guard lock(m_mutex);
    return m_dir / "incoming" /
           ("upload-" + std::to_string(::getpid()) + "-" + std::to_string(++m_tempCounter) + ".part");
}

int32_t FileStore::add(const std::string& name, const std::string& bytes) {
    const auto tmp = newTempPath();
    if (!writeFileSynced(tmp, bytes))
        return -1;
    return commit(tmp, name, int64_t(bytes.size()), -1);
}

int32_t FileStore::commit(const std::filesystem::path& tempFile, const std::string& name, int64_t size,
                          int32_t replaceIdx) {
    std::lock_guard lock(m_mutex);
    std::error_code ec;
    auto it = std::find_if(m_entries.begin(), m_entries.end(),
                           [replaceIdx](const Entry& e) { return e.info.idx == replaceIdx; });
    Entry fresh;
    Entry* target = nullptr;
    if (replaceIdx >= 0 && it != m_entries.end()) {
        target = &*it;
    } else {
        fresh.info.idx = m_nextIdx;
        fresh.info.sidx = 1;
        target = &fresh;
    }
    std::filesystem::rename(tempFile, objectPathLocked(target->info.idx), ec);
    if (ec) {
        std::filesystem::remove(tempFile, ec);
        return -1;
    }
    target->info.name = name;
    target->info.size = size;
    target->info.listedSize = int32_t(std::min<int64_t>(size, INT32_MAX));
    target->info.regDate = NowRegDate();
    target->generated = false;
    const int32_t idx = target->info.idx;
    if (target == &fresh) {
        ++m_nextIdx;
        m_entries.push_back(std::move(fresh));
    }
    saveIndexLocked();
    return idx;
}

bool FileStore::remove(int32_t idx) {
    std::lock_guard lock(m_mutex);
    auto it =
        std::find_if(m_entries.begin(), m_entries.end(), [idx](const Entry& e) { return e.info.idx == idx; });
    if (it == m_entries.end())
        return false;
    m_entries.erase(it);
    const bool saved = saveIndexLocked();
    std::error_code ec;
    std::filesystem::remove(objectPathLocked(idx), ec);
    return saved;
}

void FileStore::generate(int32_t idx, int64_t offset, char* out, size_t n) {
    // A cheap position-dependent pattern, so truncation or reordering shows up in a checksum.
    for (size_t i = 0; i < n; ++i) {
        const uint64_t p = uint64_t(offset) + i;
        uint64_t x = p * 0x9E3779B97F4A7C15ull + uint64_t(idx) * 0xBF58476D1CE4E5B9ull;
        x ^= x >> 29;
        out[i] = char(x & 0xff);
    }
}

} // namespace cloffa
