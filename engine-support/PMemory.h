// C-heap allocation wrappers for buffers that cross between components, and
// in-place byte swapping of 16-bit and 32-bit arrays.
#pragma once

#include <cstdint>

namespace vantor {

// Zero-filled block of n bytes, or null. Release it only with PFree.
void* PCalloc(uint64_t n);
void PFree(void* block); // null is allowed
void* PRealloc(void* block, uint64_t size);

// Reverse the bytes of each of `count` values in place.
void swapBytes16(uint16_t* values, uint64_t count);
void swapBytes32(uint32_t* values, uint64_t count);

} // namespace vantor
