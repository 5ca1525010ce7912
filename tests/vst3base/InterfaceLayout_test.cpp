// The binary interface against its published values: every interface id in
// its 16-byte non-COM form, the vtable slot of every method (a method in the
// wrong place calls the wrong function in a real host), and the result codes.
// Record sizes and offsets are pinned by static_asserts in the headers; the
// event record is also checked byte by byte against a hex fixture.
#include <cstring>
#include <string>
#include <type_traits>

#include <gtest/gtest.h>

#include "support/HexFixture.h"
#include "vst3base/IAudioProcessor.h"
#include "vst3base/IBStream.h"
#include "vst3base/IComponent.h"
#include "vst3base/IEditController.h"
#include "vst3base/IMessage.h"
#include "vst3base/INoteExpression.h"
#include "vst3base/IPlugView.h"
#include "vst3base/IPluginFactory.h"
#include "vst3base/IUnitInfo.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

std::string hex(const FUID& id) {
    std::string s;
    char b[3];
    for (char c : id.bytes) {
        std::snprintf(b, sizeof(b), "%02X", static_cast<unsigned char>(c));
        s += b;
    }
    return s;
}

struct IidCase {
    const char* name;
    FUID id;
    const char* bytes; // the published id as 32 hex digits, in memory order
};

const IidCase kIids[] = {
    {"FUnknown", FUnknown::iid, "0000000000000000C000000000000046"},
    {"IPluginBase", IPluginBase::iid, "22888DDB156E45AE8358B34808190625"},
    {"IPluginFactory", IPluginFactory::iid, "7A4D811C52114A1FAED9D2EE0B43BF9F"},
    {"IPluginFactory2", IPluginFactory2::iid, "0007B650F24B4C0BA464EDB9F00B2ABB"},
    {"IPluginFactory3", IPluginFactory3::iid, "4555A2ABC1234E579B12291036878931"},
    {"IPluginCompatibility", IPluginCompatibility::iid, "4AFD4B6A35D7C240A5C31414FB7D15E6"},
    {"IBStream", IBStream::iid, "C3BF6EA2309947529B6BF9901EE33E9B"},
    {"IComponent", IComponent::iid, "E831FF31F2D54301928EBBEE25697802"},
    {"IAudioProcessor", IAudioProcessor::iid, "42043F99B7DA453CA569E79D9AAEC33D"},
    {"IProcessContextRequirements", IProcessContextRequirements::iid,
     "2A654303EF764E3D95B5FE83730EF6D0"},
    {"IParamValueQueue", IParamValueQueue::iid, "01263A18ED074F6F98C9D3564686F9BA"},
    {"IParameterChanges", IParameterChanges::iid, "A47796630BB64A56B44384A8466FEB9D"},
    {"IEventList", IEventList::iid, "3A2C4214346349FEB2C4F397B9695A44"},
    {"IConnectionPoint", IConnectionPoint::iid, "70A4156F6E6E4026989148BFAA60D8D1"},
    {"IMessage", IMessage::iid, "936F033BC6C047DBBB0882F813C1E613"},
    {"IAttributeList", IAttributeList::iid, "1E5F0AEBCC7F4533A254401138AD5EE4"},
    {"IHostApplication", IHostApplication::iid, "58E595CCDB2D49698B6AAF8C36A664E5"},
    {"IEditController", IEditController::iid, "DCD7BBE37742448DA874AACC979C759E"},
    {"IEditController2", IEditController2::iid, "7F4EFE59F3204967AC27A3AEAFB63038"},
    {"IComponentHandler", IComponentHandler::iid, "93A0BEA30BD045DB8E890B0CC1E46AC6"},
    {"IComponentHandler2", IComponentHandler2::iid, "F040B4B3A36045ECABCDC045B4D5A2CC"},
    {"IMidiMapping", IMidiMapping::iid, "DF0FF9F749B74669B63AB7327ADBF5E5"},
    {"IUnitInfo", IUnitInfo::iid, "3D4BD6B5913A4FD2A886E768A5EB92C1"},
    {"INoteExpressionController", INoteExpressionController::iid,
     "B7F8F85941234872911695814F3721A3"},
    {"INoteExpressionPhysicalUIMapping", INoteExpressionPhysicalUIMapping::iid,
     "B03078FF94D24AC890CCD303D4133324"},
    {"IPlugView", IPlugView::iid, "5BC32507D06049EAA6151B522B755B29"},
    {"IPlugFrame", IPlugFrame::iid, "367FAF01AFA946938D4DA2A0ED0882A3"},
    {"IPlugViewContentScaleSupport", IPlugViewContentScaleSupport::iid,
     "65ED96908AC445258AADEF7A72EA703F"},
    {"IEventHandler", Linux::IEventHandler::iid, "561E65C913A0496F813A2C35654D7983"},
    {"ITimerHandler", Linux::ITimerHandler::iid, "10BDD94F41424774821FAD8FECA72CA9"},
    {"IRunLoop", Linux::IRunLoop::iid, "18C3536697764F1A9C5B83857A871389"},
};

