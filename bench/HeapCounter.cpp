#include "HeapCounter.h"

#include <atomic>
#include <cstdlib>
#include <malloc.h>
#include <new>

namespace {

// glibc keeps one size word in front of every block.
constexpr std::size_t kBlockHeader = sizeof(std::size_t);

// The scan allocates on its walk's threads too.
std::atomic<std::size_t> g_current{0};
std::atomic<std::size_t> g_peak{0};

std::size_t Charge(void* block) {
    return malloc_usable_size(block) + kBlockHeader;
}

void* Allocate(std::size_t size) {
    void* block = std::malloc(size ? size : 1);
    if (!block)
        throw std::bad_alloc();
    const std::size_t current = g_current += Charge(block);
    for (std::size_t peak = g_peak; current > peak && !g_peak.compare_exchange_weak(peak, current);)
        ;
    return block;
}

void Release(void* block) {
    if (!block)
        return;
    g_current -= Charge(block);
    std::free(block);
}

} // namespace

HeapUse CurrentHeapUse() {
    return {g_current, g_peak};
}

void ResetHeapPeak() {
    g_peak = g_current.load();
}

void* operator new(std::size_t size) {
    return Allocate(size);
}
void* operator new[](std::size_t size) {
    return Allocate(size);
}
void operator delete(void* block) noexcept {
    Release(block);
}
void operator delete[](void* block) noexcept {
    Release(block);
}
void operator delete(void* block, std::size_t) noexcept {
    Release(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    Release(block);
}
