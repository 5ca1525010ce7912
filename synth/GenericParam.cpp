#include "synth/GenericParam.h"

namespace VSX {

namespace {

void fill(vantor::ParameterInfo& p, const char* label, uint32_t kind, float minV, float maxV,
          float defaultV, uint8_t math, uint16_t mod) {
    p = vantor::ParameterInfo(label, kind, minV, maxV, defaultV, math, mod);
    p.flags |= vantor::ParameterInfo::kFlagPerVoice;
}

} // namespace

GenericParam::GenericParam() {
    using P = vantor::ParameterInfo;
    fill(records[kAmplitude4Bit], "Amplitude (4-bit)", P::kInteger, 0, 15, 15, 0x0B, 0x0441);
    fill(records[kAmplitude7Bit], "Amplitude (7-bit)", P::kInteger, 0, 127, 127, 0x0B, 0x0541);
    fill(records[kAmplitude], "Amplitude", P::kContinuous, 0, 1.0f, 1.0f, 0x0B, 0x0501);
    records[kAmplitude].displayMode = 11;
    records[kAmplitude].setDisplayFormat("%3.0f");
    records[kAmplitude].factor = 100.0f;
    amplitudeFormat = records[kAmplitude].displayFormat;
    fill(records[kDetune], "Detune", P::kInteger, -100, 100, 0, 0x03, 0x0541);
    fill(records[kTranspose], "Transpose", P::kInteger, -128, 127, 0, 0x07, 0x0541);
    fill(records[kFixedFreq], "Fixed Freq", P::kOnOff, 0, 1, 0, 0x01, 0x0481);
}

GenericParam& GenericParam::getInstance() {
    // A function-local static is built once even when threads race for it;
    // the pointer keeps it alive (and reachable) until the process ends.
    static GenericParam* const instance = new GenericParam();
    return *instance;
}

} // namespace VSX
