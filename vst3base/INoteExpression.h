// Note expressions: per-note values (volume, pan, tuning, ...) the host sends
// as `NoteExpressionValueEvent`s. `INoteExpressionController` describes the
// types a plug-in understands; `INoteExpressionPhysicalUIMapping` tells the host
// which physical controls (X/Y of an MPE surface, pressure) feed which type.
#pragma once

#include <cstddef>

#include "vst3base/VstTypes.h"

namespace Steinberg::Vst {

enum NoteExpressionTypeIDs : NoteExpressionTypeID {
    kVolumeTypeID = 0,
    kPanTypeID = 1,
    kTuningTypeID = 2,
    kVibratoTypeID = 3,
    kExpressionTypeID = 4,
    kBrightnessTypeID = 5,
    kTextTypeID = 6,
    kPhonemeTypeID = 7,
    kCustomStart = 100000,
    kCustomEnd = 200000,
    kInvalidTypeID = 0xFFFFFFFF,
};

// Range of one type, normalised (32 bytes: three doubles, the step count, padding).
struct NoteExpressionValueDescription {
    NoteExpressionValue defaultValue;
    NoteExpressionValue minimum;
    NoteExpressionValue maximum;
    int32 stepCount;
};

// One note-expression type (816 bytes).
struct NoteExpressionTypeInfo {
    enum NoteExpressionTypeFlags : int32 {
        kIsBipolar = 1 << 0,
        kIsOneShot = 1 << 1,
        kIsAbsolute = 1 << 2,
        kAssociatedParameterIDValid = 1 << 3,
    };

    NoteExpressionTypeID typeId;
    String128 title;
    String128 shortTitle;
    String128 units;
    UnitID unitId; // -1 when none
    NoteExpressionValueDescription valueDesc;
    ParamID associatedParameterId;
    int32 flags;
};

class INoteExpressionController : public FUnknown {
public:
    virtual int32 getNoteExpressionCount(int32 busIndex, int16 channel) = 0;
    virtual tresult getNoteExpressionInfo(int32 busIndex, int16 channel, int32 noteExpressionIndex,
                                          NoteExpressionTypeInfo& info) = 0;
    virtual tresult getNoteExpressionStringByValue(int32 busIndex, int16 channel,
                                                   NoteExpressionTypeID id,
                                                   NoteExpressionValue valueNormalized,
                                                   String128 string) = 0;
    virtual tresult getNoteExpressionValueByString(int32 busIndex, int16 channel,
                                                   NoteExpressionTypeID id, const TChar* string,
                                                   NoteExpressionValue& valueNormalized) = 0;

    static constexpr FUID iid{0xB7F8F859, 0x41234872, 0x91169581, 0x4F3721A3};

protected:
    ~INoteExpressionController() = default;
};

enum PhysicalUITypeIDs : PhysicalUITypeID {
    kPUIXMovement = 0,
    kPUIYMovement = 1,
    kPUIPressure = 2,
    kPUITypeCount = 3,
    kInvalidPUITypeID = 0xFFFFFFFF,
};

// One physical control and the type it drives (8 bytes).
struct PhysicalUIMap {
    PhysicalUITypeID physicalUITypeID;
    NoteExpressionTypeID noteExpressionTypeID;
};

// The host's array of maps for the plug-in to fill (16 bytes).
struct PhysicalUIMapList {
    uint32 count;
    PhysicalUIMap* map;
};

class INoteExpressionPhysicalUIMapping : public FUnknown {
public:
    virtual tresult getPhysicalUIMapping(int32 busIndex, int16 channel,
                                         PhysicalUIMapList& list) = 0;

    static constexpr FUID iid{0xB03078FF, 0x94D24AC8, 0x90CCD303, 0xD4133324};

protected:
    ~INoteExpressionPhysicalUIMapping() = default;
};

static_assert(sizeof(NoteExpressionValueDescription) == 32 &&
              offsetof(NoteExpressionValueDescription, stepCount) == 24);
static_assert(sizeof(NoteExpressionTypeInfo) == 816 &&
              offsetof(NoteExpressionTypeInfo, title) == 4 &&
              offsetof(NoteExpressionTypeInfo, units) == 516 &&
              offsetof(NoteExpressionTypeInfo, unitId) == 772 &&
              offsetof(NoteExpressionTypeInfo, valueDesc) == 776 &&
              offsetof(NoteExpressionTypeInfo, associatedParameterId) == 808 &&
              offsetof(NoteExpressionTypeInfo, flags) == 812);
static_assert(sizeof(PhysicalUIMap) == 8 && sizeof(PhysicalUIMapList) == 16 &&
              offsetof(PhysicalUIMapList, map) == 8);

} // namespace Steinberg::Vst
