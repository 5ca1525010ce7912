#include "platform/CFData.h"

#include "platform/CFObject.h"

bool SxCFData::sameValue(const SxCFObject& other) const {
    return bytes == static_cast<const SxCFData&>(other).bytes;
}

bool SxCFDate::sameValue(const SxCFObject& other) const {
    return text == static_cast<const SxCFDate&>(other).text;
}

CFTypeID CFDataGetTypeID() {
    return kSxTypeData;
}

CFDataRef CFDataCreate(CFAllocatorRef, const uint8_t* bytes, CFIndex length) {
    if (length < 0 || (!bytes && length > 0)) return nullptr;
    auto* d = new SxCFData();
    d->bytes.assign(bytes, bytes + length);
    return d;
}

CFIndex CFDataGetLength(CFDataRef data) {
    const SxCFData* d = sxAs<SxCFData>(data, kSxTypeData);
    return d ? static_cast<CFIndex>(d->bytes.size()) : 0;
}

const uint8_t* CFDataGetBytePtr(CFDataRef data) {
    const SxCFData* d = sxAs<SxCFData>(data, kSxTypeData);
    return d ? d->bytes.data() : nullptr;
}

CFTypeID CFDateGetTypeID() {
    return kSxTypeDate;
}
