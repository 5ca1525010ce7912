// VGM data blocks (0x67 0x66 tt ssssssss data): PCM banks, compressed
// stream data, ROM dumps and RAM writes, each stored as one record of the
// track's data-block list with the samples the DAC streamer plays. Every
// length inside a block (ROM header, RAM address, compression header, bit
// counts, table indices) is checked against the block's own bytes.

#include "vgm/VgmParser.h"

#include "vgm/MediaFile.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace VGM {

namespace {

uint32_t le32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Reads `bits` (at most 16) at a time, most significant bit first; past the
// data it reads zeros. Whole bytes are taken into a 64-bit store ahead.
class BitReader {
public:
    BitReader(const uint8_t* p, uint64_t n) : p(p), n(n) {}
    uint32_t take(unsigned bits) {
        if (held < bits) {
            for (; held <= 56; held += 8) store = (store << 8) | (next < n ? p[next++] : 0);
        }
        held -= bits;
        return static_cast<uint32_t>(store >> held) & ((1u << bits) - 1);
    }

private:
    const uint8_t* p;
    uint64_t n;
    uint64_t next = 0;  // the next byte to take
    uint64_t store = 0; // the bits taken, the unread ones lowest
    unsigned held = 0;  // bits of `store` not read yet
};

// 8-bit PCM made signed around zero, with a default gain that brings the
// peak to full scale.
bool storeCentred(DataBlock& b, bool signMagnitude, MediaBudget& budget) {
    if (!budget.makeRoom(b.samples, b.bytes.size())) return false;
    int peak = 0;
    b.samples.resize(b.bytes.size());
    for (size_t i = 0; i < b.bytes.size(); ++i) {
        const uint8_t v = b.bytes[i];
        const int s = signMagnitude ? ((v & 0x80) ? (v & 0x7F) : -(v & 0x7F)) : v - 0x80;
        b.samples[i] = static_cast<int16_t>(s);
        peak = std::max(peak, std::abs(s));
    }
    b.defaultGain = static_cast<uint16_t>(peak ? 32768 / peak : 1);
    b.nominalRate = 22472.0f;
    return true;
}

// NES delta modulation: each bit moves a 7-bit counter up or down by 2.
bool storeDeltaModulation(DataBlock& b, MediaBudget& budget) {
    if (!budget.makeRoom(b.samples, b.bytes.size() * 8)) return false;
    const size_t first = b.samples.size();
    b.samples.resize(first + b.bytes.size() * 8);
    int16_t* out = b.samples.data() + first;
    int counter = 64;
    for (uint8_t byte : b.bytes) {
        for (int bit = 0; bit < 8; ++bit) {
            if ((byte >> bit) & 1) {
                if (counter <= 125) counter += 2;
            } else if (counter >= 2) {
                counter -= 2;
            }
            *out++ = static_cast<int16_t>((counter - 64) << 8);
        }
    }
    b.nominalRate = 33143.9f;
    return true;
}

// OKI ADPCM (4-bit, high nibble first) from a fresh decoder state.
void decodeOkiAdpcm(const uint8_t* p, uint32_t nibbles, int16_t* out) {
    static constexpr int16_t kStep[49] = {
        16,  17,  19,  21,  23,  25,  28,  31,  34,  37,  41,   45,   50,   55,   60,  66,  73,
        80,  88,  97,  107, 118, 130, 143, 157, 173, 190, 209,  230,  253,  279,  307, 337, 371,
        408, 449, 494, 544, 598, 658, 724, 796, 876, 963, 1060, 1166, 1282, 1411, 1552};
    static constexpr int kIndexShift[8] = {-1, -1, -1, -1, 2, 4, 6, 8};
    int signal = 0, index = 0;
    for (uint32_t i = 0; i < nibbles; ++i) {
        const int nibble = (i & 1) ? p[i >> 1] & 0x0F : p[i >> 1] >> 4;
        const int step = kStep[index];
        int diff = step >> 3;
        if (nibble & 1) diff += step >> 2;
        if (nibble & 2) diff += step >> 1;
        if (nibble & 4) diff += step;
        signal = std::clamp((nibble & 8) ? signal - diff : signal + diff, -2048, 2047);
        index = std::clamp(index + kIndexShift[nibble & 7], 0, 48);
        out[i] = static_cast<int16_t>(signal * 16);
    }
}

} // namespace

