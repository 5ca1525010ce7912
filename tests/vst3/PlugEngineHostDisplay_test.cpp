// The media display through the whole chain: the test host loads the built
// bundle, whose engine host runs the real "Brevado"; the plug-in's editor
// window, ticked by the host's run loop under Xvfb, shows the idle page
// (product, console model, what the window is) while no song is loaded, then
// the track page a small generated song has its media player draw into the
// engine's pixel canvas: the palette's colours, the banner and the stream
// lines, the time line.
//
// The VST3 side has no way to load media, so the engine host bundle named in
// the preferences is a forwarding one that keeps the engine handle; the song
// is loaded through the engine host's import opcode on it, and a state with
// another console model through its state opcode.
#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <thread>

#include "support/PlugTestSupport.h"
#include "vgm/support/PageText.h"
#include "vgm/support/VgmFixtures.h"

// Last: Xlib's macros (None, Status, ...) would clash with the test headers.
#include "support/XvfbServer.h"

using namespace plugtest;
using namespace xtest;

namespace {

constexpr int kWidth = 960, kHeight = 672, kScale = 3;
// The console's palette as the canvas holds it: black, white and the
// colour of a stream shown in full.
constexpr unsigned long kBlack = 0x000000, kWhite = 0xFFFFFF, kStreamShown = 0x5C9083;

// A console song of a second and a half: PSG and FM chips, a tone on each,
// the system name in its tag.
vgmtest::Bytes consoleSong() {
    vgmtest::VgmFile song;
    song.set32(0x0C, 3579545).set32(0x2C, 7670453);
    song.op({0x50, 0x8E}).op({0x50, 0x0F}).op({0x50, 0x90});                   // PSG tone 0, loud
    song.op({0x52, 0xA4, 0x22}).op({0x52, 0xA0, 0x69});                        // FM channel 1 at A4
    song.op({0x52, 0x40, 0x00}).op({0x52, 0xB4, 0xC0}).op({0x52, 0x28, 0xF0}); // key on
    for (int i = 0; i < 90; ++i) song.waitFrame();
    song.end();
    song.gd3({u"Green Hill", u"", u"Hedgehog", u"", u"Sega Mega Drive / Genesis", u"", u"", u"",
              u"", u"", u""});
    return song.bytes();
}

// Rows [from, to) of the picture hold some colour other than black.
bool rowsShowSomething(const std::vector<unsigned long>& pixels, int from, int to) {
    return std::any_of(pixels.begin() + size_t(from) * kWidth, pixels.begin() + size_t(to) * kWidth,
                       [](unsigned long p) { return p != kBlack; });
}

// Whether the window's picture shows `text` at canvas pixel (x, y).
::testing::AssertionResult windowShows(const std::vector<unsigned long>& pixels,
                                       const std::string& text, int x, int y, int vScale = 1) {
    if (pixels.size() != size_t(kWidth) * kHeight) return ::testing::AssertionFailure();
    return vgmtest::showsText(
        [&](int64_t cx, int64_t cy) {
            return cx >= 0 && cy >= 0 && cx < kWidth / kScale && cy < kHeight / kScale &&
                   pixels[size_t(cy * kScale) * kWidth + size_t(cx * kScale)] != kBlack;
        },
        text, x, y, vScale);
}

// An engine state that holds one setting: the console model (chip parameter
// 7, engine id 1024 + 7) := `model`.
std::vector<uint8_t> modelState(float model) {
    // Magic, version 1, one parameter {id, 0, value}, no records.
    std::vector<uint8_t> bytes = {'M', 'V', 'S', 'T', 1, 0, 0, 0, 1, 0, 0, 0,
                                  7,   4,   0,   0,   0, 0, 0, 0, 0, 0, 0, 0};
    std::memcpy(bytes.data() + 16, &model, 4);
    return bytes;
}

class EngineHostDisplay : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(registerBuildProduct());
        bridgetest::setEnginePath(SX_FORWARDING_ENGINE_BUNDLE);
        runLoop = new HostRunLoop;
        host = new HostApplication("sondrix test host", runLoop);
        handler = new HostComponentHandler;
        std::string error;
        module = Vst3Module::load(kPlugBundle, static_cast<IHostApplication*>(host), error);
        ASSERT_TRUE(module) << error;
    }
    void TearDown() override {
        module.reset();
        handler->release();
        host->release();
        runLoop->release();
    }

    // Ticks the host's run loop until `done` holds for the window's picture,
    // for at most ten seconds; the last picture read.
    template <typename Done> std::vector<unsigned long> tickUntil(Display* d, Window w, Done done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        std::vector<unsigned long> pixels;
        while (std::chrono::steady_clock::now() < deadline) {
            XSync(d, False);
            pixels = pixelsOf(d, w, kWidth, kHeight);
            if (done(pixels)) break;
            runLoop->advance(20);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return pixels;
    }

    HostRunLoop* runLoop = nullptr;
    HostApplication* host = nullptr;
    HostComponentHandler* handler = nullptr;
    std::unique_ptr<Vst3Module> module;
};

