#include "platform/CFArray.h"

#include "platform/CFObject.h"

SxCFArray::~SxCFArray() {
    for (CFTypeRef item : items) CFRelease(item);
}

bool SxCFArray::sameValue(const SxCFObject& other) const {
    const auto& o = static_cast<const SxCFArray&>(other);
    if (items.size() != o.items.size()) return false;
    for (size_t i = 0; i < items.size(); ++i)
        if (!CFEqual(items[i], o.items[i])) return false;
    return true;
}

CFTypeID CFArrayGetTypeID() {
    return kSxTypeArray;
}

CFArrayRef CFArrayCreate(CFAllocatorRef, const void** values, CFIndex count) {
    auto* a = new SxCFArray();
    for (CFIndex i = 0; values && i < count; ++i)
        if (values[i]) a->items.push_back(CFRetain(values[i]));
    return a;
}

CFMutableArrayRef CFArrayCreateMutable(CFAllocatorRef, CFIndex) {
    return new SxCFArray();
}

CFMutableArrayRef CFArrayCreateMutableCopy(CFAllocatorRef, CFIndex, CFArrayRef array) {
    auto* a = new SxCFArray();
    if (const SxCFArray* src = sxAs<SxCFArray>(array, kSxTypeArray))
        for (CFTypeRef item : src->items) a->items.push_back(CFRetain(item));
    return a;
}

CFIndex CFArrayGetCount(CFArrayRef array) {
    const SxCFArray* a = sxAs<SxCFArray>(array, kSxTypeArray);
    return a ? static_cast<CFIndex>(a->items.size()) : 0;
}

CFTypeRef CFArrayGetValueAtIndex(CFArrayRef array, CFIndex index) {
    const SxCFArray* a = sxAs<SxCFArray>(array, kSxTypeArray);
    if (!a || index < 0 || static_cast<size_t>(index) >= a->items.size()) return nullptr;
    return a->items[static_cast<size_t>(index)];
}

void CFArrayAppendValue(CFMutableArrayRef array, CFTypeRef value) {
    if (array && array->typeID == kSxTypeArray && value) array->items.push_back(CFRetain(value));
}
