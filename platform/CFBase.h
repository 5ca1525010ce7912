// Core types of the CoreFoundation-style object layer: reference-counted,
// immutable-by-default objects addressed through opaque references. Every
// Create or Copy call hands its caller one reference, which CFRelease returns.
#pragma once

#include <cstdint>

typedef long CFIndex;
typedef unsigned long CFTypeID;
typedef unsigned long CFOptionFlags;
typedef const void* CFTypeRef;
typedef const void* CFAllocatorRef; // accepted everywhere, always the default allocator

inline constexpr CFAllocatorRef kCFAllocatorDefault = nullptr;

struct CFRange {
    CFIndex location;
    CFIndex length;
};
inline CFRange CFRangeMake(CFIndex location, CFIndex length) {
    return CFRange{location, length};
}

enum CFComparisonResult : CFIndex {
    kCFCompareLessThan = -1,
    kCFCompareEqualTo = 0,
    kCFCompareGreaterThan = 1,
};

// Adds one reference; returns `object`. A null object is returned unchanged.
CFTypeRef CFRetain(CFTypeRef object);
// Gives one reference back; the object is destroyed with its last reference.
// A null object is ignored.
void CFRelease(CFTypeRef object);
CFIndex CFGetRetainCount(CFTypeRef object);
// 0 for a null object.
CFTypeID CFGetTypeID(CFTypeRef object);
// Same type and same value (strings, numbers, booleans, URLs, data, and
// arrays and dictionaries element by element); identity for other objects.
bool CFEqual(CFTypeRef a, CFTypeRef b);
