#include "app/platform/LargeArray.h"

#include <cstdint>
#include <cstdlib>

#include <sys/mman.h>

namespace {
constexpr std::size_t kHugePage = std::size_t(2) << 20;
// Below this the heap serves as well; above it a mapping of its own, aligned so whole huge pages fit.
constexpr std::size_t kLarge = 4 * kHugePage;

std::size_t WholePages(std::size_t bytes) {
    return (bytes + kHugePage - 1) / kHugePage * kHugePage;
}
// One huge page more than the array needs: room for the alignment and the word before the array.
std::size_t MappedBytes(std::size_t bytes) {
    return WholePages(bytes) + kHugePage;
}
} // namespace

void* LargeArrayMemory::Allocate(std::size_t bytes) {
    if (bytes < kLarge)
        return std::malloc(bytes == 0 ? 1 : bytes);
    const std::size_t mapped = MappedBytes(bytes);
    void* start = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (start == MAP_FAILED)
        return nullptr;
    // The array starts at the first huge page boundary past the mapping's start; the distance is kept in
    // the word before it, for the release.
    const auto address = reinterpret_cast<std::uintptr_t>(start);
    const std::uintptr_t aligned = (address + kHugePage) & ~std::uintptr_t(kHugePage - 1);
    reinterpret_cast<std::uintptr_t*>(aligned)[-1] = aligned - address;
    // Advice only: where huge pages are off it stays ordinary memory.
    ::madvise(reinterpret_cast<void*>(aligned), WholePages(bytes), MADV_HUGEPAGE);
    return reinterpret_cast<void*>(aligned);
}

void LargeArrayMemory::Release(void* memory, std::size_t bytes) {
    if (bytes < kLarge) {
        std::free(memory);
        return;
    }
    auto aligned = reinterpret_cast<std::uintptr_t>(memory);
    const std::uintptr_t offset = reinterpret_cast<std::uintptr_t*>(aligned)[-1];
    ::munmap(reinterpret_cast<void*>(aligned - offset), MappedBytes(bytes));
}
