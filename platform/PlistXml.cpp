#include "platform/PlistXml.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string_view>
#include <vector>

#include "platform/CFArray.h"
#include "platform/CFData.h"
#include "platform/CFDictionary.h"
#include "platform/CFNumber.h"
#include "platform/CFObject.h"

namespace platform {
namespace {

constexpr int kMaxDepth = 256;

const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

void appendUTF8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

class Reader {
public:
    explicit Reader(std::string_view text) : m_s(text) {}

    CFTypeRef document() {
        skipMisc();
        bool wrapped = false;
        std::string name;
        bool empty = false;
        size_t save = m_pos;
        if (!openTag(name, empty)) return nullptr;
        if (name == "plist") {
            if (empty) return nullptr;
            wrapped = true;
        } else {
            m_pos = save;
        }
        SxCFHold root(value(0));
        if (!root.get()) return nullptr;
        skipMisc();
        if (wrapped && !closeTag("plist")) return nullptr;
        skipMisc();
        return m_pos == m_s.size() ? root.take() : nullptr;
    }

private:
    bool starts(std::string_view p) const { return m_s.substr(m_pos, p.size()) == p; }

    // Skips blanks, comments, processing instructions and the document type.
    void skipMisc() {
        for (;;) {
            while (m_pos < m_s.size() && isSpace(m_s[m_pos])) ++m_pos;
            if (starts("<!--")) {
                size_t e = m_s.find("-->", m_pos + 4);
                m_pos = e == std::string_view::npos ? m_s.size() : e + 3;
            } else if (starts("<?")) {
                size_t e = m_s.find("?>", m_pos + 2);
                m_pos = e == std::string_view::npos ? m_s.size() : e + 2;
            } else if (starts("<!DOCTYPE")) {
                int bracket = 0;
                while (m_pos < m_s.size()) {
                    char c = m_s[m_pos++];
                    if (c == '[') ++bracket;
                    if (c == ']') --bracket;
                    if (c == '>' && bracket <= 0) break;
                }
            } else {
                return;
            }
        }
    }

    // <name attributes...> or <name .../>; attributes are skipped.
    bool openTag(std::string& name, bool& empty) {
        if (!starts("<") || starts("</")) return false;
        ++m_pos;
        size_t b = m_pos;
        while (m_pos < m_s.size() && !isSpace(m_s[m_pos]) && m_s[m_pos] != '>' && m_s[m_pos] != '/')
            ++m_pos;
        name.assign(m_s.substr(b, m_pos - b));
        char quote = 0;
        while (m_pos < m_s.size()) {
            char c = m_s[m_pos];
            if (quote) {
                if (c == quote) quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                empty = m_pos > b && m_s[m_pos - 1] == '/';
                ++m_pos;
                return !name.empty();
            }
            ++m_pos;
        }
        return false;
    }

    bool closeTag(std::string_view name) {
        if (!starts("</")) return false;
        size_t p = m_pos + 2;
        if (m_s.substr(p, name.size()) != name) return false;
        p += name.size();
        while (p < m_s.size() && isSpace(m_s[p])) ++p;
        if (p >= m_s.size() || m_s[p] != '>') return false;
        m_pos = p + 1;
        return true;
    }

    // Character data up to the closing tag of `name`, with entities and CDATA.
    bool text(std::string_view name, std::string& out) {
        out.clear();
        while (m_pos < m_s.size()) {
            char c = m_s[m_pos];
            if (c == '<') {
                if (starts("<![CDATA[")) {
                    size_t e = m_s.find("]]>", m_pos + 9);
                    if (e == std::string_view::npos) return false;
                    out.append(m_s.substr(m_pos + 9, e - m_pos - 9));
                    m_pos = e + 3;
                } else if (starts("<!--")) {
                    size_t e = m_s.find("-->", m_pos + 4);
                    if (e == std::string_view::npos) return false;
                    m_pos = e + 3;
                } else {
                    return closeTag(name) && sxIsValidUTF8(out);
                }
            } else if (c == '&') {
                if (!entity(out)) return false;
            } else {
                out.push_back(c);
                ++m_pos;
            }
        }
        return false;
    }

