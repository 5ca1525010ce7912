#include "vgm/support/YmFixtures.h"

#include <cstdlib>

namespace vgmtest {

namespace {

void put32be(Bytes& b, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) b.push_back(static_cast<uint8_t>(v >> s));
}

void put16be(Bytes& b, uint16_t v) {
    b.push_back(static_cast<uint8_t>(v >> 8));
    b.push_back(static_cast<uint8_t>(v));
}

void put32le(Bytes& b, uint32_t v) {
    for (int s = 0; s < 32; s += 8) b.push_back(static_cast<uint8_t>(v >> s));
}

void putText(Bytes& b, const std::string& s) {
    b.insert(b.end(), s.begin(), s.end());
    b.push_back(0);
}

} // namespace

uint8_t ymValue(uint32_t frame, int reg) {
    if (reg == 13) return frame % 4 == 0 ? static_cast<uint8_t>(frame & 0x0F) : 0xFF;
    return static_cast<uint8_t>(frame * 3 + reg * 17 + 1);
}

Bytes ymBytes(const YmSong& song) {
    Bytes b(song.tag.begin(), song.tag.end());
    const bool old = song.tag == "YM2!" || song.tag == "YM3!" || song.tag == "YM3b";
    const int stride = old ? 14 : 16;
    if (!old) {
        const std::string check = "LeOnArD!";
        b.insert(b.end(), check.begin(), check.end());
        put32be(b, song.frames);
        put32be(b, song.interleaved ? 1 : 0);
        if (song.tag == "YM4!") {
            put32be(b, static_cast<uint32_t>(song.digidrums.size()));
            put32be(b, song.loopFrame);
        } else {
            put16be(b, static_cast<uint16_t>(song.digidrums.size()));
            put32be(b, song.clock);
            put16be(b, song.rate);
            put32be(b, song.loopFrame);
            put16be(b, static_cast<uint16_t>(song.extra.size()));
            b.insert(b.end(), song.extra.begin(), song.extra.end());
        }
        for (const Bytes& drum : song.digidrums) {
            put32be(b, static_cast<uint32_t>(drum.size()));
            b.insert(b.end(), drum.begin(), drum.end());
        }
        putText(b, song.name);
        putText(b, song.author);
        putText(b, song.comment);
    }
    const size_t start = b.size();
    b.resize(start + static_cast<size_t>(stride) * song.frames, 0);
    for (uint32_t f = 0; f < song.frames; ++f) {
        for (int r = 0; r < stride; ++r) {
            const size_t at = song.interleaved || old ? f + static_cast<size_t>(r) * song.frames
                                                      : static_cast<size_t>(f) * stride + r;
            if (!song.registers.empty())
                b[start + at] = size_t(r) < song.registers[f].size() ? song.registers[f][r] : 0;
            else
                b[start + at] = r < 14 ? ymValue(f, r) : 0x5A;
        }
    }
    if (song.tag == "YM3b") put32le(b, song.loopFrame);
    if (!old) b.insert(b.end(), {'E', 'n', 'd', '!'});
    return b;
}

YmSong packedYm5() {
    YmSong s;
    s.tag = "YM5!";
    s.frames = 160;
    s.loopFrame = 0;
    s.clock = 2000000;
    s.rate = 50;
    s.name = "Five";
    s.author = "Packer";
    s.comment = "lh5";
    return s;
}

YmSong packedYm6() {
    YmSong s;
    s.tag = "YM6!";
    s.frames = 160;
    s.loopFrame = 100;
    s.clock = 1773400;
    s.rate = 60;
    s.digidrums = {Bytes(32, 0x80)};
    s.extra = {1, 2, 3};
    s.name = "Six";
    s.author = "Packer";
    s.comment = "lh5 level 1";
    return s;
}

Bytes fixtureFile(const std::string& name) {
    const char* root = std::getenv("SX_SOURCE_DIR");
    return readFile(std::string(root ? root : ".") + "/tests/vgm/fixtures/" + name);
}

uint16_t lhaCrc16(const Bytes& bytes) {
    uint16_t crc = 0;
    for (uint8_t byte : bytes) {
        crc ^= byte;
        for (int i = 0; i < 8; ++i) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}

Bytes lhaStored(const std::vector<std::pair<std::string, Bytes>>& members) {
    Bytes out;
    for (const auto& [name, data] : members) {
        Bytes h = {'-', 'l', 'h', '0', '-'};
        put32le(h, static_cast<uint32_t>(data.size())); // packed size
        put32le(h, static_cast<uint32_t>(data.size())); // original size
        put32le(h, 0x5A210000);                         // MS-DOS time stamp, 1 Jan 2025
        h.push_back(0x20);                              // attribute: archive
        h.push_back(0);                                 // header level 0
        h.push_back(static_cast<uint8_t>(name.size()));
        h.insert(h.end(), name.begin(), name.end());
        const uint16_t crc = lhaCrc16(data);
        h.push_back(static_cast<uint8_t>(crc));
        h.push_back(static_cast<uint8_t>(crc >> 8));
        uint8_t sum = 0;
        for (uint8_t c : h) sum = static_cast<uint8_t>(sum + c);
        out.push_back(static_cast<uint8_t>(h.size())); // header size after these two bytes
        out.push_back(sum);
        out.insert(out.end(), h.begin(), h.end());
        out.insert(out.end(), data.begin(), data.end());
    }
    out.push_back(0); // end of archive
    return out;
}

} // namespace vgmtest