TEST_F(EngineHostDisplay, TheEditorShowsTheTrackPageOfALoadedSong) {
    std::unique_ptr<XvfbServer> server;
    bool installed = true;
    Display* d = openPrivateDisplay(server, installed);
    if (!installed) GTEST_SKIP() << "Xvfb is not installed (Debian package xvfb)";
    ASSERT_NE(d, nullptr);
    const Window parent = mapHostWindow(d);

    std::string error;
    auto p = PluginInstance::create(*module, module->findClass(kVstAudioEffectClass)->cid, host,
                                    handler, error);
    ASSERT_TRUE(p) << error;
    ASSERT_EQ(p->prepare(44100, 512), kResultOk);
    IPtr<IPlugView> view = IPtr<IPlugView>::adopt(p->controller()->createView("editor"));
    ASSERT_TRUE(view);
    IPtr<HostPlugFrame> frame = IPtr<HostPlugFrame>::adopt(new HostPlugFrame(runLoop));
    view->setFrame(frame.get());
    ASSERT_EQ(
        view->attached(reinterpret_cast<void*>(uintptr_t(parent)), kPlatformTypeX11EmbedWindowID),
        kResultOk);
    ASSERT_EQ(childrenOf(d, parent).size(), 1u);
    const Window window = childrenOf(d, parent)[0];

    // Nothing loaded: the exposed window shows the idle page.
    const auto modelShown = [](const std::vector<unsigned long>& pixels, const char* model) {
        return windowShows(pixels, std::string("Console model: ") + model, 8, 40);
    };
    std::vector<unsigned long> shown = tickUntil(
        d, window, [&](const auto& pixels) { return modelShown(pixels, "MD-1 (YM2612)"); });
    EXPECT_TRUE(modelShown(shown, "MD-1 (YM2612)"));
    EXPECT_TRUE(windowShows(shown, "sondrix MD", 8, 8, 2));
    EXPECT_TRUE(windowShows(shown, "This window is the media display:", 8, 72));
    EXPECT_FALSE(rowsShowSomething(shown, 0, 8 * kScale));

    const std::string song = std::string(std::getenv("TMPDIR")) + "/console.vgm";
    vgmtest::writeFile(song, consoleSong());
    void* bundle = dlopen(SX_FORWARDING_ENGINE, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(bundle, nullptr) << "the plug-in did not start the forwarding engine host";
    using Entry =
        int32_t (*)(void*, int32_t, void*, void*, void*, int32_t, float, int64_t, int64_t);
    const auto entry = reinterpret_cast<Entry>(dlsym(bundle, "morvaneOpcode"));
    const auto engineOf = reinterpret_cast<void* (*)()>(dlsym(bundle, "forwardedEngine"));
    ASSERT_TRUE(entry && engineOf && engineOf());

    // A state with another console model: the page names it.
    std::vector<uint8_t> state = modelState(1.0f);
    EXPECT_EQ(entry(engineOf(), vantor::kOpSetChunk, state.data(), nullptr, nullptr,
                    int32_t(state.size()), 0.0f, 0, 0),
              0);
    shown = tickUntil(d, window,
                      [&](const auto& pixels) { return modelShown(pixels, "MD-2 (YM3438)"); });
    EXPECT_TRUE(modelShown(shown, "MD-2 (YM3438)"));

    EXPECT_EQ(entry(engineOf(), vantor::kOpImportFile, const_cast<char*>(song.c_str()), nullptr,
                    nullptr, 0, 0.0f, 0, 0),
              0);

    // The track page arrives with the next ticks.
    shown = tickUntil(d, window, [](const auto& pixels) {
        return std::count(pixels.begin(), pixels.end(), kStreamShown) > 0;
    });
    const std::set<unsigned long> colours(shown.begin(), shown.end());
    EXPECT_TRUE(colours.count(kBlack) && colours.count(kWhite) && colours.count(kStreamShown))
        << colours.size() << " colours";
    // Banner (8 pixels from the top, twice as tall), the system name below
    // it, and the time line on the canvas's last rows but two, each scaled.
    EXPECT_TRUE(rowsShowSomething(shown, 8 * kScale, 24 * kScale));
    EXPECT_TRUE(rowsShowSomething(shown, 40 * kScale, 48 * kScale));
    EXPECT_TRUE(rowsShowSomething(shown, 208 * kScale, 216 * kScale));
    EXPECT_FALSE(rowsShowSomething(shown, 0, 8 * kScale));
    // Every pixel is a 3 x 3 block of one canvas pixel.
    for (int y = 0; y < kHeight; y += 7)
        for (int x = 0; x < kWidth; x += 5)
            ASSERT_EQ(shown[size_t(y) * kWidth + x],
                      shown[size_t(y / kScale * kScale) * kWidth + x / kScale * kScale])
                << x << "," << y;

    ASSERT_EQ(view->removed(), kResultOk);
    view.reset();
    p.reset();
    dlclose(bundle);
    XDestroyWindow(d, parent);
    XCloseDisplay(d);
    ::unsetenv("DISPLAY");
}

} // namespace
