// Owned parameters in host order, found by id.
#include "vst3base/ParameterContainer.h"

namespace Steinberg::Vst {

Parameter* ParameterContainer::addParameter(Parameter* p) {
    std::unique_ptr<Parameter> owned(p);
    if (!p || indexById_.count(p->getId())) return nullptr;
    indexById_[p->getId()] = params_.size();
    params_.push_back(std::move(owned));
    return p;
}

Parameter* ParameterContainer::addParameter(const TChar* title, ParamID id, const TChar* units,
                                            ParamValue defaultNormalized, int32 stepCount,
                                            int32 flags, UnitID unitId, const TChar* shortTitle) {
    return addParameter(
        new Parameter(title, id, units, defaultNormalized, stepCount, flags, unitId, shortTitle));
}

Parameter* ParameterContainer::getParameter(ParamID id) const {
    const auto it = indexById_.find(id);
    return it == indexById_.end() ? nullptr : params_[it->second].get();
}

Parameter* ParameterContainer::getParameterByIndex(int32 index) const {
    if (index < 0 || index >= getParameterCount()) return nullptr;
    return params_[static_cast<size_t>(index)].get();
}

void ParameterContainer::removeAll() {
    params_.clear();
    indexById_.clear();
}

} // namespace Steinberg::Vst
