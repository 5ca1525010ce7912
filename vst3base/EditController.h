// The base of a plug-in's edit controller: `IEditController` and
// `IEditController2` on top of ComponentBase, answering the host's parameter
// questions from a ParameterContainer, and relaying the controller's own edits
// (begin/perform/end, restart, dirty) to the host's component handler.
// Component state, the controller's own state and the editor are left to the
// derived class.
#pragma once

#include "vst3base/ComponentBase.h"
#include "vst3base/IEditController.h"
#include "vst3base/ParameterContainer.h"

namespace Steinberg::Vst {

class EditController : public ComponentBase, public IEditController, public IEditController2 {
public:
    EditController() = default;
    ~EditController() override;

    tresult initialize(FUnknown* context) override;
    // Drops the parameters and the component handler too.
    tresult terminate() override;

    tresult setComponentState(IBStream* state) override;
    tresult setState(IBStream* state) override;
    tresult getState(IBStream* state) override;
    int32 getParameterCount() override;
    tresult getParameterInfo(int32 paramIndex, ParameterInfo& info) override;
    tresult getParamStringByValue(ParamID id, ParamValue valueNormalized,
                                  String128 string) override;
    tresult getParamValueByString(ParamID id, TChar* string, ParamValue& valueNormalized) override;
    ParamValue normalizedParamToPlain(ParamID id, ParamValue valueNormalized) override;
    ParamValue plainParamToNormalized(ParamID id, ParamValue plainValue) override;
    ParamValue getParamNormalized(ParamID id) override;
    tresult setParamNormalized(ParamID id, ParamValue value) override;
    tresult setComponentHandler(IComponentHandler* handler) override;
    IPlugView* createView(FIDString name) override;

    tresult setKnobMode(KnobMode mode) override;
    tresult openHelp(TBool onlyCheck) override;
    tresult openAboutBox(TBool onlyCheck) override;

    tresult queryInterface(const TUID iid, void** obj) override;
    SX_REFCOUNT_FORWARD(ComponentBase)

    // Edits reported to the host; kResultFalse without a component handler.
    tresult beginEdit(ParamID id);
    tresult performEdit(ParamID id, ParamValue valueNormalized);
    tresult endEdit(ParamID id);
    tresult restartComponent(int32 flags);
    // Marks the project dirty through IComponentHandler2 when the host has it.
    tresult setDirty(TBool state);

    IComponentHandler* getComponentHandler() const { return componentHandler_; }
    Parameter* getParameterObject(ParamID id) const { return parameters.getParameter(id); }
    KnobMode getKnobMode() const { return knobMode_; }

protected:
    ParameterContainer parameters;

private:
    IComponentHandler* componentHandler_ = nullptr;   // one reference held
    IComponentHandler2* componentHandler2_ = nullptr; // one reference held
    KnobMode knobMode_ = kCircularMode;
};

} // namespace Steinberg::Vst
