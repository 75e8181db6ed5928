// Standalone fuzz driver: random inputs and mutations of seed files, for a bounded time.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {
std::vector<std::string> loadSeeds(int argc, char** argv) {
    std::vector<std::string> seeds;
    for (int i = 1; i < argc; ++i) {
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(argv[i], ec)) {
            std::ifstream in(entry.path(), std::ios::binary);
            seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
    }
    return seeds;
}

std::string mutate(std::string s, std::mt19937_64& rng) {
    std::uniform_int_distribution<int> op(0, 5);
    const int rounds = 1 + static_cast<int>(rng() % 8);
    for (int r = 0; r < rounds; ++r) {
        const size_t pos = s.empty() ? 0 : rng() % s.size();
        switch (op(rng)) {
        case 0:
            if (!s.empty())
                s[pos] = static_cast<char>(rng());
            break;
        case 1:
            s.insert(pos, 1, static_cast<char>(rng()));
            break;
        case 2:
            if (!s.empty())
                s.erase(pos, 1 + rng() % 16);
            break;
        case 3:
            if (!s.empty())
                s.insert(pos, s.substr(rng() % s.size(), 1 + rng() % 32));
            break;
        case 4:
            s.resize(rng() % (s.size() + 1));
            break;
        default:
            if (!s.empty())
                s[pos] = "\0\r\n<>=/\"&:;-0123456789"[rng() % 21];
            break;
        }
    }
    return s;
}
} // namespace

int main(int argc, char** argv) {
    const char* env = std::getenv("QUORVANE_FUZZ_SECONDS");
    const double seconds = env ? std::atof(env) : 4.0;
    std::vector<std::string> seeds = loadSeeds(argc, argv);
    std::mt19937_64 rng(0x5eed);
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    long runs = 0;
    for (const std::string& s : seeds) {
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(s.data()), s.size());
        ++runs;
    }
    while (std::chrono::steady_clock::now() < end) {
        std::string input;
        if (!seeds.empty() && rng() % 4 != 0) {
            input = mutate(seeds[rng() % seeds.size()], rng);
        } else {
            input.resize(rng() % 512);
            for (char& c : input)
                c = static_cast<char>(rng());
        }
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
        ++runs;
    }
    std::printf("%ld inputs, no crash\n", runs);
    return 0;
}
