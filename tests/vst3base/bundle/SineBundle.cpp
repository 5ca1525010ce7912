// "sxsine": a tiny instrument built from the vst3base helper bases and loaded
// by the test host as a real bundle. It plays one sine voice: a note-on sets
// the pitch (equal temperament, A4 = 440 Hz) and the level (velocity), a
// note-off of the same key stops it, parameter 0 "Gain" scales the output.
// Its state is {u32 'SxSn', i32 version 1, f64 gain}, little-endian.
//
// Around that it exercises what a host relies on: a separate controller class
// named by the component, a text message from processor to controller on
// connect (the controller then shows parameter 1 "Link" = 1), units, a
// string-list parameter, a timer on the host's run loop (each tick marks the
// project dirty), an editor view for X11 windows, a compatibility class, and
// the bundle exports. `SxSineLiveObjects` counts the objects alive in the
// module so the tests can see that the host released everything.
#include <atomic>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>

#include "vst3base/AudioEffect.h"
#include "vst3base/BundleEntry.h"
#include "vst3base/EditControllerEx1.h"
#include "vst3base/EditorView.h"
#include "vst3base/IBStreamer.h"
#include "vst3base/PluginFactory.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

std::atomic<int> gLive{0};

// Keeps the live-object count.
struct LiveCounter {
    LiveCounter() { ++gLive; }
    ~LiveCounter() { --gLive; }
};

constexpr FUID kProcessorCid{0x5358534E, 0x50524F43, 0x45535330, 0x00000001};
constexpr FUID kControllerCid{0x5358534E, 0x43545254, 0x4C455230, 0x00000002};
constexpr FUID kCompatibilityCid{0x5358534E, 0x434F4D50, 0x41543030, 0x00000003};
constexpr uint32 kStateMagic = 0x6E537853; // "SxSn" little-endian
constexpr ParamID kGainId = 0;
constexpr ParamID kLinkId = 1;
constexpr ParamID kModeId = 2;
constexpr const char* kConnectedText = "processor connected";

// Reads the state record; false for anything but a whole, valid record.
bool readState(IBStream* stream, double& gain) {
    IBStreamer s(stream);
    uint32 magic = 0;
    int32 version = 0;
    double g = 0;
    if (!s.readInt32u(magic) || magic != kStateMagic || !s.readInt32(version) || version != 1 ||
        !s.readDouble(g) || !(g >= 0.0 && g <= 1.0))
        return false;
    gain = g;
    return true;
}

class SineProcessor : public AudioEffect {
public:
    SineProcessor() { setControllerClass(kControllerCid); }

    static FUnknown* create(void*) { return static_cast<IAudioProcessor*>(new SineProcessor); }

    tresult initialize(FUnknown* context) override {
        const tresult r = AudioEffect::initialize(context);
        if (r != kResultOk) return r;
        addAudioOutput(u"Stereo Output", SpeakerArr::kStereo);
        addEventInput(u"MIDI Input", 16);
        return kResultOk;
    }

    tresult setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                               SpeakerArrangement* outputs, int32 numOuts) override {
        if (numIns != 0 || numOuts != 1 || outputs[0] != SpeakerArr::kStereo) return kResultFalse;
        return AudioEffect::setBusArrangements(inputs, numIns, outputs, numOuts);
    }

    tresult setActive(TBool state) override {
        if (!state) playing_ = false;
        return kResultOk;
    }

    tresult setProcessing(TBool) override { return kResultOk; }

    tresult connect(IConnectionPoint* other) override {
        const tresult r = AudioEffect::connect(other);
        if (r == kResultOk) sendTextMessage(kConnectedText);
        return r;
    }

    tresult process(ProcessData& data) override {
        if (IParameterChanges* changes = data.inputParameterChanges) {
            for (int32 i = 0; i < changes->getParameterCount(); ++i) {
                IParamValueQueue* q = changes->getParameterData(i);
                int32 offset;
                ParamValue value;
                if (q && q->getParameterId() == kGainId &&
                    q->getPoint(q->getPointCount() - 1, offset, value) == kResultOk)
                    gain_ = value;
            }
        }
        if (data.numSamples <= 0 || data.numOutputs < 1 || !data.outputs) return kResultOk;

        IEventList* events = data.inputEvents;
        const int32 eventCount = events ? events->getEventCount() : 0;
        int32 next = 0;
        const AudioBusBuffers& out = data.outputs[0];
        const double step = 2.0 * std::numbers::pi / processSetup_.sampleRate;
        for (int32 n = 0; n < data.numSamples; ++n) {
            Event e{};
            while (next < eventCount && events->getEvent(next, e) == kResultOk &&
                   e.sampleOffset <= n) {
                apply(e);
                ++next;
            }
            float v = 0.f;
            if (playing_) {
                v = static_cast<float>(std::sin(phase_) * level_ * gain_);
                phase_ = std::fmod(phase_ + frequency_ * step, 2.0 * std::numbers::pi);
            }
            for (int32 ch = 0; ch < out.numChannels; ++ch) out.channelBuffers32[ch][n] = v;
        }
        return kResultOk;
    }

    tresult getState(IBStream* state) override {
        IBStreamer s(state);
        return s.writeInt32u(kStateMagic) && s.writeInt32(1) && s.writeDouble(gain_) ? kResultOk
                                                                                     : kResultFalse;
    }

    tresult setState(IBStream* state) override {
        return readState(state, gain_) ? kResultOk : kResultFalse;
    }

