// Ordered collections of objects; an array retains what it holds.
#pragma once

#include "platform/CFBase.h"

struct SxCFArray;
typedef const SxCFArray* CFArrayRef;
typedef SxCFArray* CFMutableArrayRef;

CFTypeID CFArrayGetTypeID();
CFArrayRef CFArrayCreate(CFAllocatorRef alloc, const void** values, CFIndex count);
CFMutableArrayRef CFArrayCreateMutable(CFAllocatorRef alloc, CFIndex capacity);
CFMutableArrayRef CFArrayCreateMutableCopy(CFAllocatorRef alloc, CFIndex capacity,
                                           CFArrayRef array);
CFIndex CFArrayGetCount(CFArrayRef array);
// Null when `index` is out of range.
CFTypeRef CFArrayGetValueAtIndex(CFArrayRef array, CFIndex index);
void CFArrayAppendValue(CFMutableArrayRef array, CFTypeRef value);
