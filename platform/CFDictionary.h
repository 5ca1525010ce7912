// Key-value collections with string keys; a dictionary retains its keys and
// values. Keys are enumerated in ascending code-point order.
#pragma once

#include "platform/CFBase.h"
#include "platform/CFString.h"

struct SxCFDictionary;
typedef const SxCFDictionary* CFDictionaryRef;
typedef SxCFDictionary* CFMutableDictionaryRef;

CFTypeID CFDictionaryGetTypeID();
CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef alloc, CFIndex capacity);
// A new mutable dictionary with the entries of `dict` (empty when null).
CFMutableDictionaryRef CFDictionaryCreateMutableCopy(CFAllocatorRef alloc, CFIndex capacity,
                                                     CFDictionaryRef dict);
CFIndex CFDictionaryGetCount(CFDictionaryRef dict);
// Keys must be strings; any other key finds nothing and is not stored.
CFTypeRef CFDictionaryGetValue(CFDictionaryRef dict, CFTypeRef key);
bool CFDictionaryGetValueIfPresent(CFDictionaryRef dict, CFTypeRef key, CFTypeRef* value);
void CFDictionarySetValue(CFMutableDictionaryRef dict, CFTypeRef key, CFTypeRef value);
void CFDictionaryRemoveValue(CFMutableDictionaryRef dict, CFTypeRef key);
// Fills `keys` and `values` (either may be null), each with room for
// CFDictionaryGetCount entries; the references are not retained.
void CFDictionaryGetKeysAndValues(CFDictionaryRef dict, CFTypeRef* keys, CFTypeRef* values);
