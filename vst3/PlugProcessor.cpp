// The audio component: start-up, buses, the audio block and the state.
#include "vst3/PlugProcessor.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "vantor/DenormalScope.h"
#include "vantor/PMIDI.h"
#include "vst3/EventOrder.h"
#include "vst3/HolderRegistry.h"
#include "vst3/PlugFactory.h"
#include "vst3/SamplerPluginConfig.h"
#include "vst3base/IBStreamer.h"
#include "vst3base/INoteExpression.h"
#include "vst3base/UString.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace vantor {
namespace {

constexpr int32_t kSettingsHeaderSize = 176; // "VstW" wrapped state
constexpr int32_t kBankHeaderSize = 160;     // "CcnK" bank state
constexpr uint64_t kStartUpCallbackFlags = 112;
// What the engine's state chunk may hold.
constexpr uint32_t kEngineIdSpace = kEngineChunkIdSpace;
constexpr uint32_t kMaxEngineRecords = kEngineChunkMaxRecords;
constexpr const char* kHolderMessageId = "MorvaneHandle";
constexpr const char* kHolderAttribute = "No";

// Parameter ids of the controller's MIDI pseudo-parameters and bypass.
constexpr ParamID kControlChangeFirst = 10000;
constexpr ParamID kControlChangeLast = 12047;
constexpr ParamID kChannelPressureBase = 12048;
constexpr ParamID kPitchBendBase = 12064;
constexpr ParamID kProgramChangeBase = 12080;
constexpr ParamID kBypassId = 9000;
constexpr ParamID kFirstChannelPressureId = 9001;
constexpr ParamID kFirstChannelPitchBendId = 9002;

int32_t bigEndian32(const uint8_t* p) {
    return static_cast<int32_t>(uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 |
                                uint32_t(p[3]));
}
int32_t littleEndian32(const uint8_t* p) {
    return static_cast<int32_t>(uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 |
                                uint32_t(p[0]));
}

// The controller's MIDI pseudo-parameters: control changes, program
// change, pitch bend and channel pressure of every channel, and the first
// channel's pitch bend and pressure.
bool isMIDIControllerId(ParamID id) {
    return (id >= kControlChangeFirst && id <= kControlChangeLast) ||
           (id & ~15u) == kProgramChangeBase || (id & ~15u) == kPitchBendBase ||
           (id & ~15u) == kChannelPressureBase || id == kFirstChannelPitchBendId ||
           id == kFirstChannelPressureId;
}

double clamp01(double v) {
    return v < 0.0 ? 0.0 : (v > 1.0 ? 1.0 : v);
}

// A host offset brought into the block, so that the engine never slices
// outside it.
int32_t blockOffset(int32_t offset, int32_t frames) {
    if (frames <= 0 || offset < 0) return 0;
    return offset >= frames ? frames - 1 : offset;
}

bool isMIDIKey(int32_t pitch) {
    return pitch >= 0 && pitch <= 127;
}

// The engine's block for a host's maximum block.
int32_t engineBlockFor(int64_t maxBlock) {
    return static_cast<int32_t>(std::min<int64_t>(maxBlock, PlugProcessor::kEngineMaxBlock));
}

// Zeroes `frames` frames of every output channel but the first `keep`
// channels of bus 0 (those the engine wrote). Each bus's silence flags then
// name exactly the channels zeroed: a host may hand the same flags back.
void silenceOutputs(ProcessData& data, int32 frames, int32 keep) {
    if (!data.outputs || frames <= 0) return;
    for (int32 b = 0; b < data.numOutputs; ++b) {
        AudioBusBuffers& bus = data.outputs[b];
        if (!bus.channelBuffers32) continue;
        const int32 first = b == 0 ? keep : 0;
        for (int32 ch = first; ch < bus.numChannels; ++ch)
            if (float* p = bus.channelBuffers32[ch])
                std::memset(p, 0, sizeof(float) * static_cast<size_t>(frames));
        const auto below = [](int32 n) {
            return n <= 0 ? uint64(0) : n >= 64 ? ~uint64(0) : (uint64(1) << n) - 1;
        };
        bus.silenceFlags = below(bus.numChannels) & ~below(first);
    }
}

// A bus the engine may read or write: `channels` channel buffers, none of
// them missing (a host may leave a channel's pointer null).
bool busHasChannels(const AudioBusBuffers* bus, int32 channels) {
    if (!bus || !bus->channelBuffers32 || bus->numChannels < channels) return false;
    for (int32 ch = 0; ch < channels; ++ch)
        if (!bus->channelBuffers32[ch]) return false;
    return true;
}

} // namespace

