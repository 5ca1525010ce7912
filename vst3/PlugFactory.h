// The plug-in's class factory: the three classes a host finds in the bundle
// "sondrix MD" (the audio component, its edit controller, and the
// compatibility object that names the older plug-in identifier this one
// replaces), their fixed class identifiers, and the compatibility text.
#pragma once

#include <atomic>
#include <string>

#include "vst3base/IPluginFactory.h"
#include "vst3base/PluginFactory.h"

namespace vantor {

inline constexpr Steinberg::FUID kPlugProcessorUID{0x7A3C51E2, 0x5D8B4F0A, 0x9C61B2D4, 0x53784D31};
inline constexpr Steinberg::FUID kPlugControllerUID{0x7A3C51E2, 0x5D8B4F0A, 0x9C61B2D4, 0x53784D32};
inline constexpr Steinberg::FUID kPluginCompatibilityUID{0x7A3C51E2, 0x5D8B4F0A, 0x9C61B2D4,
                                                         0x53784D33};

inline constexpr const char* kClassVersion = "2.1.2.3";
inline constexpr const char* kProcessorSubCategories = "Instrument|Synth";

// A new factory with the vendor record and the three classes (one reference
// for the caller).
Steinberg::PluginFactory* createPlugFactory();

// The identifier of the older plug-in: "%06X" of 0x565354, "%08X" of the
// product's four-character code and "%02X" of each of the first nine
// characters of the product name, read as a class identifier.
std::string olderPluginIdentifier();
// The text the compatibility object writes.
std::string compatibilityText();

// Tells hosts that the processor class replaces the older plug-in.
class PluginCompatibility final : public Steinberg::IPluginCompatibility {
public:
    // Writes the compatibility text (no terminating NUL); the stream's result.
    Steinberg::tresult getCompatibilityJSON(Steinberg::IBStream* stream) override;

    Steinberg::tresult queryInterface(const Steinberg::TUID iid, void** obj) override;
    Steinberg::uint32 addRef() override;
    Steinberg::uint32 release() override;

private:
    std::atomic<Steinberg::uint32> m_refCount{1};
};

// The factory's create function of the compatibility class.
Steinberg::FUnknown* createCompatibilityInstance(void* context);

} // namespace vantor
