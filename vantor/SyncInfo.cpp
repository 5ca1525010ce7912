#include "vantor/SyncInfo.h"

#include "vantor/PlatformTools.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace vantor {

namespace {

double quarters(double numerator, double denominator) {
    const double q = numerator * 4.0 / denominator;
    return (q > 0.0) ? q : 4.0;
}

// Quarter notes -> samples, truncated toward zero; 0 for a negative result and
// for a tempo or sample rate that is not above 0.
int64_t toSamples(double ppq, double tempo, double sampleRate) {
    if (!(tempo > 0.0) || !(sampleRate > 0.0)) return 0;
    const int64_t samples = PSaturateToInt64(ppq * sampleRate / (tempo / 60.0));
    return samples < 0 ? 0 : samples;
}

// Appends one printf-formatted value, cut to 62 characters.
void appendf(std::string& text, const char* format, ...) __attribute__((format(printf, 2, 3)));
void appendf(std::string& text, const char* format, ...) {
    char buffer[63];
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    text += buffer;
}

} // namespace

int64_t samplesToNextBar(double tempo, double ppqPosition, double barStartPpq, double numerator,
                         double denominator, double sampleRate) {
    const double q = quarters(numerator, denominator);
    double d = (barStartPpq == ppqPosition) ? 0.0 : q + barStartPpq - ppqPosition;
    // Bring d into [0, q) when negative, into (0, q] when above q, by whole bars.
    // fmod gives the result of repeated adding/subtracting without looping.
    if (d < 0.0) {
        d = std::fmod(d, q);
        if (d < 0.0) d += q;
    }
    if (d > q) {
        d = std::fmod(d, q);
        if (d == 0.0) d = q;
    }
    return toSamples(d, tempo, sampleRate);
}

int64_t samplesToNextBeat(double tempo, double ppqPosition, double barStartPpq, double numerator,
                          double denominator, double sampleRate) {
    const double q = quarters(numerator, denominator);
    const double next = std::fmin(std::ceil(ppqPosition), barStartPpq + q);
    return toSamples(next - ppqPosition, tempo, sampleRate);
}

SyncInfo::SyncInfo() {
    std::memset(static_cast<void*>(this), 0, sizeof *this);
    tempo = 120.0;
    timeSigNumerator = 4;
    timeSigDenominator = 4;
}

bool SyncInfo::prepare(int16_t frames, double rate, const char* /*tag*/, std::string* logText,
                       bool quiet) {
    quartersPerBar = (timeSigDenominator > 0) ? timeSigNumerator * 4.0 / timeSigDenominator : 4.0;
    blockFrames = frames;
    sampleRate = rate;

    const int code = valid();
    if (code != 0) {
        if (!quiet && logText) log(code, *logText);
        return false;
    }

    if (tempo > 0.0 && sampleRate > 0.0) {
        const int64_t toBar = vantor::samplesToNextBar(
            tempo, ppqPosition, barStartPpq, timeSigNumerator, timeSigDenominator, sampleRate);
        samplesToNextBar = static_cast<int32_t>(toBar > INT32_MAX ? INT32_MAX : toBar);
        blockLengthPpq = tempo * (1.0 / 60.0) / sampleRate * frames;
    } else {
        // A stopped transport may carry no tempo or rate: nothing to derive.
        samplesToNextBar = 0;
        blockLengthPpq = 0.0;
    }

    if (ppqPosition == barStartPpq)
        barInBlock = 1;
    else
        barInBlock = (ppqPosition + blockLengthPpq > barStartPpq + quartersPerBar) ? 1 : 0;

    if (!loopActive)
        loopInBlock = 0;
    else
        loopInBlock =
            (ppqPosition == loopStartPpq || ppqPosition + blockLengthPpq > loopEndPpq) ? 1 : 0;
    return true;
}

int SyncInfo::valid() {
    if (!playing) return 0;
    if (!(sampleRate > 0.0)) return 1;
    if (!(tempo > 0.0)) return 3;
    if (timeSigNumerator < 1) return 5;
    if (timeSigDenominator < 1) return 6;
    if (ppqPosition < barStartPpq) return 7;
    if (ppqPosition > barStartPpq + quartersPerBar) return 0;
    if (!loopActive) return 0;
    if (loopEndPpq < 0.0) return 9;
    if (loopStartPpq < 0.0) return 10;
    if (loopStartPpq > ppqPosition + blockLengthPpq || ppqPosition > loopEndPpq ||
        loopStartPpq > loopEndPpq)
        loopActive = 0;
    return 0;
}

bool SyncInfo::log(int code, std::string& text) const {
    std::string line;
    appendf(line, "%2d", code);
    line += " ppq:";
    appendf(line, "%10f", ppqPosition);
    line += " L:";
    appendf(line, "%10f", blockLengthPpq);
    line += " D:";
    appendf(line, "%12f", ppqPosition - lastLoggedPpq);
    line += " bar:";
    appendf(line, "%6f", barStartPpq);
    line +=
        " (" + std::to_string(timeSigNumerator) + "/" + std::to_string(timeSigDenominator) + ")";
    line += " bpm:";
    appendf(line, "%6f", tempo);
    line += playing ? " play:1" : " play:0";
    line += loopActive ? " loop:1" : " loop:0";
    line += " diff:" + std::to_string(diff);
    line += " sr:";
    appendf(line, "%f", sampleRate);
    line += " sl:";
    appendf(line, "%5d", blockFrames);
    line += " sp:";
    appendf(line, "%f", samplePosition);
    line += " ls:";
    appendf(line, "%f", loopStartPpq);
    line += " le:";
    appendf(line, "%f", loopEndPpq);
    text = line;
    lastLoggedPpq = ppqPosition;
    return code == 0;
}

} // namespace vantor
