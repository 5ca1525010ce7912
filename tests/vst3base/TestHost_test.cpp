// The test bundle "sxsine" (built from the helper bases) driven by the test
// host the way a Linux DAW drives a plug-in: load, class list, instances,
// connection, processing with notes and parameter changes, state, run loop,
// editor, unload. Sound is measured (pitch by zero crossings, level in dB).
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "support/ZeroCrossings.h"
#include "vst3base/IBStreamer.h"
#include "vst3base/IUnitInfo.h"
#include "vst3base/UString.h"
#include "vst3base/support/TestHost.h"

using namespace vst3host;

namespace {

constexpr ParamID kGain = 0;
constexpr ParamID kLink = 1;
constexpr ParamID kMode = 2;
constexpr double kRate = 48000.0;
constexpr int32 kBlock = 480;

double rmsDb(const std::vector<float>& s) {
    double sum = 0;
    for (float v : s) sum += double(v) * v;
    return 10.0 * std::log10(sum / s.size() + 1e-30);
}

class TestHostFixture : public ::testing::Test, protected HostSession {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(openHost(SX_SINE_BUNDLE, "sondrix test host", error)) << error;
    }
    void TearDown() override { closeHost(); }

    std::unique_ptr<PluginInstance>
    makeInstance(PluginInstance::Connection connection = PluginInstance::Connection::kDirect) {
        const ClassEntry* c = module->findClass(kVstAudioEffectClass);
        EXPECT_TRUE(c);
        if (!c) return nullptr;
        std::string error;
        auto p = PluginInstance::create(*module, c->cid, host, handler, error, connection);
        EXPECT_TRUE(p) << error;
        if (p) {
            EXPECT_EQ(p->prepare(kRate, kBlock), kResultOk);
        }
        return p;
    }

    int liveObjects() const {
        auto fn = reinterpret_cast<int (*)()>(module->findSymbol("SxSineLiveObjects"));
        return fn ? fn() : -1;
    }

    // Renders `blocks` blocks, events and changes in the first one only.
    std::vector<float> render(PluginInstance& p, int blocks, HostEventList* events,
                              HostParameterChanges* changes = nullptr) {
        std::vector<float> out;
        for (int b = 0; b < blocks; ++b) {
            EXPECT_EQ(p.process(kBlock, b == 0 ? events : nullptr, b == 0 ? changes : nullptr),
                      kResultOk);
            out.insert(out.end(), p.output(0).begin(), p.output(0).begin() + kBlock);
        }
        return out;
    }
};

TEST_F(TestHostFixture, ListsTheFactoryAndItsClasses) {
    EXPECT_STREQ(module->factoryInfo().vendor, "sondrix tests");
    EXPECT_EQ(module->factoryInfo().flags, PFactoryInfo::kUnicode);
    ASSERT_EQ(module->classes().size(), 3u);
    const struct {
        const char* category;
        const char* name;
        uint32 flags;
        const char* subCategories;
    } expected[] = {{kVstAudioEffectClass, "sxsine", 0, "Instrument|Synth"},
                    {kVstComponentControllerClass, "sxsineController", 0, ""},
                    {kPluginCompatibilityClass, "sxsine", 1, ""}};
    for (size_t i = 0; i < 3; ++i) {
        const ClassEntry& c = module->classes()[i];
        EXPECT_EQ(c.category, expected[i].category);
        EXPECT_EQ(c.name, expected[i].name);
        EXPECT_EQ(c.classFlags, expected[i].flags);
        EXPECT_EQ(c.subCategories, expected[i].subCategories);
        EXPECT_EQ(c.cardinality, PClassInfo::kManyInstances);
        EXPECT_EQ(c.version, "1.0.0");
        EXPECT_EQ(c.sdkVersion, "VST 3.7.9");
    }
}

