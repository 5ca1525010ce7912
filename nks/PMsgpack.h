// A small MessagePack writer: the encoding the NKS metadata message reaches the
// host in. MessagePack is a tagged binary format; every value starts with a
// format byte that names its kind and, for short values, carries the value or
// the length itself, followed by big-endian numbers and raw string bytes.
//
// This writer keeps a fixed subset of the forms: signed integers always take
// the 5-byte int32 form, unsigned integers the positive fixint, uint16 or
// uint32 form (never uint8), floats the float32 form. Strings, arrays and maps
// take the shortest header their length allows. Only writing exists.
//
// `pmsgval` is a tagged value with one separate member per kind; only the
// member its tag names is meaningful. Maps keyed by strings or integers that
// are unordered are written in their container's iteration order; a reader
// finds entries by key.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

struct pmsgval;

using PMsgBytes = std::vector<uint8_t>;
using PMsgArray = std::vector<pmsgval>;
using PMsgOrderedMap = std::map<std::string, pmsgval>;
using PMsgIntMap = std::unordered_map<uint32_t, pmsgval>;
using PMsgStringMap = std::unordered_map<std::string, pmsgval>;

struct pmsgval {
    enum Tag : uint32_t {
        kNone = 0, // writes nothing
        kSigned = 1,
        kUnsigned = 2,
        kFloat = 3,
        kBool = 4,
        kString = 5,
        kArray = 6,
        kOrderedMap = 7,
        kIntMap = 8,
        kStringMap = 9,
    };

    pmsgval() = default;
    explicit pmsgval(int32_t value) : tag(kSigned), i(value) {}
    explicit pmsgval(uint32_t value) : tag(kUnsigned), u(value) {}
    explicit pmsgval(float value) : tag(kFloat), f(value) {}
    explicit pmsgval(bool value) : tag(kBool), b(value) {}
    explicit pmsgval(std::string value) : tag(kString), s(std::move(value)) {}
    explicit pmsgval(const char*) = delete; // would silently become a bool
    pmsgval(PMsgArray value) : tag(kArray), arr(std::move(value)) {}
    // A list of strings becomes an array of string values.
    pmsgval(const std::vector<std::string>& strings);
    pmsgval(PMsgOrderedMap value) : tag(kOrderedMap), omap(std::move(value)) {}
    pmsgval(PMsgIntMap value) : tag(kIntMap), imap(std::move(value)) {}
    pmsgval(PMsgStringMap value) : tag(kStringMap), smap(std::move(value)) {}

    uint32_t tag = kNone;
    int32_t i = 0;
    uint32_t u = 0;
    float f = 0.0f;
    bool b = false;
    std::string s;
    PMsgArray arr;
    PMsgOrderedMap omap;
    PMsgIntMap imap;
    PMsgStringMap smap;
};

// Each appends one value's encoding to the end of `out`.
void pmsgpack(PMsgBytes& out, int32_t value);
void pmsgpack(PMsgBytes& out, uint32_t value);
void pmsgpack(PMsgBytes& out, float value);
void pmsgpack(PMsgBytes& out, bool value);
void pmsgpack(PMsgBytes& out, const std::string& value);
void pmsgpack(PMsgBytes& out, const char* value) = delete; // would silently become a bool
void pmsgpack(PMsgBytes& out, const PMsgArray& value);
void pmsgpack(PMsgBytes& out, const PMsgOrderedMap& value);
void pmsgpack(PMsgBytes& out, const PMsgIntMap& value);
void pmsgpack(PMsgBytes& out, const PMsgStringMap& value);

// Appends the value its tag names; an unknown tag appends nothing.
void pmsgpack_push(PMsgBytes& out, const pmsgval& value);

// Append a 16- or 32-bit number, most significant byte first.
void priv_uint16(PMsgBytes& out, uint16_t value);
void priv_uint32(PMsgBytes& out, uint32_t value);
// Append the header of an array or a map of `count` elements (pairs).
void priv_prep_arr(PMsgBytes& out, uint32_t count);
void priv_prep_map(PMsgBytes& out, uint32_t count);