private:
    void apply(const Event& e) {
        if (e.type == Event::kNoteOnEvent && e.noteOn.velocity > 0.f) {
            frequency_ = 440.0 * std::pow(2.0, (e.noteOn.pitch - 69) / 12.0);
            level_ = e.noteOn.velocity;
            pitch_ = e.noteOn.pitch;
            playing_ = true;
            phase_ = 0.0;
        } else if ((e.type == Event::kNoteOffEvent && e.noteOff.pitch == pitch_) ||
                   (e.type == Event::kNoteOnEvent && e.noteOn.pitch == pitch_)) {
            playing_ = false;
        }
    }

    LiveCounter live_;
    double gain_ = 0.5;
    double phase_ = 0.0;
    double frequency_ = 440.0;
    double level_ = 0.0;
    int32 pitch_ = -1;
    bool playing_ = false;
};

class SineView : public EditorView {
public:
    explicit SineView(EditController* controller) : EditorView(controller) {
        rect_ = ViewRect(0, 0, 400, 300);
    }
    tresult isPlatformTypeSupported(FIDString type) override {
        return type && std::string(type) == kPlatformTypeX11EmbedWindowID ? kResultTrue
                                                                          : kResultFalse;
    }
    tresult canResize() override { return kResultTrue; }

private:
    LiveCounter live_;
};

class SineController;

// The controller's timer on the host's run loop.
class TickTimer : public FObject, public Linux::ITimerHandler {
public:
    explicit TickTimer(SineController* owner) : owner_(owner) {}
    void onTimer() override;
    tresult queryInterface(const TUID iid, void** obj) override {
        if (answerInterface<Linux::ITimerHandler>(iid, this, obj) ||
            answerInterface<FUnknown>(iid, this, obj))
            return kResultOk;
        *obj = nullptr;
        return kNoInterface;
    }
    SX_REFCOUNT_METHODS

private:
    SineController* owner_;
};

class SineController : public EditControllerEx1 {
public:
    static FUnknown* create(void*) { return static_cast<IEditController*>(new SineController); }

    tresult initialize(FUnknown* context) override {
        const tresult r = EditControllerEx1::initialize(context);
        if (r != kResultOk) return r;
        addUnit(kRootUnitId, kNoParentUnitId, u"Root");
        addUnit(1, kRootUnitId, u"Voice");
        parameters.addParameter(u"Gain", kGainId, u"", 0.5, 0, ParameterInfo::kCanAutomate, 1);
        parameters.addParameter(u"Link", kLinkId, nullptr, 0.0, 1, ParameterInfo::kIsReadOnly);
        auto* mode = new StringListParameter(u"Mode", kModeId);
        mode->appendString(u"Sine");
        mode->appendString(u"Soft");
        mode->appendString(u"Hard");
        parameters.addParameter(mode);

        runLoop_ = queryInterfaceOf<Linux::IRunLoop>(context);
        if (runLoop_) {
            timer_ = new TickTimer(this);
            runLoop_->registerTimer(timer_, 50);
        }
        return kResultOk;
    }

