// Media intake: the register stream of a playing media file lands on console
// unit 6. The unit's chips stand in for the music's own hardware: the YM2612
// plays YM2612 tracks, the unit's YM2608 (emulator parameter 30) plays the
// OPN family's FM parts, its AY part (port 3) the SSG parts of the YM2203,
// YM2608 and YM2610 and AY tracks, and its PSG (port 2) SN76489 tracks. PCM
// streams reach the YM2612's DAC register, mixed when a track has several.
// The track's PCM data blocks are also copied into the host's sample record,
// so the voice units' DACs can play them as instrument samples.
//
// FM writes go through the unit-6 mirror, which instrument capture and the
// register monitor read; writes to the AY and PSG parts are not mirrored.
//
// Each part plays at the clock the track states for its chip while media
// plays, and at the unit's own clock once it stops: the FM chips by their
// sample rate (clock / 144, the YM2203's clock / 72), the SSG of the OPN
// family as an AY at its clock / 2 (YM2203) or / 4 (YM2608, YM2610).
//
// The unit has one set of each part: FM channels 1-3, FM channels 4-6 and
// one PSG output (its SN76489 or its AY). Chips are announced in ascending
// type order and each part goes to the first chip that needs it, at that
// chip's clock; a chip left without a part has its writes (and its resets)
// dropped, so they never land on another chip's registers. An FM chip gets
// all the FM channels it needs or none.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "emulators/ChipEmu.h"
#include "emulators/MD_Emu.h"
#include "instrument/MD_ctrl.h"
#include "vgm/MediaTrack.h"

namespace {

constexpr uint8_t kPsgSilence[4] = {0x9F, 0xBF, 0xDF, 0xFF};

// Media chip types handled here (the media readers' numbering).
enum : uint32_t {
    kSN76489 = 0,
    kYM2612 = 5,
    kYM2203 = 7,
    kYM2608 = 8,
    kYM2610 = 9,
    kYM2610B = 10,
    kYM2203b = 19, // the second YM2203 of a track
    kAY8910 = 31,
    kFirstStream = 84, // DAC streams 0-15
    kStreamCount = 16,
    kAllChips = 101,
};

// Emulator parameters of the media unit: PSG model and FM chip.
constexpr uint32_t kPsgTypeParameter = 15;
constexpr uint32_t kFmChipParameter = 30;

// Ports of the unit: FM banks 0 and 1, the PSG, the AY part.
constexpr uint64_t kPsgPort = 2;
constexpr uint64_t kAyPort = 3;

// The host sample record: see OPN2_DAC_sub.h for the layout.
constexpr uint64_t kSizeWord = 4;
constexpr uint64_t kTotalWord = 32;
constexpr uint64_t kRateWord = 36;
constexpr uint64_t kFormatWord = 44;
constexpr uint64_t kIndexTable = 64;
constexpr uint64_t kIndexTableSize = 640;
constexpr uint64_t kMarkers = 576;
constexpr uint64_t kSlots = 128;
constexpr uint8_t kRegionMarker = 5;
constexpr uint64_t kMaxSamples = 261792;

// The parts of the unit each chip type plays on.
uint8_t partsOf(uint32_t type) {
    switch (type) {
    case kSN76489:
    case kAY8910:
        return MD_ctrl::kPartPsg;
    case kYM2612:
        return MD_ctrl::kPartFmLow | MD_ctrl::kPartFmHigh;
    case kYM2203:
        return MD_ctrl::kPartFmLow | MD_ctrl::kPartPsg;
    case kYM2203b:
        return MD_ctrl::kPartFmHigh | MD_ctrl::kPartPsg;
    case kYM2608:
    case kYM2610:
    case kYM2610B:
        return MD_ctrl::kPartFmLow | MD_ctrl::kPartFmHigh | MD_ctrl::kPartPsg;
    default:
        return 0;
    }
}

constexpr uint8_t kFmParts = MD_ctrl::kPartFmLow | MD_ctrl::kPartFmHigh;

// Index of a part in the owner table.
uint32_t partSlot(uint8_t part) {
    return part == MD_ctrl::kPartFmLow ? 0 : part == MD_ctrl::kPartFmHigh ? 1 : 2;
}

bool isStream(uint32_t type) {
    return type >= kFirstStream && type < kFirstStream + kStreamCount;
}

void putU32(uint8_t* record, uint64_t offset, uint32_t v) {
    std::memcpy(record + offset, &v, 4);
}

// A block whose samples are its stored bytes, unsigned 8-bit (YM2612 PCM).
bool isByteBlock(const VGM::DataBlock& b) {
    return b.type == 0 && !b.bytes.empty() && b.bytes.size() == b.samples.size();
}

} // namespace

