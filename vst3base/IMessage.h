// The message path between the two halves of a plug-in and the host services
// behind it: `IAttributeList` (named int, float, string and binary values),
// `IMessage` (an id and its attributes), `IConnectionPoint` (the peer that
// receives messages) and `IHostApplication` (the host's name and the factory of
// messages and attribute lists).
#pragma once

#include <cstddef>

#include "vst3base/VstTypes.h"

namespace Steinberg::Vst {

class IAttributeList : public FUnknown {
public:
    using AttrID = const char*;

    virtual tresult setInt(AttrID id, int64 value) = 0;
    virtual tresult getInt(AttrID id, int64& value) = 0;
    virtual tresult setFloat(AttrID id, double value) = 0;
    virtual tresult getFloat(AttrID id, double& value) = 0;
    // A zero-terminated UTF-16 string.
    virtual tresult setString(AttrID id, const TChar* string) = 0;
    // Copies at most sizeInBytes bytes, always zero-terminated.
    virtual tresult getString(AttrID id, TChar* string, uint32 sizeInBytes) = 0;
    virtual tresult setBinary(AttrID id, const void* data, uint32 sizeInBytes) = 0;
    // Points at the stored bytes, valid while the list lives.
    virtual tresult getBinary(AttrID id, const void*& data, uint32& sizeInBytes) = 0;

    static constexpr FUID iid{0x1E5F0AEB, 0xCC7F4533, 0xA2544011, 0x38AD5EE4};

protected:
    ~IAttributeList() = default;
};

class IMessage : public FUnknown {
public:
    virtual FIDString getMessageID() = 0;
    virtual void setMessageID(FIDString id) = 0;
    virtual IAttributeList* getAttributes() = 0;

    static constexpr FUID iid{0x936F033B, 0xC6C047DB, 0xBB0882F8, 0x13C1E613};

protected:
    ~IMessage() = default;
};

class IConnectionPoint : public FUnknown {
public:
    virtual tresult connect(IConnectionPoint* other) = 0;
    virtual tresult disconnect(IConnectionPoint* other) = 0;
    virtual tresult notify(IMessage* message) = 0;

    static constexpr FUID iid{0x70A4156F, 0x6E6E4026, 0x989148BF, 0xAA60D8D1};

protected:
    ~IConnectionPoint() = default;
};

class IHostApplication : public FUnknown {
public:
    virtual tresult getName(String128 name) = 0;
    // Creates a host object: class IMessage or IAttributeList, asked as `iid`.
    virtual tresult createInstance(TUID cid, TUID iid, void** obj) = 0;

    static constexpr FUID iid{0x58E595CC, 0xDB2D4969, 0x8B6AAF8C, 0x36A664E5};

protected:
    ~IHostApplication() = default;
};

} // namespace Steinberg::Vst
