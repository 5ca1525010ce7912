// The ordered set of a controller's parameters: owns them, keeps the order in
// which they were added (the host's parameter index) and finds them by id.
#pragma once

#include <memory>
#include <unordered_map>
#include <vector>

#include "vst3base/Parameter.h"

namespace Steinberg::Vst {

class ParameterContainer {
public:
    // Takes ownership; refuses (and deletes) a null or a second parameter with
    // the same id, answering null.
    Parameter* addParameter(Parameter* p);
    Parameter* addParameter(const TChar* title, ParamID id, const TChar* units = nullptr,
                            ParamValue defaultNormalized = 0.0, int32 stepCount = 0,
                            int32 flags = ParameterInfo::kCanAutomate, UnitID unitId = kRootUnitId,
                            const TChar* shortTitle = nullptr);
    // Null when no parameter has this id / index.
    Parameter* getParameter(ParamID id) const;
    Parameter* getParameterByIndex(int32 index) const;
    int32 getParameterCount() const { return static_cast<int32>(params_.size()); }
    void removeAll();

private:
    std::vector<std::unique_ptr<Parameter>> params_;
    std::unordered_map<ParamID, size_t> indexById_;
};

} // namespace Steinberg::Vst