void MD_ctrl::mediaFmOff(uint8_t parts) {
    for (uint8_t ch : {0, 1, 2, 4, 5, 6})
        if (parts & (ch < 4 ? kPartFmLow : kPartFmHigh)) sendRegister(kMediaUnit, 0x28, ch, 0);
    if (parts & kPartFmLow)
        sendRegister(kMediaUnit, 0x27, mirrors[kMediaUnit].get(0, 0x27) & 0xFE, 0);
}

// The YM2203 has no pan registers and its songs write none: the channels
// that play it sound on both outputs from the start.
void MD_ctrl::mediaPansOn(uint64_t bank) {
    for (uint8_t reg : {0xB4, 0xB5, 0xB6}) sendRegister(kMediaUnit, reg, 0xC0, bank);
}

bool MD_ctrl::mediaWrites(uint32_t type, MediaPart part) const {
    const uint32_t owner = mediaPartOwner[partSlot(part)];
    return owner == kNoOwner || owner == type;
}

void MD_ctrl::mediaChipReset(uint32_t chipType) {
    if (chipType == kAllChips ||
        (chipType == kSN76489 && mediaWrites(chipType, kPartPsg)))
        for (uint8_t b : kPsgSilence) sendRegister(kMediaUnit, 0, b, kPsgPort);
    if (chipType == kSN76489) return;
    // A chip silences only the FM channels it may write.
    uint8_t parts = 0;
    for (MediaPart part : {kPartFmLow, kPartFmHigh})
        if (chipType == kAllChips || mediaWrites(chipType, part)) parts |= part;
    if (parts) mediaFmOff(parts);
}

void MD_ctrl::mediaChipSetup(uint32_t chipType, uint32_t variant, int64_t /*commandRate*/) {
    mediaActive = true;
    ChipEmu* unit = units && kMediaUnit < units->size() ? (*units)[kMediaUnit] : nullptr;
    // The parts this chip gets: those nobody holds (FM channels all or none).
    const uint8_t wanted = partsOf(chipType);
    uint8_t got = 0;
    for (MediaPart part : {kPartFmLow, kPartFmHigh, kPartPsg})
        if ((wanted & part) && mediaWrites(chipType, part)) got |= part;
    if ((got & kFmParts) != (wanted & kFmParts)) got &= uint8_t(~kFmParts);
    for (MediaPart part : {kPartFmLow, kPartFmHigh, kPartPsg})
        if (got & part) mediaPartOwner[partSlot(part)] = chipType;
    if (chipType < mediaPartsWanted.size()) {
        mediaPartsWanted[chipType] = wanted;
        mediaPartsGot[chipType] = got;
    }
    // Only the parts the chip got are set up for it.
    auto set = [unit, got](uint32_t p, float v) {
        const uint8_t part = p == kFmChipParameter ? kFmParts : uint8_t(kPartPsg);
        if (unit && (got & part)) unit->setParameter(p, v);
    };
    switch (chipType) {
    case kSN76489:
        set(kPsgTypeParameter, variant == 2 ? 1.0f : 0.0f);
        break;
    case kYM2612:
        set(kFmChipParameter, 0.0f);
        break;
    case kYM2203:
        set(kPsgTypeParameter, 4.0f);
        set(kFmChipParameter, 1.0f);
        if (got & kPartFmLow) mediaPansOn(0);
        break;
    case kYM2203b:
        set(kPsgTypeParameter, 4.0f);
        if (got & kPartFmHigh) mediaPansOn(1);
        break;
    case kYM2608:
    case kYM2610:
    case kYM2610B:
        set(kFmChipParameter, 1.0f);
        set(kPsgTypeParameter, 4.0f);
        break;
    case kAY8910:
        set(kPsgTypeParameter, 4.0f);
        break;
    default:
        if (isStream(chipType))
            mediaStreamCount = std::max<uint64_t>(mediaStreamCount, chipType - kFirstStream + 1);
        break;
    }
}

