// The edit controller through the test host, with the fake engine host
// describing a handful of parameters: what it answers before the processor's
// holder arrives, the parameter list and its titles with and without units,
// MIDI mapping, note expressions, the engine's callbacks, and the holder
// numbers that must never be taken for live objects.
#include <cstring>

#include "support/PlugTestSupport.h"
#include "vst3/PlugFactory.h"
#include "vst3base/INoteExpression.h"
#include "vst3base/IUnitInfo.h"
#include "vst3base/UString.h"

using namespace plugtest;
using EngineInfo = vantor::ParameterInfo;

namespace {

// The engine's descriptions: one per value kind, named with prefixes.
struct EngineParameters {
    EngineParameters() {
        attack.setLabel("A:OP4 Attack");
        volume.setLabel("L03 Volume");
        mono.setLabel("Main Mono");
        wave.setLabel("LFO Wave");
        wave.setList("Saw|Square|Triangle");
        bare.setLabel("LFO Empty");
        plain.setLabel("Tuning");
    }
    void install(fakeengine::State& s) {
        s.infos[0] = &attack;
        s.infos[1] = &volume;
        s.infos[2] = &mono;
        s.infos[3] = &wave;
        s.infos[4] = &bare;
        s.infos[5] = &plain;
    }
    EngineInfo attack{"", EngineInfo::kContinuous, 0, 1, 0.5f, 0, 0};
    EngineInfo volume{"", EngineInfo::kInteger, 0, 127, 100, 0, 0};
    EngineInfo mono{"", EngineInfo::kOnOff, 0, 1, 0, 0, 0};
    EngineInfo wave{"", EngineInfo::kList, 0, 2, 0, 0, 0};
    EngineInfo bare{"", EngineInfo::kList, 0, 2, 0, 0, 0}; // no list: not offered
    EngineInfo plain{"", EngineInfo::kContinuous, -12, 12, 0, 0, 0};
};

class PlugControllerTest : public PlugTest {
protected:
    void SetUp() override {
        PlugTest::SetUp();
        parametersOfEngine.install(engine.state());
    }
    // The engine's callback as the controller registered it.
    int32_t callback(int32_t id, void* p1, int32_t a, int32_t b, int32_t c, float f) {
        const auto& record = engine->callback;
        return record.function ? record.function(id, p1, nullptr, a, b, c, f, record.userData) : -1;
    }
    std::string title(IEditController* c, ParamID id) {
        for (int32 i = 0; i < c->getParameterCount(); ++i) {
            Vst::ParameterInfo info{};
            if (c->getParameterInfo(i, info) == kResultOk && info.id == id)
                return utf16ToUtf8(info.title);
        }
        return "<none>";
    }
    Vst::ParameterInfo infoOf(IEditController* c, ParamID id) {
        for (int32 i = 0; i < c->getParameterCount(); ++i) {
            Vst::ParameterInfo info{};
            if (c->getParameterInfo(i, info) == kResultOk && info.id == id) return info;
        }
        return Vst::ParameterInfo{};
    }
    EngineParameters parametersOfEngine;
};

TEST_F(PlugControllerTest, AnswersQuietlyBeforeTheHolderArrives) {
    auto controller = createObject<IEditController>(vantor::kPlugControllerUID);
    ASSERT_TRUE(controller);
    ASSERT_EQ(controller->initialize(static_cast<IHostApplication*>(host)), kResultOk);
    EXPECT_EQ(controller->getParameterCount(), 300);
    EXPECT_EQ(controller->getParamNormalized(0), 0.0);
    EXPECT_EQ(controller->createView("editor"), nullptr);

    // A number that is no live holder is not taken for one.
    auto point = queryInterfaceOf<IConnectionPoint>(controller.get());
    IPtr<HostMessage> message = IPtr<HostMessage>::adopt(new HostMessage);
    message->setMessageID("MorvaneHandle");
    message->getAttributes()->setInt("No", 0x1234);
    EXPECT_EQ(point->notify(message.get()), kResultFalse);
    EXPECT_EQ(controller->getParameterCount(), 300);
    EXPECT_EQ(point->notify(nullptr), kInvalidArgument);
    controller->terminate();
}

TEST_F(PlugControllerTest, ListsBypassTheEnginesParametersAndTheMIDIControllers) {
    auto p = makeInstance(0);
    ASSERT_TRUE(p);
    IEditController* c = p->controller();
    ASSERT_EQ(c->getParameterCount(), 1 + 5 + 16 + 16 + 2048);

    Vst::ParameterInfo first{};
    ASSERT_EQ(c->getParameterInfo(0, first), kResultOk);
    EXPECT_EQ(first.id, 9000u);
    EXPECT_EQ(utf16ToUtf8(first.title), "Bypass");
    EXPECT_EQ(first.flags, Vst::ParameterInfo::kCanAutomate | Vst::ParameterInfo::kIsBypass);

    const int32 automatable = Vst::ParameterInfo::kCanAutomate;
    const int32 list = automatable | Vst::ParameterInfo::kIsList;
    const struct {
        ParamID id;
        const char* title;
        int32 steps;
        int32 flags;
    } cases[] = {
        {0, "A:Operator 4 : Attack", 0, automatable},
        {1, "FM:3 : Volume", 127, automatable},
        {2, "Main : Mono", 1, automatable},
        {3, "LFO : Wave", 2, list},
        {5, "Tuning", 0, automatable},
        {12048, "Ch00 - ChanAft", 1, 0},
        {12064 + 15, "Ch15 - PitchBend", 1, 0},
        {10000 + 2 * 128 + 7, "Ch02 - CC007", 1, 0},
    };
    for (const auto& k : cases) {
        const Vst::ParameterInfo info = infoOf(c, k.id);
        EXPECT_EQ(utf16ToUtf8(info.title), k.title) << k.id;
        EXPECT_EQ(info.stepCount, k.steps) << k.id;
        EXPECT_EQ(info.flags, k.flags) << k.id;
        EXPECT_EQ(info.unitId, 0) << k.id;
    }
    EXPECT_EQ(title(c, 4), "<none>");
    String128 text{};
    ASSERT_EQ(c->getParamStringByValue(3, 0.5, text), kResultOk);
    EXPECT_EQ(utf16ToUtf8(text), "Square");

    auto units = queryInterfaceOf<IUnitInfo>(c);
    ASSERT_TRUE(units);
    EXPECT_EQ(units->getUnitCount(), 1);
    UnitInfo root{};
    ASSERT_EQ(units->getUnitInfo(0, root), kResultOk);
    EXPECT_EQ(utf16ToUtf8(root.name), "Root Unit");
    EXPECT_EQ(root.parentUnitId, kNoParentUnitId);
    EXPECT_EQ(units->getUnitInfo(1, root), kResultFalse);
    EXPECT_EQ(units->getProgramListCount(), 16);
    ProgramListInfo programs{};
    ASSERT_EQ(units->getProgramListInfo(15, programs), kResultOk);
    EXPECT_EQ(utf16ToUtf8(programs.name), "ProgramList 15");
    EXPECT_EQ(programs.programCount, 128);
    EXPECT_EQ(units->getProgramListInfo(16, programs), kResultFalse);
    ASSERT_EQ(units->getProgramName(2, 5, text), kResultOk);
    EXPECT_EQ(utf16ToUtf8(text), "Program 5");
    EXPECT_EQ(units->selectUnit(0), kResultOk);
    EXPECT_EQ(units->selectUnit(1), kResultFalse);
}

class PreSonusHost : public PlugControllerTest {
    const char* hostName() const override { return "PreSonus VST3 Host 6"; }
};

TEST_F(PreSonusHost, GroupsParametersIntoUnitsNamedByTheirPrefixes) {
    auto p = makeInstance(0);
    ASSERT_TRUE(p);
    IEditController* c = p->controller();
    auto units = queryInterfaceOf<IUnitInfo>(c);
    ASSERT_TRUE(units);
    ASSERT_EQ(units->getUnitCount(), 1 + 6);                    // A > Operator 4, FM > 3, Main, LFO
    std::map<std::string, std::pair<UnitID, std::string>> tree; // name -> id, parent's name
    std::map<UnitID, std::string> names{{0, "Root Unit"}};
    for (int32 i = 1; i < units->getUnitCount(); ++i) {
        UnitInfo u{};
        ASSERT_EQ(units->getUnitInfo(i, u), kResultOk);
        names[u.id] = utf16ToUtf8(u.name);
        tree[utf16ToUtf8(u.name)] = {u.id, names[u.parentUnitId]};
    }
    EXPECT_EQ(tree["Operator 4"].second, "A");
    EXPECT_EQ(tree["A"].second, "Root Unit");
    EXPECT_EQ(tree["3"].second, "FM");
    EXPECT_EQ(tree["LFO"].second, "Root Unit");
    EXPECT_EQ(infoOf(c, 0).unitId, tree["Operator 4"].first);
    EXPECT_EQ(title(c, 0), "Attack");
    EXPECT_EQ(title(c, 1), "Volume");
    EXPECT_EQ(title(c, 5), "Tuning"); // no prefix: its own name, in the root
    EXPECT_EQ(infoOf(c, 5).unitId, 0);

    // A rename to a name shorter than the prefix that made the unit.
    parametersOfEngine.attack.setLabel("Q");
    parametersOfEngine.volume.setLabel("L03 Level");
    engine->values[1] = 64;
    handler->restarts.clear();
    EXPECT_EQ(callback(vantor::ZEFA_HOST_PARAMETERS_CHANGED, nullptr, 0, 0, 0, 0), 0);
    EXPECT_EQ(title(c, 0), "Q");
    EXPECT_EQ(title(c, 1), "Level");
    EXPECT_EQ(handler->restarts, (std::vector<int32>{kParamTitlesChanged | kParamValuesChanged}));
}

TEST_F(PlugControllerTest, MapsMIDIControllersOntoThePseudoParameters) {
    auto p = makeInstance(0);
    ASSERT_TRUE(p);
    auto mapping = queryInterfaceOf<IMidiMapping>(p->controller());
    ASSERT_TRUE(mapping);
    const struct {
        int16 channel;
        CtrlNumber controller;
        tresult result;
        ParamID id;
    } cases[] = {{2, 7, kResultOk, 10263},           {0, 0, kResultOk, 10000},
                 {15, 127, kResultOk, 12047},        {2, kPitchBend, kResultOk, 12066},
                 {3, kAfterTouch, kResultOk, 12051}, {0, kCtrlProgramChange, kResultFalse, 0},
                 {16, 7, kResultFalse, 0},           {-1, 7, kResultFalse, 0}};
    for (const auto& k : cases) {
        ParamID id = 0;
        EXPECT_EQ(mapping->getMidiControllerAssignment(0, k.channel, k.controller, id), k.result)
            << k.channel << "/" << k.controller;
        if (k.result == kResultOk) {
            EXPECT_EQ(id, k.id);
        }
    }
}

TEST_F(PlugControllerTest, DescribesEightNoteExpressions) {
    auto p = makeInstance(0);
    ASSERT_TRUE(p);
    auto expressions = queryInterfaceOf<INoteExpressionController>(p->controller());
    ASSERT_TRUE(expressions);
    EXPECT_EQ(expressions->getNoteExpressionCount(0, 0), 8);
    EXPECT_EQ(expressions->getNoteExpressionCount(0, 1), 0);
    const struct {
        int32 index;
        NoteExpressionTypeID id;
        const char* title;
        double minimum, maximum;
        bool bipolar;
    } types[] = {{0, kVolumeTypeID, "Volume", 0, 1, false},
                 {2, kTuningTypeID, "Tuning", 0.3, 0.7, true},
                 {6, kCustomStart, "Pressure", 0, 1, false},
                 {7, kCustomStart + 1, "Extra", 0, 1, false}};
    for (const auto& t : types) {
        NoteExpressionTypeInfo info{};
        ASSERT_EQ(expressions->getNoteExpressionInfo(0, 0, t.index, info), kResultOk);
        EXPECT_EQ(info.typeId, t.id);
        EXPECT_EQ(utf16ToUtf8(info.title), t.title);
        EXPECT_EQ(info.valueDesc.minimum, t.minimum);
        EXPECT_EQ(info.valueDesc.maximum, t.maximum);
        EXPECT_EQ(info.unitId, -1);
        EXPECT_EQ((info.flags & NoteExpressionTypeInfo::kIsBipolar) != 0, t.bipolar);
    }
    NoteExpressionTypeInfo info{};
    EXPECT_EQ(expressions->getNoteExpressionInfo(0, 0, 8, info), kResultFalse);

    const struct {
        NoteExpressionTypeID id;
        double value;
        const char* text;
    } texts[] = {{kPanTypeID, 0.75, "50.00"},
                 {kTuningTypeID, 0.25, "-60.00"},
                 {kVolumeTypeID, 0.5, "50.00"}};
    for (const auto& t : texts) {
        String128 text{};
        ASSERT_EQ(expressions->getNoteExpressionStringByValue(0, 0, t.id, t.value, text),
                  kResultOk);
        EXPECT_EQ(utf16ToUtf8(text), t.text);
        double back = -1;
        ASSERT_EQ(expressions->getNoteExpressionValueByString(0, 0, t.id, text, back), kResultOk);
        EXPECT_NEAR(back, t.value, 1e-9);
    }
    double back = 0;
    EXPECT_EQ(expressions->getNoteExpressionValueByString(0, 0, 0, u"loud", back), kResultFalse);
    auto physical = queryInterfaceOf<INoteExpressionPhysicalUIMapping>(p->controller());
    ASSERT_TRUE(physical);
    // Where the note expressions are, and nothing mapped: the host's list
    // says so.
    PhysicalUIMap room[3] = {};
    PhysicalUIMapList maps{3, room};
    EXPECT_EQ(physical->getPhysicalUIMapping(0, 0, maps), kResultOk);
    EXPECT_EQ(maps.count, 0u);
    for (int16 channel = 1; channel <= 16; ++channel)
        EXPECT_EQ(physical->getPhysicalUIMapping(0, channel, maps), kResultFalse) << channel;
    EXPECT_EQ(physical->getPhysicalUIMapping(0, -1, maps), kResultFalse);
    EXPECT_EQ(physical->getPhysicalUIMapping(1, 0, maps), kResultFalse);
}

TEST_F(PlugControllerTest, EditsInTheEnginesEditorReachTheHost) {
    auto p = makeInstance();
    ASSERT_TRUE(p);
    IEditController* c = p->controller();
    c->getParameterCount();
    using Edit = HostComponentHandler::Edit;
    auto kinds = [&] {
        std::string s;
        for (const Edit& e : handler->edits) s += e.kind;
        return s;
    };

    // Not to be told: the shown value changes, nothing else.
    handler->edits.clear();
    EXPECT_EQ(callback(vantor::ZEFA_HOST_PARAMETER_EDITED, nullptr, 0, 5, 1, 0.25f), 0);
    EXPECT_EQ(kinds(), "");
    // A plain edit: begin, perform with the value packed to 0..1, end.
    EXPECT_EQ(
        callback(vantor::ZEFA_HOST_PARAMETER_EDITED, &parametersOfEngine.volume, 0, 1, 0, 63.5f),
        0);
    EXPECT_EQ(kinds(), "bpe");
    EXPECT_NEAR(handler->edits[1].value, 0.5, 1e-6);
    // a != 0: ignored.
    handler->edits.clear();
    EXPECT_EQ(callback(vantor::ZEFA_HOST_PARAMETER_EDITED, nullptr, 1, 5, 0, 0.5f), 0);
    EXPECT_EQ(kinds(), "");

    // While a gesture is open the processor leaves the host's value of that
    // parameter to the engine's editor.
    EXPECT_EQ(callback(vantor::ZEFA_HOST_BEGIN_EDIT, nullptr, 0, 5, 0, 0), 0);
    HostParameterChanges changes;
    changes.refAdd();
    changes.add(5, 0, 0.9);
    engine.clearCalls();
    ASSERT_EQ(p->process(64, nullptr, &changes), kResultOk);
    EXPECT_EQ(countOpcode(vantor::kOpSetParameter), 0);
    EXPECT_EQ(callback(vantor::ZEFA_HOST_END_EDIT, nullptr, 0, 5, 0, 0), 0);
    ASSERT_EQ(p->process(64, nullptr, &changes), kResultOk);
    EXPECT_EQ(countOpcode(vantor::kOpSetParameter), 1);
    EXPECT_EQ(kinds(), "be");

    handler->restarts.clear();
    const int dirty = handler->dirtyCalls;
    EXPECT_EQ(callback(vantor::ZEFA_HOST_LATENCY_CHANGED, nullptr, 0, 0, 0, 0), 0);
    EXPECT_EQ(handler->restarts, (std::vector<int32>{kLatencyChanged}));
    EXPECT_EQ(callback(vantor::ZEFA_HOST_KEYMAP_CHANGED, nullptr, 0, 0, 0, 0), 0);
    EXPECT_EQ(handler->dirtyCalls, dirty + 2);
    EXPECT_EQ(callback(4242, nullptr, 0, 0, 0, 0), 2);
}

// A connection point that keeps the holder number the processor sends.
class HolderSpy : public FObject, public IConnectionPoint {
public:
    tresult connect(IConnectionPoint*) override { return kResultOk; }
    tresult disconnect(IConnectionPoint*) override { return kResultOk; }
    tresult notify(IMessage* message) override {
        if (message && std::strcmp(message->getMessageID(), "MorvaneHandle") == 0)
            message->getAttributes()->getInt("No", number);
        return kResultOk;
    }
    tresult queryInterface(const TUID, void** obj) override {
        *obj = nullptr;
        return kNoInterface;
    }
    SX_REFCOUNT_METHODS
    int64 number = 0;
};

TEST_F(PlugControllerTest, AHolderNumberOutlivesNothing) {
    auto controller = createObject<IEditController>(vantor::kPlugControllerUID);
    ASSERT_EQ(controller->initialize(static_cast<IHostApplication*>(host)), kResultOk);
    auto point = queryInterfaceOf<IConnectionPoint>(controller.get());
    auto handleOf = [](int64 number) {
        IPtr<HostMessage> m = IPtr<HostMessage>::adopt(new HostMessage);
        m->setMessageID("MorvaneHandle");
        m->getAttributes()->setInt("No", number);
        return m;
    };

    // The controller learns a live holder from the number ...
    auto component = createObject<IComponent>(processorClass());
    ASSERT_EQ(component->initialize(static_cast<IHostApplication*>(host)), kResultOk);
    HolderSpy spy;
    spy.refAdd();
    auto componentPoint = queryInterfaceOf<IConnectionPoint>(component.get());
    ASSERT_EQ(componentPoint->connect(&spy), kResultOk);
    ASSERT_NE(spy.number, 0);
    point->notify(handleOf(spy.number).get());
    EXPECT_EQ(controller->getParameterCount(), 1 + 5 + 32 + 2048);
    engine->values[0] = 0.5f;
    EXPECT_EQ(controller->getParamNormalized(0), 0.5);

    // ... and lets go of it when the processor goes.
    componentPoint->disconnect(&spy);
    componentPoint.reset();
    component->terminate();
    component.reset();
    EXPECT_EQ(controller->getParamNormalized(0), 0.0);
    EXPECT_EQ(controller->createView("editor"), nullptr);
    // The same number again is no longer a holder.
    point->notify(handleOf(spy.number).get());
    EXPECT_EQ(controller->getParamNormalized(0), 0.0);
    controller->terminate();
}

TEST_F(PlugControllerTest, DisconnectingEndsTheEngineCallbackAndForgetsTheHolder) {
    auto p = makeInstance(0);
    ASSERT_TRUE(p);
    void* user = engine->callback.userData;
    ASSERT_NE(user, nullptr);
    engine.clearCalls();
    auto controllerPoint = queryInterfaceOf<IConnectionPoint>(p->controller());
    auto componentPoint = queryInterfaceOf<IConnectionPoint>(p->component());
    EXPECT_EQ(controllerPoint->disconnect(componentPoint.get()), kResultOk);
    const fakeengine::Call* removal = engine.find(vantor::kOpRemoveHostCallback);
    ASSERT_NE(removal, nullptr);
    EXPECT_EQ(removal->p2, user);
    engine->values[0] = 0.5f;
    EXPECT_EQ(p->controller()->getParamNormalized(0), 0.0);
    // A second disconnect has nothing to end.
    EXPECT_EQ(controllerPoint->disconnect(componentPoint.get()), kResultFalse);
}

TEST_F(PreSonusHost, ATerminatedControllerInitialisedAgainListsItsParametersAgain) {
    auto component = createObject<IComponent>(processorClass());
    auto controller = createObject<IEditController>(vantor::kPlugControllerUID);
    ASSERT_TRUE(component && controller);
    ASSERT_EQ(component->initialize(static_cast<IHostApplication*>(host)), kResultOk);
    auto componentPoint = queryInterfaceOf<IConnectionPoint>(component.get());
    auto controllerPoint = queryInterfaceOf<IConnectionPoint>(controller.get());
    auto units = queryInterfaceOf<IUnitInfo>(controller.get());
    int32 parameters = 0, unitCount = 0;
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(controller->initialize(static_cast<IHostApplication*>(host)), kResultOk);
        ASSERT_EQ(componentPoint->connect(controllerPoint.get()), kResultOk);
        ASSERT_EQ(controllerPoint->connect(componentPoint.get()), kResultOk);
        if (round == 0) {
            parameters = controller->getParameterCount();
            unitCount = units->getUnitCount();
            ASSERT_GT(parameters, 1 + 16 + 16 + 2048);
            ASSERT_GT(unitCount, 1);
        }
        EXPECT_EQ(controller->getParameterCount(), parameters) << round;
        EXPECT_EQ(units->getUnitCount(), unitCount) << round;
        EXPECT_EQ(title(controller.get(), 0), "Attack") << round;
        componentPoint->disconnect(controllerPoint.get());
        controllerPoint->disconnect(componentPoint.get());
        EXPECT_EQ(controller->terminate(), kResultOk);
    }
    EXPECT_EQ(component->terminate(), kResultOk);
}

} // namespace
