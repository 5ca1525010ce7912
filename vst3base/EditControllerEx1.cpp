// IUnitInfo from lists of units and program lists.
#include "vst3base/EditControllerEx1.h"

#include "vst3base/UString.h"

namespace Steinberg::Vst {

bool EditControllerEx1::addUnit(const UnitInfo& unit) {
    for (const UnitInfo& u : units_)
        if (u.id == unit.id) return false;
    units_.push_back(unit);
    return true;
}

bool EditControllerEx1::addUnit(UnitID id, UnitID parentId, const TChar* name,
                                ProgramListID programListId) {
    UnitInfo info{};
    info.id = id;
    info.parentUnitId = parentId;
    strcpy16(info.name, name, 128);
    info.programListId = programListId;
    return addUnit(info);
}

bool EditControllerEx1::addProgramList(const ProgramList& list) {
    if (findProgramList(list.id)) return false;
    programLists_.push_back(list);
    return true;
}

const ProgramList* EditControllerEx1::findProgramList(ProgramListID id) const {
    for (const ProgramList& l : programLists_)
        if (l.id == id) return &l;
    return nullptr;
}

int32 EditControllerEx1::getUnitCount() {
    return static_cast<int32>(units_.size());
}

tresult EditControllerEx1::getUnitInfo(int32 unitIndex, UnitInfo& info) {
    if (unitIndex < 0 || unitIndex >= getUnitCount()) return kResultFalse;
    info = units_[static_cast<size_t>(unitIndex)];
    return kResultOk;
}

int32 EditControllerEx1::getProgramListCount() {
    return static_cast<int32>(programLists_.size());
}

tresult EditControllerEx1::getProgramListInfo(int32 listIndex, ProgramListInfo& info) {
    if (listIndex < 0 || listIndex >= getProgramListCount()) return kResultFalse;
    const ProgramList& l = programLists_[static_cast<size_t>(listIndex)];
    info = ProgramListInfo{};
    info.id = l.id;
    strcpy16(info.name, l.name.c_str(), 128);
    info.programCount = static_cast<int32>(l.programNames.size());
    return kResultOk;
}

tresult EditControllerEx1::getProgramName(ProgramListID listId, int32 programIndex,
                                          String128 name) {
    const ProgramList* l = findProgramList(listId);
    if (!l || !name || programIndex < 0 ||
        programIndex >= static_cast<int32>(l->programNames.size()))
        return kResultFalse;
    strcpy16(name, l->programNames[static_cast<size_t>(programIndex)].c_str(), 128);
    return kResultOk;
}

tresult EditControllerEx1::getProgramInfo(ProgramListID, int32, CString, String128) {
    return kResultFalse;
}
tresult EditControllerEx1::hasProgramPitchNames(ProgramListID, int32) {
    return kResultFalse;
}
tresult EditControllerEx1::getProgramPitchName(ProgramListID, int32, int16, String128) {
    return kResultFalse;
}

tresult EditControllerEx1::selectUnit(UnitID unitId) {
    selectedUnit_ = unitId;
    return kResultOk;
}

tresult EditControllerEx1::getUnitByBus(MediaType, BusDirection, int32, int32, UnitID&) {
    return kResultFalse;
}

tresult EditControllerEx1::setUnitProgramData(int32, int32, IBStream*) {
    return kResultFalse;
}

tresult EditControllerEx1::terminate() {
    units_.clear();
    programLists_.clear();
    return EditController::terminate();
}

tresult EditControllerEx1::queryInterface(const TUID iid, void** obj) {
    if (!obj) return kInvalidArgument;
    if (answerInterface<IUnitInfo>(iid, this, obj)) return kResultOk;
    return EditController::queryInterface(iid, obj);
}

} // namespace Steinberg::Vst