void MD_ctrl::mediaActiveOn() {
    mediaActive = true;
    clockMediaUnit(true);
}

void MD_ctrl::mediaActiveOff() {
    mediaActive = false;
    clockMediaUnit(false);
}

void MD_ctrl::mediaTrackSelected(uint32_t /*trackIndex*/) {
    mediaClocks = {};
    mediaPartOwner.fill(kNoOwner);
    mediaPartsWanted.fill(0);
    mediaPartsGot.fill(0);
}

void MD_ctrl::mediaChipClock(uint32_t chipType, uint32_t clockHz) {
    const double clock = clockHz;
    // A part runs at the clock of the chip that holds it.
    const bool fm = mediaWrites(chipType, kPartFmLow) && mediaWrites(chipType, kPartFmHigh);
    const bool psg = mediaWrites(chipType, kPartPsg);
    switch (chipType) {
    case kSN76489:
        if (psg) mediaClocks.psg = clock;
        break;
    case kYM2612:
        if (fm) mediaClocks.fmRate = clock / 144.0;
        break;
    case kYM2203:
    case kYM2203b:
        // The second YM2203 shares the first one's FM rate: a clock of its
        // own leaves it without FM channels.
        if (chipType == kYM2203b && mediaPartOwner[0] == kYM2203 && mediaClocks.fmRate > 0.0 &&
            clock / 72.0 != mediaClocks.fmRate && mediaPartOwner[1] == kYM2203b) {
            mediaPartOwner[1] = kWithheld;
            mediaPartsGot[kYM2203b] &= uint8_t(~kPartFmHigh);
        } else if (mediaWrites(chipType, chipType == kYM2203 ? kPartFmLow : kPartFmHigh)) {
            mediaClocks.fmRate = clock / 72.0;
        }
        if (psg) mediaClocks.ay = clock / 2.0;
        break;
    case kYM2608:
    case kYM2610:
    case kYM2610B:
        if (fm) mediaClocks.fmRate = clock / 144.0;
        if (psg) mediaClocks.ay = clock / 4.0;
        break;
    case kAY8910:
        if (psg) mediaClocks.ay = clock;
        break;
    default:
        return;
    }
    mediaActiveOn();
}

std::string MD_ctrl::mediaUnplayed(const VGM::MediaTrack& track) const {
    std::string text;
    auto nameOf = [&track](uint32_t type) {
        const auto it = track.chips.find(type);
        std::string name = it == track.chips.end() || it->second.name.empty()
                               ? "chip " + std::to_string(type)
                               : it->second.name;
        // The second of a pair of chips.
        if (type == kYM2203b) name = "second " + name;
        return name;
    };
    for (const auto& [type, record] : track.chips) {
        if (isStream(type)) continue;
        const uint8_t wanted = type < mediaPartsWanted.size() ? mediaPartsWanted[type] : 0;
        const uint8_t got = type < mediaPartsGot.size() ? mediaPartsGot[type] : 0;
        if (wanted != 0 && got == wanted) continue;
        std::string what;
        if (wanted == 0) {
            what = nameOf(type) + " (the media unit has no part for it)";
        } else {
            // The part it missed and who holds it.
            const uint8_t missing = uint8_t(wanted & ~got);
            const bool psgMissing = (missing & kPartPsg) != 0;
            const bool fmMissing = (missing & kFmParts) != 0;
            const uint32_t holder =
                mediaPartOwner[partSlot(psgMissing && !fmMissing ? kPartPsg
                                        : (missing & kPartFmLow) ? kPartFmLow
                                                                 : kPartFmHigh)];
            const bool whole = got == 0;
            const bool ssg = (wanted & kFmParts) != 0; // the PSG output plays its SSG
            what = nameOf(type);
            if (!whole) what += psgMissing ? (ssg ? "'s SSG" : "") : "'s FM";
            if (holder < 256)
                what += " (its part plays the " + nameOf(holder) + ")";
            else
                what += " (its clock differs from the first chip's)";
        }
        text += (text.empty() ? "" : "; ") + what;
    }
    return text;
}

