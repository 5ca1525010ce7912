// The listener operations through which the console controller and the
// media display report to the host: outgoing events, the parameter monitor's
// value feeds, changed descriptions, the name-table and matrix texts, a
// published image file, the information block, and per-channel gain and
// filter cutoffs. They take no lock: they run inside processing or inside a
// locked host command.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "instrument/ChipWrap.h"

namespace acme {

using namespace vantor::EnginePluginSDK;

namespace {

constexpr uint32_t kBoth = 0x30;
constexpr size_t kMaxText = sizeof(TextRecord::text) - 1; // 32255
// The monitor's mark for a value it is to watch but has not seen yet.
constexpr float kUnknownValue = 8388608.0f;

void writeText(TextRecord& r, const char* text) {
    const size_t n = text ? strnlen(text, kMaxText) : 0;
    std::memset(r.text, 0, sizeof r.text);
    if (n) std::memcpy(r.text, text, n);
}

} // namespace

void ChipWrap::queueEvent(uint16_t argument, uint32_t kind, uint32_t id, float value) {
    if (outgoing.size() >= kEventCapacity) return; // the host takes 2048 a block
    Event e{};
    e.kind = static_cast<int32_t>(kind);
    e.id = static_cast<int32_t>(id);
    e.value = value;
    e.channel = argument;
    outgoing.push_back(e);
}

void ChipWrap::notifySettingChanged(uint32_t k, double value) {
    queueEvent(0, 176, 256 + k, static_cast<float>(value));
}

void ChipWrap::valueFeed(uint32_t key, uint8_t mode, float value) {
    if (key >= kEngineIdCount) return;
    auto* m = reinterpret_cast<ParameterMonitorRecord*>(monitor);
    switch (mode) {
    case 0:
        queueEvent(0, 176, key, value);
        break;
    case 1:
        if (!m) return;
        if (m->values[key] != value || std::isnan(value) || std::isnan(m->values[key])) {
            m->values[key] = value;
            notifyRecord(monitor, 2);
        }
        break;
    case 2: {
        if (!m) return;
        m->values[key] = kUnknownValue;
        const uint32_t count = std::min<uint32_t>(m->keyCount, 2048);
        for (uint32_t i = 0; i < count; ++i)
            if (m->keys[i] == key) return;
        if (count >= 2048) return;
        m->keys[count] = static_cast<uint16_t>(key);
        m->keyCount = count + 1;
        break;
    }
    default:
        break;
    }
}

void ChipWrap::chipParameterValue(uint64_t unit, uint32_t parameter, uint8_t mode, float value) {
    if (unit < 16 && parameter < 16) valueFeed(1024 + 16 * uint32_t(unit) + parameter, mode, value);
}

void ChipWrap::layerFieldValue(uint64_t layer, uint16_t field, uint8_t mode, float value) {
    if (layer < 16 && field < 16) valueFeed(512 + 16 * uint32_t(layer) + field, mode, value);
}

void ChipWrap::controllerParameterValue(uint32_t index, uint8_t mode, float value) {
    if (index < 256) valueFeed(768 + uint32_t(index), mode, value);
}

void ChipWrap::syncValue(uint32_t id, uint8_t mode, float value) {
    if (id < 128) valueFeed(384 + uint32_t(id), mode, value);
}

void ChipWrap::automSlotValue(uint64_t slot, uint16_t sub, uint8_t mode, float value) {
    if (slot < 32 && sub < 16) valueFeed(1280 + 16 * uint32_t(slot) + sub, mode, value);
}

void ChipWrap::paramInfoChanged(uint64_t, uint64_t first, uint64_t last) {
    ParameterRange range = {first + 768, last + 768};
    hostCallback(HOST_OP_PARAMS_CHANGED, 0, &range);
}

void ChipWrap::setNameText(uint64_t key, const char* text) {
    auto it = nameTableRecords.find(key);
    if (it == nameTableRecords.end() || !it->second) return;
    writeText(*reinterpret_cast<TextRecord*>(it->second), text);
    notifyRecord(it->second);
}

void ChipWrap::setNameText0(const char* text) {
    setNameText(0, text);
}

void ChipWrap::setNameText1(const char* text) {
    setNameText(1, text);
}

void ChipWrap::setModMatrixText(const char* text) {
    if (!synth) return;
    const char* t = text ? text : "";
    if (modMatrixRecord) {
        auto* r = reinterpret_cast<TextRecord*>(modMatrixRecord);
        writeText(*r, t);
        r->header.parameterWord = 2068;
        r->header.flags |= 8 | kBoth;
        r->header.sizeWord = static_cast<uint32_t>(strnlen(r->text, kMaxText) + 32);
    }
    clearMonitor();
    synthSetModMatrix(t, 2068);
    notifyRecord(modMatrixRecord);
}

void ChipWrap::publishImageFile(const uint8_t* data, uint64_t size) {
    if (!loadFileRecord || (!data && size > 0)) return;
    if (!publishedImagePath.empty()) {
        std::remove(publishedImagePath.c_str());
        publishedImagePath.clear();
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/brevado-XXXXXX.png";
    if (pattern.size() >= 512) return;
    const int fd = ::mkstemps(pattern.data(), 4);
    if (fd < 0) return;
    const uint8_t* bytes = data;
    uint64_t written = 0;
    while (written < size) {
        const ssize_t n = ::write(fd, bytes + written, static_cast<size_t>(size - written));
        if (n <= 0) break;
        written += static_cast<uint64_t>(n);
    }
    ::close(fd);
    if (written != size) {
        std::remove(pattern.c_str());
        return;
    }
    publishedImagePath = pattern;
    auto* r = reinterpret_cast<LoadFileRecord*>(loadFileRecord);
    std::memset(r->path, 0, sizeof r->path);
    std::memcpy(r->path, pattern.data(), pattern.size());
    notifyRecord(loadFileRecord);
}

void ChipWrap::sendInfoBlock(const uint8_t* block) {
    if (!block) return;
    std::memcpy(infoBlock, block, sizeof infoBlock);
    InfoBlockMessage message;
    message.version = interfaceVersion;
    std::memcpy(message.block, infoBlock, sizeof infoBlock);
    hostCallback(HOST_OP_INFO_BLOCK, 33028, &message);
}

void ChipWrap::notifyPacked(void* record, uint32_t low, uint32_t high) {
    hostCallback(HOST_OP_EXT_CHANGED, static_cast<int64_t>(uint64_t(low) + (uint64_t(high) << 32)),
                 record);
}

void ChipWrap::hostRequest(void* argument) {
    hostCallback(HOST_OP_REQUEST, 48, argument);
}

void ChipWrap::setChannelGain(uint32_t channel, uint32_t n) {
    if (channel < kMaxChannels) outputGains[channel] = 1.0f / (static_cast<float>(n) + 1.0f);
}

void ChipWrap::setLowPassCutoff(uint32_t channel, double hz) {
    if (channel >= kMaxChannels || std::isnan(hz)) return;
    lp[channel].cutoff = hz < 0.0 ? processingInfo.sampleRate / 2.0 : hz;
    lp[channel].setup();
}

void ChipWrap::setHighPassCutoff(uint32_t channel, double hz) {
    if (channel >= kMaxChannels || std::isnan(hz)) return;
    hp[channel].cutoff = hz < 0.0 ? 7.5 : hz;
    hp[channel].setup();
}

void ChipWrap::canvasUpdated() {
    notifyRecord(canvasRecord);
}

} // namespace acme
