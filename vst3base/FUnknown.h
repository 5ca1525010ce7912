// The VST3 binary interface at its root: the fixed-size types, the result codes,
// 16-byte interface identifiers and `FUnknown`, the reference-counted base every
// interface derives from.
//
// Layout rules that every header of this folder follows, for x86-64 Linux:
// - an interface is a class whose only member is the vtable pointer; methods
//   appear in the published order, and a derived interface appends its methods
//   after its base's;
// - interfaces have no virtual destructor (it would add vtable slots); their
//   destructor is protected and non-virtual, objects die through `release`;
// - identifiers are stored in the non-COM byte order: the four 32-bit words of
//   the published form, each most significant byte first;
// - result codes take their non-Windows values (kNoInterface -1, kResultOk 0,
//   kResultFalse 1, ...);
// - strings the host reads are UTF-16 (`char16` = `char16_t`), 128 units fixed.
#pragma once

#include <cstdint>
#include <cstring>

namespace Steinberg {

using int8 = int8_t;
using uint8 = uint8_t;
using int16 = int16_t;
using uint16 = uint16_t;
using int32 = int32_t;
using uint32 = uint32_t;
using int64 = int64_t;
using uint64 = uint64_t;
using TSize = int64;
using tresult = int32;
using TBool = uint8;
using char8 = char;
using char16 = char16_t;
using TChar = char16;
using CStringA = const char8*;
using FIDString = const char8*;
using TUID = char[16];

// Result codes (non-COM values).
enum : tresult {
    kNoInterface = -1,
    kResultOk = 0,
    kResultTrue = kResultOk,
    kResultFalse = 1,
    kInvalidArgument = 2,
    kNotImplemented = 3,
    kInternalError = 4,
    kNotInitialized = 5,
    kOutOfMemory = 6,
};

// One interface or class identifier as 16 bytes in the non-COM order. Built at
// compile time from the four 32-bit words of the published form.
struct FUID {
    char bytes[16];

    constexpr FUID() : bytes{} {}
    constexpr FUID(uint32 l1, uint32 l2, uint32 l3, uint32 l4) : bytes{} {
        const uint32 words[4] = {l1, l2, l3, l4};
        for (int w = 0; w < 4; ++w)
            for (int b = 0; b < 4; ++b)
                bytes[w * 4 + b] = static_cast<char>((words[w] >> (24 - 8 * b)) & 0xFF);
    }
    // Copies 16 raw bytes (a TUID the other side handed over).
    static FUID fromTUID(const char* tuid) {
        FUID id;
        if (tuid) std::memcpy(id.bytes, tuid, 16);
        return id;
    }
    // Writes the 16 bytes into a TUID.
    void toTUID(TUID out) const { std::memcpy(out, bytes, 16); }
    // The published word `index` (0..3) read back from the bytes.
    constexpr uint32 word(int index) const {
        uint32 v = 0;
        for (int b = 0; b < 4; ++b) v = (v << 8) | static_cast<uint8>(bytes[index * 4 + b]);
        return v;
    }
    const char* data() const { return bytes; }
    // The 32 uppercase hex digits of the bytes in order (the published words
    // one after another), zero-terminated into `out`.
    void toString(char8 out[33]) const {
        static const char digits[] = "0123456789ABCDEF";
        for (int i = 0; i < 16; ++i) {
            out[2 * i] = digits[static_cast<uint8>(bytes[i]) >> 4];
            out[2 * i + 1] = digits[static_cast<uint8>(bytes[i]) & 15];
        }
        out[32] = 0;
    }
    // Reads 32 hex digits (either case); false and unchanged on anything else.
    bool fromString(const char8* text) {
        if (!text) return false;
        char parsed[16];
        for (int i = 0; i < 32; ++i) {
            const char c = text[i];
            int v;
            if (c >= '0' && c <= '9')
                v = c - '0';
            else if (c >= 'A' && c <= 'F')
                v = c - 'A' + 10;
            else if (c >= 'a' && c <= 'f')
                v = c - 'a' + 10;
            else
                return false;
            if (i % 2 == 0)
                parsed[i / 2] = static_cast<char>(v << 4);
            else
                parsed[i / 2] = static_cast<char>(parsed[i / 2] | v);
        }
        if (text[32] != 0) return false;
        std::memcpy(bytes, parsed, 16);
        return true;
    }
    // Compares with 16 raw bytes; a null pointer matches nothing.
    bool matches(const char* tuid) const { return tuid && std::memcmp(bytes, tuid, 16) == 0; }
    bool operator==(const FUID& other) const { return std::memcmp(bytes, other.bytes, 16) == 0; }
};
static_assert(sizeof(FUID) == 16);

// The root interface: interface lookup and the reference count.
class FUnknown {
public:
    // Answers the interface `iid` in *obj with a reference added, or kNoInterface
    // and a null *obj.
    virtual tresult queryInterface(const TUID iid, void** obj) = 0;
    // Adds a reference; answers the new count.
    virtual uint32 addRef() = 0;
    // Drops a reference; the object deletes itself at 0. Answers the new count.
    virtual uint32 release() = 0;

    static constexpr FUID iid{0x00000000, 0x00000000, 0xC0000000, 0x00000046};

protected:
    ~FUnknown() = default;
};

// Checks `iid` against interface I and, on a match, hands out `self` as I with
// a reference added. Used by queryInterface implementations.
template <class I, class Self> inline bool answerInterface(const TUID iid, Self* self, void** obj) {
    if (!I::iid.matches(iid)) return false;
    I* asI = static_cast<I*>(self);
    asI->addRef();
    *obj = asI;
    return true;
}

// An owning pointer to an interface: holds one reference and drops it at the end.
template <class I> class IPtr {
public:
    IPtr() = default;
    // Takes over a reference the caller already owns (from create or query).
    static IPtr adopt(I* p) {
        IPtr r;
        r.p_ = p;
        return r;
    }
    // Shares `p`, adding a reference.
    explicit IPtr(I* p) : p_(p) {
        if (p_) p_->addRef();
    }
    IPtr(const IPtr& o) : IPtr(o.p_) {}
    IPtr(IPtr&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    IPtr& operator=(IPtr o) noexcept {
        I* t = p_;
        p_ = o.p_;
        o.p_ = t;
        return *this;
    }
    ~IPtr() { reset(); }
    void reset() {
        if (p_) p_->release();
        p_ = nullptr;
    }
    I* get() const { return p_; }
    I* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    I* p_ = nullptr;
};

// Asks `unknown` for interface I; an empty pointer when it has none.
template <class I> inline IPtr<I> queryInterfaceOf(FUnknown* unknown) {
    void* obj = nullptr;
    if (!unknown || unknown->queryInterface(I::iid.data(), &obj) != kResultOk || !obj)
        return IPtr<I>();
    return IPtr<I>::adopt(static_cast<I*>(obj));
}

} // namespace Steinberg
