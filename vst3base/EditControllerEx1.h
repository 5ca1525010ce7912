// An edit controller with units: `IUnitInfo` answered from a list of units and
// of program lists (each list a unit's named programs). Unit 0 is not implied:
// the derived controller adds the root unit it wants to show.
#pragma once

#include <string>
#include <vector>

#include "vst3base/EditController.h"
#include "vst3base/IUnitInfo.h"

namespace Steinberg::Vst {

// A named list of programs.
struct ProgramList {
    ProgramListID id = kNoProgramListId;
    std::u16string name;
    UnitID unitId = kRootUnitId;
    std::vector<std::u16string> programNames;
};

class EditControllerEx1 : public EditController, public IUnitInfo {
public:
    EditControllerEx1() = default;

    // Adds a unit; a second unit with the same id is refused.
    bool addUnit(const UnitInfo& unit);
    bool addUnit(UnitID id, UnitID parentId, const TChar* name,
                 ProgramListID programListId = kNoProgramListId);
    // Adds a program list; a second list with the same id is refused.
    bool addProgramList(const ProgramList& list);
    const std::vector<UnitInfo>& getUnits() const { return units_; }

    int32 getUnitCount() override;
    tresult getUnitInfo(int32 unitIndex, UnitInfo& info) override;
    int32 getProgramListCount() override;
    tresult getProgramListInfo(int32 listIndex, ProgramListInfo& info) override;
    tresult getProgramName(ProgramListID listId, int32 programIndex, String128 name) override;
    tresult getProgramInfo(ProgramListID listId, int32 programIndex, CString attributeId,
                           String128 attributeValue) override;
    tresult hasProgramPitchNames(ProgramListID listId, int32 programIndex) override;
    tresult getProgramPitchName(ProgramListID listId, int32 programIndex, int16 midiPitch,
                                String128 name) override;
    UnitID getSelectedUnit() override { return selectedUnit_; }
    tresult selectUnit(UnitID unitId) override;
    tresult getUnitByBus(MediaType type, BusDirection dir, int32 busIndex, int32 channel,
                         UnitID& unitId) override;
    tresult setUnitProgramData(int32 listOrUnitId, int32 programIndex, IBStream* data) override;

    tresult terminate() override;
    tresult queryInterface(const TUID iid, void** obj) override;
    SX_REFCOUNT_FORWARD(ComponentBase)

protected:
    const ProgramList* findProgramList(ProgramListID id) const;

    std::vector<UnitInfo> units_;
    std::vector<ProgramList> programLists_;
    UnitID selectedUnit_ = kRootUnitId;
};

} // namespace Steinberg::Vst
