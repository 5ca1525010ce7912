// The MessagePack writer: format bytes and big-endian bodies, appended to a
// growing byte list.
#include "nks/PMsgpack.h"

#include <cstring>

namespace {

void appendHeader(PMsgBytes& out, uint32_t count, uint8_t fixBase, uint32_t fixMax, uint8_t form16,
                  uint8_t form32) {
    if (count <= fixMax) {
        out.push_back(static_cast<uint8_t>(fixBase | count));
    } else if (count <= 0xFFFF) {
        out.push_back(form16);
        priv_uint16(out, static_cast<uint16_t>(count));
    } else {
        out.push_back(form32);
        priv_uint32(out, count);
    }
}

} // namespace

pmsgval::pmsgval(const std::vector<std::string>& strings) : tag(kArray) {
    arr.reserve(strings.size());
    for (const std::string& text : strings) arr.emplace_back(text);
}

void priv_uint16(PMsgBytes& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

void priv_uint32(PMsgBytes& out, uint32_t value) {
    priv_uint16(out, static_cast<uint16_t>(value >> 16));
    priv_uint16(out, static_cast<uint16_t>(value));
}

void priv_prep_arr(PMsgBytes& out, uint32_t count) {
    appendHeader(out, count, 0x90, 15, 0xDC, 0xDD);
}

void priv_prep_map(PMsgBytes& out, uint32_t count) {
    appendHeader(out, count, 0x80, 15, 0xDE, 0xDF);
}

void pmsgpack(PMsgBytes& out, int32_t value) {
    out.push_back(0xD2);
    priv_uint32(out, static_cast<uint32_t>(value));
}

void pmsgpack(PMsgBytes& out, uint32_t value) {
    if (value <= 0x7F) {
        out.push_back(static_cast<uint8_t>(value));
    } else if (value <= 0xFFFF) {
        out.push_back(0xCD);
        priv_uint16(out, static_cast<uint16_t>(value));
    } else {
        out.push_back(0xCE);
        priv_uint32(out, value);
    }
}

void pmsgpack(PMsgBytes& out, float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    out.push_back(0xCA);
    priv_uint32(out, bits);
}

void pmsgpack(PMsgBytes& out, bool value) {
    out.push_back(value ? 0xC3 : 0xC2);
}

void pmsgpack(PMsgBytes& out, const std::string& value) {
    const auto n = static_cast<uint32_t>(value.size());
    if (n <= 31) {
        out.push_back(static_cast<uint8_t>(0xA0 | n));
    } else if (n <= 0xFF) {
        out.push_back(0xD9);
        out.push_back(static_cast<uint8_t>(n));
    } else if (n <= 0xFFFF) {
        out.push_back(0xDA);
        priv_uint16(out, static_cast<uint16_t>(n));
    } else {
        out.push_back(0xDB);
        priv_uint32(out, n);
    }
    out.insert(out.end(), value.begin(), value.end());
}

void pmsgpack(PMsgBytes& out, const PMsgArray& value) {
    priv_prep_arr(out, static_cast<uint32_t>(value.size()));
    for (const pmsgval& element : value) pmsgpack_push(out, element);
}

void pmsgpack(PMsgBytes& out, const PMsgOrderedMap& value) {
    priv_prep_map(out, static_cast<uint32_t>(value.size()));
    for (const auto& [key, element] : value) {
        pmsgpack(out, key);
        pmsgpack_push(out, element);
    }
}

void pmsgpack(PMsgBytes& out, const PMsgIntMap& value) {
    priv_prep_map(out, static_cast<uint32_t>(value.size()));
    for (const auto& [key, element] : value) {
        pmsgpack(out, key);
        pmsgpack_push(out, element);
    }
}

void pmsgpack(PMsgBytes& out, const PMsgStringMap& value) {
    priv_prep_map(out, static_cast<uint32_t>(value.size()));
    for (const auto& [key, element] : value) {
        pmsgpack(out, key);
        pmsgpack_push(out, element);
    }
}

void pmsgpack_push(PMsgBytes& out, const pmsgval& value) {
    switch (value.tag) {
    case pmsgval::kSigned:
        pmsgpack(out, value.i);
        break;
    case pmsgval::kUnsigned:
        pmsgpack(out, value.u);
        break;
    case pmsgval::kFloat:
        pmsgpack(out, value.f);
        break;
    case pmsgval::kBool:
        pmsgpack(out, value.b);
        break;
    case pmsgval::kString:
        pmsgpack(out, value.s);
        break;
    case pmsgval::kArray:
        pmsgpack(out, value.arr);
        break;
    case pmsgval::kOrderedMap:
        pmsgpack(out, value.omap);
        break;
    case pmsgval::kIntMap:
        pmsgpack(out, value.imap);
        break;
    case pmsgval::kStringMap:
        pmsgpack(out, value.smap);
        break;
    default:
        break;
    }
}
