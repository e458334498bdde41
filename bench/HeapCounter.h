#pragma once

#include <cstddef>

// Bytes held through operator new by the whole program, counted the way the allocator
// charges them (usable size plus its header), and the highest value since the last reset.
// Linking HeapCounter.cpp replaces the global operator new and delete.
struct HeapUse {
    std::size_t current;
    std::size_t peak;
};

HeapUse CurrentHeapUse();
// Starts a new peak from the bytes held now.
void ResetHeapPeak();
