// Number and boolean objects.
#pragma once

#include "platform/CFBase.h"

struct SxCFNumber;
struct SxCFBoolean;
typedef const SxCFNumber* CFNumberRef;
typedef const SxCFBoolean* CFBooleanRef;

enum CFNumberType : CFIndex {
    kCFNumberSInt8Type = 1,
    kCFNumberSInt16Type = 2,
    kCFNumberSInt32Type = 3,
    kCFNumberSInt64Type = 4,
    kCFNumberFloat32Type = 5,
    kCFNumberFloat64Type = 6,
    kCFNumberCharType = 7,
    kCFNumberShortType = 8,
    kCFNumberIntType = 9,
    kCFNumberLongType = 10,
    kCFNumberLongLongType = 11,
    kCFNumberFloatType = 12,
    kCFNumberDoubleType = 13,
    kCFNumberCFIndexType = 14,
};

CFTypeID CFNumberGetTypeID();
// Null for an unknown type or a null `value`.
CFNumberRef CFNumberCreate(CFAllocatorRef alloc, CFNumberType type, const void* value);
// Stores the number as `type`; true when it converted without loss (the
// nearest value is stored otherwise, clamped to the range of integer types).
bool CFNumberGetValue(CFNumberRef number, CFNumberType type, void* value);
bool CFNumberIsFloatType(CFNumberRef number);

CFTypeID CFBooleanGetTypeID();
extern const CFBooleanRef kCFBooleanTrue;
extern const CFBooleanRef kCFBooleanFalse;
bool CFBooleanGetValue(CFBooleanRef boolean);
