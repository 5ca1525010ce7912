// The extension commands (host records shared with the plug-in: parameter
// monitor, modulation-matrix text, system-exclusive receiver, step and curve
// data, name table, pixel canvas, DAC samples, files to load) and the master
// settings.
//
// Every record belongs to the host. A command's size field states how many
// bytes its record holds (except for the name table, where it is the key, and
// the load-file record, where it is the slot); a record smaller than what the
// plug-in would write or read is refused with -1.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "engine-support/VNTFile.h"
#include "instrument/ChipWrap.h"
#include "synth/SynthBase.h"

namespace acme {

using namespace vantor::EnginePluginSDK;

namespace {

constexpr uint32_t kReady = 0x10;
constexpr uint32_t kBoth = 0x30;
constexpr size_t kMaxText = sizeof(TextRecord::text) - 1; // 32255
constexpr size_t kMaxNameEntries = 256;

// Text held in a record of `bytes` bytes from `offset`, at most `limit`
// characters; false when it is not terminated inside both.
bool readText(const void* record, uint64_t bytes, size_t offset, size_t limit, std::string& out) {
    if (bytes <= offset) return false;
    const char* text = static_cast<const char*>(record) + offset;
    const size_t room = static_cast<size_t>(std::min<uint64_t>(bytes - offset, limit + 1));
    const size_t n = strnlen(text, room);
    if (n == room) return false;
    out.assign(text, n);
    return true;
}

void setStatusFlags(ExtensionHeader& h) {
    h.flags &= ~(1u | kReady);
    h.flags |= kReady;
}

} // namespace

void ChipWrap::notifyRecord(void* record, int64_t a) {
    if (record) hostCallback(HOST_OP_EXT_CHANGED, a, record);
}

void ChipWrap::clearMonitor() {
    if (!monitor) return;
    auto* m = reinterpret_cast<ParameterMonitorRecord*>(monitor);
    m->keyCount = 0;
    m->header.flags = 8;
}

int32_t ChipWrap::handleExtension(ExtensionCommand* command) {
    if (!command || !command->record) return -1;
    ExtensionCommand c;
    std::memcpy(&c, command, sizeof c);
    auto* header = static_cast<ExtensionHeader*>(c.record);
    const uint64_t size = c.size;
    const uint64_t action = c.action;
    ScopedLock lock(mutex);
    switch (header->id) {
    case EXT_PARAMETER_MONITOR: {
        if (!synth) return -1;
        if (size < sizeof(ParameterMonitorRecord)) return -1;
        monitor = header;
        if (action != 0) return 0;
        header->sizeWord = 32768;
        header->parameterWord = 1000;
        header->flags = 8;
        std::memset(reinterpret_cast<uint8_t*>(header) + 32, 0,
                    sizeof(ParameterMonitorRecord) - 32);
        return 1;
    }
    case EXT_MOD_MATRIX:
        return modMatrix(c);
    case EXT_SYSEX_RECEIVER: {
        if (size < kInstrumentBlockSize) return -1;
        if (action == 0) {
            header->id = EXT_SYSEX_RECEIVER;
            header->sizeWord = 32;
            setStatusFlags(*header);
            controllerAttachSysex(header, size, 0);
        } else if (action == 1) {
            controllerAttachSysex(header, size, 0xFFFF);
        } else if (action == 2) {
            controllerAttachSysex(header, size, c.key);
        } else {
            return 0;
        }
        return 1;
    }
    case EXT_SYNTH_BUFFER_A: {
        if (!synth) return -1;
        if (size < sizeof(StepDataRecord)) return -1;
        if (action == 0) {
            auto* r = reinterpret_cast<StepDataRecord*>(header);
            header->id = EXT_SYNTH_BUFFER_A;
            header->sizeWord = 64;
            r->word32 = 0x7F0000;
            r->word36 = 32;
            r->word38 = 0;
            std::memset(r->data, 0, sizeof r->data);
            setStatusFlags(*header);
        }
        synthAddHostBuffer(true, header, size);
        return 0;
    }
    case EXT_NAME_TABLE:
        return nameTable(c);
    case EXT_PIXEL_CANVAS:
        return pixelCanvas(c);
    case EXT_DAC_SAMPLES: {
        if (!synth) return -1;
        if (action == 0) {
            if (size < sizeof(DacSamplesRecord)) return -1;
            auto* r = reinterpret_cast<DacSamplesRecord*>(header);
            header->id = EXT_DAC_SAMPLES;
            header->sizeWord = 32;
            r->word32 = 0;
            r->word48 = 0;
            std::memset(r->samples, 0, sizeof r->samples);
            setStatusFlags(*header);
            synthReceiveDataBlock(header, size, 0);
        } else {
            if (size < sizeof(ExtensionHeader)) return -1;
            synthReceiveDataBlock(header, size, action == 1 ? 0xFFFFFFFFu : c.key);
        }
        header->flags |= kReady;
        return 0;
    }
    case EXT_SYNTH_BUFFER_B: {
        if (!synth) return -1;
        if (size < kCurveDataRecordSize) return -1;
        synthAddHostBuffer(false, header, size);
        header->flags |= kReady;
        return 0;
    }
    case EXT_LOAD_FILE:
        return loadFile(c);
    default:
        return -1;
    }
}

int32_t ChipWrap::modMatrix(ExtensionCommand& c) {
    if (!synth) return -1;
    if (c.size < sizeof(TextRecord)) return -1;
    auto* r = static_cast<TextRecord*>(c.record);
    if (c.action > 2) return 0;
    modMatrixRecord = &r->header;
    if (c.action == 0) {
        r->header.sizeWord = 32768;
        r->header.parameterWord = 2068;
        r->header.flags = 0x38;
        std::memset(r->text, 0, sizeof r->text);
        synthSetModMatrix("", 2068);
        notifyRecord(monitor);
        notifyRecord(r);
        return 1;
    }
    std::string text;
    // An unterminated text is taken up to the record's last byte.
    if (!readText(r, c.size, 32, kMaxText, text)) text.assign(r->text, kMaxText);
    if (c.action == 2) clearMonitor();
    synthSetModMatrix(text.c_str(), static_cast<int32_t>(r->header.parameterWord));
    if (c.action == 2) {
        r->header.flags |= kBoth;
        r->header.sizeWord = static_cast<uint32_t>(text.size() + 32);
    }
    notifyRecord(monitor);
    return 1;
}

int32_t ChipWrap::nameTable(ExtensionCommand& c) {
    const uint64_t key = c.size;
    auto it = nameTableRecords.find(key);
    if (it == nameTableRecords.end()) {
        if (nameTableRecords.size() >= kMaxNameEntries) return -1;
        it = nameTableRecords.emplace(key, nullptr).first;
    }
    if (!it->second) it->second = static_cast<ExtensionHeader*>(c.record);
    ExtensionHeader* entry = it->second;
    const bool keeps = key == 0 || key == 2;
    if (keeps) entry->flags |= kBoth;
    if (c.action == 1 || c.action == 2) return 1; // the controller's name hooks accept
    if (c.action != 0) return 0;
    auto* r = reinterpret_cast<TextRecord*>(entry);
    r->header.sizeWord = sizeof(TextRecord);
    r->header.parameterWord = 1818;
    if (keeps)
        r->header.flags |= kBoth;
    else
        r->header.flags &= ~kBoth;
    std::memset(r->text, 0, sizeof r->text);
    return 1;
}

int32_t ChipWrap::pixelCanvas(ExtensionCommand& c) {
    if (c.action > 2) return 0;
    if (c.size < sizeof(PixelCanvasExtension)) return -1;
    auto* r = static_cast<PixelCanvasExtension*>(c.record);
    canvasRecord = &r->header;
    if (c.action != 0) return 1;
    std::memset(r, 0, sizeof *r);
    r->header.id = EXT_PIXEL_CANVAS;
    r->header.sizeWord = sizeof(PixelCanvasExtension);
    r->header.flags = 0;
    canvas = CanvasRecord{};
    canvas.red = r->red;
    canvas.green = r->green;
    canvas.blue = r->blue;
    canvas.colourCount = 0;
    canvas.pixels = r->pixels;
    canvas.listener = this;
    if (controller) controller->attachCanvas(&canvas);
    // The controller picks the size; the pixels hold at most 640 x 480.
    const uint64_t width = std::min<uint64_t>(canvas.width, 640);
    const uint64_t height = std::min<uint64_t>(canvas.height, 480);
    r->width = static_cast<uint16_t>(width);
    r->height = static_cast<uint16_t>(height);
    return 1;
}

int32_t ChipWrap::loadFile(ExtensionCommand& c) {
    auto* r = static_cast<LoadFileRecord*>(c.record);
    r->header.flags &= ~kBoth;
    const uint64_t slot = c.size;
    if (slot == 2) {
        loadFileRecord = &r->header;
        return 0;
    }
    if (slot > 1 || c.action != 1) return 0;
    std::string path;
    if (!readText(r, sizeof(LoadFileRecord), offsetof(LoadFileRecord, path), 511, path) ||
        path.empty())
        return -1;
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    const uint64_t first = r->firstMember > 0 ? r->firstMember - 1 : 0;
    bool loaded = controllerOpenMedia(static_cast<uint32_t>(slot), path.c_str(), first);
    if (!loaded && controller) {
        patchFile.reset();
        patchFile = std::make_unique<vantor::VNTFile>(path);
        loaded = patchFile->isOpen() &&
                 controller->importPatch(static_cast<int32_t>(slot), patchFile.get());
    }
    if (!loaded) return -1;
    if (controller) controller->setSyncValue(2, 0, 0.0);
    return 0;
}

void ChipWrap::applyMasterSetting(MasterSetting* setting) {
    if (!setting) return;
    const int32_t code = setting->code;
    const double value = setting->value;
    const int64_t integer = setting->integer;
    if (code >= 131072) {
        controllerCommand(static_cast<uint32_t>(code - 131072), value);
        return;
    }
    if (code >= 65536) {
        controllerMasterCommand(static_cast<uint32_t>(code - 65536), value);
        return;
    }
    if (!masterSettings) return;
    // Every code changes synth state that processing reads: all take the lock.
    ScopedLock lock(mutex);
    switch (code) {
    case 1:
        if (!std::isfinite(value)) return;
        masterSettings->setPitchBendRange(value == -1.0 ? 200.0f : static_cast<float>(value));
        break;
    case 2:
        if (std::isfinite(value)) masterSettings->setGlobalCents(static_cast<float>(value));
        break;
    case 3:
        masterSettings->setVoiceCount(static_cast<uint64_t>(integer));
        break;
    case 4:
        if (std::isfinite(value)) masterSettings->setVelocitySensitivity(static_cast<float>(value));
        break;
    case 6:
        masterSettings->setMonoRetrigger(integer != 0);
        break;
    case 7:
        masterSettings->setVoiceMode(static_cast<uint32_t>(integer));
        break;
    case 9:
        masterSettings->setMonoVelocityUpdate(integer != 0);
        break;
    case 10:
        masterSettings->setNoteTuningSource(this);
        break;
    case 11:
        synthSetStoredFlag(static_cast<uint8_t>(integer & 0xFF));
        break;
    default:
        break;
    }
}

} // namespace acme