TEST_F(TestHostFixture, ConnectsTheHalvesDirectlyOrThroughHostProxies) {
    for (auto connection :
         {PluginInstance::Connection::kDirect, PluginInstance::Connection::kProxy}) {
        const int made = host->messagesCreated();
        auto p = makeInstance(connection);
        ASSERT_TRUE(p);
        // The processor's text message reached the controller over the
        // connection, built from a message the host created.
        EXPECT_EQ(p->controller()->getParamNormalized(kLink), 1.0);
        EXPECT_EQ(host->messagesCreated(), made + 1);
        EXPECT_EQ(p->forwardedMessages(), connection == PluginInstance::Connection::kProxy ? 1 : 0);
    }
    EXPECT_EQ(liveObjects(), 0);
}

TEST_F(TestHostFixture, ControllerDescribesParametersUnitsAndBuses) {
    auto p = makeInstance();
    ASSERT_TRUE(p);

    ASSERT_EQ(p->controller()->getParameterCount(), 3);
    ParameterInfo info{};
    ASSERT_EQ(p->controller()->getParameterInfo(0, info), kResultOk);
    EXPECT_EQ(utf16ToUtf8(info.title), "Gain");
    EXPECT_EQ(info.unitId, 1);
    EXPECT_EQ(info.defaultNormalizedValue, 0.5);
    ASSERT_EQ(p->controller()->getParameterInfo(2, info), kResultOk);
    EXPECT_EQ(info.stepCount, 2);
    EXPECT_EQ(info.flags, ParameterInfo::kCanAutomate | ParameterInfo::kIsList);
    String128 text;
    ASSERT_EQ(p->controller()->getParamStringByValue(kMode, 0.5, text), kResultOk);
    EXPECT_EQ(utf16ToUtf8(text), "Soft");
    EXPECT_EQ(p->controller()->getParameterInfo(3, info), kInvalidArgument);

    auto units = queryInterfaceOf<IUnitInfo>(p->controller());
    ASSERT_TRUE(units);
    ASSERT_EQ(units->getUnitCount(), 2);
    UnitInfo unit{};
    ASSERT_EQ(units->getUnitInfo(1, unit), kResultOk);
    EXPECT_EQ(unit.id, 1);
    EXPECT_EQ(unit.parentUnitId, kRootUnitId);
    EXPECT_EQ(utf16ToUtf8(unit.name), "Voice");

    BusInfo bus{};
    ASSERT_EQ(p->component()->getBusInfo(kEvent, kInput, 0, bus), kResultOk);
    EXPECT_EQ(bus.channelCount, 16);
    EXPECT_EQ(utf16ToUtf8(bus.name), "MIDI Input");
    EXPECT_EQ(p->outputChannels(), 2);
}

TEST_F(TestHostFixture, PlaysEachNoteAtItsPitch) {
    auto p = makeInstance();
    ASSERT_TRUE(p);
    const struct {
        int16 pitch;
        double hz;
    } notes[] = {{69, 440.0}, {57, 220.0}, {81, 880.0}, {60, 261.626}};
    for (const auto& n : notes) {
        HostEventList events;
        events.addNoteOn(0, n.pitch, 1.f);
        const auto out = render(*p, 10, &events);
        EXPECT_NEAR(testsupport::pitchByZeroCrossings(out, kRate), n.hz, n.hz * 0.002) << n.pitch;
        EXPECT_EQ(p->output(0), p->output(1)); // both channels carry the voice
    }
}

TEST_F(TestHostFixture, NoteEventsLandOnTheirSampleOffsets) {
    auto p = makeInstance();
    ASSERT_TRUE(p);
    HostEventList events;
    events.addNoteOn(100, 69, 1.f);
    events.addNoteOff(300, 69);
    ASSERT_EQ(p->process(kBlock, &events), kResultOk);
    const auto& out = p->output(0);
    for (int i = 0; i <= 100; ++i) EXPECT_EQ(out[i], 0.f) << i; // sine starts at phase 0
    EXPECT_NE(out[101], 0.f);
    for (int i = 300; i < kBlock; ++i) EXPECT_EQ(out[i], 0.f) << i;
}

