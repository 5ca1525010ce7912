// Property lists: trees of strings, numbers, booleans, data, dates, arrays and
// dictionaries, read from and written to the XML property-list format.
#pragma once

#include "platform/CFBase.h"
#include "platform/CFData.h"
#include "platform/CFURL.h"

typedef CFTypeRef CFPropertyListRef;
typedef const void* CFErrorRef; // never set: failures give a null result

enum CFPropertyListFormat : CFIndex {
    kCFPropertyListOpenStepFormat = 1,
    kCFPropertyListXMLFormat_v1_0 = 100,
    kCFPropertyListBinaryFormat_v1_0 = 200,
};

enum : CFOptionFlags {
    kCFPropertyListImmutable = 0,
};

// A stream over a whole file: open reads the file, the property-list reader
// takes its bytes.
struct SxCFReadStream;
typedef SxCFReadStream* CFReadStreamRef;

CFReadStreamRef CFReadStreamCreateWithFile(CFAllocatorRef alloc, CFURLRef fileURL);
// Reads the whole file; false when it cannot be read, is not a regular file
// (a pipe or device is refused without blocking) or is larger than
// platform::kLargestPlistFile.
bool CFReadStreamOpen(CFReadStreamRef stream);
void CFReadStreamClose(CFReadStreamRef stream);

// The tree read from the XML property-list bytes; null for anything else
// (other formats, malformed XML, unknown elements, nesting deeper than 256).
CFPropertyListRef CFPropertyListCreateWithData(CFAllocatorRef alloc, CFDataRef data,
                                               CFOptionFlags options, CFPropertyListFormat* format,
                                               CFErrorRef* error);
// The same from an opened stream; `streamLength` 0 reads all of it.
CFPropertyListRef CFPropertyListCreateWithStream(CFAllocatorRef alloc, CFReadStreamRef stream,
                                                 CFIndex streamLength, CFOptionFlags options,
                                                 CFPropertyListFormat* format, CFErrorRef* error);
// The XML form of `list` (only kCFPropertyListXMLFormat_v1_0); null when the
// tree holds an object that is not a property-list type.
CFDataRef CFPropertyListCreateData(CFAllocatorRef alloc, CFPropertyListRef list,
                                   CFPropertyListFormat format, CFOptionFlags options,
                                   CFErrorRef* error);
