// The helper bases used in-process: messages between two connected halves,
// buses and arrangements of a component, the edit controller's relay to the
// host's handler, units and program lists, the factory's class list, and the
// bundle entry/exit count.
#include <string>

#include <gtest/gtest.h>

#include "vst3base/AudioEffect.h"
#include "vst3base/BundleEntry.h"
#include "vst3base/EditControllerEx1.h"
#include "vst3base/EditorView.h"
#include "vst3base/PluginFactory.h"
#include "vst3base/UString.h"
#include "vst3base/support/HostObjects.h"

using namespace vst3host;

namespace {

// A half that remembers the texts it received.
class Listener : public ComponentBase {
public:
    tresult receiveText(const char8* text) override {
        texts.push_back(text);
        return kResultOk;
    }
    std::vector<std::string> texts;
};

TEST(ComponentBase, TextMessagesTravelBetweenConnectedHalves) {
    auto* host = new HostApplication;
    Listener a, b; // stack objects: their own first reference is never dropped
    FUnknown* context = static_cast<IHostApplication*>(host);

    EXPECT_EQ(a.sendTextMessage("no host yet"), kResultFalse);
    ASSERT_EQ(a.initialize(context), kResultOk);
    EXPECT_EQ(a.initialize(context), kResultFalse);
    ASSERT_EQ(b.initialize(context), kResultOk);
    EXPECT_EQ(a.sendTextMessage("not connected"), kResultFalse);

    EXPECT_EQ(a.connect(nullptr), kInvalidArgument);
    ASSERT_EQ(a.connect(&b), kResultOk);
    ASSERT_EQ(b.connect(&a), kResultOk);
    EXPECT_EQ(a.connect(&b), kResultFalse);
    EXPECT_EQ(a.sendTextMessage("h\xC3\xA9llo"), kResultOk);
    EXPECT_EQ(b.sendTextMessage(""), kResultOk);
    EXPECT_EQ(b.texts, std::vector<std::string>{"h\xC3\xA9llo"});
    EXPECT_EQ(a.texts, std::vector<std::string>{""});
    EXPECT_EQ(host->messagesCreated(), 2);

    EXPECT_EQ(a.notify(nullptr), kInvalidArgument);
    IMessage* other = a.allocateMessage();
    ASSERT_TRUE(other);
    other->setMessageID("SomethingElse");
    EXPECT_EQ(b.notify(other), kResultFalse);
    other->setMessageID(ComponentBase::kTextMessageId); // no "Text" attribute
    EXPECT_EQ(b.notify(other), kResultFalse);
    other->release();

    EXPECT_EQ(a.disconnect(&a), kResultFalse);
    EXPECT_EQ(a.disconnect(&b), kResultOk);
    EXPECT_EQ(b.disconnect(&a), kResultOk);
    a.terminate();
    b.terminate();
    EXPECT_EQ(a.getRefCount(), 1u);
    EXPECT_EQ(b.getRefCount(), 1u);
    host->release();
}

class Effect : public AudioEffect {
public:
    tresult initialize(FUnknown* context) override {
        const tresult r = AudioEffect::initialize(context);
        addAudioInput(u"Stereo Input", SpeakerArr::kStereo);
        addAudioOutput(u"Stereo Output", SpeakerArr::kStereo);
        addEventInput(u"MIDI Input", 16, kMain, 0);
        return r;
    }
};

TEST(AudioEffect, ListsBusesAndTakesArrangementsItHasBusesFor) {
    Effect fx;
    ASSERT_EQ(fx.initialize(nullptr), kResultOk);
    EXPECT_EQ(fx.getBusCount(kAudio, kInput), 1);
    EXPECT_EQ(fx.getBusCount(kEvent, kOutput), 0);
    EXPECT_EQ(fx.getBusCount(7, kInput), 0);
    BusInfo info{};
    ASSERT_EQ(fx.getBusInfo(kEvent, kInput, 0, info), kResultOk);
    EXPECT_EQ(info.flags, 0u);
    EXPECT_EQ(utf16ToUtf8(info.name), "MIDI Input");
    EXPECT_EQ(fx.getBusInfo(kAudio, kOutput, 1, info), kInvalidArgument);
    EXPECT_EQ(fx.activateBus(kAudio, kOutput, -1, true), kInvalidArgument);

    SpeakerArrangement mono = SpeakerArr::kMono;
    SpeakerArrangement two[2] = {SpeakerArr::kStereo, SpeakerArr::kStereo};
    EXPECT_EQ(fx.setBusArrangements(&mono, 1, &mono, 1), kResultOk);
    SpeakerArrangement arr = 0;
    ASSERT_EQ(fx.getBusArrangement(kOutput, 0, arr), kResultOk);
    EXPECT_EQ(arr, SpeakerArr::kMono);
    ASSERT_EQ(fx.getBusInfo(kAudio, kOutput, 0, info), kResultOk);
    EXPECT_EQ(info.channelCount, 1);
    EXPECT_EQ(fx.setBusArrangements(two, 2, two, 1), kResultFalse); // one input bus only
    EXPECT_EQ(fx.setBusArrangements(nullptr, 1, two, 1), kInvalidArgument);
    EXPECT_EQ(fx.setBusArrangements(two, -1, two, 1), kInvalidArgument);

    ProcessSetup setup{kRealtime, kSample64, 512, 48000.0};
    EXPECT_EQ(fx.setupProcessing(setup), kResultFalse);
    setup.symbolicSampleSize = kSample32;
    EXPECT_EQ(fx.setupProcessing(setup), kResultOk);
    EXPECT_EQ(fx.getProcessSetup().maxSamplesPerBlock, 512);

    TUID cid;
    EXPECT_EQ(fx.getControllerClassId(cid), kResultFalse);
    fx.setControllerClass(FUID(1, 2, 3, 4));
    ASSERT_EQ(fx.getControllerClassId(cid), kResultOk);
    EXPECT_TRUE(FUID(1, 2, 3, 4).matches(cid));
    fx.terminate();
    EXPECT_EQ(fx.getBusCount(kAudio, kInput), 0);
}

TEST(AudioEffect, AnswersEachInterfaceAsOneObject) {
    auto* fx = new Effect;
    auto processor = queryInterfaceOf<IAudioProcessor>(static_cast<IComponent*>(fx));
    auto point = queryInterfaceOf<IConnectionPoint>(processor.get());
    auto component = queryInterfaceOf<IComponent>(point.get());
    ASSERT_TRUE(processor && point && component);
    EXPECT_EQ(component.get(), static_cast<IComponent*>(fx));
    EXPECT_TRUE(queryInterfaceOf<IProcessContextRequirements>(component.get()));
    EXPECT_TRUE(queryInterfaceOf<IPluginBase>(component.get()));
    EXPECT_FALSE(queryInterfaceOf<IEditController>(component.get()));
    // FUnknown answers one identity whichever interface is asked.
    auto u1 = queryInterfaceOf<FUnknown>(processor.get());
    auto u2 = queryInterfaceOf<FUnknown>(component.get());
    EXPECT_EQ(u1.get(), u2.get());
    processor.reset(), point.reset(), component.reset(), u1.reset(), u2.reset();
    EXPECT_EQ(fx->getRefCount(), 1u);
    static_cast<IComponent*>(fx)->release();
}

class Controller : public EditControllerEx1 {
public:
    Controller() {
        parameters.addParameter(u"Bypass", 9000, nullptr, 0.0, 1,
                                ParameterInfo::kCanAutomate | ParameterInfo::kIsBypass);
    }
};

TEST(EditController, RelaysEditsToTheHostHandler) {
    Controller c;
    EXPECT_EQ(c.beginEdit(9000), kResultFalse); // no handler yet
    EXPECT_EQ(c.setDirty(true), kResultFalse);
    auto* handler = new HostComponentHandler;
    ASSERT_EQ(c.setComponentHandler(handler), kResultOk);
    EXPECT_EQ(c.beginEdit(9000), kResultOk);
    EXPECT_EQ(c.performEdit(9000, 1.0), kResultOk);
    EXPECT_EQ(c.endEdit(9000), kResultOk);
    EXPECT_EQ(c.restartComponent(kParamTitlesChanged | kParamValuesChanged), kResultOk);
    EXPECT_EQ(c.setDirty(true), kResultOk);
    ASSERT_EQ(handler->edits.size(), 3u);
    EXPECT_EQ(handler->edits[1].kind, 'p');
    EXPECT_EQ(handler->edits[1].value, 1.0);
    EXPECT_EQ(handler->restarts, std::vector<int32>{20});
    EXPECT_EQ(handler->dirtyCalls, 1);
    c.setComponentHandler(nullptr);
    EXPECT_EQ(handler->getRefCount(), 1u);
    handler->release();

    EXPECT_EQ(c.setParamNormalized(9000, 1.0), kResultOk);
    EXPECT_EQ(c.getParamNormalized(9000), 1.0);
    EXPECT_EQ(c.setParamNormalized(1, 1.0), kResultFalse);
    EXPECT_EQ(c.getParamNormalized(1), 0.0);
    String128 s;
    EXPECT_EQ(c.getParamStringByValue(1, 0.0, s), kInvalidArgument);
    TChar on[] = u"On";
    ParamValue v = 0;
    EXPECT_EQ(c.getParamValueByString(9000, on, v), kResultOk);
    EXPECT_EQ(v, 1.0);
    EXPECT_EQ(c.setKnobMode(kLinearMode), kResultOk);
    EXPECT_EQ(c.setKnobMode(9), kInvalidArgument);
    EXPECT_EQ(c.createView(kEditor), nullptr);
}

TEST(EditControllerEx1, ListsUnitsAndProgramLists) {
    Controller c;
    EXPECT_TRUE(c.addUnit(kRootUnitId, kNoParentUnitId, u"Root Unit"));
    EXPECT_TRUE(c.addUnit(1, kRootUnitId, u"Operator 4", 5));
    EXPECT_FALSE(c.addUnit(1, kRootUnitId, u"duplicate"));
    ProgramList list;
    list.id = 5;
    list.name = u"Presets";
    list.programNames = {u"Init", u"Bass"};
    EXPECT_TRUE(c.addProgramList(list));
    EXPECT_FALSE(c.addProgramList(list));

    ASSERT_EQ(c.getUnitCount(), 2);
    UnitInfo u{};
    ASSERT_EQ(c.getUnitInfo(1, u), kResultOk);
    EXPECT_EQ(u.programListId, 5);
    EXPECT_EQ(c.getUnitInfo(2, u), kResultFalse);
    ProgramListInfo pl{};
    ASSERT_EQ(c.getProgramListInfo(0, pl), kResultOk);
    EXPECT_EQ(pl.programCount, 2);
    EXPECT_EQ(utf16ToUtf8(pl.name), "Presets");
    String128 name;
    ASSERT_EQ(c.getProgramName(5, 1, name), kResultOk);
    EXPECT_EQ(utf16ToUtf8(name), "Bass");
    EXPECT_EQ(c.getProgramName(5, 2, name), kResultFalse);
    EXPECT_EQ(c.getProgramName(6, 0, name), kResultFalse);
    EXPECT_EQ(c.selectUnit(1), kResultOk);
    EXPECT_EQ(c.getSelectedUnit(), 1);
    EXPECT_TRUE(queryInterfaceOf<IUnitInfo>(static_cast<IEditController*>(&c)));
    c.terminate();
    EXPECT_EQ(c.getUnitCount(), 0);
    EXPECT_EQ(c.getParameterCount(), 0);
}

TEST(EditorView, HoldsItsControllerUntilReleased) {
    auto* c = new Controller;
    auto* view = new EditorView(c);
    EXPECT_EQ(c->getRefCount(), 2u);
    // The base supports no window type: nothing to attach to.
    EXPECT_EQ(view->attached(nullptr, kPlatformTypeX11EmbedWindowID), kResultFalse);
    EXPECT_EQ(view->removed(), kResultOk);
    ViewRect r(0, 0, 10, 10);
    EXPECT_EQ(view->checkSizeConstraint(&r), kResultFalse);
    EXPECT_EQ(view->onSize(nullptr), kInvalidArgument);
    EXPECT_TRUE(queryInterfaceOf<IPlugView>(view));
    EXPECT_FALSE(queryInterfaceOf<IPlugViewContentScaleSupport>(view));
    view->release();
    EXPECT_EQ(c->getRefCount(), 1u);
    static_cast<IEditController*>(c)->release();
}

FUnknown* createEffect(void*) {
    return static_cast<IComponent*>(new Effect);
}

PClassInfo2 classInfo(const FUID& cid, const char* name) {
    PClassInfo2 info{};
    cid.toTUID(info.cid);
    info.cardinality = PClassInfo::kManyInstances;
    std::snprintf(info.category, sizeof(info.category), "%s", kVstAudioEffectClass);
    std::snprintf(info.name, sizeof(info.name), "%s", name);
    std::snprintf(info.vendor, sizeof(info.vendor), "v\xC3\xA9ndor");
    return info;
}

TEST(PluginFactory, RegistersClassesAndDescribesThemInEveryForm) {
    PFactoryInfo fi{};
    fi.flags = PFactoryInfo::kUnicode;
    auto* f = new PluginFactory(fi);
    const FUID a{0xA, 0, 0, 1};
    EXPECT_TRUE(f->registerClass(classInfo(a, "sondrix MD"), createEffect));
    EXPECT_FALSE(f->registerClass(classInfo(a, "same id"), createEffect));
    EXPECT_FALSE(f->registerClass(classInfo(FUID(0xB, 0, 0, 2), "no function"), nullptr));
    PClassInfo2 unterminated = classInfo(FUID(0xC, 0, 0, 3), "");
    std::memset(unterminated.name, 'n', sizeof(unterminated.name));
    EXPECT_TRUE(f->registerClass(unterminated, createEffect));
    ASSERT_EQ(f->countClasses(), 2);

    PClassInfo one{};
    PClassInfo2 two{};
    PClassInfoW w{};
    ASSERT_EQ(f->getClassInfo(0, &one), kResultOk);
    EXPECT_STREQ(one.name, "sondrix MD");
    ASSERT_EQ(f->getClassInfoUnicode(0, &w), kResultOk);
    EXPECT_EQ(utf16ToUtf8(w.name), "sondrix MD");
    EXPECT_EQ(utf16ToUtf8(w.vendor), "v\xC3\xA9ndor");
    ASSERT_EQ(f->getClassInfo2(1, &two), kResultOk);
    EXPECT_EQ(std::string(two.name), std::string(63, 'n')); // terminated within its field
    EXPECT_EQ(f->getClassInfo2(2, &two), kInvalidArgument);
    EXPECT_EQ(f->getClassInfo(-1, &one), kInvalidArgument);
    EXPECT_EQ(f->getFactoryInfo(nullptr), kInvalidArgument);

    void* obj = nullptr;
    ASSERT_EQ(f->createInstance(a.data(), IAudioProcessor::iid.data(), &obj), kResultOk);
    static_cast<IAudioProcessor*>(obj)->release();
    EXPECT_EQ(f->createInstance(a.data(), nullptr, &obj), kInvalidArgument);

    auto* host = new HostApplication;
    EXPECT_EQ(f->setHostContext(static_cast<IHostApplication*>(host)), kResultOk);
    EXPECT_EQ(host->getRefCount(), 2u);
    EXPECT_TRUE(queryInterfaceOf<IHostApplication>(f->getHostContext()));
    EXPECT_TRUE(queryInterfaceOf<IPluginFactory3>(static_cast<IPluginFactory*>(f)));
    f->release(); // the factory lets go of the host context
    EXPECT_EQ(host->getRefCount(), 1u);
    host->release();
}

bool gInitResult = true;
int gInits = 0;
int gDeinits = 0;
bool countInit() {
    return ++gInits, gInitResult;
}
bool countDeinit() {
    return ++gDeinits, true;
}

TEST(BundleEntry, FirstEntryStartsAndLastExitStopsTheModule) {
    int handle = 0;
    EXPECT_FALSE(bundleExit(countDeinit)); // exit without entry
    gInitResult = false;
    EXPECT_FALSE(bundleEntry(&handle, countInit));
    EXPECT_EQ(bundleEntryCount(), 0);
    gInitResult = true;
    EXPECT_TRUE(bundleEntry(&handle, countInit));
    EXPECT_TRUE(bundleEntry(&handle, countInit));
    EXPECT_EQ(gInits, 2); // the refused start and the first real one
    EXPECT_EQ(moduleHandle(), &handle);
    EXPECT_TRUE(bundleExit(countDeinit));
    EXPECT_EQ(gDeinits, 0);
    EXPECT_TRUE(bundleExit(countDeinit));
    EXPECT_EQ(gDeinits, 1);
    EXPECT_EQ(moduleHandle(), nullptr);
    EXPECT_EQ(bundleEntryCount(), 0);
}

} // namespace