    bool entity(std::string& out) {
        size_t e = m_s.find(';', m_pos);
        if (e == std::string_view::npos || e - m_pos > 12) return false;
        std::string_view name = m_s.substr(m_pos + 1, e - m_pos - 1);
        m_pos = e + 1;
        if (name == "amp") return out.push_back('&'), true;
        if (name == "lt") return out.push_back('<'), true;
        if (name == "gt") return out.push_back('>'), true;
        if (name == "quot") return out.push_back('"'), true;
        if (name == "apos") return out.push_back('\''), true;
        if (name.size() < 2 || name[0] != '#') return false;
        bool hex = name[1] == 'x' || name[1] == 'X';
        std::string_view digits = name.substr(hex ? 2 : 1);
        uint32_t cp = 0;
        auto r = std::from_chars(digits.data(), digits.data() + digits.size(), cp, hex ? 16 : 10);
        if (digits.empty() || r.ec != std::errc() || r.ptr != digits.data() + digits.size())
            return false;
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        appendUTF8(out, cp);
        return true;
    }

    static std::string_view trimmed(const std::string& s) {
        std::string_view v(s);
        while (!v.empty() && isSpace(v.front())) v.remove_prefix(1);
        while (!v.empty() && isSpace(v.back())) v.remove_suffix(1);
        return v;
    }

    static CFTypeRef integer(std::string_view v) {
        if (!v.empty() && v[0] == '+') v.remove_prefix(1);
        int64_t i = 0;
        auto r = std::from_chars(v.data(), v.data() + v.size(), i);
        if (v.empty() || r.ec != std::errc() || r.ptr != v.data() + v.size()) return nullptr;
        return CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt64Type, &i);
    }

    static CFTypeRef real(std::string_view v) {
        double d = 0;
        bool negative = !v.empty() && v[0] == '-';
        std::string_view body = (!v.empty() && (v[0] == '+' || v[0] == '-')) ? v.substr(1) : v;
        std::string lower;
        for (char c : body) lower.push_back(static_cast<char>(std::tolower(c)));
        if (lower == "inf" || lower == "infinity") {
            d = negative ? -HUGE_VAL : HUGE_VAL;
        } else if (lower == "nan") {
            d = std::numeric_limits<double>::quiet_NaN();
        } else {
            auto r = std::from_chars(body.data(), body.data() + body.size(), d);
            if (body.empty() || r.ec != std::errc() || r.ptr != body.data() + body.size())
                return nullptr;
            if (negative) d = -d;
        }
        return CFNumberCreate(kCFAllocatorDefault, kCFNumberFloat64Type, &d);
    }

    static CFTypeRef data(const std::string& s) {
        std::vector<uint8_t> bytes;
        uint32_t acc = 0;
        int bits = 0, pad = 0;
        for (char c : s) {
            if (isSpace(c)) continue;
            if (c == '=') {
                ++pad;
                continue;
            }
            const char* p = std::strchr(kBase64, c);
            if (!p || c == 0 || pad) return nullptr;
            acc = (acc << 6) | static_cast<uint32_t>(p - kBase64);
            bits += 6;
            if (bits >= 8) {
                bits -= 8;
                bytes.push_back(static_cast<uint8_t>(acc >> bits));
            }
        }
        if (pad > 2) return nullptr;
        return CFDataCreate(kCFAllocatorDefault, bytes.data(), static_cast<CFIndex>(bytes.size()));
    }

    CFTypeRef value(int depth) {
        if (depth > kMaxDepth) return nullptr;
        skipMisc();
        std::string name;
        bool empty = false;
        if (!openTag(name, empty)) return nullptr;
        if (name == "true" || name == "false") {
            if (!empty && !closeTag(name)) return nullptr;
            return name == "true" ? kCFBooleanTrue : kCFBooleanFalse;
        }
        if (name == "dict") return dict(depth, empty);
        if (name == "array") return array(depth, empty);
        std::string body;
        if (!empty && !text(name, body)) return nullptr;
        if (name == "string") return sxMakeString(body);
        if (name == "integer") return integer(trimmed(body));
        if (name == "real") return real(trimmed(body));
        if (name == "data") return data(body);
        if (name == "date") return empty ? nullptr : new SxCFDate(std::string(trimmed(body)));
        return nullptr;
    }

    CFTypeRef dict(int depth, bool empty) {
        SxCFHold d(CFDictionaryCreateMutable(kCFAllocatorDefault, 0));
        auto* md = static_cast<CFMutableDictionaryRef>(const_cast<void*>(d.get()));
        while (!empty) {
            skipMisc();
            if (closeTag("dict")) break;
            std::string name, key;
            bool keyEmpty = false;
            if (!openTag(name, keyEmpty) || name != "key") return nullptr;
            if (!keyEmpty && !text("key", key)) return nullptr;
            SxCFHold k(sxMakeString(key));
            SxCFHold v(value(depth + 1));
            if (!v.get()) return nullptr;
            CFDictionarySetValue(md, k.get(), v.get());
        }
        return d.take();
    }