// ---- Saved state ------------------------------------------------------------------------

bool readProcessorStateHeader(IBStream* stream, ProcessorStateHeader& header) {
    header = ProcessorStateHeader{};
    if (!stream) return false;
    IBStreamer in(stream);
    const int64_t start = in.tell();
    const int64_t end = start >= 0 ? in.measure() : -1;
    const int64_t size = end >= start && start >= 0 ? end - start : -1;
    header.streamSize = size;

    uint8_t head[kSettingsHeaderSize];
    if (size > kSettingsHeaderSize) {
        if (!in.readRaw(head, kSettingsHeaderSize)) return false;
        if (std::memcmp(head, "VstW", 4) == 0 && std::memcmp(head + 16, "CcnK", 4) == 0 &&
            bigEndian32(head + 28) > 0) {
            header.layout = ProcessorStateHeader::kWrapped;
            header.hasBypass = true;
            header.bypass = littleEndian32(head + 12) > 0;
            header.chunkSize = size - kSettingsHeaderSize;
            return true;
        }
        if (!in.seek(start, IBStream::kIBSeekSet)) return false;
    }
    if (size > kBankHeaderSize) {
        if (!in.readRaw(head, kBankHeaderSize)) return false;
        if (std::memcmp(head, "CcnK", 4) == 0) {
            header.layout = ProcessorStateHeader::kBank;
            header.chunkSize = bigEndian32(head + 156);
            return true;
        }
        if (!in.seek(start, IBStream::kIBSeekSet)) return false;
    }
    int32 bypass = 0;
    int32 chunkSize = 0;
    if (!in.readInt32(bypass) || !in.readInt32(chunkSize)) return false;
    header.layout = ProcessorStateHeader::kNative;
    header.hasBypass = true;
    header.bypass = bypass > 0;
    header.chunkSize = chunkSize;
    return true;
}

int64_t availableChunkBytes(const ProcessorStateHeader& header) {
    if (header.streamSize < 0) return -1;
    const int64_t headerSize = header.layout == ProcessorStateHeader::kWrapped ? kSettingsHeaderSize
                               : header.layout == ProcessorStateHeader::kBank  ? kBankHeaderSize
                                                                               : 8;
    return header.streamSize - headerSize;
}

bool stateChunkLooksWhole(IBStream* stream, const ProcessorStateHeader& header) {
    const int64_t size = header.chunkSize;
    const int64_t available = availableChunkBytes(header);
    if (!stream || size < 8 || size > INT32_MAX || (available >= 0 && size > available))
        return false;
    IBStreamer in(stream);
    const int64_t start = in.tell();
    if (start < 0) return false;
    // Walked the way the engine reads it (EngineStateChunk.h): opening,
    // settings, records, and nothing after them, all within `size` bytes.
    int64_t left = size;
    const auto take = [&](void* bytes, int64_t n) {
        if (n > left || !in.readRaw(bytes, static_cast<int32>(n))) return false;
        left -= n;
        return true;
    };
    uint8_t word[8];
    if (!take(word, 8) || std::memcmp(word, kEngineChunkTag, 4) != 0 ||
        static_cast<uint32_t>(littleEndian32(word + 4)) != kEngineChunkVersion)
        return false;
    if (!take(word, 4)) return false;
    const uint32_t settings = static_cast<uint32_t>(littleEndian32(word));
    if (settings > kEngineIdSpace || int64_t(settings) * 8 > left) return false;
    for (uint32_t i = 0; i < settings; ++i) {
        if (!take(word, 8)) return false;
        const uint32_t id = static_cast<uint32_t>(littleEndian32(word)) & 0xFFFF;
        float value = 0.f;
        std::memcpy(&value, word + 4, sizeof value);
        if (id >= kEngineIdSpace || !std::isfinite(value)) return false;
    }
    if (!take(word, 4)) return false;
    const uint32_t records = static_cast<uint32_t>(littleEndian32(word));
    if (records > kMaxEngineRecords) return false;
    for (uint32_t i = 0; i < records; ++i) {
        uint8_t head[16];
        if (!take(head, 16)) return false;
        const int64_t n = static_cast<uint32_t>(littleEndian32(head + 4));
        if (n > left) return false;
        if (n > 0) {
            // The last byte is there too (a stream of unknown size may end early).
            uint8_t last = 0;
            if (!in.seek(n - 1, IBStream::kIBSeekCur) || !in.readRaw(&last, 1)) return false;
            left -= n;
        }
    }
    return left == 0;
}

