// URL objects. A file URL holds an absolute file-system path as bytes (paths
// are never re-encoded); other URLs hold their text.
#pragma once

#include "platform/CFBase.h"
#include "platform/CFString.h"

struct SxCFURL;
typedef const SxCFURL* CFURLRef;

enum CFURLPathStyle : CFIndex {
    kCFURLPOSIXPathStyle = 0,
};

CFTypeID CFURLGetTypeID();
// A file URL of the UTF-8 text of `path`; a relative path is taken from the
// current folder. Null for a null or empty path.
CFURLRef CFURLCreateWithFileSystemPath(CFAllocatorRef alloc, CFStringRef path, CFURLPathStyle style,
                                       bool isDirectory);
// A file URL of the path bytes; null for no bytes.
CFURLRef CFURLCreateFromFileSystemRepresentation(CFAllocatorRef alloc, const uint8_t* bytes,
                                                 CFIndex length, bool isDirectory);
// A URL of the text in `bytes` (ASCII or UTF-8); null when the text is empty
// or holds characters a URL cannot hold (blanks, controls, quotes, angle
// brackets, non-ASCII bytes and the like). A text with the scheme "file" is a
// file URL of its (percent-decoded) path. `baseURL` must be null.
CFURLRef CFURLCreateWithBytes(CFAllocatorRef alloc, const uint8_t* bytes, CFIndex length,
                              CFStringEncoding encoding, CFURLRef baseURL);
// The absolute path of a file URL followed by a zero byte when both fit in
// `maxLength`; false for other URLs or when the path does not fit.
bool CFURLGetFileSystemRepresentation(CFURLRef url, bool resolveAgainstBase, uint8_t* buffer,
                                      CFIndex maxLength);
// The path of a file URL as text (null when it is not valid UTF-8 or the URL is
// not a file URL); a folder's path has no trailing '/'.
CFStringRef CFURLCopyFileSystemPath(CFURLRef url, CFURLPathStyle style);
// The URL text ("file://" and the percent-escaped path for a file URL). Not
// retained: it belongs to the URL.
CFStringRef CFURLGetString(CFURLRef url);
// The scheme ("file", "https", ...); null when the URL has none.
CFStringRef CFURLCopyScheme(CFURLRef url);
bool CFURLHasDirectoryPath(CFURLRef url);