    CFTypeRef array(int depth, bool empty) {
        SxCFHold a(CFArrayCreateMutable(kCFAllocatorDefault, 0));
        auto* ma = static_cast<CFMutableArrayRef>(const_cast<void*>(a.get()));
        while (!empty) {
            skipMisc();
            if (closeTag("array")) break;
            SxCFHold v(value(depth + 1));
            if (!v.get()) return nullptr;
            CFArrayAppendValue(ma, v.get());
        }
        return a.take();
    }

    std::string_view m_s;
    size_t m_pos = 0;
};

void escape(const std::string& s, std::string& out) {
    for (unsigned char c : s) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        default:
            if (c < 0x20 && c != '\t' && c != '\n') {
                char ref[8];
                std::snprintf(ref, sizeof ref, "&#%u;", c);
                out += ref;
            } else {
                out.push_back(static_cast<char>(c));
            }
        }
    }
}

bool write(CFTypeRef v, int depth, std::string& out) {
    if (depth > kMaxDepth) return false;
    std::string indent(static_cast<size_t>(depth), '\t');
    out += indent;
    switch (CFGetTypeID(v)) {
    case kSxTypeString:
        out += "<string>";
        escape(static_cast<const SxCFString*>(v)->utf8, out);
        out += "</string>\n";
        return true;
    case kSxTypeBoolean:
        out += CFBooleanGetValue(static_cast<CFBooleanRef>(v)) ? "<true/>\n" : "<false/>\n";
        return true;
    case kSxTypeNumber: {
        const auto* n = static_cast<const SxCFNumber*>(v);
        char buf[64];
        if (!n->isFloat) {
            auto r = std::to_chars(buf, buf + sizeof buf, n->integer);
            out += "<integer>" + std::string(buf, r.ptr) + "</integer>\n";
        } else if (n->real != n->real) {
            out += "<real>nan</real>\n";
        } else if (n->real == HUGE_VAL || n->real == -HUGE_VAL) {
            out += n->real > 0 ? "<real>+infinity</real>\n" : "<real>-infinity</real>\n";
        } else {
            auto r = std::to_chars(buf, buf + sizeof buf, n->real);
            out += "<real>" + std::string(buf, r.ptr) + "</real>\n";
        }
        return true;
    }
    case kSxTypeData: {
        const auto& b = static_cast<const SxCFData*>(v)->bytes;
        out += "<data>";
        for (size_t i = 0; i < b.size(); i += 3) {
            uint32_t n = static_cast<uint32_t>(b[i]) << 16;
            if (i + 1 < b.size()) n |= static_cast<uint32_t>(b[i + 1]) << 8;
            if (i + 2 < b.size()) n |= b[i + 2];
            out.push_back(kBase64[(n >> 18) & 63]);
            out.push_back(kBase64[(n >> 12) & 63]);
            out.push_back(i + 1 < b.size() ? kBase64[(n >> 6) & 63] : '=');
            out.push_back(i + 2 < b.size() ? kBase64[n & 63] : '=');
        }
        out += "</data>\n";
        return true;
    }
    case kSxTypeDate:
        out += "<date>";
        escape(static_cast<const SxCFDate*>(v)->text, out);
        out += "</date>\n";
        return true;
    case kSxTypeArray: {
        const auto& items = static_cast<const SxCFArray*>(v)->items;
        if (items.empty()) return out += "<array/>\n", true;
        out += "<array>\n";
        for (CFTypeRef item : items)
            if (!write(item, depth + 1, out)) return false;
        out += indent + "</array>\n";
        return true;
    }
    case kSxTypeDictionary: {
        const auto& entries = static_cast<const SxCFDictionary*>(v)->entries;
        if (entries.empty()) return out += "<dict/>\n", true;
        out += "<dict>\n";
        for (const auto& [name, e] : entries) {
            out += indent + "\t<key>";
            escape(name, out);
            out += "</key>\n";
            if (!write(e.value, depth + 1, out)) return false;
        }
        out += indent + "</dict>\n";
        return true;
    }
    default:
        return false;
    }
}

} // namespace

CFTypeRef parsePlistXml(const std::string& text) {
    std::string_view v(text);
    if (v.substr(0, 3) == "\xEF\xBB\xBF") v.remove_prefix(3);
    return Reader(v).document();
}

bool writePlistXml(CFTypeRef root, std::string& out) {
    std::string doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<plist version=\"1.0\">\n";
    if (!write(root, 0, doc)) return false;
    doc += "</plist>\n";
    out = std::move(doc);
    return true;
}

} // namespace platform
