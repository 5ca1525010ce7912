// Decodes MessagePack bytes with msgpack-c, an implementation independent of
// our writer, and offers the few look-ups the tests need: by string key, by
// integer key, and a structural comparison with a `pmsgval` tree.
#pragma once

#include "nks/PMsgpack.h"

#include <msgpack.h>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace testsupport {

// One whole message, decoded. `ok` is false when the bytes are not exactly one
// well-formed value (a parse error, a truncated value or bytes left over).
class DecodedMessage {
public:
    explicit DecodedMessage(const std::vector<uint8_t>& bytes) {
        msgpack_unpacked_init(&unpacked_);
        size_t offset = 0;
        const auto rc = msgpack_unpack_next(&unpacked_, reinterpret_cast<const char*>(bytes.data()),
                                            bytes.size(), &offset);
        ok = rc == MSGPACK_UNPACK_SUCCESS && offset == bytes.size();
    }
    ~DecodedMessage() { msgpack_unpacked_destroy(&unpacked_); }
    DecodedMessage(const DecodedMessage&) = delete;
    DecodedMessage& operator=(const DecodedMessage&) = delete;

    const msgpack_object& root() const { return unpacked_.data; }

    bool ok = false;

private:
    msgpack_unpacked unpacked_;
};

inline std::string asString(const msgpack_object& o) {
    if (o.type != MSGPACK_OBJECT_STR) return "<not a string>";
    return std::string(o.via.str.ptr, o.via.str.size);
}

inline std::string asString(const msgpack_object* o) {
    return o ? asString(*o) : "<missing>";
}

// The value stored under a string key of a map, or null.
inline const msgpack_object* findKey(const msgpack_object& map, const std::string& key) {
    if (map.type != MSGPACK_OBJECT_MAP) return nullptr;
    for (uint32_t i = 0; i < map.via.map.size; ++i) {
        const msgpack_object_kv& kv = map.via.map.ptr[i];
        if (kv.key.type == MSGPACK_OBJECT_STR && asString(kv.key) == key) return &kv.val;
    }
    return nullptr;
}

// The value stored under an unsigned integer key of a map, or null.
inline const msgpack_object* findKey(const msgpack_object& map, uint64_t key) {
    if (map.type != MSGPACK_OBJECT_MAP) return nullptr;
    for (uint32_t i = 0; i < map.via.map.size; ++i) {
        const msgpack_object_kv& kv = map.via.map.ptr[i];
        if (kv.key.type == MSGPACK_OBJECT_POSITIVE_INTEGER && kv.key.via.u64 == key) return &kv.val;
    }
    return nullptr;
}

inline bool sameValue(const pmsgval& value, const msgpack_object& o);

// Map keys of a decoded map, for look-ups in maps of many entries.
inline std::string keyOf(const std::string& key) {
    return "s" + key;
}
inline std::string keyOf(uint32_t key) {
    return "u" + std::to_string(key);
}
inline std::string keyOf(const msgpack_object& key) {
    if (key.type == MSGPACK_OBJECT_STR) return "s" + asString(key);
    if (key.type == MSGPACK_OBJECT_POSITIVE_INTEGER) return "u" + std::to_string(key.via.u64);
    return "?";
}

template <class Map> bool sameMap(const Map& map, const msgpack_object& o) {
    if (o.type != MSGPACK_OBJECT_MAP || o.via.map.size != map.size()) return false;
    std::unordered_map<std::string, const msgpack_object*> decoded;
    for (uint32_t i = 0; i < o.via.map.size; ++i)
        decoded.emplace(keyOf(o.via.map.ptr[i].key), &o.via.map.ptr[i].val);
    if (decoded.size() != map.size()) return false; // a key written twice
    for (const auto& [key, element] : map) {
        const auto found = decoded.find(keyOf(key));
        if (found == decoded.end() || !sameValue(element, *found->second)) return false;
    }
    return true;
}

// True when the decoded object holds what `value` holds: same kinds, same
// numbers and texts, arrays in order, maps with the same keys in any order.
inline bool sameValue(const pmsgval& value, const msgpack_object& o) {
    switch (value.tag) {
    case pmsgval::kSigned:
        if (o.type == MSGPACK_OBJECT_POSITIVE_INTEGER)
            return value.i >= 0 && o.via.u64 == uint64_t(value.i);
        return o.type == MSGPACK_OBJECT_NEGATIVE_INTEGER && o.via.i64 == value.i;
    case pmsgval::kUnsigned:
        return o.type == MSGPACK_OBJECT_POSITIVE_INTEGER && o.via.u64 == value.u;
    case pmsgval::kFloat:
        return o.type == MSGPACK_OBJECT_FLOAT32 && float(o.via.f64) == value.f;
    case pmsgval::kBool:
        return o.type == MSGPACK_OBJECT_BOOLEAN && o.via.boolean == value.b;
    case pmsgval::kString:
        return o.type == MSGPACK_OBJECT_STR && asString(o) == value.s;
    case pmsgval::kArray:
        if (o.type != MSGPACK_OBJECT_ARRAY || o.via.array.size != value.arr.size()) return false;
        for (size_t i = 0; i < value.arr.size(); ++i)
            if (!sameValue(value.arr[i], o.via.array.ptr[i])) return false;
        return true;
    case pmsgval::kOrderedMap:
        return sameMap(value.omap, o);
    case pmsgval::kIntMap:
        return sameMap(value.imap, o);
    case pmsgval::kStringMap:
        return sameMap(value.smap, o);
    default:
        return false;
    }
}

} // namespace testsupport