// ---- Life -------------------------------------------------------------------------------

PlugProcessor::PlugProcessor()
    : m_holder(std::make_shared<ZEFAWrapperHolder>()), m_events(new MIDIEvents{}) {
    m_holderKey = registerHolder(m_holder);
    m_pending.reserve(kPendingRoom);
    m_sortScratch.resize(kPendingRoom);
    m_events->word1 = 1;
    setControllerClass(kPlugControllerUID);
    processContextRequirements_ = IProcessContextRequirements::kNeedSystemTime |
                                  IProcessContextRequirements::kNeedProjectTimeMusic |
                                  IProcessContextRequirements::kNeedBarPositionMusic |
                                  IProcessContextRequirements::kNeedCycleMusic |
                                  IProcessContextRequirements::kNeedSamplesToNextClock |
                                  IProcessContextRequirements::kNeedTempo |
                                  IProcessContextRequirements::kNeedTimeSignature |
                                  IProcessContextRequirements::kNeedTransportState;
}

PlugProcessor::~PlugProcessor() {
    unregisterHolder(m_holderKey);
}

FUnknown* PlugProcessor::createInstance(void*) {
    return static_cast<IAudioProcessor*>(new PlugProcessor);
}

tresult PlugProcessor::queryInterface(const TUID iid, void** obj) {
    return AudioEffect::queryInterface(iid, obj);
}

int32_t PlugProcessor::host_crap(int32_t, void*, void*, int32_t, int32_t, int32_t, float, void*) {
    return 0;
}

tresult PlugProcessor::initialize(FUnknown* context) {
    const tresult base = AudioEffect::initialize(context);
    if (base != kResultOk) return base;

    if (auto host = queryInterfaceOf<IHostApplication>(context)) {
        String128 name{};
        if (host->getName(name) == kResultOk && utf16ToUtf8(name, 128) == "Reason")
            m_noteIdMode = false;
    }

    delete m_holder->wrapper;
    m_holder->wrapper = new ZEFAWrapper(ZEFAWrapper::kFormatVST3, kZefaInterfaceVersion,
                                        SamplerPluginConfig.parameterCount);
    delete m_holder->syncInfo;
    m_holder->syncInfo = new SyncInfo;
    m_holder->syncInfo->prepare(256, 44100.0, nullptr, nullptr, true);

    ZEFAWrapper* bridge = m_holder->wrapper;
    bridge->setInitialHostCallback(host_crap, this, kStartUpCallbackFlags);
    if (!bridge->init(44100, 1024, &SamplerPluginConfig, false)) {
        delete m_holder->wrapper;
        m_holder->wrapper = nullptr;
        return kResultFalse;
    }
    m_engineBlock = 1024;
    m_engineReady = true;
    bridge->removeHostCallback(host_crap, this);
    if (SamplerPluginConfig.hasInput != 0) addAudioInput(u"Stereo Input", SpeakerArr::kStereo);
    addAudioOutput(u"Stereo Output", SpeakerArr::kStereo);
    addEventInput(u"MIDI Input", 16);
    return kResultOk;
}

// ---- Buses and processing set-up --------------------------------------------------------

tresult PlugProcessor::setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                          SpeakerArrangement* outputs, int32 numOuts) {
    ZEFAWrapper* bridge = m_holder->wrapper;
    if (!bridge) return kResultFalse;
    // An instrument without an input bus can only be asked for no inputs and
    // one output; with an input bus, input and output match.
    const bool hasInputBus = !audioInputs_.empty();
    if (numOuts != 1 || !outputs) return kResultFalse;
    if (hasInputBus && (numIns != 1 || !inputs || inputs[0] != outputs[0])) return kResultFalse;
    if (!hasInputBus && numIns != 0) return kResultFalse;

    int32 channels;
    if (outputs[0] == SpeakerArr::kStereo) {
        ZEFAWrapper::log("setBusArrangements kStereo", 1);
        channels = 2;
    } else if (outputs[0] == SpeakerArr::kMono) {
        ZEFAWrapper::log("setBusArrangements kMono", 1);
        channels = 1;
    } else {
        ZEFAWrapper::log("setBusArrangements other", 1);
        return kResultFalse;
    }
    // An engine running on a set-up it took gets the layout now, or the
    // arrangement is refused; without such a set-up the next one that the
    // engine takes hands the layout over before any block.
    if (m_engineReady && !sendEngineSettings(channels)) return kResultFalse;
    const tresult r = AudioEffect::setBusArrangements(inputs, hasInputBus ? 1 : 0, outputs, 1);
    if (r == kResultOk) m_channels = channels;
    return r;
}