TEST(InterfaceIds, MatchThePublishedBytesInNonComOrder) {
    for (const IidCase& c : kIids) EXPECT_EQ(hex(c.id), c.bytes) << c.name;
}

TEST(InterfaceIds, PrintAndParseAsThirtyTwoHexDigits) {
    char text[33];
    IComponent::iid.toString(text);
    EXPECT_STREQ(text, "E831FF31F2D54301928EBBEE25697802");
    FUID parsed;
    ASSERT_TRUE(parsed.fromString("e831ff31f2d54301928ebbee25697802"));
    EXPECT_TRUE(parsed == IComponent::iid);
    for (const char* bad : {"E831FF31", "E831FF31F2D54301928EBBEE2569780G",
                            "E831FF31F2D54301928EBBEE256978021", ""}) {
        EXPECT_FALSE(parsed.fromString(bad)) << bad;
        EXPECT_TRUE(parsed == IComponent::iid) << bad; // left unchanged
    }
    EXPECT_FALSE(parsed.fromString(nullptr));
}

TEST(InterfaceIds, AreDistinctAndReadBackAsTheirWords) {
    for (const IidCase& a : kIids) {
        for (const IidCase& b : kIids) {
            if (&a == &b) continue;
            EXPECT_FALSE(a.id == b.id) << a.name << " / " << b.name;
        }
        char expected[9];
        std::snprintf(expected, sizeof(expected), "%08X", a.id.word(2));
        EXPECT_EQ(std::string(a.bytes).substr(16, 8), expected) << a.name;
    }
}

// The vtable slot of a virtual member function: under the Itanium C++ ABI a
// pointer to a virtual member holds 1 + the slot's byte offset.
template <class C, class M> long slotOf(M C::*method) {
    struct {
        uintptr_t ptr;
        ptrdiff_t adj;
    } raw;
    static_assert(sizeof(method) == sizeof(raw));
    std::memcpy(&raw, &method, sizeof(raw));
    if ((raw.ptr & 1) == 0) return -1; // not virtual
    return static_cast<long>((raw.ptr - 1) / sizeof(void*));
}

struct SlotCase {
    const char* method;
    long slot;
    long expected;
};

