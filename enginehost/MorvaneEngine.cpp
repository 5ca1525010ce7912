// One engine instance of the substitute engine host.
#include "enginehost/MorvaneEngine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "enginehost/EngineStateChunk.h"

using namespace vantor;

namespace morvane {

namespace {

constexpr const char* kEngineName = "Morvane Engine";
constexpr uint32_t kProductId = 64146;
// The kept canvas record's command size field: the record's size.
constexpr uint64_t kCanvasRecordSize = sizeof(EnginePluginSDK::PixelCanvasExtension);

// The engine ids a song stores: wrapper settings (clock, filters, detune,
// quality; 262 is only ever reported), layer fields, controller parameters,
// chip-unit parameters and automation slots. Pitch bend and the host timing
// values belong to the performance, not to the sound.
bool isStoredSetting(uint32_t engineId) {
    return (engineId >= 256 && engineId <= 261) || (engineId >= 512 && engineId < kEngineIdCount);
}

template <size_t N> void copyText(char (&field)[N], const std::string& text) {
    const size_t n = std::min(text.size(), N - 1);
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

// The name of MIDI key `key` with octave -1 for key 0 ("C-1", "C#-1" ...).
void keyName(int key, char* out, size_t size) {
    static const char* const kNames[12] = {"C",  "C#", "D",  "D#", "E",  "F",
                                           "F#", "G",  "G#", "A",  "A#", "B"};
    std::snprintf(out, size, "%s%d", kNames[key % 12], key / 12 - 1);
}

} // namespace

// ---- Creation -------------------------------------------------------------------------

std::unique_ptr<MorvaneEngine> MorvaneEngine::create(const ZefaCreateRecord& record,
                                                     const std::string& plugin,
                                                     const std::string& profiles,
                                                     std::string& error) {
    if (record.fixedWord != ZefaCreateRecord::kFixedWord) {
        error = "the create record's fixed word is not 0x0843AA55";
        return nullptr;
    }
    const uint32_t version = static_cast<uint32_t>(record.formatAndVersion) >> 16;
    if (version != static_cast<uint32_t>(kZefaInterfaceVersion)) {
        error = "interface version " + std::to_string(version) + " is not spoken here";
        return nullptr;
    }
    std::unique_ptr<MorvaneEngine> engine(new MorvaneEngine());
    engine->baseDirectory = record.baseDirectory ? record.baseDirectory : "";
    engine->dataDirectory = record.dataDirectory ? record.dataDirectory : "";
    engine->pluginPath = plugin;
    engine->profilePath = profiles;
    engine->in = std::make_unique<EngineEventList>();
    engine->out = std::make_unique<EngineEventList>();
    engine->carried = std::make_unique<EngineEventList>();
    engine->carried->count = 0;
    engine->values.reset(new std::atomic<float>[kEngineIdCount]);
    engine->written.reset(new std::atomic<float>[kHostParameterCount]);
    engine->writes.reset(new std::atomic<uint32_t>[kHostParameterCount]);
    engine->delivered.reset(new std::atomic<uint32_t>[kHostParameterCount]);
    for (uint32_t i = 0; i < kEngineIdCount; ++i) engine->values[i].store(0.0f);
    for (uint32_t i = 0; i < kHostParameterCount; ++i) {
        engine->written[i].store(0.0f);
        engine->writes[i].store(0);
        engine->delivered[i].store(0);
    }

    engine->canvasPictures.reset(new CanvasPicture[3]);
    engine->driver.setExtensionWatcher(&MorvaneEngine::extensionChanged, engine.get());
    if (!engine->driver.open(plugin, error)) return nullptr;
    const uint32_t channels = engine->driver.outputCount();
    if (channels < 1 || channels > kMaxChannels) {
        error = "the engine plug-in reports " + std::to_string(channels) + " output channels";
        return nullptr;
    }
    if (!engine->start(kDefaultRate, kDefaultBlock, kDefaultChannels)) {
        error = "the engine plug-in did not activate";
        return nullptr;
    }
    float initial[kEngineIdCount] = {};
    engine->driver.readParameterMap(initial, kEngineIdCount);
    for (uint32_t i = 0; i < kEngineIdCount; ++i) engine->values[i].store(initial[i]);
    engine->driver.attachKeptRecords();
    if (const auto* canvas =
            engine->driver.findKeptRecord(EnginePluginSDK::EXT_PIXEL_CANVAS, kCanvasRecordSize)) {
        engine->canvasRecord = canvas->bytes.get();
        engine->publishCanvas();
    }
    engine->buildExportKB();
    return engine;
}

MorvaneEngine::~MorvaneEngine() {
    std::lock_guard<std::mutex> guard(lock);
    table.store(nullptr);
    // The canvas goes before the engine object: it is told nothing more.
    driver.setExtensionWatcher(nullptr, nullptr);
}

bool MorvaneEngine::start(int32_t newRate, uint32_t block, uint32_t channels) {
    if (!driver.start(newRate, block, profilePath)) return false;
    latencyFrames = static_cast<int32_t>(std::min<uint32_t>(driver.latency(), INT32_MAX));
    rate = newRate;
    maxBlock = block;
    hostChannels = channels;
    const uint32_t engineChannels = driver.outputCount();
    buffers.assign(static_cast<size_t>(engineChannels) * block, 0.0f);
    channelPointers.resize(engineChannels);
    for (uint32_t c = 0; c < engineChannels; ++c)
        channelPointers[c] = buffers.data() + static_cast<size_t>(c) * block;
    uint32_t count = 0;
    const ParameterInfo* described = driver.parameterTable(count);
    tableCount = std::min(count, kEngineIdCount);
    table.store(described, std::memory_order_release);
    // Activation puts the object back at its defaults: an engine that was
    // running gets its whole sound again, as a state load would give it.
    if (started) reapplyState();
    started = true;
    return true;
}

void MorvaneEngine::reapplyState() {
    // The engine's own values; host writes still pending follow at the
    // next block, as they would have without the set-up.
    for (size_t i = 0; i < driver.keptRecordCount(); ++i) driver.reattachKeptRecord(i);
    std::vector<EngineStateChunk::Parameter> settings;
    settings.reserve(kEngineIdCount);
    for (uint32_t id = 0; id < kEngineIdCount; ++id)
        if (isStoredSetting(id))
            settings.push_back(
                {static_cast<uint16_t>(id), values[id].load(std::memory_order_relaxed)});
    sendSettings(settings);
}

void MorvaneEngine::sendSettings(const std::vector<EngineStateChunk::Parameter>& settings) {
    // The settings reach the engine as parameter events of 0-frame blocks.
    size_t next = 0;
    while (next < settings.size()) {
        in->count = 0;
        while (next < settings.size() && in->count < kEventCapacity) {
            const auto& p = settings[next++];
            values[p.engineId].store(p.value, std::memory_order_relaxed);
            appendParameterEvent(p.engineId, p.value, *in);
        }
        out->count = 0;
        driver.process(channelPointers.data(), 0, in.get(), out.get(), nullptr);
        takeEngineOutput(*out);
    }
}

void MorvaneEngine::buildExportKB() {
    exportKB = std::make_unique<Zefa::ExportKB>();
    std::memset(exportKB.get(), 0, sizeof(Zefa::ExportKB));
    // Every key plays: the layers cover the whole keyboard.
    for (int key = 0; key < 128; ++key) {
        exportKB->keyType[key] = 0;
        keyName(key, exportKB->keyName[key], Zefa::ExportKB::kNameSize);
    }
}

void MorvaneEngine::log(const std::string& text, int32_t level) {
    std::lock_guard<std::mutex> guard(callbackLock);
    for (const Callback& c : callbacks)
        if (c.function)
            c.function(ZEFA_HOST_LOG, const_cast<char*>(kEngineName),
                       const_cast<char*>(text.c_str()), level, 0, 0, 0.0f, c.userData);
}

// ---- Set-up ---------------------------------------------------------------------------

int32_t MorvaneEngine::setRateAndBlock(int32_t newRate, int64_t block) {
    if (newRate < kMinRate || newRate > kMaxRate || block < 1 || block > kMaxBlock)
        return kStatusBadArgument;
    std::lock_guard<std::mutex> guard(lock);
    return start(newRate, static_cast<uint32_t>(block), hostChannels.load()) ? kStatusOk
                                                                             : kStatusEngineFailed;
}

int32_t MorvaneEngine::setSettings(const ZefaEngineSettings* s) {
    if (!s) return kStatusBadArgument;
    if (s->version != 1 || s->one != 1 || s->outputChannels < 1 ||
        s->outputChannels > kMaxChannels || s->inputChannels > kMaxChannels ||
        s->sampleRate < static_cast<uint64_t>(kMinRate) ||
        s->sampleRate > static_cast<uint64_t>(kMaxRate) || s->maxBlock < 1 ||
        s->maxBlock > kMaxBlock)
        return kStatusBadRecord;
    std::lock_guard<std::mutex> guard(lock);
    return start(static_cast<int32_t>(s->sampleRate), static_cast<uint32_t>(s->maxBlock),
                 static_cast<uint32_t>(s->outputChannels))
               ? kStatusOk
               : kStatusEngineFailed;
}

int32_t MorvaneEngine::resume(ZefaEngineLatencyInfo* latency) {
    return getLatency(latency);
}

int32_t MorvaneEngine::getLatency(ZefaEngineLatencyInfo* latency) const {
    if (!latency) return kStatusBadArgument;
    if (latency->version != kZefaInterfaceVersion) return kStatusBadRecord;
    latency->latency = latencyFrames.load(); // the engine's, at the last set-up
    return kStatusOk;
}

int32_t MorvaneEngine::getStats(ZefaEngineStats* stats) const {
    if (!stats) return kStatusBadArgument;
    if (stats->version != 1) return kStatusBadRecord;
    stats->activeVoices = 0;
    stats->cpuLoad = 0.0f;
    return kStatusOk;
}

int32_t MorvaneEngine::command(int32_t subId, void* p1, void*) {
    switch (subId) {
    case ENGINE_GET_CURRENT_PRODUCT: {
        auto* product = static_cast<ZefaCurrentProduct*>(p1);
        if (!product) return kStatusBadArgument;
        if (product->version != 1) return kStatusBadRecord;
        product->productId = kProductId;
        product->slots = 1;
        copyText(product->firstName, "sondrix MD");
        copyText(product->secondName, "Vantor");
        copyText(product->address, baseDirectory);
        return kStatusOk;
    }
    case ENGINE_GET_INFO: {
        auto* info = static_cast<ZefaEngineInfo*>(p1);
        if (!info) return kStatusBadArgument;
        if (info->version != 1) return kStatusBadRecord;
        info->number = static_cast<uint32_t>(kZefaInterfaceVersion);
        copyText(info->text, kEngineName);
        copyText(info->text2, pluginPath);
        return kStatusOk;
    }
    case ENGINE_ADD_HOST_CALLBACK: {
        const auto* record = static_cast<const ZefaCallbackRecord*>(p1);
        if (!record) return kStatusBadArgument;
        if (record->version != 1 || !record->function) return kStatusBadRecord;
        return addHostCallback(record->function, record->userData, record->flags);
    }
    default:
        return kStatusUnknownOpcode;
    }
}

int32_t MorvaneEngine::addHostCallback(ZefaHostCallback fn, void* data, uint64_t flags) {
    if (!fn) return kStatusBadArgument;
    std::lock_guard<std::mutex> guard(callbackLock);
    Callback* free = nullptr;
    for (Callback& c : callbacks) {
        if (c.function == fn && c.userData == data) {
            c.flags = flags; // registered again: the flags change
            return kStatusOk;
        }
        if (!c.function && !free) free = &c;
    }
    if (!free) return kStatusBadArgument;
    *free = Callback{fn, data, flags};
    return kStatusOk;
}

int32_t MorvaneEngine::removeHostCallback(ZefaHostCallback fn, void* data) {
    std::lock_guard<std::mutex> guard(callbackLock);
    for (Callback& c : callbacks)
        if (c.function && c.function == fn && c.userData == data) {
            c = Callback{};
            return kStatusOk;
        }
    return kStatusNotFound;
}

int32_t MorvaneEngine::importFile(const char* path, int32_t slot) {
    if (!path || (slot != 0 && slot != 1)) return kStatusBadArgument;
    std::lock_guard<std::mutex> guard(lock);
    const bool loaded = driver.loadFile(path, slot);
    publishCanvas(); // the media player draws its track page when it opens
    return loaded ? kStatusOk : kStatusEngineFailed;
}

// ---- Processing -----------------------------------------------------------------------

int32_t MorvaneEngine::process(float** outputs, const MIDIEvents* events, int32_t frames,
                               const SyncInfo* syncInfo) {
    const uint32_t channels = hostChannels.load(std::memory_order_relaxed);
    if (frames < 0 || frames > static_cast<int32_t>(maxBlock.load(std::memory_order_relaxed)))
        return kStatusBadArgument;
    if (frames > 0 && !outputs) return kStatusBadArgument;
    if (events && (events->word1 != 1 || events->count > kEventCapacity)) return kStatusBadRecord;

    if (!lock.try_lock()) {
        // A state load or a set-up holds the engine: this block stays silent
        // and its events wait for the next one.
        for (uint32_t c = 0; frames > 0 && c < channels; ++c)
            if (outputs[c]) std::memset(outputs[c], 0, sizeof(float) * static_cast<size_t>(frames));
        if (events) appendToEngineList(events->events, events->count, 0, *carried);
        return kStatusOk;
    }
    std::lock_guard<std::mutex> guard(lock, std::adopt_lock);
    // The block length may have changed while the lock was free.
    if (frames > static_cast<int32_t>(maxBlock.load(std::memory_order_relaxed)))
        return kStatusBadArgument;

    // Parameter writes since the last block, then held-over events, at frame 0.
    // A write landing while this runs is either in the value taken here or
    // stays pending (its count moved on) for the next block.
    in->count = 0;
    for (uint32_t id = 0; id < kHostParameterCount; ++id) {
        const uint32_t count = writes[id].load(std::memory_order_acquire);
        if (count == delivered[id].load(std::memory_order_relaxed)) continue;
        const int32_t engineId = engineIdForHostId(id);
        const float value = written[id].load(std::memory_order_relaxed);
        if (!appendParameterEvent(static_cast<uint16_t>(engineId), value, *in))
            break; // no room: the rest wait for the next block
        values[engineId].store(value, std::memory_order_relaxed);
        delivered[id].store(count, std::memory_order_release);
    }
    // What is in the list goes to the engine first, without frames, when
    // what follows would not fit behind it.
    const auto sendWithoutFrames = [&] {
        out->count = 0;
        driver.process(channelPointers.data(), 0, in.get(), out.get(), nullptr);
        takeEngineOutput(*out);
        in->count = 0;
    };
    if (carried->count) {
        if (in->count + carried->count > kEventCapacity) sendWithoutFrames();
        std::memcpy(&in->events[in->count], carried->events, carried->count * sizeof(HDMIDIEvent));
        in->count += carried->count;
        carried->count = 0;
    }
    if (events && in->count + events->count > kEventCapacity) sendWithoutFrames();
    if (events) appendToEngineList(events->events, events->count, frames, *in);

    out->count = 0;
    driver.process(channelPointers.data(), frames, in.get(), out.get(), syncInfo);
    takeEngineOutput(*out);
    publishCanvas();

    const uint32_t engineChannels = static_cast<uint32_t>(channelPointers.size());
    for (uint32_t c = 0; frames > 0 && c < channels; ++c) {
        if (!outputs[c]) continue;
        const size_t bytes = sizeof(float) * static_cast<size_t>(frames);
        if (c < engineChannels)
            std::memcpy(outputs[c], channelPointers[c], bytes);
        else
            std::memset(outputs[c], 0, bytes);
    }
    return kStatusOk;
}

void MorvaneEngine::takeEngineOutput(const EngineEventList& list) {
    const uint64_t n = std::min<uint64_t>(list.count, kEventCapacity);
    for (uint64_t i = 0; i < n; ++i) {
        uint16_t engineId = 0;
        float value = 0.0f;
        if (readParameterValue(list.events[i], engineId, value) && engineId < kEngineIdCount)
            values[engineId].store(value, std::memory_order_relaxed);
    }
}

// ---- Parameters -----------------------------------------------------------------------

const ParameterInfo* MorvaneEngine::describe(uint32_t hostId) const {
    const int32_t engineId = engineIdForHostId(hostId);
    const ParameterInfo* described = table.load(std::memory_order_acquire);
    if (engineId == kNoEngineId || !described ||
        static_cast<uint32_t>(engineId) >= tableCount.load(std::memory_order_relaxed))
        return nullptr;
    const ParameterInfo* info = &described[engineId];
    return info->magic == ParameterInfo::kMagic ? info : nullptr;
}

int32_t MorvaneEngine::setParameter(int32_t hostId, float value, int64_t l1, int64_t l2) {
    if (hostId < 0 || static_cast<uint32_t>(hostId) >= kHostParameterCount || l1 || l2)
        return kStatusBadArgument;
    if (!std::isfinite(value)) return kStatusBadArgument;
    const int32_t engineId = engineIdForHostId(static_cast<uint32_t>(hostId));
    if (engineId == kNoEngineId) return kStatusOk; // stands for nothing
    if (const ParameterInfo* info = describe(static_cast<uint32_t>(hostId)))
        if (info->minValue <= info->maxValue)
            value = std::clamp(value, info->minValue, info->maxValue);
    written[hostId].store(value, std::memory_order_relaxed);
    writes[hostId].fetch_add(1, std::memory_order_release);
    return kStatusOk;
}

float MorvaneEngine::hostValue(uint32_t engineId) const {
    const int32_t hostId = hostIdForEngineId(engineId);
    if (hostId != kNoEngineId) {
        const uint32_t count = writes[hostId].load(std::memory_order_acquire);
        const float value = written[hostId].load(std::memory_order_relaxed);
        // Read after the value: once equal, the block that delivered this
        // count had stored it among the engine's values.
        if (count != delivered[hostId].load(std::memory_order_acquire)) return value;
    }
    return values[engineId].load(std::memory_order_relaxed);
}

int32_t MorvaneEngine::getParameter(int32_t hostId, float* value, int64_t l1, int64_t l2) const {
    if (!value) return kStatusBadArgument;
    if (hostId < 0 || static_cast<uint32_t>(hostId) >= kHostParameterCount || l1 || l2)
        return kStatusBadArgument;
    const int32_t engineId = engineIdForHostId(static_cast<uint32_t>(hostId));
    *value = engineId == kNoEngineId ? 0.0f : hostValue(static_cast<uint32_t>(engineId));
    return kStatusOk;
}

int32_t MorvaneEngine::getParameterInfo(int32_t hostId, const ParameterInfo** info) const {
    if (!info) return kStatusBadArgument;
    *info = nullptr;
    if (hostId < 0 || static_cast<uint32_t>(hostId) >= kHostParameterCount)
        return kStatusBadArgument;
    *info = describe(static_cast<uint32_t>(hostId));
    return *info ? kStatusOk : kStatusNotFound;
}

int32_t MorvaneEngine::getParameterName(int32_t hostId, const char** name) const {
    if (!name) return kStatusBadArgument;
    *name = nullptr;
    if (hostId < 0 || static_cast<uint32_t>(hostId) >= kHostParameterCount)
        return kStatusBadArgument;
    const ParameterInfo* info = describe(static_cast<uint32_t>(hostId));
    if (!info || !info->label || !info->label[0]) return kStatusNotFound;
    *name = info->label;
    return kStatusOk;
}

// ---- State ----------------------------------------------------------------------------

int32_t MorvaneEngine::getChunk(const void** chunk, int32_t* size) {
    if (!chunk || !size) return kStatusBadArgument;
    std::lock_guard<std::mutex> guard(lock);
    EngineStateChunk state;
    for (uint32_t id = 0; id < kEngineIdCount; ++id)
        if (isStoredSetting(id))
            state.parameters.push_back({static_cast<uint16_t>(id), hostValue(id)});
    for (size_t i = 0; i < driver.keptRecordCount(); ++i) {
        const EngineDriver::KeptRecord& r = driver.keptRecord(i);
        state.records.push_back(
            {r.id, r.field, std::vector<uint8_t>(r.bytes.get(), r.bytes.get() + r.size)});
    }
    SavedChunk& saved = savedChunkOfThisThread();
    saved.bytes = state.write();
    *chunk = saved.bytes.data();
    *size = static_cast<int32_t>(saved.bytes.size());
    return kStatusOk;
}

MorvaneEngine::SavedChunk& MorvaneEngine::savedChunkOfThisThread() {
    // Made on a thread's first save and released when the thread ends.
    thread_local const std::shared_ptr<const void> token = std::make_shared<char>(0);
    std::erase_if(savedChunks, [](const SavedChunk& s) { return s.thread.expired(); });
    for (SavedChunk& s : savedChunks)
        if (s.token == token.get()) return s;
    savedChunks.push_back({token, token.get(), {}});
    return savedChunks.back();
}

int32_t MorvaneEngine::setChunk(const void* bytes, int32_t length) {
    if (!bytes || length <= 0) return kStatusBadArgument;
    // Read and checked whole before anything changes (the kept records are
    // fixed once the engine stands, so this needs no lock); a refusal is
    // reported through the host callbacks outside the lock.
    EngineStateChunk state;
    std::string error;
    const auto room = [this](uint32_t id, uint64_t field) -> size_t {
        const EngineDriver::KeptRecord* r = driver.findKeptRecord(id, field);
        return r ? r->size : 0;
    };
    if (state.read(static_cast<const uint8_t*>(bytes), static_cast<size_t>(length), kEngineIdCount,
                   room, error)) {
        for (const auto& p : state.parameters)
            if (!isStoredSetting(p.engineId) || !std::isfinite(p.value)) {
                error =
                    "engine state: engine id " + std::to_string(p.engineId) + " holds no setting";
                break;
            }
    }
    if (!error.empty()) {
        log(error, kZefaLogError);
        return kStatusBadRecord;
    }

    std::lock_guard<std::mutex> guard(lock);
    // The chunk replaces every setting: writes waiting for a block are void.
    for (uint32_t id = 0; id < kHostParameterCount; ++id)
        delivered[id].store(writes[id].load(std::memory_order_acquire), std::memory_order_release);
    for (const auto& r : state.records)
        driver.restoreKeptRecord(r.extensionId, r.commandField, r.bytes.data(), r.bytes.size());
    sendSettings(state.parameters);
    publishCanvas();
    return kStatusOk;
}

// ---- Pixel canvas ---------------------------------------------------------------------

void MorvaneEngine::extensionChanged(void* self, const void* record) {
    auto* engine = static_cast<MorvaneEngine*>(self);
    // Found among the kept records rather than by `canvasRecord`: the plug-in
    // draws its first page as the canvas is attached, before that is set.
    const auto* canvas =
        engine->driver.findKeptRecord(EnginePluginSDK::EXT_PIXEL_CANVAS, kCanvasRecordSize);
    if (record && canvas && record == canvas->bytes.get()) engine->canvasDrawn = true;
}

void MorvaneEngine::publishCanvas() {
    if (!canvasDrawn || !canvasRecord) return;
    canvasDrawn = false;
    const auto* r = static_cast<const EnginePluginSDK::PixelCanvasExtension*>(canvasRecord);
    CanvasPicture& p = canvasPictures[canvasBack];
    p.width = std::min<uint32_t>(r->width, CanvasPicture::kMaxWidth);
    p.height = std::min<uint32_t>(r->height, CanvasPicture::kMaxHeight);
    std::memcpy(p.red, r->red, sizeof p.red);
    std::memcpy(p.green, r->green, sizeof p.green);
    std::memcpy(p.blue, r->blue, sizeof p.blue);
    std::memcpy(p.pixels, r->pixels, size_t(p.width) * p.height);
    canvasBack = canvasSlot.exchange(canvasBack | kCanvasChanged, std::memory_order_acq_rel) & 3;
}

bool MorvaneEngine::readCanvas(CanvasPicture& picture, uint64_t& seen) {
    std::lock_guard<std::mutex> guard(canvasReadLock);
    if (canvasSlot.load(std::memory_order_acquire) & kCanvasChanged) {
        canvasFront = canvasSlot.exchange(canvasFront, std::memory_order_acq_rel) & 3;
        ++canvasNumber;
    }
    if (canvasNumber == seen) return false;
    const CanvasPicture& p = canvasPictures[canvasFront];
    picture.width = p.width;
    picture.height = p.height;
    std::memcpy(picture.red, p.red, sizeof p.red);
    std::memcpy(picture.green, p.green, sizeof p.green);
    std::memcpy(picture.blue, p.blue, sizeof p.blue);
    std::memcpy(picture.pixels, p.pixels, size_t(p.width) * p.height);
    seen = canvasNumber;
    return true;
}

int32_t MorvaneEngine::getExportKB(const Zefa::ExportKB** exported) const {
    if (!exported) return kStatusBadArgument;
    *exported = exportKB.get();
    return kStatusOk;
}

} // namespace morvane
