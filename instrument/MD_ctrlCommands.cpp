// The instrument commands: the MPE layout, the F-number limit and the
// register monitor (master commands); randomising, copying and capturing
// instruments from the media unit's register mirror; importing and exporting
// instrument files.
#include "instrument/MD_ctrl.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <string>

#include "engine-support/VirtualFile.h"
#include "instrument/PatchFiles.h"
#include "instrument/PatchText.h"
#include "vantor/PlatformTools.h"
#include "vgm/Reader.h"

namespace {

// Holds the caller's mutex (when one is given) for a whole command.
class CommandLock {
public:
    explicit CommandLock(vantor::Mutex* m) : mutex(m) {
        if (mutex) mutex->lock();
    }
    ~CommandLock() {
        if (mutex) mutex->unlock();
    }
    CommandLock(const CommandLock&) = delete;
    CommandLock& operator=(const CommandLock&) = delete;

private:
    vantor::Mutex* mutex;
};

// Patch files are a few hundred bytes; an OPM bank of every instrument a
// tracker ever saved stays far below this.
constexpr int64_t kMaxPatchFileSize = 4 << 20;

std::string lowerExtension(const std::string& path) {
    const size_t dot = path.find_last_of('.');
    const size_t slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = path.substr(dot + 1);
    for (char& ch : ext) ch = char(std::tolower(static_cast<unsigned char>(ch)));
    return ext;
}

// The value of an F-number register pair, shifted by its block.
double shiftedFnumber(uint8_t high, uint8_t low) {
    return double(((high & 7) << 8) | low) * double(1 << ((high >> 3) & 7));
}

} // namespace

void MD_ctrl::setMpeLayout(int64_t m) {
    struct Layout {
        uint64_t fmTarget, psgTarget, lower, upper;
    };
    static constexpr Layout kLayouts[4] = {
        {0, 1, 7, 7}, {0, 0, 15, 0}, {1, 1, 0, 15}, {1, 0, 7, 7}};
    if (m >= 0 && m < 4) {
        const Layout& l = kLayouts[m];
        for (uint64_t layer = 0; layer < kLayerCount; ++layer)
            setLayerTarget(layer, layer < 6 ? l.fmTarget : l.psgTarget);
        setMpeZoneSize(0, l.lower);
        setMpeZoneSize(1, l.upper);
    }
    applyMpeLayout();
    resetController(false);
}

void MD_ctrl::masterCommand(uint32_t id, vantor::Mutex* mutex, double value) {
    CommandLock lock(mutex);
    if (std::isnan(value)) return;
    switch (id) {
    case 0:
        setMpeLayout(PSaturateToInt64(std::round(value)));
        break;
    case 1: {
        if (version < console::kManyInstrumentsVersion) break;
        const int32_t limit =
            PSaturateToInt32(double(kFnumLimit) - double(PSaturateToInt32(std::trunc(value))));
        for (auto& unit : fm)
            for (auto& sub : unit) sub->fnumLimit = limit;
        break;
    }
    case 2: {
        if (registerMonitor) {
            registerMonitor->clear();
            registerMonitor->refresh(1);
        }
        const int64_t unit = PSaturateToInt64(std::trunc(value));
        monitoredUnit = unit >= 0 && unit < int64_t(kUnits) ? uint64_t(unit) : kNoUnit;
        if (monitoredUnit == kNoUnit || !registerMonitor) break;
        for (uint32_t port = 0; port < 2; ++port)
            for (uint32_t r = 0; r < 256; ++r)
                registerMonitor->registerValue(r, mirrors[monitoredUnit].get(port, uint8_t(r)),
                                               port);
        break;
    }
    default:
        break;
    }
}

void MD_ctrl::captureChannel(uint64_t channel, PatchRecord& record) {
    if (channel >= 6) return;
    const OPN2_shadow& m = mirrors[kMediaUnit];
    const uint64_t port = channel < 3 ? 0 : 1;
    const uint8_t offset = uint8_t(channel % 3);
    std::array<uint8_t, 256> image{};
    for (int r = 0; r + offset < 256; ++r) image[r] = m.get(port, uint8_t(r + offset));
    patchFromRegisters(record, image);
    console::ConsoleShadow& master = masterShadow();
    master.lfoRate = m.get(0, 0x22) & 7;

    const uint8_t mode = m.get(0, 0x27);
    if (channel != 2 || mode < 64) return;
    // Channel 3 in its special mode: each operator's pitch as an offset from
    // the channel's own (timer A's in CSM mode), in semitones and cents.
    Ch3Settings& ch3 = master.ch3;
    ch3.mode = (mode >> 6) == 2 ? 2 : 1;
    static constexpr uint8_t kHigh[4] = {0xAD, 0xAE, 0xAC, 0xA6};
    static constexpr uint8_t kLow[4] = {0xA9, 0xAA, 0xA8, 0xA2};
    double reference = shiftedFnumber(m.get(0, 0xA6), m.get(0, 0xA2));
    if (ch3.mode == 2) {
        const int32_t timer = (m.get(0, 0x24) << 2) | (m.get(0, 0x25) & 3);
        reference = 2097152.0 / double(1024 - timer);
    }
    for (int k = 0; k < 4; ++k) {
        const double x = shiftedFnumber(m.get(0, kHigh[k]), m.get(0, kLow[k]));
        int32_t cents = 0;
        // A silent operator (F-number 0) has no pitch to compare.
        if (x > 0.0 && reference > 0.0)
            cents = int32_t(std::lround(1200.0 * std::log2(x / reference)));
        ch3.coarse[k] = std::clamp(cents / 100, -120, 120);
        ch3.fine[k] = cents % 100;
        ch3.fixed[k] = 0;
    }
}

