#pragma once
// Memory for large short-lived arrays (the sort keys of a long file list): taken in huge pages where the
// kernel offers them, so filling a few tens of MB costs a few page faults instead of thousands (each one
// is dear in a virtual machine). Small arrays come from the ordinary heap.
#include <cstddef>
#include <new>
#include <vector>

namespace LargeArrayMemory {
void* Allocate(std::size_t bytes); // nullptr when none is left
void Release(void* memory, std::size_t bytes);
} // namespace LargeArrayMemory

template <typename T> struct LargeArrayAllocator {
    using value_type = T;
    LargeArrayAllocator() = default;
    template <typename U> LargeArrayAllocator(const LargeArrayAllocator<U>&) {}
    T* allocate(std::size_t n) {
        if (void* memory = LargeArrayMemory::Allocate(n * sizeof(T)))
            return static_cast<T*>(memory);
        throw std::bad_alloc();
    }
    void deallocate(T* memory, std::size_t n) { LargeArrayMemory::Release(memory, n * sizeof(T)); }
    template <typename U> bool operator==(const LargeArrayAllocator<U>&) const { return true; }
};

template <typename T> using LargeArray = std::vector<T, LargeArrayAllocator<T>>;