bool PlugProcessor::sendEngineSettings(int32 channels) {
    ZEFAWrapper* bridge = m_holder->wrapper;
    const int32_t block = engineBlockFor(m_maxBlock);
    if (!bridge ||
        !bridge->setSettings(static_cast<uint64_t>(m_sampleRate), static_cast<uint64_t>(block),
                             static_cast<uint64_t>(channels), static_cast<uint64_t>(channels)))
        return false;
    m_engineBlock = block;
    m_engineChannels = channels;
    return true;
}

tresult PlugProcessor::setupProcessing(ProcessSetup& setup) {
    ZEFAWrapper* bridge = m_holder->wrapper;
    if (!bridge) return kResultFalse;
    if (canProcessSampleSize(setup.symbolicSampleSize) != kResultTrue) return kResultFalse;
    if (!(setup.sampleRate > 0.0) || setup.maxSamplesPerBlock <= 0) return kInvalidArgument;
    m_sampleRate = static_cast<double>(static_cast<int64_t>(setup.sampleRate));
    m_maxBlock = setup.maxSamplesPerBlock;
    ZEFAWrapper::log("setupProcessing", 1);
    ZefaEngineLatencyInfo latency{};
    latency.version = kZefaInterfaceVersion;
    const int32_t block = engineBlockFor(m_maxBlock);
    // Until the engine takes a set-up, it is not known what it would render.
    m_engineReady = false;
    if (!bridge->resume(static_cast<int32_t>(m_sampleRate), block, setup.processMode != kRealtime,
                        &latency))
        return kResultFalse;
    m_engineBlock = block;
    // A layout arranged while the engine had no set-up it took.
    if (m_engineChannels != m_channels && !sendEngineSettings(m_channels)) return kResultFalse;
    m_engineReady = true;
    return AudioEffect::setupProcessing(setup);
}

tresult PlugProcessor::setProcessing(TBool) {
    ZEFAWrapper::log("setProcessing", 1);
    return kResultOk;
}

tresult PlugProcessor::setActive(TBool state) {
    return AudioEffect::setActive(state);
}

uint32 PlugProcessor::getLatencySamples() {
    ZEFAWrapper* bridge = m_holder->wrapper;
    if (!bridge) return 0;
    ZefaEngineLatencyInfo latency{};
    latency.version = kZefaInterfaceVersion;
    if (!bridge->getLatencyInfo(latency) || latency.latency < 0) return 0;
    return static_cast<uint32>(latency.latency);
}

// ---- Connection to the controller -------------------------------------------------------

tresult PlugProcessor::connect(IConnectionPoint* other) {
    const tresult r = AudioEffect::connect(other);
    if (r == kResultOk) connectToControllerMyselfNoThanks();
    return r;
}

tresult PlugProcessor::disconnect(IConnectionPoint* other) {
    return AudioEffect::disconnect(other);
}

tresult PlugProcessor::receiveText(const char8*) {
    connectToControllerMyselfNoThanks();
    return kResultOk;
}

tresult PlugProcessor::connectToControllerMyselfNoThanks() {
    IMessage* message = allocateMessage();
    if (!message) return kResultFalse;
    message->setMessageID(kHolderMessageId);
    tresult r = kResultFalse;
    if (IAttributeList* attributes = message->getAttributes())
        if (attributes->setInt(kHolderAttribute, m_holderKey) == kResultOk)
            r = sendMessage(message);
    message->release();
    return r;
}

// ---- The audio block --------------------------------------------------------------------

