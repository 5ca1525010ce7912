// Broken YM, DRO and VGMX files: each ends with a clear false result (and a
// log line where the file looks right but cannot be played), never a read
// past the data. Run under the sanitizer build too.
#include "vgm/YmReader.h"

#include "vantor/support/PrivateHome.h"
#include "vgm/VGMX.h"
#include "vgm/support/YmFixtures.h"

#include <gtest/gtest.h>

using VGM::VGMX;
using vgmtest::Bytes;
using vgmtest::YmSong;

namespace {

Bytes patched(Bytes b, size_t at, std::initializer_list<uint8_t> bytes) {
    for (uint8_t v : bytes) b[at++] = v;
    return b;
}

Bytes prefix(const Bytes& b, size_t keep) {
    return Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(keep));
}

Bytes ym(const std::string& tag) {
    YmSong s;
    s.tag = tag;
    s.frames = 4;
    return ymBytes(s);
}

Bytes droV1(uint8_t hardware) {
    return {'D', 'B', 'R', 'A', 'W', 'O', 'P', 'L',      0, 0, 1, 0,    0,
            0,   0,   0,   2,   0,   0,   0,   hardware, 0, 0, 0, 0x20, 0x01};
}

Bytes droV2(uint8_t hardware, uint8_t tableLength) {
    Bytes b = {'D', 'B', 'R', 'A', 'W', 'O', 'P',      'L', 2, 0,    0,    0,           1,   0,
               0,   0,   0,   0,   0,   0,   hardware, 0,   0, 0x7E, 0x7F, tableLength, 0x20};
    b.insert(b.end(), {0x00, 0x01});
    return b;
}

class RegisterLogBrokenTest : public testhome::Scratch {};

TEST_F(RegisterLogBrokenTest, EachEndsWithAClearResult) {
    Bytes unterminated = ym("YM5!");
    const size_t texts = 34; // "Song", "Author", "Comment" follow the fixed header
    unterminated.resize(texts + 6);
    unterminated.insert(unterminated.end(), {'E', 'n', 'd', '!'});
    YmSong flat;
    flat.tag = "YM6!";
    flat.frames = 4;
    flat.interleaved = false;
    Bytes flatShort = ymBytes(flat);
    flatShort.erase(flatShort.end() - 4 - 16, flatShort.end() - 4); // one frame missing

    struct Case {
        const char* name;
        const char* extension;
        Bytes bytes;
        bool packInZip;
        const char* logLine; // null: refused without a word
    };
    const Case cases[] = {
        {"unknown YM tag", "ym", patched(ym("YM5!"), 2, {'7'}), true, nullptr},
        {"YM shorter than a tag", "ym", {'Y', 'M'}, true, nullptr},
        {"YM3b shorter than its loop word", "ym", {'Y', 'M', '3', 'b', 0, 0}, true, nullptr},
        {"YM4 shorter than its header",
         "ym",
         {'Y', 'M', '4', '!', 0, 0, 0, 0, 'E', 'n', 'd', '!'},
         true,
         nullptr},
        {"YM5 without End!", "ym", patched(ym("YM5!"), ym("YM5!").size() - 1, {'?'}), true,
         nullptr},
        {"YM5 frame rate 0", "ym", patched(ym("YM5!"), 26, {0, 0}), true,
         "YM: the file gives a frame rate of 0 Hz; it cannot be played\n"},
        {"YM6 chip clock 0", "ym", patched(ym("YM6!"), 22, {0, 0, 0, 0}), true,
         "YM: the file gives a chip clock of 0 Hz; it cannot be played\n"},
        {"YM5 frame count past the data", "ym", patched(ym("YM5!"), 12, {0x7F, 0xFF, 0xFF, 0xFF}),
         true, "YM: the register data is too short for the 2147483647 frames the file gives\n"},
        {"YM6 frame by frame, a frame missing", "ym", flatShort, true,
         "YM: the register data is too short for the 4 frames the file gives\n"},
        {"YM5 digidrum past the end", "ym",
         patched(patched(ym("YM5!"), 20, {0, 1}), texts, {0x7F, 0, 0, 0}), true,
         "YM: a digidrum sample runs past the end of the file\n"},
        {"YM5 texts without their zeros", "ym", unterminated, true,
         "YM: the song texts run past the end of the file\n"},
        {"YM in an empty member", "ym", {}, true, "YM: the song cannot be unpacked\n"},
        {"DRO version 0.1 hardware type 3", "dro", droV1(3), false,
         "DRO: unknown hardware type; the file is refused\n"},
        {"DRO version 2.0 hardware type 9", "dro", droV2(9, 1), false,
         "DRO: unknown hardware type; the file is refused\n"},
        {"DRO version 0.1 cut inside its header", "dro", prefix(droV1(0), 20), false,
         "DRO: the file is shorter than its header\n"},
        {"DRO version 2.0 register table past the end", "dro", droV2(0, 200), false,
         "DRO: the file is shorter than its header\n"},
        {"DRO of 12 bytes", "dro", prefix(droV1(0), 12), false, nullptr},
        {"DRO with another tag", "dro", patched(droV1(0), 0, {'X'}), false, nullptr},
        {"DRO version 3.0", "dro", patched(droV2(0, 1), 8, {3}), false, nullptr},
        {"VGMX that is not XML",
         "vgmx",
         {0xFF, 0x02, '<', '<', '"', 0x01},
         false,
         "VGMX: the document declares no chip\n"},
        {"VGMX with a zero byte",
         "vgmx",
         {'<', 'C', 0x00, '>'},
         false,
         "VGMX: the file is not a document: it holds a zero byte at offset 2\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = path(std::string("broken.") + c.extension);
        if (c.packInZip)
            vgmtest::writeZip(file, {{"song.ym", c.bytes}});
        else
            vgmtest::writeFile(file, c.bytes);
        VGMX vgm;
        EXPECT_FALSE(vgm.openFile(file));
        EXPECT_FALSE(vgm.track().playable);
        EXPECT_EQ(vgm.logText(), c.logLine ? c.logLine : "");
    }
}

// Every prefix of a good file opens or is refused; none reads past its end.
TEST_F(RegisterLogBrokenTest, CutAtEveryPoint) {
    YmSong six = vgmtest::packedYm6();
    six.frames = 3;
    for (const Bytes& whole : {ymBytes(six), ym("YM4!"), ym("YM3b")}) {
        for (size_t keep = 0; keep <= whole.size(); ++keep) {
            VGMX vgm;
            VGM::readYmData(vgm, prefix(whole, keep), "cut.ym");
        }
    }
    const std::string file = path("cut.dro");
    for (const Bytes& whole : {droV1(0), droV2(2, 1)}) {
        for (size_t keep = 0; keep <= whole.size(); ++keep) {
            vgmtest::writeFile(file, prefix(whole, keep));
            VGMX vgm;
            vgm.openFile(file);
        }
    }
    const std::string doc =
        R"(<Chip id="0" type="YM2612" rate="50"><W dt="1" hr="28" bv="11110000"/>)";
    for (size_t keep = 0; keep <= doc.size(); ++keep) {
        const Bytes cut(doc.begin(), doc.begin() + keep);
        VGMX vgm;
        vgm.parseVgmxBuffer(cut.data(), cut.size());
    }
}

} // namespace