// 0x67 0x66 tt ssssssss: bit 31 of the size marks the second chip's data.
bool VgmParser::dataBlock() {
    if (u8() != 0x66) {
        vgm.appendLog("data block not at end\n");
        return false;
    }
    const uint8_t type = u8();
    const uint32_t sizeWord = u32();
    const uint64_t n = sizeWord & 0x7FFFFFFF;
    if (pos > size || n > size - pos) {
        vgm.appendLog("data block busting protection\n");
        return false;
    }
    const uint8_t* p = data + pos;
    pos += n;
    return storeBlock(type, (sizeWord >> 31) & 1, p, n);
}

// Every list a block fills, decoded samples and the YM2612 bank copy
// included, grows through the collection's budget: a file cannot make its
// blocks cost more in total than the budget allows, however they multiply.
bool VgmParser::storeBlock(uint8_t type, uint8_t chip, const uint8_t* p, uint64_t n) {
    MediaBudget& budget = vgm.budget();
    if (!budget.makeRoom(track.dataBlocks, 1)) return false;
    track.dataBlocks.emplace_back();
    DataBlock* b = &track.dataBlocks.back();
    b->type = type;
    b->chip = chip;
    b->size = static_cast<uint32_t>(n);
    bool compressed = false;
    if (type >= 0x80 && type <= 0xBF) {
        if (n < 8) {
            vgm.appendLog("ROM data block shorter than its header\n");
            return false;
        }
        b->size = le32(p);
        b->startOffset = le32(p + 4);
        char line[96];
        std::snprintf(line, sizeof line, "ROM size %08X offset %08X Size %08X, type %d\n", b->size,
                      b->startOffset, static_cast<uint32_t>(n - 8), type);
        vgm.appendLog(line);
        p += 8;
        n -= 8;
    } else if (type >= 0x40 && type <= 0x7E) {
        uint32_t bits = 0;
        if (!decompress(p, n, b->samples, bits)) return false;
        compressed = true;
        type &= 0x3F;
        b->type = type;
        if (bits <= 8) {
            if (!budget.makeRoom(b->bytes, b->samples.size())) return false;
            b->bytes.resize(b->samples.size());
            std::transform(b->samples.begin(), b->samples.end(), b->bytes.begin(),
                           [](int16_t s) { return static_cast<uint8_t>(s); });
        }
    } else if (type >= 0xC0 && type <= 0xDF) {
        if (n < 2) {
            vgm.appendLog("RAM data block shorter than its address\n");
            return false;
        }
        b->startOffset = p[0] | (p[1] << 8);
        p += 2;
        n -= 2;
        b->size = static_cast<uint32_t>(n);
    } else if (type >= 0xE0) {
        if (n < 4) {
            vgm.appendLog("RAM data block shorter than its address\n");
            return false;
        }
        b->startOffset = le32(p);
        p += 4;
        n -= 4;
        b->size = static_cast<uint32_t>(n);
    } else if (type == 0x7F) {
        return storeTable(p, n);
    }

    auto keepBytes = [&] {
        if (compressed) return true;
        if (!budget.makeRoom(b->bytes, n)) return false;
        b->bytes.assign(p, p + n);
        return true;
    };
    switch (type) {
    case 0x00: // YM2612 PCM: unsigned 8-bit, played through the DAC register
        if (compressed) {
            b->nominalRate = 22472.0f;
        } else {
            if (!keepBytes() || !budget.makeRoom(b->samples, n)) return false;
            b->samples.assign(b->bytes.begin(), b->bytes.end());
            b->nominalRate = 15734.0f;
        }
        if (!budget.makeRoom(vgm.ym2612PcmBank(), b->bytes.size())) return false;
        vgm.ym2612PcmBank().insert(vgm.ym2612PcmBank().end(), b->bytes.begin(), b->bytes.end());
        break;
    case 0x01: // RF5C68 and RF5C164: sign and magnitude
    case 0x02:
        if (!compressed && !(keepBytes() && storeCentred(*b, true, budget))) return false;
        break;
    case 0x03: // 32X PWM, HuC6280, SCSP: unsigned 8-bit
    case 0x05:
    case 0x06:
        if (!compressed && !(keepBytes() && storeCentred(*b, false, budget))) return false;
        break;
    case 0x04: // OKIM6258 ADPCM: kept as stored
    case 0x82: // YM2610 ADPCM-A and delta-T ROMs
    case 0x83:
    case 0x8A: // uPD7759 ROM
        if (!keepBytes()) return false;
        break;
    case 0x07: // NES APU delta modulation samples
    case 0xC2:
        if (!keepBytes() || (!compressed && !storeDeltaModulation(*b, budget))) return false;
        if (type == 0xC2 && writable[kChipNESAPU]) {
            // The sample address register counts 64-byte steps from 0xC000.
            const uint32_t address = b->startOffset >= 0xC000 ? b->startOffset - 0xC000 : 0;
            write(kChipNESAPU, 0x19, static_cast<uint8_t>(address >> 6));
        }
        break;
    case 0x80: { // SegaPCM ROM: unsigned 8-bit
        if (!keepBytes() || !budget.makeRoom(b->samples, b->bytes.size())) return false;
        b->samples.resize(b->bytes.size());
        for (size_t i = 0; i < b->bytes.size(); ++i)
            b->samples[i] = static_cast<int16_t>(b->bytes[i] - 0x80);
        b->nominalRate = segaPcmClock / 128.0f;
        break;
    }
    case 0x8B: { // OKIM6295 ROM: phrase table at address 0, ADPCM phrases
        if (!keepBytes() || !budget.makeRoom(b->samples, b->bytes.size() * 2)) return false;
        b->samples.assign(b->bytes.size() * 2, 0);
        const double divider = (okiClock & 0x80000000u) ? 132.0 : 165.0;
        b->nominalRate = static_cast<float>((okiClock & 0x3FFFFFFF) / divider);
        b->sampleCount = static_cast<uint32_t>(b->samples.size());
        rebuildOkiPhrases(chip);
        break;
    }
    default: // not kept
        break;
    }
    b = &track.dataBlocks.back();
    b->sampleCount = static_cast<uint32_t>(b->samples.size());
    return true;
}