TEST_F(TestHostFixture, GainParameterChangeSetsTheLevel) {
    auto p = makeInstance();
    ASSERT_TRUE(p);
    HostEventList events;
    events.addNoteOn(0, 69, 1.f);
    const double before = rmsDb(render(*p, 10, &events));
    EXPECT_NEAR(before, 20 * std::log10(0.5 / std::sqrt(2.0)), 0.05);

    HostParameterChanges changes;
    changes.add(kGain, 0, 0.9);
    changes.add(kGain, 200, 0.25); // only the block's last point counts here
    render(*p, 1, nullptr, &changes);
    const double after = rmsDb(render(*p, 10, nullptr));
    EXPECT_NEAR(after - before, -6.02, 0.05);
}

TEST_F(TestHostFixture, StateReloadedIntoAFreshInstanceRendersTheSameAudio) {
    auto a = makeInstance();
    ASSERT_TRUE(a);
    HostParameterChanges changes;
    changes.add(kGain, 0, 0.3);
    render(*a, 1, nullptr, &changes);
    MemoryStream saved;
    ASSERT_EQ(a->saveState(saved), kResultOk);
    EXPECT_EQ(saved.getSize(), 16);

    auto b = makeInstance();
    ASSERT_TRUE(b);
    ASSERT_EQ(b->loadState(saved), kResultOk);
    EXPECT_EQ(b->controller()->getParamNormalized(kGain), 0.3);

    HostEventList events;
    events.addNoteOn(0, 64, 0.8f);
    const auto outA = render(*a, 5, &events);
    const auto outB = render(*b, 5, &events);
    EXPECT_EQ(outA, outB);
    EXPECT_NEAR(rmsDb(outA), 20 * std::log10(0.3 * 0.8 / std::sqrt(2.0)), 0.05);
}

TEST_F(TestHostFixture, DamagedStateIsRefusedAndLeavesTheSoundAlone) {
    auto p = makeInstance();
    ASSERT_TRUE(p);
    MemoryStream good;
    ASSERT_EQ(p->saveState(good), kResultOk);
    const auto& bytes = good.bytes();
    const struct {
        const char* what;
        std::vector<char> data;
    } cases[] = {
        {"empty", {}},
        {"truncated", std::vector<char>(bytes.begin(), bytes.end() - 1)},
        {"wrong magic",
         [&] {
             auto d = bytes;
             d[0] ^= 1;
             return d;
         }()},
        {"gain out of range",
         [&] {
             auto d = bytes;
             d[15] = 0x7F; // exponent of a huge double
             return d;
         }()},
    };
    for (const auto& c : cases) {
        MemoryStream damaged(c.data.data(), static_cast<int64>(c.data.size()));
        EXPECT_EQ(p->loadState(damaged), kResultFalse) << c.what;
    }
    EXPECT_EQ(p->controller()->getParamNormalized(kGain), 0.5);
}

TEST_F(TestHostFixture, ControllerTimerRunsOnTheHostRunLoopUntilTerminated) {
    {
        auto p = makeInstance();
        ASSERT_TRUE(p);
        EXPECT_EQ(runLoop->timerCount(), 1u);
        EXPECT_EQ(runLoop->advance(49), 0);
        EXPECT_EQ(runLoop->advance(101), 3); // ticks at 50, 100, 150 ms
        EXPECT_EQ(handler->dirtyCalls, 3);
    }
    EXPECT_EQ(runLoop->timerCount(), 0u);
    EXPECT_EQ(runLoop->advance(500), 0);
}

TEST_F(TestHostFixture, EditorViewAttachesAndResizesThroughTheFrame) {
    auto p = makeInstance();
    ASSERT_TRUE(p);
    EXPECT_EQ(p->controller()->createView("other"), nullptr);
    IPlugView* view = p->controller()->createView(kEditor);
    ASSERT_TRUE(view);
    EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID), kResultTrue);
    EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeNSView), kResultFalse);

    auto* frame = new HostPlugFrame(runLoop);
    EXPECT_EQ(view->setFrame(frame), kResultOk);
    int window = 0; // stands for the host's X11 window id
    EXPECT_EQ(view->attached(&window, kPlatformTypeNSView), kResultFalse);
    EXPECT_EQ(view->attached(&window, kPlatformTypeX11EmbedWindowID), kResultOk);
    EXPECT_EQ(view->attached(&window, kPlatformTypeX11EmbedWindowID), kResultFalse);

    ViewRect r;
    ASSERT_EQ(view->getSize(&r), kResultOk);
    EXPECT_EQ(r.getWidth(), 400);
    EXPECT_EQ(r.getHeight(), 300);
    ViewRect bigger(0, 0, 500, 350);
    EXPECT_EQ(frame->resizeView(view, &bigger), kResultOk);
    ASSERT_EQ(view->getSize(&r), kResultOk);
    EXPECT_EQ(r.getWidth(), 500);
    EXPECT_EQ(view->getSize(nullptr), kInvalidArgument);

    EXPECT_EQ(view->removed(), kResultOk);
    view->setFrame(nullptr);
    view->release();
    frame->release();
}