void PlugProcessor::fillSyncInfo(const ProcessContext& c, SyncInfo& s) {
    const uint32 st = c.state;
    s.samplePosition = static_cast<double>(c.projectTimeSamples);
    s.sampleRate = c.sampleRate;
    s.systemTime = (st & ProcessContext::kSystemTimeValid) ? static_cast<double>(c.systemTime) : 0;
    s.ppqPosition = (st & ProcessContext::kProjectTimeMusicValid) ? c.projectTimeMusic : 0.0;
    s.tempo = (st & ProcessContext::kTempoValid) ? c.tempo : 120.0;
    s.barStartPpq = (st & ProcessContext::kBarPositionValid) ? c.barPositionMusic : 0.0;
    const bool cycle = (st & ProcessContext::kCycleValid) != 0;
    s.loopStartPpq = cycle ? c.cycleStartMusic : 0.0;
    s.loopEndPpq = cycle ? c.cycleEndMusic : 0.0;
    const bool signature = (st & ProcessContext::kTimeSigValid) != 0;
    s.timeSigNumerator = signature ? c.timeSigNumerator : 4;
    s.timeSigDenominator = signature ? c.timeSigDenominator : 4;
    s.samplesToNextClock = (st & ProcessContext::kClockValid) ? c.samplesToNextClock : 0xFFFFFF;
    s.playing = (st & ProcessContext::kPlaying) ? 1 : 0;
    s.recording = (st & ProcessContext::kRecording) ? 1 : 0;
    s.loopActive = (st & ProcessContext::kCycleActive) ? 1 : 0;
    s.diff = 0;
}

void PlugProcessor::advanceSyncInfo(SyncInfo& s, int32 frames) {
    if (frames <= 0 || !(s.sampleRate > 0.0)) return;
    const double seconds = frames / s.sampleRate;
    if (s.systemTime != 0) s.systemTime += seconds * 1e9;
    if (!s.playing) return;
    s.samplePosition += frames;
    if (!(s.tempo > 0.0)) return;
    s.ppqPosition += seconds * s.tempo / 60.0;
    const double quartersPerBar = s.timeSigDenominator > 0 && s.timeSigNumerator > 0
                                      ? s.timeSigNumerator * 4.0 / s.timeSigDenominator
                                      : 4.0;
    if (s.ppqPosition >= s.barStartPpq + quartersPerBar)
        s.barStartPpq += std::floor((s.ppqPosition - s.barStartPpq) / quartersPerBar) * quartersPerBar;
    if (s.samplesToNextClock != 0xFFFFFF) {
        // 24 clocks to the quarter note. At a tempo slow enough that a clock
        // lies further off than the field can count (below about 6e-5 bpm
        // at 44.1 kHz), the next one is at the field's largest count.
        const double period = s.sampleRate * 60.0 / (s.tempo * 24.0);
        double left = static_cast<double>(s.samplesToNextClock) - frames;
        if (left < 0) left = period > 0 ? std::fmod(left, period) + period : 0;
        s.samplesToNextClock = static_cast<int32_t>(std::min(left, double(INT32_MAX)));
    }
}

void PlugProcessor::appendMIDIBytes(uint8_t status, int32_t data1, int32_t data2, int32_t offset) {
    HDMIDIEvent e{};
    e.kind = HDMIDIEvent::kMIDIBytes;
    e.status = status;
    e.data1 = static_cast<uint8_t>(data1 & 0x7F);
    e.data2 = static_cast<uint8_t>(data2 & 0x7F);
    e.valid = 1;
    e.frameOffset = offset;
    m_pending.push_back(e);
}

void PlugProcessor::appendNote(bool on, int16 channel, int16 pitch, float velocity, float tuning,
                               int32 noteId, int32_t offset) {
    if (m_noteIdMode && noteId != -1) {
        HDMIDIEvent h{};
        h.frameOffset = offset;
        h.kind = on && velocity > 0.f ? HDMIDIEvent::kNoteOn : HDMIDIEvent::kNoteOff;
        h.id = pitch;
        h.value = velocity;
        h.channel = static_cast<uint16_t>(channel);
        h.noteId = noteId;
        h.tuning = tuning;
        m_pending.push_back(h);
    } else {
        appendMIDIBytes(static_cast<uint8_t>((on ? 0x90 : 0x80) + (channel & 15)), pitch,
                        PDowngradeToMIDI7(clamp01(velocity)), offset);
    }
}

