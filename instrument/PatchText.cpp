#include "instrument/PatchText.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

using P = PatchRecord;

// Numbers are accumulated only up to this size; further digits of a run are
// read but change nothing, so no run of digits can overflow.
constexpr int64_t kNumberCeiling = 1000000000;

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(uint8_t(s[i])) != std::tolower(uint8_t(prefix[i]))) return false;
    return true;
}

int32_t clampTo(int64_t v, int word) {
    return int32_t(std::clamp<int64_t>(v, P::minimumOf(word), P::maximumOf(word)));
}

// ---- OPM --------------------------------------------------------------------

enum class OpmLine { kNone, kInstrument, kLfo, kChannel, kOperator };

struct OpmNumbers {
    int64_t values[11] = {};
    int count = 0;
};

// Decimal numbers after the first ':' of a line; minus signs are skipped, so
// every number reads as positive. At most 11 are kept.
OpmNumbers opmNumbers(std::string_view line) {
    OpmNumbers n;
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) return n;
    size_t i = colon + 1;
    while (i < line.size() && n.count < 11) {
        if (!std::isdigit(uint8_t(line[i]))) {
            ++i;
            continue;
        }
        int64_t v = 0;
        while (i < line.size() && std::isdigit(uint8_t(line[i]))) {
            if (v < kNumberCeiling) v = v * 10 + (line[i] - '0');
            ++i;
        }
        n.values[n.count++] = v;
    }
    return n;
}

void readOpmOperator(P& r, int k, const OpmNumbers& n) {
    const int64_t* v = n.values; // AR D1R D2R RR D1L TL KS MUL DT1 DT2 AMS-EN
    r.op(k, P::kAttack) = 31 - int32_t(v[0] % 32);
    r.op(k, P::kDecay) = 31 - int32_t(v[1] % 32);
    r.op(k, P::kDecay2) = 31 - int32_t(v[2] % 32);
    r.op(k, P::kRelease) = 15 - int32_t(v[3] % 16);
    r.op(k, P::kSustain) = 15 - int32_t(v[4] % 16);
    r.op(k, P::kLevel) = 127 - int32_t(v[5] % 128);
    r.op(k, P::kKsRate) = int32_t(v[6] % 4);
    r.op(k, P::kMult) = int32_t(v[7] % 16);
    const int32_t dt = int32_t(v[8] % 8);
    r.op(k, P::kDetune) = dt < 4 ? dt : 4 - dt;
    r.op(k, P::kTremolo) = v[10] > 127 ? 1 : 0;
    // The OPM has no SSG-EG: its voices play with it off (as a DMP without
    // SSG-EG bytes does), never with the shape of the instrument it replaces.
    r.op(k, P::kSsg) = 0;
}

// ---- morvanep -----------------------------------------------------------------

// Reads an integer the way "%d" does: blanks, an optional sign, digits.
bool readInteger(std::string_view text, size_t at, int64_t& value) {
    while (at < text.size() && std::isspace(uint8_t(text[at]))) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) negative = text[at++] == '-';
    if (at >= text.size() || !std::isdigit(uint8_t(text[at]))) return false;
    int64_t v = 0;
    while (at < text.size() && std::isdigit(uint8_t(text[at]))) {
        if (v < kNumberCeiling) v = v * 10 + (text[at] - '0');
        ++at;
    }
    value = negative ? -v : v;
    return true;
}

} // namespace

int readOpmPatch(PatchRecord& r, const char* text, size_t size, int32_t number) {
    if (!text) return 0;
    std::string_view all(text, size);
    // A text saved as UTF-8 by a modern editor may open with a byte order
    // mark, which would hide a header on the first line.
    if (all.substr(0, 3) == "\xEF\xBB\xBF") all.remove_prefix(3);
    bool selected = false;
    bool haveChannel = false;
    int64_t slots = 0;

    size_t start = 0;
    while (start < all.size()) {
        // A line ends at CR or LF; the last line is taken whether or not it
        // has one.
        size_t end = all.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = all.size();
        std::string_view line = all.substr(start, end - start);
        start = end + 1;

        const size_t comment = line.find("//");
        if (comment != std::string_view::npos) line = line.substr(0, comment);
        while (!line.empty() && std::isspace(uint8_t(line.front()))) line.remove_prefix(1);

        OpmLine kind = OpmLine::kNone;
        int op = 0;
        if (startsWithNoCase(line, "@"))
            kind = OpmLine::kInstrument;
        else if (startsWithNoCase(line, "LFO"))
            kind = OpmLine::kLfo;
        else if (startsWithNoCase(line, "CH"))
            kind = OpmLine::kChannel;
        else if (startsWithNoCase(line, "M1"))
            kind = OpmLine::kOperator, op = 0;
        else if (startsWithNoCase(line, "C1"))
            kind = OpmLine::kOperator, op = 1;
        else if (startsWithNoCase(line, "M2"))
            kind = OpmLine::kOperator, op = 2;
        else if (startsWithNoCase(line, "C2"))
            kind = OpmLine::kOperator, op = 3;
        if (kind == OpmLine::kNone || kind == OpmLine::kLfo) continue;

        const OpmNumbers n = opmNumbers(line);
        if (kind == OpmLine::kInstrument) {
            selected = n.count > 0 && n.values[0] == number;
            continue;
        }
        if (!selected) continue;
        if (kind == OpmLine::kChannel && n.count >= 7) {
            // pan FL CON AMS PMS SLOT NE
            r.words[P::kAlgorithm] = clampTo(n.values[2], P::kAlgorithm);
            r.words[P::kFeedback] = clampTo(n.values[1], P::kFeedback);
            r.words[P::kVibrato] = clampTo(n.values[4], P::kVibrato);
            r.words[P::kTremoloDepth] = clampTo(n.values[3], P::kTremoloDepth);
            slots = n.values[5];
            haveChannel = true;
        } else if (kind == OpmLine::kOperator && n.count >= 11) {
            readOpmOperator(r, op, n);
        }
    }

    if (!haveChannel) return 0;
    setImportedVelocities(r);
    for (int k = 0; k < 4; ++k)
        if (!((slots >> (3 + k)) & 1)) r.op(k, P::kLevel) = 0;
    return 1;
}

void importXmlPatch(PatchRecord& r, std::string_view text) {
    static constexpr std::string_view kTarget = "<Target name=\"com.Vantor.Emulator.MD\">";
    static constexpr std::string_view kParam = "Param id=\"";
    static constexpr std::string_view kValue = "value=\"";
    size_t at = text.find(kTarget);
    if (at == std::string_view::npos) return;
    at += kTarget.size();

    for (int i = 0; i < P::kParameterCount; ++i) {
        const int word = P::wordOfParameter(i);
        r.words[word] = 0;
        const size_t param = text.find(kParam, at);
        if (param == std::string_view::npos) return;
        at = param + kParam.size();
        int64_t id = 0;
        if (!readInteger(text, at, id) || id != i) return;
        const size_t value = text.find(kValue, at);
        if (value == std::string_view::npos) return;
        at = value + kValue.size();
        int64_t v = 0;
        if (!readInteger(text, at, v)) return;
        r.words[word] = clampTo(v, word);
    }
}