// 0x7F: method, sub-type, bits decompressed, bits compressed, value count, values.
bool VgmParser::storeTable(const uint8_t* p, uint64_t n) {
    if (n < 7) {
        vgm.appendLog("decompression table too short\n");
        return false;
    }
    const uint32_t count = p[4] | (p[5] << 8);
    const uint32_t width = (p[2] + 7u) / 8u;
    if (width < 1 || width > 2 || static_cast<uint64_t>(count) * width > n - 6) {
        vgm.appendLog("decompression table shorter than it claims\n");
        return false;
    }
    table.present = true;
    table.method = p[0];
    table.subType = p[1];
    table.bitsDecompressed = p[2];
    table.bitsCompressed = p[3];
    table.values.resize(count);
    for (uint32_t i = 0; i < count; ++i)
        table.values[i] =
            width == 1 ? p[6 + i] : static_cast<uint16_t>(p[6 + 2 * i] | (p[7 + 2 * i] << 8));
    return true;
}

// Compressed stream data: method (0 bit packing, 1 DPCM), u32 unpacked size,
// bits decompressed, bits compressed, sub-type, u16 add value, packed bits.
bool VgmParser::decompress(const uint8_t* p, uint64_t n, SampleList& out,
                           uint32_t& bits) {
    if (n < 10) {
        vgm.appendLog("compressed data block shorter than its header\n");
        return false;
    }
    const uint8_t method = p[0];
    const uint32_t unpacked = le32(p + 1);
    const unsigned bitsDec = p[5], bitsComp = p[6], subType = p[7];
    const uint16_t add = static_cast<uint16_t>(p[8] | (p[9] << 8));
    bits = bitsDec;
    if (bitsComp == 0) return true; // nothing packed
    if (bitsDec == 0 || bitsDec > 16 || bitsComp > 16 || method > 1) {
        vgm.appendLog("compressed data block with a bad header\n");
        return false;
    }
    const uint64_t count = unpacked / ((bitsDec + 7) / 8);
    const uint64_t available = (n - 10) * 8;
    if (count * bitsComp > available) {
        vgm.appendLog("compressed data block runs past its data\n");
        return false;
    }
    // One bit per sample could decode a block to sixteen times its size.
    if (count * 2 > kMaxMediaBytes) {
        vgm.appendLog(tooLargeLine("VGM", "a compressed data block decoded", count * 2));
        return false;
    }
    const bool useTable = method == 1 || subType == 2;
    if (useTable && (!table.present || table.method != method ||
                     table.bitsDecompressed != bitsDec || table.bitsCompressed != bitsComp)) {
        vgm.appendLog("compressed data block without a matching table\n");
        return false;
    }
    if (method == 0 && subType > 2) {
        vgm.appendLog("compressed data block with a bad header\n");
        return false;
    }
    if (!vgm.budget().makeRoom(out, count)) return false;
    BitReader in(p + 10, n - 10);
    out.resize(static_cast<size_t>(count));
    uint16_t value = add; // DPCM starts from the add value
    for (uint64_t i = 0; i < count; ++i) {
        const uint32_t code = in.take(bitsComp);
        if (useTable && code >= table.values.size()) {
            vgm.appendLog("compressed data block indexes past its table\n");
            out.clear(); // its room holds unset samples past this one
            return false;
        }
        if (method == 1)
            value = static_cast<uint16_t>(value + table.values[code]);
        else if (subType == 0)
            value = static_cast<uint16_t>(code + add);
        else if (subType == 1)
            value = static_cast<uint16_t>((code << (bitsDec > bitsComp ? bitsDec - bitsComp : 0)) +
                                          add);
        else
            value = table.values[code];
        out[i] = static_cast<int16_t>(value);
    }
    return true;
}