void PlugProcessor::appendControllerPoint(ParamID id, double value, int32_t offset) {
    const double v = clamp01(value);
    const int32_t bend = PDowngradeToMIDI14(2.0 * v - 1.0);
    if (id >= kControlChangeFirst && id <= kControlChangeLast) {
        const uint32 n = id - kControlChangeFirst;
        appendMIDIBytes(static_cast<uint8_t>(0xB0 + n / 128), static_cast<int32_t>(n % 128),
                        PDowngradeToMIDI7(v), offset);
    } else if ((id & ~15u) == kProgramChangeBase) {
        appendMIDIBytes(static_cast<uint8_t>(0xC0 + (id - kProgramChangeBase)), PDowngradeToMIDI7(v),
                        0, offset);
    } else if ((id & ~15u) == kPitchBendBase) {
        appendMIDIBytes(static_cast<uint8_t>(0xE0 + (id - kPitchBendBase)), bend & 0x7F, bend >> 7,
                        offset);
    } else if ((id & ~15u) == kChannelPressureBase) {
        appendMIDIBytes(static_cast<uint8_t>(0xD0 + (id - kChannelPressureBase)),
                        PDowngradeToMIDI7(v), 0, offset);
    } else if (id == kFirstChannelPitchBendId) {
        appendMIDIBytes(0xE0, bend & 0x7F, bend >> 7, offset);
    } else if (id == kFirstChannelPressureId) {
        appendMIDIBytes(0xD0, PDowngradeToMIDI7(v), 0, offset);
    }
}

void PlugProcessor::gatherParameterChanges(IParameterChanges* changes, int32_t frames) {
    if (!changes) return;
    ZEFAWrapper* bridge = m_holder->wrapper;
    const int32 count = changes->getParameterCount();
    for (int32 i = 0; i < count; ++i) {
        IParamValueQueue* queue = changes->getParameterData(i);
        if (!queue) continue;
        const ParamID id = queue->getParameterId();
        const int32 points = queue->getPointCount();
        int32 offset = 0;
        ParamValue value = 0.0;
        // A MIDI controller's every point is a message of its own, at its
        // offset (a pedal lifted and pressed again within the block is two).
        if (isMIDIControllerId(id)) {
            for (int32 p = 0; p < points; ++p)
                if (queue->getPoint(p, offset, value) == kResultOk)
                    appendControllerPoint(id, value, blockOffset(offset, frames));
            continue;
        }
        // Any other parameter takes its last point.
        if (points <= 0 || queue->getPoint(points - 1, offset, value) != kResultOk) continue;
        if (id == kBypassId) {
            m_holder->bypass.store(value > 0.5, std::memory_order_relaxed);
        } else if (static_cast<int32_t>(id) ==
                   m_holder->editedParameter.load(std::memory_order_relaxed)) {
            // The engine's own editor set this value already.
        } else if (bridge) {
            bridge->setAutomatableParameterValue(id, static_cast<float>(value), true);
        }
    }
}

void PlugProcessor::gatherInputEvents(IEventList* events, int32_t frames, bool& noInputEvent) {
    if (!events) return;
    const int32 count = events->getEventCount();
    for (int32 i = 0; i < count; ++i) {
        Event e{};
        if (events->getEvent(i, e) != kResultOk) continue;
        const int32_t at = blockOffset(e.sampleOffset, frames);
        HDMIDIEvent h{};
        h.frameOffset = at;
        switch (e.type) {
        case Event::kNoteOnEvent: {
            const NoteOnEvent& n = e.noteOn;
            if (!isMIDIKey(n.pitch)) continue;
            appendNote(true, n.channel, n.pitch, n.velocity, n.tuning, n.noteId, at);
            break;
        }
        case Event::kNoteOffEvent: {
            const NoteOffEvent& n = e.noteOff;
            if (!isMIDIKey(n.pitch)) continue;
            appendNote(false, n.channel, n.pitch, n.velocity, n.tuning, n.noteId, at);
            break;
        }
        case Event::kPolyPressureEvent: {
            const PolyPressureEvent& p = e.polyPressure;
            if (!isMIDIKey(p.pitch)) continue;
            appendMIDIBytes(static_cast<uint8_t>(0xA0 + (p.channel & 15)), p.pitch,
                            PDowngradeToMIDI7(clamp01(p.pressure)), at);
            break;
        }
        case Event::kNoteExpressionValueEvent: {
            const NoteExpressionValueEvent& x = e.noteExpressionValue;
            uint32 type = x.typeId;
            double value = x.value;
            if (type == kTextTypeID || type == kPhonemeTypeID) continue;
            if (type == kTuningTypeID) value = (value - 0.5) * 240.0 * 100.0;
            if (type == kCustomStart)
                type = kTextTypeID;
            else if (type == kCustomStart + 1)
                type = kPhonemeTypeID;
            h.kind = HDMIDIEvent::kNoteExpression;
            h.id = static_cast<int32_t>(type);
            h.value = static_cast<float>(value);
            h.noteId = x.noteId;
            m_pending.push_back(h);
            break;
        }
        default:
            continue;
        }
        noInputEvent = false;
    }
}

