#include "platform/CFNumber.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "platform/CFObject.h"

namespace {

// Size in bytes and kind of each number type; 0 for unknown types.
struct TypeInfo {
    int size;
    bool isFloat;
};

TypeInfo typeInfo(CFNumberType type) {
    switch (type) {
    case kCFNumberSInt8Type:
    case kCFNumberCharType:
        return {1, false};
    case kCFNumberSInt16Type:
    case kCFNumberShortType:
        return {2, false};
    case kCFNumberSInt32Type:
    case kCFNumberIntType:
        return {4, false};
    case kCFNumberSInt64Type:
    case kCFNumberLongType:
    case kCFNumberLongLongType:
    case kCFNumberCFIndexType:
        return {8, false};
    case kCFNumberFloat32Type:
    case kCFNumberFloatType:
        return {4, true};
    case kCFNumberFloat64Type:
    case kCFNumberDoubleType:
        return {8, true};
    }
    return {0, false};
}

template <class T> bool storeInteger(const SxCFNumber& n, void* out) {
    constexpr long double lo = static_cast<long double>(std::numeric_limits<T>::min());
    constexpr long double hi = static_cast<long double>(std::numeric_limits<T>::max());
    long double v = n.isFloat ? static_cast<long double>(n.real) : n.integer;
    T r;
    bool exact = true;
    if (std::isnan(v)) {
        r = 0, exact = false;
    } else if (v < lo) {
        r = std::numeric_limits<T>::min(), exact = false;
    } else if (v > hi) {
        r = std::numeric_limits<T>::max(), exact = false;
    } else {
        long double t = std::trunc(v);
        r = static_cast<T>(t);
        exact = t == v;
    }
    std::memcpy(out, &r, sizeof r);
    return exact;
}

template <class T> bool storeFloat(const SxCFNumber& n, void* out) {
    T r;
    bool exact;
    if (n.isFloat) {
        r = static_cast<T>(n.real);
        exact = std::isnan(n.real) || static_cast<double>(r) == n.real;
    } else {
        r = static_cast<T>(n.integer);
        exact = static_cast<long double>(r) == static_cast<long double>(n.integer);
    }
    std::memcpy(out, &r, sizeof r);
    return exact;
}

const SxCFBoolean g_true(true);
const SxCFBoolean g_false(false);

} // namespace

bool SxCFNumber::sameValue(const SxCFObject& other) const {
    const auto& o = static_cast<const SxCFNumber&>(other);
    if (isFloat == o.isFloat) return isFloat ? real == o.real : integer == o.integer;
    double r = isFloat ? real : o.real;
    int64_t i = isFloat ? o.integer : integer;
    return static_cast<long double>(r) == static_cast<long double>(i);
}

CFTypeID CFNumberGetTypeID() {
    return kSxTypeNumber;
}

CFNumberRef CFNumberCreate(CFAllocatorRef, CFNumberType type, const void* value) {
    TypeInfo info = typeInfo(type);
    if (!value || info.size == 0) return nullptr;
    auto* n = new SxCFNumber();
    n->isFloat = info.isFloat;
    if (info.isFloat) {
        if (info.size == 4) {
            float f;
            std::memcpy(&f, value, 4);
            n->real = f;
        } else {
            std::memcpy(&n->real, value, 8);
        }
    } else {
        switch (info.size) {
        case 1:
            n->integer = *static_cast<const int8_t*>(value);
            break;
        case 2: {
            int16_t v;
            std::memcpy(&v, value, 2);
            n->integer = v;
            break;
        }
        case 4: {
            int32_t v;
            std::memcpy(&v, value, 4);
            n->integer = v;
            break;
        }
        default:
            std::memcpy(&n->integer, value, 8);
            break;
        }
    }
    return n;
}

bool CFNumberGetValue(CFNumberRef number, CFNumberType type, void* value) {
    const SxCFNumber* n = sxAs<SxCFNumber>(number, kSxTypeNumber);
    TypeInfo info = typeInfo(type);
    if (!n || !value || info.size == 0) return false;
    if (info.isFloat)
        return info.size == 4 ? storeFloat<float>(*n, value) : storeFloat<double>(*n, value);
    switch (info.size) {
    case 1:
        return storeInteger<int8_t>(*n, value);
    case 2:
        return storeInteger<int16_t>(*n, value);
    case 4:
        return storeInteger<int32_t>(*n, value);
    default:
        return storeInteger<int64_t>(*n, value);
    }
}

bool CFNumberIsFloatType(CFNumberRef number) {
    const SxCFNumber* n = sxAs<SxCFNumber>(number, kSxTypeNumber);
    return n && n->isFloat;
}

CFTypeID CFBooleanGetTypeID() {
    return kSxTypeBoolean;
}
const CFBooleanRef kCFBooleanTrue = &g_true;
const CFBooleanRef kCFBooleanFalse = &g_false;

bool CFBooleanGetValue(CFBooleanRef boolean) {
    const SxCFBoolean* b = sxAs<SxCFBoolean>(boolean, kSxTypeBoolean);
    return b && b->value;
}