void MD_ctrl::clockMediaUnit(bool track) {
    ChipEmu* unit = units && kMediaUnit < units->size() ? (*units)[kMediaUnit] : nullptr;
    if (!unit) return;
    // The nominal frame rate of the clock choice; the tuning's detune is left
    // on top of it, as for the voices.
    const ChipInfo* info = unit->getInfo();
    double frames = rate;
    if (info && clockIndex < info->clocks.size() && info->clockDivisor > 0)
        frames = info->clocks[clockIndex] / double(info->clockDivisor);
    const double own[3] = {frames / (clockIndex == 3 ? 9.0 : 21.0),
                           frames * 16.0 / double(MD_Emu::kPsgFactor),
                           frames * 8.0 / double(MD_Emu::kAyPeriodScale)};
    const double wanted[3] = {mediaClocks.fmRate, mediaClocks.psg, mediaClocks.ay};
    for (uint32_t k = 0; k < 3; ++k) {
        const double ratio = track && wanted[k] > 0.0 && own[k] > 0.0 ? wanted[k] / own[k] : 1.0;
        unit->setParameter(MD_Emu::kFmClockRatio + k, float(ratio));
    }
}

void MD_ctrl::mediaRegisterWrite(uint32_t chipType, uint64_t /*delta*/, uint32_t port,
                                 uint32_t reg32, uint32_t value32) {
    mediaActive = true;
    if (reg32 > 0xFF) return; // wider registers belong to chips the unit does not have
    const uint8_t reg = uint8_t(reg32);
    uint8_t value = uint8_t(value32);
    // The DAC registers of the unit's YM2612 are not the other chips' to touch.
    const bool dacRegister = reg >= 0x2A && reg <= 0x2C;
    // Pan bits on for chips whose channels have none (both outputs on).
    const bool panRegister = reg >= 0xB4 && reg <= 0xB6;
    // Writes to a part another chip holds are dropped.
    const bool fm = mediaWrites(chipType, kPartFmLow) && mediaWrites(chipType, kPartFmHigh);
    const bool psg = mediaWrites(chipType, kPartPsg);
    switch (chipType) {
    case kSN76489:
        if (psg) writeRegister(kMediaUnit, reg, value, kPsgPort);
        break;
    case kYM2612:
        if (fm) writeRegister(kMediaUnit, reg, value, port & 1);
        break;
    case kYM2203:
        if (dacRegister) break;
        if (panRegister) value |= 0xC0;
        if (reg < 0x10) {
            if (psg) writeRegister(kMediaUnit, reg, value, kAyPort);
        } else if (mediaWrites(chipType, kPartFmLow)) {
            writeRegister(kMediaUnit, reg, value, 0);
        }
        break;
    case kYM2608:
    case kYM2610:
    case kYM2610B: {
        if (dacRegister) break;
        const uint64_t bank = port & 1;
        // Port 0 below 0x10 is the SSG part; port 1 below 0x10 is ADPCM.
        if (bank == 0 && reg < 0x10) {
            if (psg) writeRegister(kMediaUnit, reg, value, kAyPort);
            break;
        }
        if (!fm) break;
        // The YM2610's ADPCM units (port 0 0x10-0x1F, port 1 below 0x30)
        // have no counterpart here; on the unit's YM2608 port 0 0x10-0x1F
        // would fire the rhythm drums.
        if (chipType != kYM2608 && ((bank == 0 && reg < 0x20) || (bank == 1 && reg < 0x30))) break;
        writeRegister(kMediaUnit, reg, value, bank);
        break;
    }
    case kYM2203b:
        if (dacRegister) break;
        if (panRegister) value |= 0xC0;
        if (reg < 0x10) {
            // Its SSG: on the AY when it holds the PSG output, else nowhere
            // (port 1 there is the YM2608's ADPCM).
            if (psg) writeRegister(kMediaUnit, reg, value, kAyPort);
        } else if (!mediaWrites(chipType, kPartFmHigh)) {
            break;
        } else if (reg == 0x28) {
            // Its channels 1-3 play on channels 4-6.
            if ((value & 7) < 3) value += 4;
            writeRegister(kMediaUnit, reg, value, 0);
        } else {
            writeRegister(kMediaUnit, reg, value, 1);
        }
        break;
    case kAY8910:
        if (psg) writeRegister(kMediaUnit, reg, value, kAyPort);
        break;
    default:
        break;
    }
}

