// The controller side of a plug-in: `IEditController` (parameters, their
// values and texts, the editor), `IEditController2`, `IMidiMapping` (MIDI
// controllers onto parameters), and the host's `IComponentHandler`/2 through
// which the controller reports edits, restarts and unsaved changes.
#pragma once

#include <cstddef>

#include "vst3base/IPlugView.h"
#include "vst3base/IPluginFactory.h"
#include "vst3base/VstTypes.h"

namespace Steinberg {
class IBStream;
}

namespace Steinberg::Vst {

// One parameter as the host lists it (792 bytes).
struct ParameterInfo {
    enum ParameterFlags : int32 {
        kNoFlags = 0,
        kCanAutomate = 1 << 0,
        kIsReadOnly = 1 << 1,
        kIsWrapAround = 1 << 2,
        kIsList = 1 << 3,
        kIsHidden = 1 << 4,
        kIsProgramChange = 1 << 15,
        kIsBypass = 1 << 16,
    };

    ParamID id;
    String128 title;
    String128 shortTitle;
    String128 units;
    int32 stepCount; // 0 continuous, 1 on/off, n discrete
    ParamValue defaultNormalizedValue;
    UnitID unitId;
    int32 flags;
};

// Flags of `restartComponent`.
enum RestartFlags : int32 {
    kReloadComponent = 1 << 0,
    kIoChanged = 1 << 1,
    kParamValuesChanged = 1 << 2,
    kLatencyChanged = 1 << 3,
    kParamTitlesChanged = 1 << 4,
    kMidiCCAssignmentChanged = 1 << 5,
    kNoteExpressionChanged = 1 << 6,
    kIoTitlesChanged = 1 << 7,
    kPrefetchableSupportChanged = 1 << 8,
    kRoutingInfoChanged = 1 << 9,
    kKeyswitchChanged = 1 << 10,
    kParamIDMappingChanged = 1 << 11,
};

class IComponentHandler : public FUnknown {
public:
    virtual tresult beginEdit(ParamID id) = 0;
    virtual tresult performEdit(ParamID id, ParamValue valueNormalized) = 0;
    virtual tresult endEdit(ParamID id) = 0;
    virtual tresult restartComponent(int32 flags) = 0;

    static constexpr FUID iid{0x93A0BEA3, 0x0BD045DB, 0x8E890B0C, 0xC1E46AC6};

protected:
    ~IComponentHandler() = default;
};

class IComponentHandler2 : public FUnknown {
public:
    virtual tresult setDirty(TBool state) = 0;
    virtual tresult requestOpenEditor(FIDString name = "editor") = 0;
    virtual tresult startGroupEdit() = 0;
    virtual tresult finishGroupEdit() = 0;

    static constexpr FUID iid{0xF040B4B3, 0xA36045EC, 0xABCDC045, 0xB4D5A2CC};

protected:
    ~IComponentHandler2() = default;
};

class IEditController : public IPluginBase {
public:
    virtual tresult setComponentState(IBStream* state) = 0;
    virtual tresult setState(IBStream* state) = 0;
    virtual tresult getState(IBStream* state) = 0;
    virtual int32 getParameterCount() = 0;
    virtual tresult getParameterInfo(int32 paramIndex, ParameterInfo& info) = 0;
    virtual tresult getParamStringByValue(ParamID id, ParamValue valueNormalized,
                                          String128 string) = 0;
    virtual tresult getParamValueByString(ParamID id, TChar* string,
                                          ParamValue& valueNormalized) = 0;
    virtual ParamValue normalizedParamToPlain(ParamID id, ParamValue valueNormalized) = 0;
    virtual ParamValue plainParamToNormalized(ParamID id, ParamValue plainValue) = 0;
    virtual ParamValue getParamNormalized(ParamID id) = 0;
    virtual tresult setParamNormalized(ParamID id, ParamValue value) = 0;
    virtual tresult setComponentHandler(IComponentHandler* handler) = 0;
    // A new view with a reference for the caller, or null.
    virtual IPlugView* createView(FIDString name) = 0;

    static constexpr FUID iid{0xDCD7BBE3, 0x7742448D, 0xA874AACC, 0x979C759E};

protected:
    ~IEditController() = default;
};

enum KnobModes : KnobMode { kCircularMode = 0, kRelativCircularMode = 1, kLinearMode = 2 };

class IEditController2 : public FUnknown {
public:
    virtual tresult setKnobMode(KnobMode mode) = 0;
    virtual tresult openHelp(TBool onlyCheck) = 0;
    virtual tresult openAboutBox(TBool onlyCheck) = 0;

    static constexpr FUID iid{0x7F4EFE59, 0xF3204967, 0xAC27A3AE, 0xAFB63038};

protected:
    ~IEditController2() = default;
};

// MIDI controller numbers beyond the 128 control changes.
enum ControllerNumbers : CtrlNumber {
    kAfterTouch = 128,
    kPitchBend = 129,
    kCtrlProgramChange = 130,
};

class IMidiMapping : public FUnknown {
public:
    virtual tresult getMidiControllerAssignment(int32 busIndex, int16 channel,
                                                CtrlNumber midiControllerNumber, ParamID& id) = 0;

    static constexpr FUID iid{0xDF0FF9F7, 0x49B74669, 0xB63AB732, 0x7ADBF5E5};

protected:
    ~IMidiMapping() = default;
};

inline constexpr CString kEditor = "editor";

static_assert(sizeof(ParameterInfo) == 792 && offsetof(ParameterInfo, title) == 4 &&
              offsetof(ParameterInfo, shortTitle) == 260 && offsetof(ParameterInfo, units) == 516 &&
              offsetof(ParameterInfo, stepCount) == 772 &&
              offsetof(ParameterInfo, defaultNormalizedValue) == 776 &&
              offsetof(ParameterInfo, unitId) == 784 && offsetof(ParameterInfo, flags) == 788);

} // namespace Steinberg::Vst
