// The engine bridge's opcode methods: processing, parameters with their value
// cache, the state chunk with its cached copy, views, and the program and
// preset operations. Every method checks what the engine hands back (null
// pointers, negative or oversized counts and sizes) before using it; an
// engine call on a bridge without engine is refused without calling anything.
#include "vst3/ZEFAWrapper.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace vantor {
namespace {

// Copies `text` into a fixed field, cut so that a NUL always ends it.
template <size_t N> void copyField(char (&field)[N], const std::string& text) {
    const size_t n = std::min(text.size(), N - 1);
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

template <size_t N> std::string fieldText(const char (&field)[N]) {
    return std::string(field, ::strnlen(field, N));
}

void programError(const char* message, int32_t bank) {
    ZEFAWrapper::log(std::string(message) + " bank:" + std::to_string(bank), 2);
}

} // namespace

int32_t ZEFAWrapper::send(int32_t opcode, void* p1, void* p2, void* p3, int32_t value, float f,
                          int64_t l1, int64_t l2) {
    const int32_t status = m_opcode(m_engine, opcode, p1, p2, p3, value, f, l1, l2);
    if (status != 0) log("engine error:" + std::to_string(status), 2);
    return status;
}

int32_t ZEFAWrapper::sendView(int32_t opcode, void* p1, int32_t value, int64_t l2) {
    const int32_t status = m_opcode(m_view, opcode, p1, nullptr, nullptr, value, 0.0f, 0, l2);
    if (status != 0) log("engine error:" + std::to_string(status), 2);
    return status;
}

int32_t ZEFAWrapper::sendCommand(int32_t subId, void* p1, void* p2) {
    return send(kOpEngineCommand, p1, p2, nullptr, subId);
}

// ---- Processing -----------------------------------------------------------------------

bool ZEFAWrapper::suspend() {
    return hasEngine() && send(kOpSuspend) == 0;
}

bool ZEFAWrapper::resume(int32_t sampleRate, int32_t maxBlock, bool offline,
                         ZefaEngineLatencyInfo* latency) {
    if (!hasEngine()) return false;
    if (send(kOpSetRateAndBlock, nullptr, nullptr, nullptr, sampleRate, 0.0f, maxBlock) != 0)
        return false;
    return send(kOpResume, latency, nullptr, nullptr, offline ? 1 : 0) == 0;
}

bool ZEFAWrapper::setRandomOff() {
    return hasEngine() && send(kOpSetRandomOff, nullptr, nullptr, nullptr, kRandomOffKey) == 0;
}

bool ZEFAWrapper::process(float** outputs, MIDIEvents* events, int32_t frames) {
    return hasEngine() && send(kOpProcessEvents, events, outputs, nullptr, frames) == 0;
}

bool ZEFAWrapper::process(float** inputs, float** outputs, MIDIEvents* events, int32_t frames,
                          SyncInfo* syncInfo) {
    if (!hasEngine()) return false;
    ZefaEngineProcessEx record{};
    record.version = ZefaEngineProcessEx::kVersionPlain;
    record.events = events;
    record.inputs = inputs;
    record.outputs = outputs;
    record.syncInfo = syncInfo;
    record.frames = frames;
    return send(kOpProcessPlain, &record) == 0;
}

bool ZEFAWrapper::process(ZefaEngineProcessEx* record) {
    return hasEngine() && record && send(kOpProcess, record) == 0;
}

bool ZEFAWrapper::setSettings(uint64_t sampleRate, uint64_t maxBlock, uint64_t inputs,
                              uint64_t outputs) {
    if (!hasEngine()) return false;
    ZefaEngineSettings settings{};
    settings.version = 1;
    settings.inputChannels = inputs;
    settings.outputChannels = outputs;
    settings.one = 1;
    settings.sampleRate = sampleRate;
    settings.maxBlock = maxBlock;
    return send(kOpSetSettings, &settings) == 0;
}

bool ZEFAWrapper::getLatencyInfo(ZefaEngineLatencyInfo& latency) {
    return hasEngine() && send(kOpGetLatencyInfo, &latency) == 0;
}

bool ZEFAWrapper::getEngineStats(ZefaEngineStats& stats) {
    return hasEngine() && send(kOpGetEngineStats, &stats) == 0;
}

bool ZEFAWrapper::engineIdle() {
    return hasEngine() && send(kOpEngineIdle) == 0;
}

// ---- Parameters -----------------------------------------------------------------------

const ParameterInfo* ZEFAWrapper::describe(uint32_t id) {
    const ParameterInfo* info = nullptr;
    if (send(kOpGetParameterInfo, &info, nullptr, nullptr, static_cast<int32_t>(id)) != 0)
        return nullptr;
    return info && info->magic == ParameterInfo::kMagic ? info : nullptr;
}

bool ZEFAWrapper::setAutomatableParameterValue(uint32_t id, float value, bool normalised) {
    if (id >= m_parameterCount || !hasEngine()) return false;
    // The engine's own record, read in place: this runs on the audio thread.
    if (const ParameterInfo* info = describe(id)) {
        if (normalised)
            info->unpack01(value);
        else
            info->unpack(value);
    }
    m_values[id].store(value, std::memory_order_relaxed);
    return send(kOpSetParameter, nullptr, nullptr, nullptr, static_cast<int32_t>(id), value) == 0;
}

float ZEFAWrapper::getAutomatableParameterValue(uint32_t id, bool normalised, bool& changed) {
    changed = false;
    if (id >= m_parameterCount || !hasEngine()) return 0.0f;
    float value = 0.0f;
    if (send(kOpGetParameter, &value, nullptr, nullptr, static_cast<int32_t>(id)) != 0)
        value = 0.0f;
    changed = value != m_values[id].load(std::memory_order_relaxed);
    m_values[id].store(value, std::memory_order_relaxed);
    if (const ParameterInfo* info = describe(id)) {
        if (normalised)
            info->pack01(value);
        else
            info->pack(value);
    }
    return value;
}

float ZEFAWrapper::getAutomatableParameterValue(uint32_t id, bool normalised) {
    bool changed = false;
    return getAutomatableParameterValue(id, normalised, changed);
}

void ZEFAWrapper::cacheAutomationParams() {
    if (!hasEngine()) return;
    for (uint32_t id = 0; id < m_parameterCount; ++id) {
        float value = 0.0f;
        if (send(kOpGetParameter, &value, nullptr, nullptr, static_cast<int32_t>(id)) != 0)
            value = 0.0f;
        m_values[id].store(value, std::memory_order_relaxed);
    }
}

float ZEFAWrapper::getCachedParameterValue(uint32_t id) const {
    return id < m_parameterCount ? m_values[id].load(std::memory_order_relaxed) : 0.0f;
}

bool ZEFAWrapper::getParameter(uint32_t id, uint32_t id2, uint32_t id3, float& value) {
    return hasEngine() && send(kOpGetParameter, &value, nullptr, nullptr, static_cast<int32_t>(id),
                               0.0f, id2 & 0xFFFF, id3 & 0xFFFF) == 0;
}

bool ZEFAWrapper::setParameter(uint32_t id, uint32_t id2, uint32_t id3, float value) {
    return hasEngine() && send(kOpSetParameter, nullptr, nullptr, nullptr, static_cast<int32_t>(id),
                               value, id2 & 0xFFFF, id3 & 0xFFFF) == 0;
}

bool ZEFAWrapper::getAutomatableParameterInfo(uint32_t id, ParameterInfo& info) {
    if (!hasEngine()) return false;
    const ParameterInfo* engineInfo = describe(id);
    if (!engineInfo) return false;
    info = *engineInfo;
    return true;
}

bool ZEFAWrapper::getParameterName(uint32_t id, uint32_t id2, uint32_t id3, char* buffer,
                                   size_t size) {
    if (!buffer || size == 0) return false;
    const char* name = nullptr;
    if (hasEngine() &&
        send(kOpGetParameterName, &name, nullptr, nullptr, static_cast<int32_t>(id), 0.0f, id2,
             id3) == 0 &&
        name && name[0]) {
        const size_t n = ::strnlen(name, size - 1);
        std::memcpy(buffer, name, n);
        buffer[n] = '\0';
        return true;
    }
    std::snprintf(buffer, size, "p%03d", static_cast<int>(id));
    return false;
}

// ---- State ----------------------------------------------------------------------------

int32_t ZEFAWrapper::getChunk(const void*& chunk, std::shared_ptr<const void>& keep) {
    chunk = nullptr;
    keep.reset();
    if (!hasEngine()) return 0;
    {
        std::lock_guard<std::mutex> guard(m_chunkLock);
        if (m_chunk) {
            keep = m_chunk;
            chunk = m_chunk->data();
            return static_cast<int32_t>(m_chunk->size());
        }
    }
    const void* engineChunk = nullptr;
    int32_t size = 0;
    if (send(kOpGetChunk, &engineChunk, &size) != 0) return 0;
    if (size <= 0 || !engineChunk) return 0;
    chunk = engineChunk;
    return size;
}

int32_t ZEFAWrapper::getChunkSizeAndCache() {
    uint64_t loads = 0;
    {
        std::lock_guard<std::mutex> guard(m_chunkLock);
        m_chunk.reset();
        loads = m_chunkLoads;
    }
    const void* chunk = nullptr;
    std::shared_ptr<const void> keep;
    const int32_t size = getChunk(chunk, keep);
    if (size <= 0) return 0;
    const auto* bytes = static_cast<const uint8_t*>(chunk);
    auto copy = std::make_shared<const std::vector<uint8_t>>(bytes, bytes + size);
    std::lock_guard<std::mutex> guard(m_chunkLock);
    if (loads == m_chunkLoads) m_chunk = std::move(copy);
    return size;
}

int32_t ZEFAWrapper::setChunk(const void* bytes, size_t length) {
    if (!hasEngine()) return -1;
    if (!bytes || length > static_cast<size_t>(INT32_MAX)) return -1;
    // The engine's state is about to change: a copy taken before is stale,
    // and so is one read while it changes.
    const auto dropCopy = [this] {
        std::lock_guard<std::mutex> guard(m_chunkLock);
        m_chunk.reset();
        ++m_chunkLoads;
    };
    dropCopy();
    const int32_t status =
        send(kOpSetChunk, const_cast<void*>(bytes), nullptr, nullptr, static_cast<int32_t>(length));
    dropCopy();
    cacheAutomationParams();
    return status;
}

bool ZEFAWrapper::importFile(const std::string& path, int32_t slot) {
    return hasEngine() &&
           send(kOpImportFile, const_cast<char*>(path.c_str()), nullptr, nullptr, slot) == 0;
}

bool ZEFAWrapper::getExportKB(Zefa::ExportKB& out) {
    if (!hasEngine()) return false;
    const Zefa::ExportKB* exported = nullptr;
    if (send(kOpGetExportKB, &exported) != 0 || !exported) return false;
    std::memcpy(&out, exported, sizeof out);
    return true;
}

// ---- Views ----------------------------------------------------------------------------

bool ZEFAWrapper::createViewTicket() {
    if (m_view) return true;
    if (!hasEngine()) return false;
    const std::string product = m_baseDirectory + "/Product.xml";
    void* view = nullptr;
    const int32_t status =
        m_opcode(nullptr, kOpCreateViewTicket, const_cast<char*>(product.c_str()), &view, m_engine,
                 0, 0.0f, 0, 0);
    if (status != 0) log("engine error:" + std::to_string(status), 2);
    m_view = view;
    return m_view != nullptr;
}

bool ZEFAWrapper::createView(uint64_t owner, void* parent, bool embedded) {
    if (!hasEngine() || !createViewTicket()) return false;
    m_viewOwner = owner;
    sendView(kOpOpenView, parent, 0, embedded ? 0 : kViewNotEmbedded);
    return send(kOpAddView, m_view) == 0;
}

bool ZEFAWrapper::destroyView(uint64_t) {
    if (!m_view || !m_opcode) return false;
    if (m_engine) send(kOpRemoveView, m_view);
    sendView(kOpDestroyViewTicket);
    m_view = nullptr;
    m_viewOwner = 0;
    return true;
}

bool ZEFAWrapper::addView() {
    return hasEngine() && m_view && send(kOpAddView, m_view) == 0;
}

bool ZEFAWrapper::removeView() {
    return hasEngine() && m_view && send(kOpRemoveView, m_view) == 0;
}

bool ZEFAWrapper::idleView() {
    if (isDestroying() || !m_opcode || !m_view) return false;
    return sendView(kOpIdleView) == 0;
}

bool ZEFAWrapper::getSize(int32_t& width, int32_t& height) {
    if (!hasEngine() || !createViewTicket()) return false;
    int32_t w = 0, h = 0;
    const int32_t status = m_opcode(m_view, kOpGetViewSize, &h, &w, nullptr, 0, 0.0f, 0, 0);
    if (status != 0) {
        log("engine error:" + std::to_string(status), 2);
        return false;
    }
    if (w < 0 || h < 0) return false; // not a size
    width = w;
    height = h;
    return true;
}

bool ZEFAWrapper::viewfdnotify(int32_t fd) {
    return m_opcode && m_view && sendView(kOpViewFdNotify, nullptr, fd) == 0;
}

bool ZEFAWrapper::timernotify(int32_t id) {
    return m_opcode && m_view && sendView(kOpViewTimerNotify, nullptr, id) == 0;
}

// ---- Programs and presets -------------------------------------------------------------

void* ZEFAWrapper::getPrograms() {
    void* programs = nullptr;
    if (!hasEngine() || sendCommand(ENGINE_GET_PROGRAMS, &programs) != 0) return nullptr;
    return programs;
}

bool ZEFAWrapper::slotFilledBank(int32_t slot, std::string& name, int32_t& bank) {
    if (!hasEngine()) return false;
    ZefaProgramCommand command{};
    command.version = 1;
    command.slot = slot;
    if (sendCommand(ENGINE_SLOT_FILLED_BANK, &command) != 0) {
        programError("Engine: error from dispatcher", command.bank);
        return false;
    }
    if (command.state != ZefaProgramCommand::kFilled) return false;
    name = fieldText(command.name);
    bank = command.bank;
    return true;
}

bool ZEFAWrapper::setProgramBank(int32_t bank, const std::string& name, int32_t slot) {
    if (!hasEngine()) return false;
    ZefaProgramCommand command{};
    command.version = 1;
    command.slot = slot;
    command.bank = bank;
    copyField(command.name, name);
    if (sendCommand(ENGINE_SET_PROGRAM_BANK, &command) != 0) {
        programError("Engine: error loading patch", bank);
        return false;
    }
    return true;
}

bool ZEFAWrapper::setProgram(const std::string& name, int32_t slot) {
    return setProgramBank(-1, name, slot);
}

bool ZEFAWrapper::clearProgram(int32_t slot) {
    if (!hasEngine()) return false;
    ZefaProgramCommand command{};
    command.version = 1;
    command.slot = slot;
    if (sendCommand(ENGINE_CLEAR_PROGRAM, &command) != 0) {
        programError("Engine: error from dispatcher", -1);
        return false;
    }
    return true;
}

// Two calls: the engine writes the count, then fills that many entries. A
// count outside 0..kMaxListEntries is refused.
const ZefaBank* ZEFAWrapper::getBanks(int32_t& count) {
    count = 0;
    m_banks.clear();
    if (!hasEngine()) return nullptr;
    int32_t n = 0;
    if (sendCommand(ENGINE_GET_BANKS, nullptr, &n) != 0 || n <= 0 || n > kMaxListEntries) {
        if (n != 0) programError("Engine: error from dispatcher", -1);
        return nullptr;
    }
    ZefaBank blank{};
    blank.version = 1;
    blank.bank = -1;
    m_banks.assign(static_cast<size_t>(n), blank);
    int32_t filled = n;
    if (sendCommand(ENGINE_GET_BANKS, m_banks.data(), &filled) != 0) {
        programError("Engine: error from dispatcher", -1);
        m_banks.clear();
        return nullptr;
    }
    count = std::clamp(filled, 0, n);
    return m_banks.data();
}

const ZefaBankPrograms* ZEFAWrapper::getBankPrograms(int32_t bank) {
    auto cached = m_bankPrograms.find(bank);
    if (cached != m_bankPrograms.end()) return &cached->second->head;
    if (!hasEngine()) return nullptr;
    auto list = std::make_unique<BankPrograms>();
    list->head = ZefaBankPrograms{bank, 0, nullptr};
    if (sendCommand(ENGINE_GET_BANK_PROGRAMS, &list->head) != 0 || list->head.count < 0 ||
        list->head.count > kMaxListEntries) {
        programError("Engine: error from dispatcher", bank);
        return nullptr;
    }
    const int32_t n = list->head.count;
    ZefaBankProgram blank{};
    blank.version = 1;
    list->entries.assign(static_cast<size_t>(n), blank);
    list->head.entries = list->entries.data();
    if (n > 0 && sendCommand(ENGINE_GET_BANK_PROGRAMS, &list->head) != 0) {
        programError("Engine: error from dispatcher", bank);
        return nullptr;
    }
    list->head.bank = bank;
    list->head.count = std::clamp(list->head.count, 0, n);
    list->head.entries = list->entries.data();
    return &m_bankPrograms.emplace(bank, std::move(list)).first->second->head;
}

const ZefaPresetType* ZEFAWrapper::getPresetTypes(int32_t& count) {
    count = 0;
    m_presetTypes.clear();
    if (!hasEngine()) return nullptr;
    int32_t n = 0;
    if (sendCommand(ENGINE_GET_PRESET_TYPES, nullptr, &n) != 0 || n <= 0 || n > kMaxListEntries) {
        if (n != 0) programError("Engine: error from dispatcher", -1);
        return nullptr;
    }
    ZefaPresetType blank{};
    blank.version = 1;
    m_presetTypes.assign(static_cast<size_t>(n), blank);
    int32_t filled = n;
    if (sendCommand(ENGINE_GET_PRESET_TYPES, m_presetTypes.data(), &filled) != 0) {
        programError("Engine: error from dispatcher", -1);
        m_presetTypes.clear();
        return nullptr;
    }
    count = std::clamp(filled, 0, n);
    return m_presetTypes.data();
}

const ZefaPresets* ZEFAWrapper::getPresets(const std::string& typeName) {
    auto cached = m_presets.find(typeName);
    if (cached != m_presets.end()) return &cached->second->head;
    if (!hasEngine()) return nullptr;
    auto list = std::make_unique<Presets>();
    list->head = ZefaPresets{};
    list->head.version = 1;
    copyField(list->head.typeName, typeName);
    if (sendCommand(ENGINE_GET_PRESETS, &list->head) != 0 || list->head.count < 0 ||
        list->head.count > kMaxListEntries) {
        programError("Engine: error from dispatcher", -1);
        return nullptr;
    }
    const int32_t n = list->head.count;
    ZefaPreset blank{};
    blank.version = 1;
    list->entries.assign(static_cast<size_t>(n), blank);
    list->head.entries = list->entries.data();
    if (n > 0 && sendCommand(ENGINE_GET_PRESETS, &list->head) != 0) {
        programError("Engine: error from dispatcher", -1);
        return nullptr;
    }
    list->head.count = std::clamp(list->head.count, 0, n);
    list->head.entries = list->entries.data();
    return &m_presets.emplace(typeName, std::move(list)).first->second->head;
}

bool ZEFAWrapper::loadPreset(const ZefaPreset* preset, const std::string& typeName,
                             const std::string& name, int32_t slot, uint32_t flags) {
    if (!hasEngine()) return false;
    ZefaPresetCommand command{};
    command.version = 1;
    command.slot = slot;
    command.flags = flags;
    command.preset = preset;
    copyField(command.typeName, typeName);
    copyField(command.name, name);
    if (sendCommand(ENGINE_LOAD_PRESET, &command) != 0) {
        programError("Engine: error loading patch", -1);
        return false;
    }
    return true;
}

bool ZEFAWrapper::setISlotMIDIChannel(int32_t slot, int32_t channel) {
    if (!hasEngine()) return false;
    ZefaSlotMIDIChannel record{1, slot, channel, 0};
    return sendCommand(ENGINE_SET_SLOT_MIDI_CHANNEL, &record) == 0 && record.confirmed == 1;
}

bool ZEFAWrapper::getISlotMIDIChannel(int32_t slot, int32_t& channel) {
    if (!hasEngine()) return false;
    ZefaSlotMIDIChannel record{1, slot, 0, 0};
    if (sendCommand(ENGINE_GET_SLOT_MIDI_CHANNEL, &record) != 0 || record.confirmed != 1)
        return false;
    channel = record.channel;
    return true;
}

} // namespace vantor
