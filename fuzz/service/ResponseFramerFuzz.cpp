// Response bytes for the framer, fed in pieces whose sizes come from the input: when the answer is
// complete must not depend on how its bytes arrive. The first byte is a seed for the piece sizes.
#include "service/ResponseFramer.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > 60000) // heads beyond the framer's limit are not watched at all
        return 0;
    const char* bytes = reinterpret_cast<const char*>(data) + 1;
    const size_t n = size - 1;

    ResponseFramer whole;
    whole.Reset();
    whole.Feed(bytes, n);

    ResponseFramer pieces;
    pieces.Reset();
    unsigned state = data[0] | 1u;
    bool completeBefore = false;
    for (size_t at = 0; at < n;) {
        state = state * 1103515245u + 12345u;
        const size_t take = 1 + (state >> 16) % 37;
        const size_t len = take < n - at ? take : n - at;
        if (completeBefore && !pieces.Complete())
            __builtin_trap(); // once complete, more bytes never make it incomplete again
        pieces.Feed(bytes + at, len);
        completeBefore = pieces.Complete();
        at += len;
    }
    if (whole.Complete() != pieces.Complete())
        __builtin_trap();
    return 0;
}
