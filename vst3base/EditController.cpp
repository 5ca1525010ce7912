// IEditController defaults over a ParameterContainer, and edits to the host.
#include "vst3base/EditController.h"

namespace Steinberg::Vst {

EditController::~EditController() {
    if (componentHandler2_) componentHandler2_->release();
    if (componentHandler_) componentHandler_->release();
}

tresult EditController::initialize(FUnknown* context) {
    return ComponentBase::initialize(context);
}

tresult EditController::terminate() {
    parameters.removeAll();
    setComponentHandler(nullptr);
    return ComponentBase::terminate();
}

tresult EditController::setComponentState(IBStream*) {
    return kNotImplemented;
}
tresult EditController::setState(IBStream*) {
    return kNotImplemented;
}
tresult EditController::getState(IBStream*) {
    return kNotImplemented;
}

int32 EditController::getParameterCount() {
    return parameters.getParameterCount();
}

tresult EditController::getParameterInfo(int32 paramIndex, ParameterInfo& info) {
    const Parameter* p = parameters.getParameterByIndex(paramIndex);
    if (!p) return kInvalidArgument;
    info = p->getInfo();
    return kResultOk;
}

tresult EditController::getParamStringByValue(ParamID id, ParamValue valueNormalized,
                                              String128 string) {
    const Parameter* p = parameters.getParameter(id);
    if (!p || !string) return kInvalidArgument;
    p->toString(valueNormalized, string);
    return kResultOk;
}

tresult EditController::getParamValueByString(ParamID id, TChar* string,
                                              ParamValue& valueNormalized) {
    const Parameter* p = parameters.getParameter(id);
    if (!p || !string) return kInvalidArgument;
    return p->fromString(string, valueNormalized) ? kResultOk : kResultFalse;
}

ParamValue EditController::normalizedParamToPlain(ParamID id, ParamValue valueNormalized) {
    const Parameter* p = parameters.getParameter(id);
    return p ? p->toPlain(valueNormalized) : valueNormalized;
}

ParamValue EditController::plainParamToNormalized(ParamID id, ParamValue plainValue) {
    const Parameter* p = parameters.getParameter(id);
    return p ? p->toNormalized(plainValue) : plainValue;
}

ParamValue EditController::getParamNormalized(ParamID id) {
    const Parameter* p = parameters.getParameter(id);
    return p ? p->getNormalized() : 0.0;
}

tresult EditController::setParamNormalized(ParamID id, ParamValue value) {
    Parameter* p = parameters.getParameter(id);
    if (!p) return kResultFalse;
    p->setNormalized(value);
    return kResultOk;
}

tresult EditController::setComponentHandler(IComponentHandler* handler) {
    if (handler == componentHandler_) return kResultOk;
    if (componentHandler2_) componentHandler2_->release();
    componentHandler2_ = nullptr;
    if (componentHandler_) componentHandler_->release();
    componentHandler_ = handler;
    if (handler) {
        handler->addRef();
        void* obj = nullptr;
        if (handler->queryInterface(IComponentHandler2::iid.data(), &obj) == kResultOk)
            componentHandler2_ = static_cast<IComponentHandler2*>(obj);
    }
    return kResultOk;
}

IPlugView* EditController::createView(FIDString) {
    return nullptr;
}

tresult EditController::setKnobMode(KnobMode mode) {
    if (mode < kCircularMode || mode > kLinearMode) return kInvalidArgument;
    knobMode_ = mode;
    return kResultOk;
}

tresult EditController::openHelp(TBool) {
    return kResultFalse;
}
tresult EditController::openAboutBox(TBool) {
    return kResultFalse;
}

tresult EditController::queryInterface(const TUID iid, void** obj) {
    if (!obj) return kInvalidArgument;
    if (answerInterface<IEditController>(iid, this, obj) ||
        answerInterface<IPluginBase>(iid, static_cast<IEditController*>(this), obj) ||
        answerInterface<IEditController2>(iid, this, obj))
        return kResultOk;
    return ComponentBase::queryInterface(iid, obj);
}

tresult EditController::beginEdit(ParamID id) {
    return componentHandler_ ? componentHandler_->beginEdit(id) : kResultFalse;
}

tresult EditController::performEdit(ParamID id, ParamValue valueNormalized) {
    return componentHandler_ ? componentHandler_->performEdit(id, valueNormalized) : kResultFalse;
}

tresult EditController::endEdit(ParamID id) {
    return componentHandler_ ? componentHandler_->endEdit(id) : kResultFalse;
}

tresult EditController::restartComponent(int32 flags) {
    return componentHandler_ ? componentHandler_->restartComponent(flags) : kResultFalse;
}

tresult EditController::setDirty(TBool state) {
    return componentHandler2_ ? componentHandler2_->setDirty(state) : kResultFalse;
}

} // namespace Steinberg::Vst