void PlugProcessor::sortPending() {
    // The scratch matches the list's room; it grows only when a block
    // brought more events than the room kept for them.
    if (m_sortScratch.size() < m_pending.size()) m_sortScratch.resize(m_pending.capacity());
    eventorder::sortByOffset(m_pending.data(), m_pending.size(), m_sortScratch.data());
}

void PlugProcessor::clearEngineBlock() {
    std::memset(m_events->events, 0, sizeof m_events->events);
    m_events->count = 0;
}

void PlugProcessor::processInPieces(ProcessData& data, int32_t frames, bool withInputs) {
    ZEFAWrapper& bridge = *m_holder->wrapper;
    SyncInfo* sync = m_holder->syncInfo;
    float** outputs = data.outputs[0].channelBuffers32;
    float** inputs = withInputs ? data.inputs[0].channelBuffers32 : nullptr;
    float* pieceOutputs[2] = {};
    float* pieceInputs[2] = {};
    const int32 channels = std::min<int32>(m_channels, 2);
    const int32_t piece = m_engineBlock > 0 ? m_engineBlock : 1;
    const size_t pending = m_pending.size();
    const auto offsetAt = [this](size_t i) { return m_pending[i].frameOffset; };

    ZefaEngineProcessEx record{};
    record.version = ZefaEngineProcessEx::kVersionEx;
    record.events = m_events.get();
    record.inputs = inputs ? pieceInputs : nullptr;
    size_t next = 0; // the first pending event not handed over
    for (int32_t start = 0; start < frames || next < pending;) {
        int32_t n = std::min(piece, frames - start);
        // The piece's events: those before its end (the last piece takes the
        // rest, host offsets having been brought into the block), after any
        // the list still holds from a bypassed block. A piece whose events do
        // not fit the list ends where the first event that does not fit
        // starts; when more than fit share the piece's first frame, a full
        // list goes alone, without frames.
        const size_t room = kEventListCapacity - m_events->count;
        size_t end = next;
        while (end < pending && (start + n >= frames || offsetAt(end) < start + n)) ++end;
        if (end - next > room) {
            const int32_t cut = offsetAt(next + room);
            n = std::max(cut - start, 0);
            end = next + room;
            while (n > 0 && end > next && offsetAt(end - 1) >= cut) --end;
        }
        for (; next < end; ++next) {
            HDMIDIEvent e = m_pending[next];
            e.frameOffset = n > 0 ? std::max(e.frameOffset - start, 0) : 0;
            m_events->events[m_events->count++] = e;
        }
        for (int32 ch = 0; ch < channels; ++ch) {
            pieceOutputs[ch] = outputs[ch] + start;
            if (inputs) pieceInputs[ch] = inputs[ch] + start;
        }
        record.outputs = n > 0 ? pieceOutputs : nullptr;
        record.syncInfo = n > 0 ? sync : nullptr;
        if (n > 0 && sync && data.processContext) {
            fillSyncInfo(*data.processContext, *sync);
            advanceSyncInfo(*sync, start);
            sync->prepare(static_cast<int16_t>(n), data.processContext->sampleRate, nullptr, nullptr,
                          true);
        }
        record.frames = n;
        if (!bridge.process(&record) && n > 0)
            for (int32 ch = 0; ch < channels; ++ch)
                std::memset(pieceOutputs[ch], 0, sizeof(float) * static_cast<size_t>(n));
        clearEngineBlock();
        start += n;
    }
    m_pending.clear();
}

