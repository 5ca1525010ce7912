// What the host hears about the media it plays, through the built "Brevado"
// and its four exports: the title of the track in name-table entry 1 after
// a load and after every track change or restart, whether the file holds a
// single track (sync value 18, sent as an event), and the file's picture
// published where the host's load-file record of slot 2 says.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "BrevadoInstance.h"
#include "MediaSongs.h"

using namespace mediatest;
using namespace brevadotest;

namespace {

using BrevadoMediaTitle = MediaFixture;

const Bytes kPng = {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0, 0, 13, 'I', 'H', 'D', 'R'};

// A second of a PSG tone, tagged with its title and game.
Bytes taggedSong(const std::u16string& title) {
    VgmFile v = consoleVgm();
    v.op({0x50, 0x8E}).op({0x50, 0x0F}).op({0x50, 0x90}).wait(44100).op({0x50, 0x9F});
    return v.end().gd3({title, u"", u"Tune Pack"}).bytes();
}

// An instance whose host has attached name-table entry 1 and the record
// that names published images.
struct Listening {
    Listening() {
        title->header.id = sdk::EXT_NAME_TABLE;
        w.extension(title.get(), 1, 0);
        image->header.id = sdk::EXT_LOAD_FILE;
        w.extension(image.get(), 2, 0);
    }
    std::string titleText() const { return title->text; }
    // The value of the last sync-18 event the instance sent; -1 without one.
    float singleTrack() const {
        float value = -1.0f;
        for (const HDMIDIEvent& e : w.sent)
            if (e.kind == 176 && e.id == 384 + kSingleTrack) value = e.value;
        return value;
    }
    Instance w;
    std::unique_ptr<sdk::TextRecord> title = std::make_unique<sdk::TextRecord>();
    std::unique_ptr<sdk::LoadFileRecord> image = std::make_unique<sdk::LoadFileRecord>();
};

} // namespace

TEST_F(BrevadoMediaTitle, TheHostHearsTheTitleOfEveryTrackOfAnArchive) {
    const std::string archive = file(
        "pack.zip", vgmtest::zipBytes(path("scratch.zip"), {{"1.vgm", taggedSong(u"First")},
                                                            {"cover.png", kPng},
                                                            {"2.vgm", taggedSong(u"Second")}}));
    Listening h;
    ASSERT_TRUE(h.w.active);
    ASSERT_EQ(h.w.load(archive), 0);
    EXPECT_EQ(h.titleText(), "Tune Pack - First");
    EXPECT_EQ(vgmtest::readFile(h.image->path), kPng);
    h.w.render(256, 256, {transport(kLoopForever, 1.0f), transport(kPlay, 1.0f)});
    EXPECT_EQ(h.singleTrack(), 0.0f);

    struct Step {
        const char* what;
        int32_t id;
        float value;
        const char* title;
    };
    for (const Step& s : {Step{"next track", kNextTrack, 1.0f, "Tune Pack - Second"},
                          Step{"next track from the last", kNextTrack, 1.0f, "Tune Pack - First"},
                          Step{"select the second", kSelectTrack, 1.0f, "Tune Pack - Second"},
                          Step{"the same track again", kSameTrack, 1.0f, "Tune Pack - Second"},
                          Step{"play", kPlay, 1.0f, "Tune Pack - Second"}}) {
        SCOPED_TRACE(s.what);
        // What the host wrote there meanwhile is replaced.
        std::strcpy(h.title->text, "stale");
        h.w.render(256, 256, {transport(s.id, s.value)});
        EXPECT_EQ(h.titleText(), s.title);
    }
}

TEST_F(BrevadoMediaTitle, ASingleSongIsOneTrackWithoutAPicture) {
    Listening h;
    ASSERT_EQ(h.w.load(file("song.vgm", taggedSong(u"Alone"))), 0);
    EXPECT_EQ(h.titleText(), "Tune Pack - Alone");
    EXPECT_TRUE(vgmtest::readFile(h.image->path).empty());
    h.w.render(256, 256);
    EXPECT_EQ(h.singleTrack(), 1.0f);
}