// The OKIM6295 phrase table: 128 entries of 8 bytes at ROM address 0, each an
// 18-bit start and end byte address. Each phrase is decoded where it lies, in
// whichever ROM block of the chip holds it; the data bank of its stream is
// that block's index.
void VgmParser::rebuildOkiPhrases(uint8_t chip) {
    // Real songs load one table and a few ROM blocks; this much work is only
    // reached by a file that sends new tables over and over.
    constexpr uint64_t kMaxOkiWork = 1ull << 26;
    auto& blocks = track.dataBlocks;
    auto spent = [&] {
        if (okiWork <= kMaxOkiWork) return false;
        if (!okiWorkSpent)
            vgm.appendLog("VGM: the OKIM6295 phrase tables change too often to decode; later "
                          "tables are ignored\n");
        okiWorkSpent = true;
        return true;
    };
    if (spent()) return;
    okiWork += blocks.size();
    const DataBlock* tableBlock = nullptr;
    for (const DataBlock& b : blocks)
        if (b.type == 0x8B && b.chip == chip && b.startOffset == 0 && b.bytes.size() >= 0x400)
            tableBlock = &b;
    if (!tableBlock) return;
    const uint8_t* t = tableBlock->bytes.data();
    for (uint32_t phrase = 1; phrase < 128; ++phrase) {
        const uint8_t* e = t + phrase * 8;
        const uint32_t start = ((e[0] & 3) << 16) | (e[1] << 8) | e[2];
        const uint32_t end = ((e[3] & 3) << 16) | (e[4] << 8) | e[5];
        OkiPhrase& entry = okiPhrases[chip][phrase];
        if (end < start || (entry.length && entry.romStart == start && entry.romEnd == end))
            continue;
        if (spent()) return;
        okiWork += blocks.size();
        for (size_t i = 0; i < blocks.size(); ++i) {
            DataBlock& b = blocks[i];
            if (b.type != 0x8B || b.chip != chip || start < b.startOffset ||
                end - b.startOffset >= b.bytes.size())
                continue;
            const uint32_t first = start - b.startOffset;
            const uint32_t nibbles = (end - start + 1) * 2;
            okiWork += nibbles;
            decodeOkiAdpcm(b.bytes.data() + first, nibbles, b.samples.data() + first * 2);
            entry = {static_cast<uint32_t>(i), first * 2, nibbles, start, end};
            break;
        }
    }
}

} // namespace VGM