TEST_F(TestHostFixture, CompatibilityClassWritesItsJson) {
    const ClassEntry* c = module->findClass(kPluginCompatibilityClass);
    ASSERT_TRUE(c);
    void* obj = nullptr;
    ASSERT_EQ(
        module->factory()->createInstance(c->cid.data(), IPluginCompatibility::iid.data(), &obj),
        kResultOk);
    auto compat = IPtr<IPluginCompatibility>::adopt(static_cast<IPluginCompatibility*>(obj));
    MemoryStream json;
    ASSERT_EQ(compat->getCompatibilityJSON(&json), kResultOk);
    EXPECT_EQ(std::string(json.bytes().begin(), json.bytes().end()),
              "[{\"New\": \"5358534E50524F434553533000000001\"}]");
}

TEST_F(TestHostFixture, FactoryRefusesUnknownClassesAndInterfaces) {
    void* obj = reinterpret_cast<void*>(1);
    const FUID unknown{1, 2, 3, 4};
    EXPECT_EQ(module->factory()->createInstance(unknown.data(), IComponent::iid.data(), &obj),
              kResultFalse);
    EXPECT_EQ(obj, nullptr);
    const ClassEntry* c = module->findClass(kVstAudioEffectClass);
    ASSERT_TRUE(c);
    EXPECT_EQ(module->factory()->createInstance(c->cid.data(), IPlugView::iid.data(), &obj),
              kNoInterface);
    EXPECT_EQ(obj, nullptr);
    EXPECT_EQ(liveObjects(), 0); // the refused instance did not linger
}

TEST_F(TestHostFixture, TeardownReleasesEveryObjectBeforeModuleExit) {
    {
        auto a = makeInstance();
        auto b = makeInstance();
        ASSERT_TRUE(a && b);
        EXPECT_EQ(liveObjects(), 4); // two processors, two controllers
    }
    EXPECT_EQ(liveObjects(), 0);
    // A second load of the same module (a host scanning while a project is
    // open): entries and exits are counted, both unloads succeed.
    std::string error;
    auto second = Vst3Module::load(SX_SINE_BUNDLE, static_cast<IHostApplication*>(host), error);
    ASSERT_TRUE(second) << error;
    EXPECT_TRUE(second->unload());
    EXPECT_TRUE(module->unload());
    EXPECT_FALSE(module->unload());
}

TEST(TestHostLoading, MissingOrBrokenBundlesFailWithAReason) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("sxvst3-" + std::to_string(::getpid()));
    const std::filesystem::path fake = dir / "fake.vst3" / "Contents" / "x86_64-linux";
    std::filesystem::create_directories(fake);
    std::ofstream(fake / "fake.so") << "not an ELF file";

    const struct {
        std::string bundle;
        const char* reason;
    } cases[] = {{(dir / "absent.vst3").string(), "dlopen failed"},
                 {(dir / "fake.vst3").string(), "dlopen failed"}};
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(Vst3Module::load(c.bundle, nullptr, error)) << c.bundle;
        EXPECT_EQ(error.rfind(c.reason, 0), 0u) << error;
    }
    EXPECT_EQ(Vst3Module::sharedObjectPath("/x/sxsine.vst3/"),
              "/x/sxsine.vst3/Contents/x86_64-linux/sxsine.so");
    std::filesystem::remove_all(dir);
}

} // namespace
