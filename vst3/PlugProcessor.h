// The plug-in's audio component "sondrix MD". It makes no sound itself: it
// owns the engine bridge (inside a shared holder that the edit controller
// reaches through the holder registry), turns the host's parameter changes
// and note events of each block into the engine's event list in frame order,
// calls the engine with the host's output buffers (once per block, or per
// piece of at most kEngineMaxBlock frames and at most one event list's worth
// of events), and saves and restores the engine's state chunk.
//
// Event records for the engine: note-ons and note-offs with a note id travel
// as note kinds (912, 1152) unless the host is "Reason", everything else as
// three MIDI bytes; the MIDI-controller pseudo-parameters of the controller
// (control changes, program change, pitch bend, channel pressure) become MIDI
// bytes; note expressions travel as kind 1280.
//
// The saved state is {i32 bypass, i32 chunk size, chunk}; older states wrapped
// in a 176-byte or a 160-byte header are read too.
#pragma once

#include <memory>
#include <vector>

#include "vst3/MorvaneInterface.h"
#include "vst3/ZEFAWrapperHolder.h"
#include "vst3base/AudioEffect.h"

namespace vantor {

// What the header of a saved processor state says, whatever its layout.
struct ProcessorStateHeader {
    enum Layout { kNative, kWrapped, kBank };
    Layout layout = kNative;
    bool hasBypass = false; // the layout carries the bypass switch
    bool bypass = false;
    int64_t chunkSize = 0;   // as written: the reader checks it against the data
    int64_t streamSize = -1; // bytes from the state's start, -1 when unknown
};

// Reads the header of a saved processor state and leaves the stream at the
// chunk; false when the stream ends inside the header.
bool readProcessorStateHeader(Steinberg::IBStream* stream, ProcessorStateHeader& header);
// The bytes after the header, -1 when the stream's size is unknown.
int64_t availableChunkBytes(const ProcessorStateHeader& header);
// Whether the chunk the stream stands at could be the engine's: within the
// stream, all its bytes there, and laid out whole as the engine reads it
// (tag and version, settings of engine ids with finite values, records,
// nothing after them). Leaves the stream anywhere.
bool stateChunkLooksWhole(Steinberg::IBStream* stream, const ProcessorStateHeader& header);

class PlugProcessor : public Steinberg::Vst::AudioEffect {
public:
    static constexpr Steinberg::int32 kMaxEvents = kEventListCapacity;
    // Room kept for one block's gathered events (input events and MIDI
    // controller points) and for sorting them, so a busy block allocates
    // nothing; a block bringing more grows the room once.
    static constexpr size_t kPendingRoom = 4 * kEventListCapacity;
    // The longest block the engine takes in one call. A host may announce any
    // longer one: its blocks are handed over in pieces of at most this size.
    static constexpr Steinberg::int32 kEngineMaxBlock = 4096;

    PlugProcessor();
    ~PlugProcessor() override;

    // The factory's create function.
    static Steinberg::FUnknown* createInstance(void* context);

    Steinberg::tresult queryInterface(const Steinberg::TUID iid, void** obj) override;
    // Starts the engine bridge and declares the buses; kResultFalse when the
    // engine does not start.
    Steinberg::tresult initialize(Steinberg::FUnknown* context) override;
    // One stereo (or mono) output, and the same input when one is declared.
    Steinberg::tresult setBusArrangements(Steinberg::Vst::SpeakerArrangement* inputs,
                                          Steinberg::int32 numIns,
                                          Steinberg::Vst::SpeakerArrangement* outputs,
                                          Steinberg::int32 numOuts) override;
    // Resumes the engine at the host's rate and a block of at most
    // kEngineMaxBlock frames; any positive maximum block size is taken. When
    // the engine refuses, blocks write silence until a set-up succeeds.
    Steinberg::tresult setupProcessing(Steinberg::Vst::ProcessSetup& setup) override;
    Steinberg::tresult setProcessing(Steinberg::TBool state) override;
    Steinberg::tresult setActive(Steinberg::TBool state) override;
    // The engine's latency (opcode 38); 0 without an engine.
    Steinberg::uint32 getLatencySamples() override;
    // Renders bus 0 in pieces the engine takes and writes silence to every
    // other output channel; kResultFalse (all outputs silent) without a
    // working engine.
    Steinberg::tresult process(Steinberg::Vst::ProcessData& data) override;
    Steinberg::tresult setState(Steinberg::IBStream* state) override;
    Steinberg::tresult getState(Steinberg::IBStream* state) override;
    // Connects and tells the peer where the holder is.
    Steinberg::tresult connect(Steinberg::Vst::IConnectionPoint* other) override;
    Steinberg::tresult disconnect(Steinberg::Vst::IConnectionPoint* other) override;
    // Any text from the controller asks for the holder message again.
    Steinberg::tresult receiveText(const Steinberg::char8* text) override;

