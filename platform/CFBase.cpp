#include "platform/CFBase.h"

#include "platform/CFObject.h"

CFTypeRef CFRetain(CFTypeRef object) {
    const SxCFObject* o = sxObject(object);
    if (o && !o->immortal) o->refs.fetch_add(1, std::memory_order_relaxed);
    return object;
}

void CFRelease(CFTypeRef object) {
    const SxCFObject* o = sxObject(object);
    if (!o || o->immortal) return;
    if (o->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete o;
}

CFIndex CFGetRetainCount(CFTypeRef object) {
    const SxCFObject* o = sxObject(object);
    if (!o) return 0;
    return o->immortal ? 0x7FFFFFFF : o->refs.load(std::memory_order_relaxed);
}

CFTypeID CFGetTypeID(CFTypeRef object) {
    const SxCFObject* o = sxObject(object);
    return o ? o->typeID : 0;
}

bool CFEqual(CFTypeRef a, CFTypeRef b) {
    if (a == b) return true;
    const SxCFObject* x = sxObject(a);
    const SxCFObject* y = sxObject(b);
    if (!x || !y || x->typeID != y->typeID) return false;
    return x->sameValue(*y);
}
