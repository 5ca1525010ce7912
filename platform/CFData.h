// Byte-block and date objects (the date keeps the text it was read from, so a
// property list with dates passes through a read and a write unchanged).
#pragma once

#include "platform/CFBase.h"

struct SxCFData;
struct SxCFDate;
typedef const SxCFData* CFDataRef;
typedef const SxCFDate* CFDateRef;

CFTypeID CFDataGetTypeID();
CFDataRef CFDataCreate(CFAllocatorRef alloc, const uint8_t* bytes, CFIndex length);
CFIndex CFDataGetLength(CFDataRef data);
const uint8_t* CFDataGetBytePtr(CFDataRef data);

CFTypeID CFDateGetTypeID();
