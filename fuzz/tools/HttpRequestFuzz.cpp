// Raw bytes of one connection to the local service: request lines, headers, bodies in both framings,
// several requests kept alive. The first byte picks how the bytes arrive (1 to 64 at a time, or whole).
#include "fuzz/tools/ServiceFixture.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const size_t piece = data[0] >= 192 ? 16384 : 1 + data[0] % 64;
    const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::string output = fuzz::Service().answerBytes(input, piece);
    // Whatever came in, what goes out is HTTP answers.
    if (!output.empty() && fuzz::FirstStatus(output) < 100)
        __builtin_trap();
    fuzz::RestoreStore();
    return 0;
}
