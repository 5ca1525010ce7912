// The engine's pixel canvas as the engine host hands it to its views: an
// engine with the real "Brevado" draws the track page of a loaded song, and a
// view's reader gets each new picture once, whole, while songs keep loading
// on another thread.
#include "enginehost/MorvaneEngine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "vantor/support/PrivateHome.h"
#include "vgm/support/VgmFixtures.h"

using morvane::CanvasPicture;
using morvane::MorvaneEngine;

namespace {

const std::string kProductDir = SX_PRODUCT_DIR;

std::unique_ptr<MorvaneEngine> makeEngine() {
    vantor::ZefaCreateRecord record{};
    record.formatAndVersion = int64_t(vantor::kZefaInterfaceVersion) << 16 | 64146;
    record.baseDirectory = kProductDir.c_str();
    record.fixedWord = vantor::ZefaCreateRecord::kFixedWord;
    record.dataDirectory = kProductDir.c_str();
    std::string error;
    auto engine = MorvaneEngine::create(record, kProductDir + "/Brevado.so",
                                        kProductDir + "/md_profiles.riff", error);
    EXPECT_TRUE(engine) << error;
    return engine;
}

// A short console song whose track page names `system`: a PSG tone (the
// reader keeps no chip with three commands or fewer).
std::string writeSong(const std::string& name, const std::u16string& system) {
    vgmtest::VgmFile song;
    song.set32(0x0C, 3579545);
    song.op({0x50, 0x8E}).op({0x50, 0x0F}).op({0x50, 0x90}).waitFrame().op({0x50, 0x9F}).end();
    song.gd3({u"Tune", u"", u"Game", u"", system, u"", u"", u"", u"", u"", u""});
    const std::string path = std::string(std::getenv("TMPDIR")) + "/" + name;
    vgmtest::writeFile(path, song.bytes());
    return path;
}

bool samePicture(const CanvasPicture& a, const CanvasPicture& b) {
    return a.width == b.width && a.height == b.height &&
           std::equal(a.pixels, a.pixels + size_t(a.width) * a.height, b.pixels) &&
           std::equal(a.red, a.red + 256, b.red);
}

TEST(EngineCanvas, ALoadedSongsTrackPageReachesEachReaderOnce) {
    auto engine = makeEngine();
    ASSERT_TRUE(engine);
    auto picture = std::make_unique<CanvasPicture>();
    uint64_t seen = 0;
    // Before any song: the idle page, with its banner in the console
    // palette's white.
    ASSERT_TRUE(engine->readCanvas(*picture, seen));
    EXPECT_EQ(picture->width, 320u);
    EXPECT_EQ(picture->height, 224u);
    EXPECT_EQ(picture->red[15] + picture->green[15] + picture->blue[15], 3 * 255);
    const uint8_t* banner = picture->pixels + 8 * 320;
    EXPECT_NE(std::count(banner, banner + 16 * 320, 15), 0);
    const auto idle = std::make_unique<CanvasPicture>(*picture);
    EXPECT_FALSE(engine->readCanvas(*picture, seen)); // nothing newer

    ASSERT_EQ(engine->importFile(writeSong("a.vgm", u"Mega Drive").c_str(), 0), 0);
    ASSERT_TRUE(engine->readCanvas(*picture, seen));
    EXPECT_FALSE(samePicture(*picture, *idle));
    EXPECT_NE(std::count(banner, banner + 16 * 320, 15), 0);
    EXPECT_FALSE(engine->readCanvas(*picture, seen)); // nothing newer

    // A reader that comes later still gets the picture shown now.
    auto late = std::make_unique<CanvasPicture>();
    uint64_t lateSeen = 0;
    ASSERT_TRUE(engine->readCanvas(*late, lateSeen));
    EXPECT_TRUE(samePicture(*late, *picture));

    // A file that is not media changes nothing.
    EXPECT_NE(engine->importFile((kProductDir + "/no such song.vgm").c_str(), 0), 0);
    EXPECT_FALSE(engine->readCanvas(*picture, seen));
}

TEST(EngineCanvas, PicturesArriveWholeWhileSongsKeepLoading) {
    auto engine = makeEngine();
    ASSERT_TRUE(engine);
    const std::string songs[2] = {writeSong("a.vgm", u"Mega Drive"),
                                  writeSong("b.vgm", u"Master System")};
    // The two pages, each drawn alone first.
    std::unique_ptr<CanvasPicture> page[2] = {std::make_unique<CanvasPicture>(),
                                              std::make_unique<CanvasPicture>()};
    uint64_t seen = 0;
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(engine->importFile(songs[i].c_str(), 0), 0);
        ASSERT_TRUE(engine->readCanvas(*page[i], seen));
    }
    ASSERT_FALSE(samePicture(*page[0], *page[1]));

    std::atomic<bool> done{false};
    std::atomic<int> read{0};
    int torn = 0;
    std::thread reader([&] {
        auto picture = std::make_unique<CanvasPicture>();
        uint64_t number = seen;
        while (!done.load()) {
            if (!engine->readCanvas(*picture, number)) continue;
            if (!samePicture(*picture, *page[0]) && !samePicture(*picture, *page[1])) ++torn;
            ++read;
        }
    });
    // Songs load until the reader has taken a few dozen pictures (at most a
    // few thousand loads).
    for (int i = 0; i < 5000 && read.load() < 40; ++i)
        if (engine->importFile(songs[i % 2].c_str(), 0) != 0) {
            ADD_FAILURE() << "load " << i << " failed";
            break;
        }
    done = true;
    reader.join();
    EXPECT_GE(read.load(), 40);
    EXPECT_EQ(torn, 0);
}

} // namespace
