// `IUnitInfo`: the tree of units (groups of parameters shown together by
// hosts) and the program lists attached to them.
#pragma once

#include <cstddef>

#include "vst3base/VstTypes.h"

namespace Steinberg {
class IBStream;
}

namespace Steinberg::Vst {

// One unit (268 bytes).
struct UnitInfo {
    UnitID id;
    UnitID parentUnitId; // kNoParentUnitId for the root
    String128 name;
    ProgramListID programListId; // kNoProgramListId when none
};

// One program list (264 bytes).
struct ProgramListInfo {
    ProgramListID id;
    String128 name;
    int32 programCount;
};

class IUnitInfo : public FUnknown {
public:
    virtual int32 getUnitCount() = 0;
    virtual tresult getUnitInfo(int32 unitIndex, UnitInfo& info) = 0;
    virtual int32 getProgramListCount() = 0;
    virtual tresult getProgramListInfo(int32 listIndex, ProgramListInfo& info) = 0;
    virtual tresult getProgramName(ProgramListID listId, int32 programIndex, String128 name) = 0;
    virtual tresult getProgramInfo(ProgramListID listId, int32 programIndex, CString attributeId,
                                   String128 attributeValue) = 0;
    virtual tresult hasProgramPitchNames(ProgramListID listId, int32 programIndex) = 0;
    virtual tresult getProgramPitchName(ProgramListID listId, int32 programIndex, int16 midiPitch,
                                        String128 name) = 0;
    virtual UnitID getSelectedUnit() = 0;
    virtual tresult selectUnit(UnitID unitId) = 0;
    virtual tresult getUnitByBus(MediaType type, BusDirection dir, int32 busIndex, int32 channel,
                                 UnitID& unitId) = 0;
    virtual tresult setUnitProgramData(int32 listOrUnitId, int32 programIndex, IBStream* data) = 0;

    static constexpr FUID iid{0x3D4BD6B5, 0x913A4FD2, 0xA886E768, 0xA5EB92C1};

protected:
    ~IUnitInfo() = default;
};

static_assert(sizeof(UnitInfo) == 268 && offsetof(UnitInfo, name) == 8 &&
              offsetof(UnitInfo, programListId) == 264);
static_assert(sizeof(ProgramListInfo) == 264 && offsetof(ProgramListInfo, programCount) == 260);

} // namespace Steinberg::Vst