    // Sends the "MorvaneHandle" message with the holder's number to the peer.
    Steinberg::tresult connectToControllerMyselfNoThanks();
    // Reads `size` chunk bytes from the stream and hands them to the engine.
    Steinberg::tresult loadMorvaneChunk(Steinberg::IBStream* stream, int64_t size,
                                        int64_t available = -1);
    // Copies the host's transport into `syncInfo`.
    static void fillSyncInfo(const Steinberg::Vst::ProcessContext& context, SyncInfo& syncInfo);
    // Moves the transport `frames` frames on: the system time, and for a
    // playing transport the position, the bar start and the next clock.
    static void advanceSyncInfo(SyncInfo& syncInfo, Steinberg::int32 frames);

    // The engine's answer to every callback during start-up: handled.
    static int32_t host_crap(int32_t id, void* p1, void* p2, int32_t a, int32_t b, int32_t c,
                             float f, void* userData);

    const std::shared_ptr<ZEFAWrapperHolder>& holder() const { return m_holder; }
    int64_t holderKey() const { return m_holderKey; }
    bool noteIdMode() const { return m_noteIdMode; }

private:
    // Every point of a MIDI pseudo-parameter's queue becomes MIDI bytes at
    // its offset; any other parameter takes its queue's last point.
    void gatherParameterChanges(Steinberg::Vst::IParameterChanges* changes, int32_t frames);
    // The MIDI bytes of one point of a MIDI pseudo-parameter.
    void appendControllerPoint(Steinberg::Vst::ParamID id, double value, int32_t offset);
    void gatherInputEvents(Steinberg::Vst::IEventList* events, int32_t frames, bool& noInputEvent);
    void appendMIDIBytes(uint8_t status, int32_t data1, int32_t data2, int32_t offset);
    // A note-on (`on`) or note-off: an engine note event carrying the host's
    // note id and tuning in note-id mode, three MIDI bytes otherwise.
    void appendNote(bool on, Steinberg::int16 channel, Steinberg::int16 pitch, float velocity,
                    float tuning, Steinberg::int32 noteId, int32_t offset);
    // Sorts the pending events by offset, keeping the order of equal ones.
    void sortPending();
    void clearEngineBlock();
    // Rate, block and `channels` to the engine (opcode 33); false when it
    // refuses.
    bool sendEngineSettings(Steinberg::int32 channels);
    // Hands one host block of usable outputs to the engine in pieces of at
    // most m_engineBlock frames and at most kEventListCapacity events (a
    // piece is cut short before the event that does not fit; events beyond
    // a list's worth on one frame go in calls without frames): each piece
    // gets its events (offsets rebased), its stretch of the buffers and the
    // transport at its start. No event is dropped.
    void processInPieces(Steinberg::Vst::ProcessData& data, int32_t frames, bool withInputs);

    std::shared_ptr<ZEFAWrapperHolder> m_holder;
    int64_t m_holderKey = 0;
    std::vector<HDMIDIEvent> m_pending;
    std::vector<HDMIDIEvent> m_sortScratch; // as long as m_pending's room
    std::unique_ptr<MIDIEvents> m_events;
    double m_sampleRate = 44100.0;
    int64_t m_maxBlock = 2048;         // as the host announced it
    int32_t m_engineBlock = 1024;      // as the engine was last told it
    bool m_engineReady = false;        // started, and its last set-up taken
    bool m_noteIdMode = true;
    Steinberg::int32 m_channels = 2; // of the arranged buses
    Steinberg::int32 m_engineChannels = 2; // as the engine was last told them
};

} // namespace vantor
