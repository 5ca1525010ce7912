#include "instrument/DCSG_noise_sub.h"

#include <cmath>

#include "vantor/PlatformTools.h"

void DCSG_noise_sub::setParameter(uint32_t index, const int32_t* iv, const float* fv) {
    const int32_t v = iv ? *iv : fv ? PSaturateToInt32(std::floor(double(*fv) + 0.5)) : 0;
    if (index == 0)
        periodic = v;
    else if (index == 1)
        rate = v;
    rewrite();
}

void DCSG_noise_sub::rewrite() {
    const uint8_t white = (periodic & 1) ? 0 : 4;
    writePsg(uint8_t(0xE0 | (rate & 3) | white));
}