void MD_ctrl::mediaDacWrite(uint32_t chipType, uint8_t channel, int16_t left, int16_t right) {
    mediaActive = true;
    if (channel != 2 && channel != 6) {
        ChipEmu* unit = units && kMediaUnit < units->size() ? (*units)[kMediaUnit] : nullptr;
        if (unit) unit->setOutputOffset(channel, left, right);
        return;
    }
    uint8_t out = 0x80;
    if (mediaStreamCount == 1) {
        out = uint8_t(left & 0xFF);
    } else if (mediaStreamCount > 1) {
        if (isStream(chipType)) mediaDacBytes[chipType - kFirstStream] = uint8_t(left & 0xFF);
        int32_t sum = 0;
        const uint64_t n = std::min<uint64_t>(mediaStreamCount, kStreamCount);
        for (uint64_t i = 0; i < n; ++i) sum += int32_t(mediaDacBytes[i]) - 128;
        out = sum < -127 ? 0 : sum > 127 ? 255 : uint8_t(sum + 128);
    }
    sendRegister(kMediaUnit, 0x2A, out, 0);
}

void MD_ctrl::mediaDataBlock(const std::vector<VGM::DataBlock>* blocks) {
    if (!blocks || blocks->empty() || dataBlocks.empty() || dataBlocks.begin()->first != 0) return;
    uint8_t* record = dataBlocks.begin()->second.record;
    const uint64_t size = dataBlocks.begin()->second.size;
    // A record without room for its index table is left alone.
    if (!record || size < OPN2_DAC_sub::kHeaderSize) return;

    std::memset(record + kIndexTable, 0, kIndexTableSize);
    const uint64_t room =
        std::min<uint64_t>(kMaxSamples, (size - OPN2_DAC_sub::kHeaderSize) / sizeof(int16_t));
    uint8_t* samples = record + OPN2_DAC_sub::kHeaderSize;
    auto mark = [record](uint64_t slot, uint64_t start) {
        putU32(record, kIndexTable + 4 * slot, uint32_t(start));
        record[kMarkers + slot] = kRegionMarker;
    };

    const VGM::DataBlock& first = blocks->front();
    const bool regionMap = blocks->size() == 1 && !first.seekOffsets.empty();
    if (regionMap) {
        uint64_t slot = 0;
        for (uint32_t start : first.seekOffsets) {
            if (slot == kSlots) break;
            mark(slot++, start);
        }
    }
    uint64_t count = 0;
    uint64_t slot = 0;
    for (const VGM::DataBlock& b : *blocks) {
        if (count == room) break;
        if (!regionMap && slot < kSlots) mark(slot++, count);
        const bool bytes = isByteBlock(b);
        const uint64_t n =
            std::min<uint64_t>(room - count, bytes ? b.bytes.size() : b.samples.size());
        for (uint64_t i = 0; i < n; ++i) {
            const uint16_t s =
                bytes ? uint16_t((uint16_t(b.bytes[i]) << 8) ^ 0x8000) : uint16_t(b.samples[i]);
            std::memcpy(samples + 2 * (count + i), &s, 2);
        }
        count += n;
    }

    putU32(record, kTotalWord, uint32_t(count));
    putU32(record, kFormatWord, 2);
    putU32(record, kSizeWord,
           count ? uint32_t(count * 2 + OPN2_DAC_sub::kHeaderSize) : uint32_t(kTotalWord));
    const long rate = std::lround(double(first.nominalRate));
    putU32(record, kRateWord, rate > 0 ? uint32_t(rate) : OPN2_DAC_sub::kDefaultRate);

    receiveDataBlock(record, size, 0);
    if (listener) listener->notifyPacked(record, 1, 0);
}