bool MD_ctrl::runCommand(uint32_t id, double value) {
    const bool nonZero = value != 0.0;
    if (id <= 15) {
        if (!nonZero) return false;
        PatchRecord* record = instrumentRecord(id);
        if (!record) return false;
        randomizePatch(*record);
        applyPatch(int32_t(id));
        return true;
    }
    if (id <= 27) {
        if (!nonZero) return false;
        captureChannel((id - 16) % 6, *instrumentRecord((id - 16) / 6));
        applyPatch(-1);
        return true;
    }
    const int64_t source = PSaturateToInt64(std::round(value));
    if (id <= 41) {
        const int32_t target = int32_t(id - 26);
        PatchRecord* record = instrumentRecord(target);
        if (!record) return false;
        if (source >= 0 && source < int64_t(kInstruments)) {
            const PatchRecord* from = instrumentRecord(source);
            if (!from) return false;
            copyPatch(*record, *from);
        } else if (source >= 16 && source < 22) {
            captureChannel(uint64_t(source - 16), *record);
        } else {
            return false;
        }
        applyPatch(target);
        return true;
    }
    if (id <= 55) {
        const PatchRecord* from = instrumentRecord(int32_t(id - 40));
        if (!from || source < 0 || source >= int64_t(kInstruments)) return false;
        PatchRecord* to = instrumentRecord(source);
        if (!to) return false;
        copyPatch(*to, *from);
        applyPatch(int32_t(source));
        return true;
    }
    if (id <= 61) {
        if (!nonZero) return false;
        PatchRecord* record = instrumentRecord(int32_t(id - 54));
        if (!record) return false;
        captureChannel(id - 56, *record);
        applyPatch(int32_t(id - 54));
        return true;
    }
    if (id == 62) {
        if (!nonZero) return false;
        for (uint32_t c = 0; c < 6; ++c) {
            PatchRecord* record = instrumentRecord(int32_t(c + 2));
            if (!record) return false;
            captureChannel(c, *record);
            applyPatch(int32_t(c + 2));
        }
        return true;
    }
    return false;
}

void MD_ctrl::command(uint32_t id, vantor::Mutex* mutex, double value) {
    CommandLock lock(mutex);
    if (std::isnan(value)) return;
    runCommand(id, value);
}

bool MD_ctrl::importPatch(int32_t instrument, vantor::VirtualFile* file) {
    bool ok = false;
    PatchRecord* record = instrumentRecord(instrument);
    if (record && file && file->isOpen()) {
        const std::string ext = lowerExtension(file->name);
        const int64_t size = file->getSize();
        std::vector<uint8_t> bytes;
        if (size > 0 && size <= kMaxPatchFileSize && file->seek(0)) {
            bytes.resize(size_t(size));
            if (file->read(bytes.data(), bytes.size()) != bytes.size()) bytes.clear();
        }
        // Every reader works on a copy: a file that is refused half way
        // leaves the instrument as it was.
        PatchRecord patch = *record;
        const size_t n = bytes.size();
        if (n == 0) {
            ok = false;
        } else if (ext == "opm") {
            ok = readOpmPatch(patch, reinterpret_cast<const char*>(bytes.data()), n, 0) == 1;
        } else if (ext == "tfi" && n == kTfiSize) {
            ok = readTfiPatch(patch, bytes.data(), n);
        } else if (ext == "y12" && n == kY12Size) {
            ok = decodePackedPatch(patch, bytes.data(), n);
        } else if (ext == "dmp" && (n == kDmpSize || n == kDmpOldSize)) {
            ok = readDmpPatch(patch, bytes.data(), n) == 1;
        } else if (ext == "morvanep" && instrument >= 2) {
            importXmlPatch(patch, std::string_view(reinterpret_cast<const char*>(bytes.data()), n));
            ok = true;
        }
        if (ok) *record = patch;
    }
    if (ok) {
        applyPatch(instrument);
        return true;
    }
    mediaActive = false;
    if (canvas) {
        if (units && kMediaUnit < units->size() && (*units)[kMediaUnit])
            (*units)[kMediaUnit]->reset();
        if (player) {
            player->detachStreamers(*this);
            player.reset();
        }
        showIdlePage();
    }
    return false;
}

bool MD_ctrl::exportPatch(int32_t instrument, const char* path) {
    if (!path || !*path) return false;
    const PatchRecord* record = instrumentRecord(instrument);
    if (!record) return false;
    std::string target = path;
    if (lowerExtension(target) != "tfi") target += ".tfi";
    std::vector<uint8_t> bytes;
    writeTfiPatch(*record, bytes);
    std::FILE* f = std::fopen(target.c_str(), "wb");
    if (!f) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && written;
}
