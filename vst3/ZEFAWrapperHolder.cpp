#include "vst3/ZEFAWrapperHolder.h"

namespace vantor {

ZEFAWrapperHolder::~ZEFAWrapperHolder() {
    delete syncInfo;
    syncInfo = nullptr;
    delete wrapper;
    wrapper = nullptr;
}

} // namespace vantor