#define SLOT(I, m, n)                                                                              \
    { #I "::" #m, slotOf(&I::m), n }

const SlotCase kSlots[] = {
    SLOT(FUnknown, queryInterface, 0),
    SLOT(FUnknown, addRef, 1),
    SLOT(FUnknown, release, 2),
    SLOT(IPluginBase, initialize, 3),
    SLOT(IPluginBase, terminate, 4),
    SLOT(IPluginFactory, getFactoryInfo, 3),
    SLOT(IPluginFactory, countClasses, 4),
    SLOT(IPluginFactory, getClassInfo, 5),
    SLOT(IPluginFactory, createInstance, 6),
    SLOT(IPluginFactory2, getClassInfo2, 7),
    SLOT(IPluginFactory3, getClassInfoUnicode, 8),
    SLOT(IPluginFactory3, setHostContext, 9),
    SLOT(IPluginCompatibility, getCompatibilityJSON, 3),
    SLOT(IBStream, read, 3),
    SLOT(IBStream, write, 4),
    SLOT(IBStream, seek, 5),
    SLOT(IBStream, tell, 6),
    SLOT(IComponent, getControllerClassId, 5),
    SLOT(IComponent, setIoMode, 6),
    SLOT(IComponent, getBusCount, 7),
    SLOT(IComponent, getBusInfo, 8),
    SLOT(IComponent, getRoutingInfo, 9),
    SLOT(IComponent, activateBus, 10),
    SLOT(IComponent, setActive, 11),
    SLOT(IComponent, setState, 12),
    SLOT(IComponent, getState, 13),
    SLOT(IAudioProcessor, setBusArrangements, 3),
    SLOT(IAudioProcessor, getBusArrangement, 4),
    SLOT(IAudioProcessor, canProcessSampleSize, 5),
    SLOT(IAudioProcessor, getLatencySamples, 6),
    SLOT(IAudioProcessor, setupProcessing, 7),
    SLOT(IAudioProcessor, setProcessing, 8),
    SLOT(IAudioProcessor, process, 9),
    SLOT(IAudioProcessor, getTailSamples, 10),
    SLOT(IProcessContextRequirements, getProcessContextRequirements, 3),
    SLOT(IParamValueQueue, getParameterId, 3),
    SLOT(IParamValueQueue, getPointCount, 4),
    SLOT(IParamValueQueue, getPoint, 5),
    SLOT(IParamValueQueue, addPoint, 6),
    SLOT(IParameterChanges, getParameterCount, 3),
    SLOT(IParameterChanges, getParameterData, 4),
    SLOT(IParameterChanges, addParameterData, 5),
    SLOT(IEventList, getEventCount, 3),
    SLOT(IEventList, getEvent, 4),
    SLOT(IEventList, addEvent, 5),
    SLOT(IConnectionPoint, connect, 3),
    SLOT(IConnectionPoint, disconnect, 4),
    SLOT(IConnectionPoint, notify, 5),
    SLOT(IMessage, getMessageID, 3),
    SLOT(IMessage, setMessageID, 4),
    SLOT(IMessage, getAttributes, 5),
    SLOT(IAttributeList, setInt, 3),
    SLOT(IAttributeList, getInt, 4),
    SLOT(IAttributeList, setFloat, 5),
    SLOT(IAttributeList, getFloat, 6),
    SLOT(IAttributeList, setString, 7),
    SLOT(IAttributeList, getString, 8),
    SLOT(IAttributeList, setBinary, 9),
    SLOT(IAttributeList, getBinary, 10),
    SLOT(IHostApplication, getName, 3),
    SLOT(IHostApplication, createInstance, 4),
    SLOT(IEditController, setComponentState, 5),
    SLOT(IEditController, setState, 6),
    SLOT(IEditController, getState, 7),
    SLOT(IEditController, getParameterCount, 8),
    SLOT(IEditController, getParameterInfo, 9),
    SLOT(IEditController, getParamStringByValue, 10),
    SLOT(IEditController, getParamValueByString, 11),
    SLOT(IEditController, normalizedParamToPlain, 12),
    SLOT(IEditController, plainParamToNormalized, 13),
    SLOT(IEditController, getParamNormalized, 14),
    SLOT(IEditController, setParamNormalized, 15),
    SLOT(IEditController, setComponentHandler, 16),
    SLOT(IEditController, createView, 17),
    SLOT(IEditController2, setKnobMode, 3),
    SLOT(IEditController2, openHelp, 4),
    SLOT(IEditController2, openAboutBox, 5),
    SLOT(IComponentHandler, beginEdit, 3),
    SLOT(IComponentHandler, performEdit, 4),
    SLOT(IComponentHandler, endEdit, 5),
    SLOT(IComponentHandler, restartComponent, 6),
    SLOT(IComponentHandler2, setDirty, 3),
    SLOT(IComponentHandler2, requestOpenEditor, 4),
    SLOT(IComponentHandler2, startGroupEdit, 5),
    SLOT(IComponentHandler2, finishGroupEdit, 6),
    SLOT(IMidiMapping, getMidiControllerAssignment, 3),
    SLOT(IUnitInfo, getUnitCount, 3),
    SLOT(IUnitInfo, getUnitInfo, 4),
    SLOT(IUnitInfo, getProgramListCount, 5),
    SLOT(IUnitInfo, getProgramListInfo, 6),
    SLOT(IUnitInfo, getProgramName, 7),
    SLOT(IUnitInfo, getProgramInfo, 8),
    SLOT(IUnitInfo, hasProgramPitchNames, 9),
    SLOT(IUnitInfo, getProgramPitchName, 10),
    SLOT(IUnitInfo, getSelectedUnit, 11),
    SLOT(IUnitInfo, selectUnit, 12),
    SLOT(IUnitInfo, getUnitByBus, 13),
    SLOT(IUnitInfo, setUnitProgramData, 14),
    SLOT(INoteExpressionController, getNoteExpressionCount, 3),
    SLOT(INoteExpressionController, getNoteExpressionInfo, 4),
    SLOT(INoteExpressionController, getNoteExpressionStringByValue, 5),
    SLOT(INoteExpressionController, getNoteExpressionValueByString, 6),
    SLOT(INoteExpressionPhysicalUIMapping, getPhysicalUIMapping, 3),
    SLOT(IPlugView, isPlatformTypeSupported, 3),
    SLOT(IPlugView, attached, 4),
    SLOT(IPlugView, removed, 5),
    SLOT(IPlugView, onWheel, 6),
    SLOT(IPlugView, onKeyDown, 7),
    SLOT(IPlugView, onKeyUp, 8),
    SLOT(IPlugView, getSize, 9),
    SLOT(IPlugView, onSize, 10),
    SLOT(IPlugView, onFocus, 11),
    SLOT(IPlugView, setFrame, 12),
    SLOT(IPlugView, canResize, 13),
    SLOT(IPlugView, checkSizeConstraint, 14),
    SLOT(IPlugFrame, resizeView, 3),
    SLOT(IPlugViewContentScaleSupport, setContentScaleFactor, 3),
    SLOT(Linux::IEventHandler, onFDIsSet, 3),
    SLOT(Linux::ITimerHandler, onTimer, 3),
    SLOT(Linux::IRunLoop, registerEventHandler, 3),
    SLOT(Linux::IRunLoop, unregisterEventHandler, 4),
    SLOT(Linux::IRunLoop, registerTimer, 5),
    SLOT(Linux::IRunLoop, unregisterTimer, 6),
};

TEST(InterfaceLayout, EveryMethodSitsInItsPublishedVtableSlot) {
    for (const SlotCase& c : kSlots) EXPECT_EQ(c.slot, c.expected) << c.method;
}

TEST(InterfaceLayout, InterfacesAreOneVtablePointer) {
    // No data and no virtual destructor: the object is exactly its vtable pointer.
    EXPECT_EQ(sizeof(FUnknown), sizeof(void*));
    EXPECT_EQ(sizeof(IComponent), sizeof(void*));
    EXPECT_EQ(sizeof(IPluginFactory3), sizeof(void*));
    EXPECT_FALSE(std::has_virtual_destructor_v<FUnknown>);
    EXPECT_FALSE(std::has_virtual_destructor_v<IEditController>);
}

TEST(InterfaceLayout, ResultCodesTakeTheirNonWindowsValues) {
    const struct {
        tresult code;
        int value;
    } codes[] = {{kNoInterface, -1},  {kResultOk, 0},        {kResultTrue, 0},
                 {kResultFalse, 1},   {kInvalidArgument, 2}, {kNotImplemented, 3},
                 {kInternalError, 4}, {kNotInitialized, 5},  {kOutOfMemory, 6}};
    for (const auto& c : codes) EXPECT_EQ(c.code, c.value);
}

TEST(InterfaceLayout, NoteOnEventMatchesItsFixture) {
    Event e{};
    e.busIndex = 1;
    e.sampleOffset = 0x20;
    e.ppqPosition = 1.0;
    e.flags = Event::kIsLive;
    e.type = Event::kNoteOnEvent;
    e.noteOn = NoteOnEvent{2, 60, 0.5f, 1.0f, 0x100, 7};
    // busIndex, offset, ppq 1.0, flags, type, pad, channel, pitch, tuning 0.5,
    // velocity 1.0, length, noteId, union tail.
    testsupport::expectBytesMatchFixture(reinterpret_cast<const unsigned char*>(&e), sizeof(e),
                                         "01000000 20000000 000000000000F03F 0100 0000 ........"
                                         "0200 3C00 0000003F 0000803F 00010000 07000000 ........");
}

TEST(InterfaceLayout, StringsAreSixteenBitUnits) {
    static_assert(sizeof(TChar) == 2 && sizeof(String128) == 256);
    static_assert(std::is_same_v<char16, char16_t>);
    EXPECT_STREQ(kVstAudioEffectClass, "Audio Module Class");
    EXPECT_STREQ(kVstComponentControllerClass, "Component Controller Class");
    EXPECT_STREQ(kPluginCompatibilityClass, "Plugin Compatibility Class");
    EXPECT_EQ(PFactoryInfo::kUnicode, 16);
    EXPECT_EQ(kParamTitlesChanged | kParamValuesChanged, 20);
    EXPECT_EQ(kLatencyChanged, 8);
    EXPECT_EQ(ParameterInfo::kIsBypass, 0x10000);
    EXPECT_EQ(SpeakerArr::kStereo, 3u);
    EXPECT_EQ(SpeakerArr::kMono, 0x80000u);
}

} // namespace
