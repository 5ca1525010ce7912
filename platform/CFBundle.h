// Bundles: a folder whose executable sits at
// Contents/x86_64-linux/<folder name without extension>.so and whose
// resources sit in Contents/Resources. Loading is dlopen(RTLD_NOW |
// RTLD_LOCAL); functions are found by dlsym.
#pragma once

#include "platform/CFBase.h"
#include "platform/CFString.h"
#include "platform/CFURL.h"

struct SxCFBundle;
typedef SxCFBundle* CFBundleRef;

CFTypeID CFBundleGetTypeID();
// Null when the URL does not name an existing folder.
CFBundleRef CFBundleCreate(CFAllocatorRef alloc, CFURLRef bundleURL);
CFURLRef CFBundleCopyBundleURL(CFBundleRef bundle);
CFURLRef CFBundleCopyResourcesDirectoryURL(CFBundleRef bundle);
// Contents/Resources/[subfolder/]name[.type] when that file exists, else null.
CFURLRef CFBundleCopyResourceURL(CFBundleRef bundle, CFStringRef name, CFStringRef type,
                                 CFStringRef subfolder);
// The executable's path (whether or not it exists); null for a null bundle.
CFURLRef CFBundleCopyExecutableURL(CFBundleRef bundle);
// True when the executable is (now) loaded.
bool CFBundleLoadExecutable(CFBundleRef bundle);
bool CFBundleIsExecutableLoaded(CFBundleRef bundle);
void CFBundleUnloadExecutable(CFBundleRef bundle);
// Loads the executable when needed; null when it cannot be loaded or does not
// export `name`.
void* CFBundleGetFunctionPointerForName(CFBundleRef bundle, CFStringRef name);
