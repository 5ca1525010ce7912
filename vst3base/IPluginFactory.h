// The module's front door: the class factory a host gets from the bundle's
// `GetPluginFactory` export, the class descriptions it lists, `IPluginBase`
// (initialize/terminate of every created object) and `IPluginCompatibility`.
//
// A Linux bundle exports three C functions: `ModuleEntry(void*)` (once per
// dlopen, with the module handle; false refuses the load), `ModuleExit()` (before
// dlclose) and `GetPluginFactory()`. Their signatures are `ModuleEntryFunc`,
// `ModuleExitFunc` and `GetFactoryProc` below.
#pragma once

#include <cstddef>

#include "vst3base/FUnknown.h"

namespace Steinberg {

class IBStream;

// What the factory says about its vendor (452 bytes).
struct PFactoryInfo {
    enum FactoryFlags : int32 {
        kNoFlags = 0,
        kClassesDiscardable = 1 << 0,
        kLicenseCheck = 1 << 1,
        kComponentNonDiscardable = 1 << 3,
        kUnicode = 1 << 4, // the class information is also given in UTF-16
    };
    enum { kURLSize = 256, kEmailSize = 128, kNameSize = 64 };

    char8 vendor[kNameSize];
    char8 url[kURLSize];
    char8 email[kEmailSize];
    int32 flags;
};

// One class in its first form (116 bytes).
struct PClassInfo {
    enum ClassCardinality : int32 { kManyInstances = 0x7FFFFFFF };
    enum { kCategorySize = 32, kNameSize = 64 };

    TUID cid;
    int32 cardinality;
    char8 category[kCategorySize];
    char8 name[kNameSize];
};

// One class with flags, sub-categories, vendor and versions (440 bytes).
struct PClassInfo2 {
    enum {
        kCategorySize = 32,
        kNameSize = 64,
        kSubCategoriesSize = 128,
        kVendorSize = 64,
        kVersionSize = 64,
    };

    TUID cid;
    int32 cardinality;
    char8 category[kCategorySize];
    char8 name[kNameSize];
    uint32 classFlags;
    char8 subCategories[kSubCategoriesSize];
    char8 vendor[kVendorSize];
    char8 version[kVersionSize];
    char8 sdkVersion[kVersionSize];
};

// The same with the name, vendor and versions in UTF-16 (696 bytes).
struct PClassInfoW {
    enum {
        kCategorySize = 32,
        kNameSize = 64,
        kSubCategoriesSize = 128,
        kVendorSize = 64,
        kVersionSize = 64,
    };

    TUID cid;
    int32 cardinality;
    char8 category[kCategorySize];
    char16 name[kNameSize];
    uint32 classFlags;
    char8 subCategories[kSubCategoriesSize];
    char16 vendor[kVendorSize];
    char16 version[kVersionSize];
    char16 sdkVersion[kVersionSize];
};

class IPluginFactory : public FUnknown {
public:
    virtual tresult getFactoryInfo(PFactoryInfo* info) = 0;
    virtual int32 countClasses() = 0;
    virtual tresult getClassInfo(int32 index, PClassInfo* info) = 0;
    // Creates an instance of class `cid` and answers its interface `iid`.
    virtual tresult createInstance(FIDString cid, FIDString iid, void** obj) = 0;

    static constexpr FUID iid{0x7A4D811C, 0x52114A1F, 0xAED9D2EE, 0x0B43BF9F};

protected:
    ~IPluginFactory() = default;
};

class IPluginFactory2 : public IPluginFactory {
public:
    virtual tresult getClassInfo2(int32 index, PClassInfo2* info) = 0;

    static constexpr FUID iid{0x0007B650, 0xF24B4C0B, 0xA464EDB9, 0xF00B2ABB};

protected:
    ~IPluginFactory2() = default;
};

class IPluginFactory3 : public IPluginFactory2 {
public:
    virtual tresult getClassInfoUnicode(int32 index, PClassInfoW* info) = 0;
    // The host hands over its context (IHostApplication and friends).
    virtual tresult setHostContext(FUnknown* context) = 0;

    static constexpr FUID iid{0x4555A2AB, 0xC1234E57, 0x9B122910, 0x36878931};

protected:
    ~IPluginFactory3() = default;
};

// First and last call on every object the factory creates.
class IPluginBase : public FUnknown {
public:
    virtual tresult initialize(FUnknown* context) = 0;
    virtual tresult terminate() = 0;

    static constexpr FUID iid{0x22888DDB, 0x156E45AE, 0x8358B348, 0x08190625};

protected:
    ~IPluginBase() = default;
};

// Tells the host which older plug-in classes this module replaces: writes a
// UTF-8 JSON text into the stream.
class IPluginCompatibility : public FUnknown {
public:
    virtual tresult getCompatibilityJSON(IBStream* stream) = 0;

    static constexpr FUID iid{0x4AFD4B6A, 0x35D7C240, 0xA5C31414, 0xFB7D15E6};

protected:
    ~IPluginCompatibility() = default;
};

// Class categories and flags the factory lists.
inline constexpr const char8* kVstAudioEffectClass = "Audio Module Class";
inline constexpr const char8* kVstComponentControllerClass = "Component Controller Class";
inline constexpr const char8* kPluginCompatibilityClass = "Plugin Compatibility Class";
inline constexpr const char8* kVstVersionString = "VST 3.7.9";

namespace Vst {
// Class flags of an audio module class.
enum ComponentFlags : uint32 {
    kDistributable = 1 << 0,
    kSimpleModeSupported = 1 << 1,
};
} // namespace Vst

// The bundle's exports.
using ModuleEntryFunc = bool (*)(void* sharedLibraryHandle);
using ModuleExitFunc = bool (*)();
using GetFactoryProc = IPluginFactory* (*)();

// Published sizes and offsets.
static_assert(sizeof(PFactoryInfo) == 452 && offsetof(PFactoryInfo, url) == 64 &&
              offsetof(PFactoryInfo, email) == 320 && offsetof(PFactoryInfo, flags) == 448);
static_assert(sizeof(PClassInfo) == 116 && offsetof(PClassInfo, cardinality) == 16 &&
              offsetof(PClassInfo, category) == 20 && offsetof(PClassInfo, name) == 52);
static_assert(sizeof(PClassInfo2) == 440 && offsetof(PClassInfo2, classFlags) == 116 &&
              offsetof(PClassInfo2, subCategories) == 120 && offsetof(PClassInfo2, vendor) == 248 &&
              offsetof(PClassInfo2, version) == 312 && offsetof(PClassInfo2, sdkVersion) == 376);
static_assert(sizeof(PClassInfoW) == 696 && offsetof(PClassInfoW, name) == 52 &&
              offsetof(PClassInfoW, classFlags) == 180 &&
              offsetof(PClassInfoW, subCategories) == 184 && offsetof(PClassInfoW, vendor) == 312 &&
              offsetof(PClassInfoW, version) == 440 && offsetof(PClassInfoW, sdkVersion) == 568);

} // namespace Steinberg
