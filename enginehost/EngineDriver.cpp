// Driving one "Brevado" object for the engine host.
#include "enginehost/EngineDriver.h"

#include <cstring>
#include <iterator>
#include <vector>

#include "enginehost/EnginePluginInstance.h"

using namespace vantor::EnginePluginSDK;

namespace morvane {

EngineDriver::EngineDriver() = default;

EngineDriver::~EngineDriver() {
    instance.reset(); // before the file goes
    library.reset();
}

bool EngineDriver::isOpen() const {
    return instance && instance->record();
}

bool EngineDriver::open(const std::string& pluginPath, std::string& error) {
    instance.reset();
    library = std::make_unique<EnginePluginLibrary>();
    if (!library->open(pluginPath, error)) return false;
    if (library->pluginCount() < 1) {
        error = "the engine plug-in " + pluginPath + " holds no plug-in";
        return false;
    }
    PluginInfo info;
    if (!library->readInfo(0, info)) {
        error = "the engine plug-in refused to describe plug-in 0";
        return false;
    }
    instance = std::make_unique<EnginePluginInstance>(*library);
    instance->setExtensionWatcher(watcher, watcherData);
    if (!instance->create(info.identifier)) {
        error = std::string("the engine plug-in refused to create \"") + info.identifier + "\"";
        instance.reset();
        return false;
    }
    outputs = instance->outputCount();
    return true;
}

void EngineDriver::setExtensionWatcher(void (*fn)(void*, const void*), void* data) {
    watcher = fn;
    watcherData = data;
    if (instance) instance->setExtensionWatcher(fn, data);
}

bool EngineDriver::start(double rate, uint32_t block, const std::string& profilePath) {
    if (!isOpen()) return false;
    instance->setProcessing(rate, block);
    const bool started =
        instance->activate(profilePath.empty() ? nullptr : profilePath.c_str(), 0) != 0;
    latencyFrames = started ? instance->latency() : 0;
    return started;
}

const vantor::ParameterInfo* EngineDriver::parameterTable(uint32_t& count) {
    count = 0;
    void* table = nullptr;
    if (!isOpen()) return nullptr;
    instance->dispatch(PLUGIN_OP_GET_PARAMETER_INFO, &table, &count);
    if (!table) count = 0;
    return static_cast<const vantor::ParameterInfo*>(table);
}

void EngineDriver::readParameterMap(float* values, uint32_t count) {
    if (!isOpen() || !values) return;
    auto map = std::make_unique<EventList>();
    std::memset(map.get(), 0, sizeof(EventList));
    instance->dispatch(PLUGIN_OP_GET_PARAMETER_MAP, map.get());
    const uint64_t n =
        map->count < vantor::kEventListCapacity ? map->count : vantor::kEventListCapacity;
    for (uint64_t i = 0; i < n; ++i) {
        const vantor::HDMIDIEvent& e = map->events[i];
        if (e.id >= 0 && static_cast<uint32_t>(e.id) < count) values[e.id] = e.value;
    }
}

int32_t EngineDriver::extension(void* record, uint64_t sizeField, uint64_t action) {
    if (!isOpen()) return -1;
    ExtensionCommand command;
    std::memset(&command, 0, sizeof command);
    command.record = record;
    command.size = sizeField;
    command.action = action;
    int32_t result = -1;
    instance->dispatch(PLUGIN_OP_EXTENSION, &command, &result);
    return result;
}

namespace {

// Extension record sizes: header, then the payload the engine fills.
constexpr size_t kMonitorSize = 12324;    // keys, values and the key count
constexpr size_t kTextRecordSize = 32288; // header and 32256 bytes of text
constexpr size_t kCanvasSize = 308012;    // header, palettes and 640 x 480 pixels
constexpr size_t kLoadFileSize = 1056;    // header, then the path at 544
constexpr size_t kLoadFilePath = 544;
constexpr uint64_t kLoadFileRecordSlot = 2;

enum : uint64_t { kActionInitialise = 0, kActionUpdate = 1, kActionKeep = 2 };

} // namespace

void EngineDriver::attachKeptRecords() {
    if (!isOpen() || !kept.empty()) return;
    struct Kind {
        uint32_t id;
        size_t size;
        uint64_t field; // 0: the record's size
        uint64_t action;
    };
    const Kind kinds[] = {
        {EXT_PARAMETER_MONITOR, kMonitorSize, 0, kActionInitialise},
        {EXT_MOD_MATRIX, kTextRecordSize, 0, kActionInitialise},
        {EXT_NAME_TABLE, kTextRecordSize, 0, kActionInitialise},
        {EXT_NAME_TABLE, kTextRecordSize, 1, kActionInitialise},
        {EXT_NAME_TABLE, kTextRecordSize, 2, kActionInitialise},
        {EXT_PIXEL_CANVAS, kCanvasSize, 0, kActionInitialise},
        {EXT_LOAD_FILE, kLoadFileSize, kLoadFileRecordSlot, kActionKeep},
    };
    kept.reserve(std::size(kinds));
    for (const Kind& k : kinds) {
        KeptRecord r{k.id, k.id == EXT_NAME_TABLE || k.id == EXT_LOAD_FILE ? k.field : k.size,
                     k.size, std::make_unique<uint8_t[]>(k.size)};
        std::memcpy(r.bytes.get(), &k.id, sizeof k.id);
        kept.push_back(std::move(r));
        extension(kept.back().bytes.get(), kept.back().field, k.action);
    }
}

const EngineDriver::KeptRecord* EngineDriver::findKeptRecord(uint32_t id, uint64_t field) const {
    for (const KeptRecord& r : kept)
        if (r.id == id && r.field == field) return &r;
    return nullptr;
}

EngineDriver::KeptRecord* EngineDriver::findKeptRecord(uint32_t id, uint64_t field) {
    for (KeptRecord& r : kept)
        if (r.id == id && r.field == field) return &r;
    return nullptr;
}

void EngineDriver::restoreKeptRecord(uint32_t id, uint64_t field, const uint8_t* bytes, size_t n) {
    KeptRecord* r = findKeptRecord(id, field);
    if (!r || n > r->size) return;
    std::memset(r->bytes.get(), 0, r->size);
    if (n) std::memcpy(r->bytes.get(), bytes, n);
    std::memcpy(r->bytes.get(), &r->id, sizeof r->id);
    extension(r->bytes.get(), r->field, kActionUpdate);
}

void EngineDriver::reattachKeptRecord(size_t i) {
    if (i < kept.size()) extension(kept[i].bytes.get(), kept[i].field, kActionUpdate);
}

bool EngineDriver::loadFile(const char* path, int32_t slot) {
    if (!isOpen() || !path || (slot != 0 && slot != 1)) return false;
    const size_t n = ::strnlen(path, kLoadFileSize - kLoadFilePath);
    if (n == 0 || n >= kLoadFileSize - kLoadFilePath) return false;
    std::vector<uint8_t> record(kLoadFileSize, 0);
    const uint32_t id = EXT_LOAD_FILE;
    std::memcpy(record.data(), &id, sizeof id);
    std::memcpy(record.data() + kLoadFilePath, path, n);
    return extension(record.data(), static_cast<uint64_t>(slot), kActionUpdate) == 0;
}

void EngineDriver::process(float** outputChannels, int32_t frames, EventList* in, EventList* out,
                           const vantor::SyncInfo* time) {
    if (!isOpen()) return;
    // The plug-in reads the transport at the offsets its time record names.
    auto* record = reinterpret_cast<TimeRecord*>(const_cast<vantor::SyncInfo*>(time));
    instance->process(outputChannels, frames, in, out, record);
}

} // namespace morvane
