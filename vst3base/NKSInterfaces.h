// The NKS interfaces of the edit controller. An NKS host (an outside
// application that shows the instrument's parameter pages and key map) asks
// the controller for `nks::INKS1Plugin` to send it typed messages and for
// `nks::INKSMetadataPlugin` to fetch the parameter metadata; the controller in
// turn asks the host context for `nks::INKS1Host` to send its key-map
// messages. Each interface is one method after the three FUnknown ones.
//
// Message types are a two-letter tag in the high 16 bits ('NI' get, 'ni' set
// and 'Ni' size and writability of a vendor-specific property, 'KI' key-map
// messages to the host) and a property in the low 16 bits.
#pragma once

#include "vst3base/FUnknown.h"
#include "vst3base/IBStream.h"

namespace nks {

// Messages from the NKS host: `type` is a two-letter tag in the high 16 bits
// and a property in the low 16; answers 1 when handled, 0 when not.
class INKS1Plugin : public Steinberg::FUnknown {
public:
    virtual Steinberg::int32 nksDispatch(Steinberg::int32 type, Steinberg::uint64 size, void* data,
                                         float opt) = 0;

    static constexpr Steinberg::FUID iid{0x4E93AF45, 0xA4904C68, 0xBF41B535, 0x443028AE};

protected:
    ~INKS1Plugin() = default;
};

// The parameter metadata, written into the host's stream.
class INKSMetadataPlugin : public Steinberg::FUnknown {
public:
    virtual Steinberg::tresult getNksMetadata(Steinberg::IBStream* stream) = 0;

    static constexpr Steinberg::FUID iid{0x5F2E1675, 0x46C24B61, 0x87684487, 0x53E4FD07};

protected:
    ~INKSMetadataPlugin() = default;
};

// The host side: a non-zero answer means the message was accepted.
class INKS1Host : public Steinberg::FUnknown {
public:
    virtual Steinberg::int32 nksDispatch(Steinberg::int32 type, Steinberg::uint64 size, void* data,
                                         float opt) = 0;

    static constexpr Steinberg::FUID iid{0x66CE0222, 0xEF124867, 0xA29B88E1, 0xF6565E61};

protected:
    ~INKS1Host() = default;
};

} // namespace nks