    tresult terminate() override {
        if (runLoop_ && timer_) runLoop_->unregisterTimer(timer_);
        if (timer_) timer_->release();
        timer_ = nullptr;
        runLoop_.reset();
        return EditControllerEx1::terminate();
    }

    tresult setComponentState(IBStream* state) override {
        double gain;
        if (!readState(state, gain)) return kResultFalse;
        setParamNormalized(kGainId, gain);
        return kResultOk;
    }

    tresult receiveText(const char8* text) override {
        if (std::string(text) == kConnectedText) setParamNormalized(kLinkId, 1.0);
        return kResultOk;
    }

    IPlugView* createView(FIDString name) override {
        if (!name || std::string(name) != kEditor) return nullptr;
        return new SineView(this);
    }

    void onTick() { setDirty(true); }

private:
    LiveCounter live_;
    IPtr<Linux::IRunLoop> runLoop_;
    TickTimer* timer_ = nullptr;
};

void TickTimer::onTimer() {
    owner_->onTick();
}

class SineCompatibility : public FObject, public IPluginCompatibility {
public:
    static FUnknown* create(void*) {
        return static_cast<IPluginCompatibility*>(new SineCompatibility);
    }
    tresult getCompatibilityJSON(IBStream* stream) override {
        char text[128];
        const int n = std::snprintf(text, sizeof(text), "[{\"New\": \"%08X%08X%08X%08X\"}]",
                                    kProcessorCid.word(0), kProcessorCid.word(1),
                                    kProcessorCid.word(2), kProcessorCid.word(3));
        return stream ? stream->write(text, n) : kInvalidArgument;
    }
    tresult queryInterface(const TUID iid, void** obj) override {
        if (answerInterface<IPluginCompatibility>(iid, this, obj) ||
            answerInterface<FUnknown>(iid, this, obj))
            return kResultOk;
        *obj = nullptr;
        return kNoInterface;
    }
    SX_REFCOUNT_METHODS

private:
    LiveCounter live_;
};

PluginFactory* gFactory = nullptr; // the module's own reference

PClassInfo2 classInfo(const FUID& cid, const char* category, const char* name, uint32 flags,
                      const char* subCategories) {
    PClassInfo2 info{};
    cid.toTUID(info.cid);
    info.cardinality = PClassInfo::kManyInstances;
    std::snprintf(info.category, sizeof(info.category), "%s", category);
    std::snprintf(info.name, sizeof(info.name), "%s", name);
    info.classFlags = flags;
    std::snprintf(info.subCategories, sizeof(info.subCategories), "%s", subCategories);
    std::snprintf(info.vendor, sizeof(info.vendor), "sondrix tests");
    std::snprintf(info.version, sizeof(info.version), "1.0.0");
    std::snprintf(info.sdkVersion, sizeof(info.sdkVersion), "%s", kVstVersionString);
    return info;
}

bool initModule() {
    return true;
}

bool deinitModule() {
    if (gFactory) gFactory->release();
    gFactory = nullptr;
    return true;
}

} // namespace

SX_VST3_BUNDLE_ENTRY(initModule, deinitModule)

SX_VST3_EXPORT IPluginFactory* GetPluginFactory() {
    if (!gFactory) {
        PFactoryInfo info{};
        std::snprintf(info.vendor, sizeof(info.vendor), "sondrix tests");
        std::snprintf(info.url, sizeof(info.url), "https://example.invalid");
        std::snprintf(info.email, sizeof(info.email), "tests@example.invalid");
        info.flags = PFactoryInfo::kUnicode;
        gFactory = new PluginFactory(info);
        gFactory->registerClass(
            classInfo(kProcessorCid, kVstAudioEffectClass, "sxsine", 0, "Instrument|Synth"),
            SineProcessor::create);
        gFactory->registerClass(
            classInfo(kControllerCid, kVstComponentControllerClass, "sxsineController", 0, ""),
            SineController::create);
        gFactory->registerClass(
            classInfo(kCompatibilityCid, kPluginCompatibilityClass, "sxsine", 1, ""),
            SineCompatibility::create);
    }
    gFactory->addRef();
    return gFactory;
}

SX_VST3_EXPORT int SxSineLiveObjects() {
    return gLive.load();
}