tresult PlugProcessor::process(ProcessData& data) {
    // Whatever the host left set, the block runs with denormals flushed.
    const DenormalScope flushDenormals;
    const int32_t frames = data.numSamples > 0 ? data.numSamples : 0;

    // Output bus 0 as the engine will write it: all arranged channels present.
    AudioBusBuffers* out = data.numOutputs > 0 ? data.outputs : nullptr;
    const bool outputsUsable = busHasChannels(out, m_channels);

    ZEFAWrapper* bridge = m_holder->wrapper;
    if (!bridge || !m_engineReady) {
        // Without a set-up the engine took nothing renders, but the host's
        // parameter changes still reach the engine, to be heard after the
        // next one; the block's events go.
        if (bridge) gatherParameterChanges(data.inputParameterChanges, frames);
        m_pending.clear();
        silenceOutputs(data, frames, 0);
        return kResultFalse;
    }

    // 1. The transport.
    SyncInfo* sync = m_holder->syncInfo;
    if (data.processContext && sync) {
        fillSyncInfo(*data.processContext, *sync);
        if (frames > 0)
            sync->prepare(static_cast<int16_t>(std::min(frames, m_engineBlock)),
                          data.processContext->sampleRate, nullptr, nullptr, true);
    }
    m_holder->sampleCounter += frames;

    // 2.-3. Parameter changes and input events into the pending list.
    bool noInputEvent = true;
    gatherParameterChanges(data.inputParameterChanges, frames);
    gatherInputEvents(data.inputEvents, frames, noInputEvent);
    sortPending();

    const bool bypass = m_holder->bypass.load(std::memory_order_relaxed);
    if (!bypass && frames > 0 && outputsUsable) {
        // 4.-7. The engine renders bus 0, in pieces it takes; every other
        // output channel is silent.
        AudioBusBuffers* in = data.numInputs > 0 ? data.inputs : nullptr;
        processInPieces(data, frames, busHasChannels(in, m_channels));
        silenceOutputs(data, frames, m_channels);
        return kResultOk;
    }

    // 8. Bypassed, empty, or nowhere to write: silence, and the events wait
    // at the block's start for a block without new input events; a list that
    // fills up goes to the engine at once, without frames.
    silenceOutputs(data, frames, 0);
    ZefaEngineProcessEx record{};
    record.version = ZefaEngineProcessEx::kVersionEx;
    record.events = m_events.get();
    for (const HDMIDIEvent& e : m_pending) {
        if (m_events->count >= kEventListCapacity) {
            bridge->process(&record);
            clearEngineBlock();
        }
        m_events->events[m_events->count] = e;
        m_events->events[m_events->count++].frameOffset = 0;
    }
    m_pending.clear();
    if (noInputEvent) {
        bridge->process(&record);
        clearEngineBlock();
    }
    return kResultOk;
}

// ---- State ------------------------------------------------------------------------------

tresult PlugProcessor::loadMorvaneChunk(IBStream* stream, int64_t size, int64_t available) {
    ZEFAWrapper* bridge = m_holder->wrapper;
    if (!bridge || !stream || size == 0) return kResultFalse;
    if (size < 0 || size > INT32_MAX || (available >= 0 && size > available)) return kResultFalse;
    ZEFAWrapper::log("Processor load chunk", 1);
    // Read in pieces: memory grows only with bytes that really arrive, so a
    // size word that lies cannot make us allocate it.
    std::vector<uint8_t> chunk;
    constexpr int64_t kPiece = 1 << 20;
    while (static_cast<int64_t>(chunk.size()) < size) {
        const int64_t want = std::min(kPiece, size - static_cast<int64_t>(chunk.size()));
        const size_t at = chunk.size();
        chunk.resize(at + static_cast<size_t>(want));
        int32 got = 0;
        if (stream->read(chunk.data() + at, static_cast<int32>(want), &got) != kResultOk ||
            got != want)
            return kResultFalse;
    }
    return bridge->setChunk(chunk.data(), chunk.size()) == 0 ? kResultOk : kResultFalse;
}

tresult PlugProcessor::setState(IBStream* state) {
    if (!state) return kResultFalse;
    ProcessorStateHeader header;
    if (!readProcessorStateHeader(state, header)) return kResultFalse;
    // The switch comes with the sound: a state the engine refuses changes
    // neither.
    const tresult r = loadMorvaneChunk(state, header.chunkSize, availableChunkBytes(header));
    if (r == kResultOk && header.hasBypass)
        m_holder->bypass.store(header.bypass, std::memory_order_relaxed);
    return r;
}

tresult PlugProcessor::getState(IBStream* state) {
    if (!state) return kResultFalse;
    IBStreamer out(state);
    ZEFAWrapper* bridge = m_holder->wrapper;
    const void* chunk = nullptr;
    std::shared_ptr<const void> keep;
    const int32_t size = bridge ? bridge->getChunk(chunk, keep) : 0;
    if (!out.writeInt32(m_holder->bypass.load(std::memory_order_relaxed) ? 1 : 0) ||
        !out.writeInt32(size > 0 && chunk ? size : 0))
        return kResultFalse;
    // Without an engine state nothing of the sound was saved: a failure.
    if (size <= 0 || !chunk) return kResultFalse;
    return out.writeRaw(chunk, size) ? kResultOk : kResultFalse;
}

} // namespace vantor
