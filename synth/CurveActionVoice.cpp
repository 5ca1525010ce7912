#include "synth/CurveActionVoice.h"

#include <algorithm>
#include <cmath>

#include "synth/AutomSlot.h"

namespace VSX {

namespace {
float finiteOrZero(float v) {
    return std::isfinite(v) ? v : 0.0f;
}
} // namespace

size_t CurveActionVoice::segmentCount() const {
    const uint8_t* b = owner->block;
    if (!b || owner->blockSize < CurveBlock::kSegmentsOffset) return 0;
    const size_t room =
        (std::min(owner->blockSize, CurveBlock::kSize) - CurveBlock::kSegmentsOffset) /
        CurveBlock::kSegmentSize;
    return std::min<size_t>(readBlockU32(b, CurveBlock::kCountOffset), room);
}

CurveSegment CurveActionVoice::segmentAt(size_t i) const {
    CurveSegment s;
    if (i >= segmentCount()) return s;
    const size_t at = CurveBlock::kSegmentsOffset + i * CurveBlock::kSegmentSize;
    s.time = finiteOrZero(readBlockF32(owner->block, at));
    s.level = finiteOrZero(readBlockF32(owner->block, at + 4));
    s.curvature = finiteOrZero(readBlockF32(owner->block, at + 8));
    s.type = owner->block[at + 12];
    return s;
}

float CurveActionVoice::outputOf(double l) const {
    return static_cast<float>(polarity ? (l - 0.5) * 2.0 : l);
}

void CurveActionVoice::start() {
    position = 0;
    segmentIndex = 0;
    const int16_t d = owner->lane->delay;
    delay = static_cast<uint16_t>(d > 0 ? d : 0);
    segment = CurveSegmentState{};
    if (segmentCount() > 0) {
        const CurveSegment s = segmentAt(0);
        segment.time = s.time;
        segment.level = s.level;
        segment.curvature = s.curvature;
        segment.type = s.type;
        level = s.level;
    } else {
        level = 0.0;
    }
    update(outputOf(level), true);
}

void CurveActionVoice::startAt(uint64_t /*position*/) {
    start();
}

void CurveActionVoice::reset() {
    position = 0;
    segmentIndex = 0;
    carry = 0.0f;
}

void CurveActionVoice::setUpSegment(double l0, double r, bool align) {
    CurveSegmentState& s = segment;
    const double target = std::clamp(static_cast<double>(s.level), -1.0, 1.0);
    const double delta = target - l0;
    const double duration = s.timeScaled ? (l0 - target) * s.time : s.time;
    double samples = std::floor(std::max(duration, 0.0) * r + 0.5);
    if (!(samples < 4294967292.0)) samples = 4294967292.0; // NaN and huge times
    uint32_t n = static_cast<uint32_t>(samples);
    if (align) n = (n + 2) & ~3u;
    s.samplesLeft = n;
    s.offset = 0.0;
    s.multiplier = 0.0;
    s.step = 0.0;
    if (n == 0) {
        level = target;
        return;
    }
    const uint8_t t = s.type;
    const bool shaped = t == 0 || t == 1 || t == 2 || t == CurveSegmentState::kExponential ||
                        t == CurveSegmentState::kQuantised;
    if (t == CurveSegmentState::kQuantised && duration < 0.1) s.type = CurveSegmentState::kLinear;
    if (std::fabs(delta) < 0.001) {
        s.type = CurveSegmentState::kHold;
    } else if (shaped && std::fabs(s.curvature) >= 0.0001) {
        s.type = CurveSegmentState::kExponential;
        s.multiplier = delta / (std::exp(static_cast<double>(s.curvature)) - 1.0);
        s.step = std::exp(s.curvature / static_cast<double>(n));
        s.offset = l0 - s.multiplier;
    } else {
        if (s.type != CurveSegmentState::kQuantised) s.type = CurveSegmentState::kLinear;
        s.step = delta / static_cast<double>(n);
    }
}

bool CurveActionVoice::advanceSegment(uint64_t k) {
    CurveSegmentState& s = segment;
    const bool finished = k >= s.samplesLeft;
    const uint32_t used = finished ? s.samplesLeft : static_cast<uint32_t>(k);
    if (used > 0) {
        if (s.type == CurveSegmentState::kLinear || s.type == CurveSegmentState::kQuantised) {
            level += used * s.step;
        } else if (s.type == CurveSegmentState::kExponential) {
            s.multiplier *= std::pow(s.step, static_cast<double>(used));
            level = s.multiplier + s.offset;
        }
    }
    s.samplesLeft -= used;
    return finished;
}

bool CurveActionVoice::nextSegment() {
    const size_t count = segmentCount();
    const size_t before = segmentIndex;
    if (count > 0) {
        const size_t last = count - 1;
        const size_t loopOut = std::min<uint64_t>(owner->lane->loopOut, last);
        const size_t loopIn = std::min<uint64_t>(owner->lane->loopIn, loopOut);
        const size_t i = segmentIndex;
        auto loop = [&] { return i + 1 > loopOut ? loopIn : i + 1; };
        switch (owner->slot->loopMode) {
        case 0:
            segmentIndex = i + 1;
            break;
        case 1:
            if (gate)
                segmentIndex = loop();
            else if (previousGate)
                segmentIndex = loopOut + 1;
            else
                segmentIndex = i + 1;
            break;
        case 2:
            segmentIndex = loop();
            break;
        default:
            break;
        }
        segmentIndex = std::min(segmentIndex, last);
    }
    previousGate = gate;
    if (count == 0) return false;
    const CurveSegment e = segmentAt(segmentIndex);
    segment.time = static_cast<float>(e.time * (owner->getStepDuration(index) / kWrittenStep));
    segment.level = e.level;
    segment.curvature = e.curvature;
    segment.type = e.type;
    setUpSegment(level, sampleRate, false);
    return segmentIndex != before;
}

uint64_t CurveActionVoice::onQuantum(double rate) {
    if (rate > 0.0 && std::isfinite(rate)) sampleRate = rate;
    update(outputOf(level), false);
    if (delay > 0) {
        --delay;
        float spare = 0.0f;
        return samplesWithCarry(owner->getStepDuration(index) * rate, spare);
    }
    const uint64_t n = samplesWithCarry(rate * kTickSeconds, carry);
    const uint32_t left = segment.samplesLeft;
    const bool ended = advanceSegment(n);
    level = std::clamp(level, 0.0, 1.0);
    value = outputOf(level);
    if (!ended) return n;
    const bool moved = nextSegment();
    // A segment that ended inside the tick cuts it short; a chain that stays
    // on its last, finished segment waits a whole tick instead of a sample.
    if (left > 0) return left;
    return moved ? 1 : n;
}

bool CurveActionVoice::renderSegment(float* out, size_t frames) {
    CurveSegmentState& s = segment;
    for (size_t i = 0; i < frames; ++i) {
        if (s.samplesLeft > 0) {
            switch (s.type) {
            case CurveSegmentState::kLinear:
            case CurveSegmentState::kQuantised:
                level += s.step;
                break;
            case CurveSegmentState::kExponential:
                s.multiplier *= s.step;
                level = s.multiplier + s.offset;
                break;
            default:
                break;
            }
            --s.samplesLeft;
        }
        const double l =
            s.type == CurveSegmentState::kQuantised ? std::floor(level * 15.0 + 0.5) / 15.0 : level;
        out[i] = static_cast<float>(l);
    }
    return s.stopAtZero && std::fabs(level) < 0.000032;
}

} // namespace VSX
