// A controller's parameters: each holds its host-visible `ParameterInfo` and
// its current normalised value (0..1), and converts between normalised, plain
// and text form. `RangeParameter` maps 0..1 onto [min, max] (in steps when it
// has a step count); `StringListParameter` is a list whose n entries are the
// steps 0..n-1.
#pragma once

#include <string>
#include <vector>

#include "vst3base/IEditController.h"

namespace Steinberg::Vst {

class Parameter {
public:
    Parameter();
    explicit Parameter(const ParameterInfo& info);
    Parameter(const TChar* title, ParamID id, const TChar* units = nullptr,
              ParamValue defaultNormalized = 0.0, int32 stepCount = 0,
              int32 flags = ParameterInfo::kCanAutomate, UnitID unitId = kRootUnitId,
              const TChar* shortTitle = nullptr);
    virtual ~Parameter() = default;

    const ParameterInfo& getInfo() const { return info_; }
    ParameterInfo& getInfo() { return info_; }
    ParamID getId() const { return info_.id; }
    void setUnitID(UnitID id) { info_.unitId = id; }
    UnitID getUnitID() const { return info_.unitId; }
    // Replaces the title (UTF-16, cut to 127 units).
    void setTitle(const TChar* title);

    // Sets the value, clamped to 0..1; answers true when it changed.
    virtual bool setNormalized(ParamValue v);
    ParamValue getNormalized() const { return valueNormalized_; }
    void setPrecision(int32 digits) { precision_ = digits; }

    // The value as text: "On"/"Off" for one step, the step number for several,
    // else the value with the set precision and the units appended.
    virtual void toString(ParamValue valueNormalized, String128 string) const;
    // Parses text back; false for text that is not a number.
    virtual bool fromString(const TChar* string, ParamValue& valueNormalized) const;
    virtual ParamValue toPlain(ParamValue valueNormalized) const;
    virtual ParamValue toNormalized(ParamValue plainValue) const;

protected:
    ParameterInfo info_;
    ParamValue valueNormalized_ = 0.0;
    int32 precision_ = 4;
};

class RangeParameter : public Parameter {
public:
    RangeParameter(const TChar* title, ParamID id, const TChar* units = nullptr,
                   ParamValue minPlain = 0.0, ParamValue maxPlain = 1.0,
                   ParamValue defaultPlain = 0.0, int32 stepCount = 0,
                   int32 flags = ParameterInfo::kCanAutomate, UnitID unitId = kRootUnitId,
                   const TChar* shortTitle = nullptr);

    ParamValue getMin() const { return minPlain_; }
    ParamValue getMax() const { return maxPlain_; }

    // The plain value as text (whole numbers when stepped) with the units.
    void toString(ParamValue valueNormalized, String128 string) const override;
    bool fromString(const TChar* string, ParamValue& valueNormalized) const override;
    ParamValue toPlain(ParamValue valueNormalized) const override;
    ParamValue toNormalized(ParamValue plainValue) const override;

private:
    ParamValue minPlain_;
    ParamValue maxPlain_;
};

class StringListParameter : public Parameter {
public:
    StringListParameter(const TChar* title, ParamID id, const TChar* units = nullptr,
                        int32 flags = ParameterInfo::kCanAutomate | ParameterInfo::kIsList,
                        UnitID unitId = kRootUnitId, const TChar* shortTitle = nullptr);

    // Adds an entry; the step count follows the number of entries.
    void appendString(const TChar* string);
    // Replaces entry `index`; false when there is none.
    bool replaceString(int32 index, const TChar* string);
    int32 getStringCount() const { return static_cast<int32>(strings_.size()); }

    // The entry the value selects (empty text for an empty list).
    void toString(ParamValue valueNormalized, String128 string) const override;
    // Finds the entry with exactly this text.
    bool fromString(const TChar* string, ParamValue& valueNormalized) const override;
    ParamValue toPlain(ParamValue valueNormalized) const override;
    ParamValue toNormalized(ParamValue plainValue) const override;

private:
    std::vector<std::u16string> strings_;
};

} // namespace Steinberg::Vst
