// The edit controller: connection to the processor's holder, host queries,
// MIDI mapping, units, note expressions, the engine's callbacks and the NKS
// entry points. Building the parameter list is in PlugControllerParameters.cpp.
#include "vst3/PlugController.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "nks/PlugControllerNKS.h"
#include "vst3/HolderRegistry.h"
#include "vst3/MorvaneVST3Editor.h"
#include "vst3/PlugProcessor.h"
#include "vst3/SamplerPluginConfig.h"
#include "vst3base/IMessage.h"
#include "vst3base/UString.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace vantor {
namespace {

constexpr const char* kHolderMessageId = "MorvaneHandle";
constexpr const char* kHolderAttribute = "No";

bool startsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

// The eight note-expression types, by index.
struct NoteExpressionType {
    NoteExpressionTypeID id;
    const char16_t* title;
    const char16_t* shortTitle;
    const char16_t* units;
    double defaultValue;
    double minimum;
    double maximum;
    bool bipolar;
};
constexpr NoteExpressionType kNoteExpressions[PlugController::kNoteExpressionCount] = {
    {kVolumeTypeID, u"Volume", u"Vol", u"dB", 1.0, 0.0, 1.0, false},
    {kPanTypeID, u"Pan", u"Pan", u"", 0.5, 0.0, 1.0, true},
    {kTuningTypeID, u"Tuning", u"Tun", u"", 0.5, 0.3, 0.7, true},
    {kVibratoTypeID, u"Vibrato", u"Vib", u"", 0.0, 0.0, 1.0, false},
    {kExpressionTypeID, u"Expression", u"Exp", u"", 0.0, 0.0, 1.0, false},
    {kBrightnessTypeID, u"Brightness", u"Bri", u"", 0.0, 0.0, 1.0, false},
    {kCustomStart, u"Pressure", u"Prs", u"", 0.0, 0.0, 1.0, false},
    {kCustomStart + 1, u"Extra", u"Ext", u"", 0.0, 0.0, 1.0, false},
};

bool isFirstNoteChannel(int32 bus, int16 channel) {
    return bus == 0 && channel == 0;
}

} // namespace

PlugController::PlugController() = default;

PlugController::~PlugController() {
    removeEngineCallback();
    if (m_nksHost) m_nksHost->release();
}

FUnknown* PlugController::createInstance(void*) {
    return static_cast<IEditController*>(new PlugController);
}

tresult PlugController::queryInterface(const TUID iid, void** obj) {
    if (!obj) return kInvalidArgument;
    if (IUnitInfo::iid.matches(iid) && !m_keepPrefixNaming) m_prefixNaming = false;
    if (answerInterface<IMidiMapping>(iid, this, obj) ||
        answerInterface<INoteExpressionController>(iid, this, obj) ||
        answerInterface<INoteExpressionPhysicalUIMapping>(iid, this, obj) ||
        answerInterface<nks::INKS1Plugin>(iid, this, obj) ||
        answerInterface<nks::INKSMetadataPlugin>(iid, this, obj))
        return kResultOk;
    return EditControllerEx1::queryInterface(iid, obj);
}

// ---- Life and connection ----------------------------------------------------------------

tresult PlugController::initialize(FUnknown* context) {
    const tresult result = EditControllerEx1::initialize(context);
    if (auto host = queryInterfaceOf<IHostApplication>(context)) {
        String128 name{};
        if (host->getName(name) == kResultOk) m_hostName = utf16ToUtf8(name, 128);
    }
    m_prefixNaming = true;
    m_keepPrefixNaming = true;
    if (startsWith(m_hostName, "PreSonus VST3 Host") || startsWith(m_hostName, "Vantor Trelix")) {
        m_prefixNaming = false;
        m_keepPrefixNaming = false;
    }
    if (m_nksHost) m_nksHost->release();
    m_nksHost = nullptr;
    void* obj = nullptr;
    if (context && context->queryInterface(nks::INKS1Host::iid.data(), &obj) == kResultOk && obj)
        m_nksHost = static_cast<nks::INKS1Host*>(obj);
    return result;
}

tresult PlugController::terminate() {
    removeEngineCallback();
    m_holder.reset();
    // The base empties the parameter list: the next initialisation builds
    // it, and the units that go with it, again.
    m_parametersBuilt = false;
    m_unitsById.clear();
    m_unitsByPath.clear();
    m_parameterUnits.clear();
    m_editedId = -1;
    if (m_nksHost) m_nksHost->release();
    m_nksHost = nullptr;
    return EditControllerEx1::terminate();
}

void PlugController::removeEngineCallback() {
    if (!m_initialised) return;
    m_initialised = false;
    if (auto h = holder(); h && h->wrapper) h->wrapper->removeHostCallback(ZEFA_CB, this);
}

tresult PlugController::connect(IConnectionPoint* other) {
    EditControllerEx1::connect(other);
    sendTextMessage("MorvaneController");
    doTheRealInit(false);
    return kResultOk;
}

tresult PlugController::disconnect(IConnectionPoint* other) {
    const auto h = holder();
    const bool hadEngine = h && h->wrapper;
    removeEngineCallback();
    // The holder is the processor's: a disconnected controller lets go of it.
    m_holder.reset();
    const tresult r = EditControllerEx1::disconnect(other);
    return hadEngine ? r : kResultFalse;
}

tresult PlugController::notify(IMessage* message) {
    if (!message) return kInvalidArgument;
    const char* id = message->getMessageID();
    if (!id || std::strcmp(id, kHolderMessageId) != 0) {
        EditControllerEx1::notify(message); // text messages
        return kResultFalse;
    }
    int64 key = 0;
    IAttributeList* attributes = message->getAttributes();
    if (!attributes || attributes->getInt(kHolderAttribute, key) != kResultOk) return kResultFalse;
    // The number is only a key: a holder that is not (or no longer) alive is
    // never used.
    if (auto h = findHolder(key)) {
        if (h != holder()) {
            removeEngineCallback();
            m_holder = h;
        }
        doTheRealInit(false);
    }
    return kResultFalse;
}

void PlugController::doTheRealInit(bool build) {
    const auto h = holder();
    if (!h || !h->wrapper) return;
    if (!m_initialised) {
        ZEFAWrapper::log("doTheRealInit in " + m_hostName, 1);
        h->wrapper->addHostCallback(ZEFA_CB, this, kCallbackFlags);
        m_initialised = true;
    }
    if (build && !m_parametersBuilt) {
        m_parametersBuilt = true;
        buildParameters(*h->wrapper);
    }
}

ZEFAWrapper* PlugController::getWrapper() const {
    const auto h = holder();
    return h ? h->wrapper : nullptr;
}

const ZefaPluginConfig* PlugController::getConf() {
    return &SamplerPluginConfig;
}

// ---- Parameters -------------------------------------------------------------------------

int32 PlugController::getParameterCount() {
    sendTextMessage("PlugController");
    doTheRealInit(true);
    return m_initialised ? EditControllerEx1::getParameterCount()
                         : static_cast<int32>(SamplerPluginConfig.parameterCount);
}

ParamValue PlugController::getParamNormalized(ParamID id) {
    // Bypass and the MIDI pseudo-parameters live here, not in the engine.
    if (id > 8999) return EditControllerEx1::getParamNormalized(id);
    const auto h = holder();
    if (!h || !h->wrapper) return 0.0;
    if (static_cast<int32>(id) == m_editedId) return m_lastEditorValue;
    return h->wrapper->getAutomatableParameterValue(id, true);
}

tresult PlugController::setComponentState(IBStream* state) {
    if (!state) return kResultFalse;
    // The same reading of the state as the processor's, so that the switch
    // and the processor's bypass agree whatever the layout.
    ProcessorStateHeader header;
    if (!readProcessorStateHeader(state, header)) return kResultFalse;
    // A state whose chunk the engine would refuse is refused whole here too:
    // the switch keeps its value, as the processor's does.
    if (!stateChunkLooksWhole(state, header)) return kResultFalse;
    if (header.hasBypass) {
        // Kept for a list not built yet, so that the switch never misses it.
        m_bypassFromState = header.bypass ? 1.0 : 0.0;
        doTheRealInit(true);
        setParamNormalized(kBypassId, m_bypassFromState);
    }
    return kResultOk;
}

tresult PlugController::getMidiControllerAssignment(int32, int16 channel, CtrlNumber controller,
                                                    ParamID& id) {
    if (channel < 0 || channel > 15 || controller < 0) return kResultFalse;
    if (controller == kAfterTouch) {
        id = kChannelPressureBase + static_cast<ParamID>(channel);
        return kResultOk;
    }
    if (controller == kPitchBend) {
        id = kPitchBendBase + static_cast<ParamID>(channel);
        return kResultOk;
    }
    if (controller > 127) return kResultFalse;
    id =
        kControlChangeBase + static_cast<ParamID>(channel) * 128 + static_cast<ParamID>(controller);
    return kResultOk;
}

IPlugView* PlugController::createView(FIDString name) {
    if (!name || std::strcmp(name, kEditor) != 0) return nullptr;
    const auto h = holder();
    // The engine shows one editor per instance.
    if (!h || !h->wrapper || m_openView) return nullptr;
    m_openView = new MorvaneVST3Editor(this, h);
    return m_openView;
}

void PlugController::viewClosed(MorvaneVST3Editor* view) {
    if (m_openView == view) m_openView = nullptr;
}

// ---- Units ------------------------------------------------------------------------------

int32 PlugController::getUnitCount() {
    doTheRealInit(true);
    return static_cast<int32>(m_unitsById.size()) + 1;
}

tresult PlugController::getUnitInfo(int32 unitIndex, UnitInfo& info) {
    doTheRealInit(true);
    if (unitIndex == 0) {
        info = UnitInfo{};
        info.id = kRootUnitId;
        info.parentUnitId = kNoParentUnitId;
        toString128(info.name, "Root Unit");
        info.programListId = kNoProgramListId;
        return kResultOk;
    }
    if (unitIndex < 0 || unitIndex > static_cast<int32>(m_unitsById.size())) return kResultFalse;
    auto it = m_unitsById.begin();
    std::advance(it, unitIndex - 1);
    info = it->second;
    return kResultOk;
}

int32 PlugController::getProgramListCount() {
    return kProgramLists;
}

tresult PlugController::getProgramListInfo(int32 listIndex, ProgramListInfo& info) {
    if (listIndex < 0 || listIndex >= kProgramLists) return kResultFalse;
    info = ProgramListInfo{};
    info.id = listIndex;
    toString128(info.name, ("ProgramList " + std::to_string(listIndex)).c_str());
    info.programCount = 128;
    return kResultOk;
}

tresult PlugController::getProgramName(ProgramListID listId, int32 programIndex, String128 name) {
    if (!name || listId < 0 || listId >= kProgramLists || programIndex < 0 || programIndex > 127)
        return kResultFalse;
    toString128(name, ("Program " + std::to_string(programIndex)).c_str());
    return kResultOk;
}

tresult PlugController::selectUnit(UnitID unitId) {
    return unitId == kRootUnitId ? kResultOk : kResultFalse;
}

// ---- Note expressions -------------------------------------------------------------------

int32 PlugController::getNoteExpressionCount(int32 busIndex, int16 channel) {
    return isFirstNoteChannel(busIndex, channel) ? kNoteExpressionCount : 0;
}

tresult PlugController::getNoteExpressionInfo(int32 busIndex, int16 channel, int32 index,
                                              NoteExpressionTypeInfo& info) {
    if (!isFirstNoteChannel(busIndex, channel) || index < 0 || index >= kNoteExpressionCount)
        return kResultFalse;
    const NoteExpressionType& t = kNoteExpressions[index];
    info = NoteExpressionTypeInfo{};
    info.typeId = t.id;
    strcpy16(info.title, t.title, 128);
    strcpy16(info.shortTitle, t.shortTitle, 128);
    strcpy16(info.units, t.units, 128);
    info.unitId = -1;
    info.valueDesc.defaultValue = t.defaultValue;
    info.valueDesc.minimum = t.minimum;
    info.valueDesc.maximum = t.maximum;
    info.associatedParameterId = kNoParamId;
    info.flags = t.bipolar ? NoteExpressionTypeInfo::kIsBipolar : 0;
    return kResultOk;
}

tresult PlugController::getNoteExpressionStringByValue(int32 busIndex, int16 channel,
                                                       NoteExpressionTypeID id,
                                                       NoteExpressionValue value,
                                                       String128 string) {
    if (!isFirstNoteChannel(busIndex, channel) || !string) return kResultFalse;
    const double shown = id == kPanTypeID      ? (value - 0.5) * 200.0
                         : id == kTuningTypeID ? (value - 0.5) * 240.0
                                               : value * 100.0;
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", shown);
    toString128(string, text);
    return kResultOk;
}

tresult PlugController::getNoteExpressionValueByString(int32 busIndex, int16 channel,
                                                       NoteExpressionTypeID id, const TChar* string,
                                                       NoteExpressionValue& value) {
    if (!isFirstNoteChannel(busIndex, channel) || !string) return kResultFalse;
    const std::string text = utf16ToUtf8(string, 128);
    char* end = nullptr;
    const double x = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || !std::isfinite(x)) return kResultFalse;
    value = id == kPanTypeID ? x / 200.0 + 0.5 : id == kTuningTypeID ? x / 240.0 + 0.5 : x / 100.0;
    return kResultOk;
}

tresult PlugController::getPhysicalUIMapping(int32 busIndex, int16 channel,
                                             PhysicalUIMapList& list) {
    // Note expressions exist on the first channel only, and no physical
    // control is mapped to them.
    if (!isFirstNoteChannel(busIndex, channel)) return kResultFalse;
    list.count = 0;
    return kResultOk;
}

// ---- NKS entry points (the conversation itself is in nks/PlugControllerNKS) ------------

int32 PlugController::nksDispatch(int32 type, uint64 size, void* data, float opt) {
    return receiveNKSHostMessage(type, size, data, opt);
}

int32 PlugController::receiveNKSHostMessage(int32 type, uint64 size, void* data, float) {
    return nks::receiveNKSHostMessage(type, size, data);
}

tresult PlugController::getNksMetadata(IBStream* stream) {
    ZEFAWrapper* bridge = getWrapper();
    if (!stream || !bridge) return kResultFalse;
    vantor::ParameterInfo described;
    return nks::getNksMetadata(
        stream, getConf()->parameterCount, [&](uint32_t id) -> const vantor::ParameterInfo* {
            return bridge->getAutomatableParameterInfo(id, described) ? &described : nullptr;
        });
}

bool PlugController::nks_keyMapChanged(int) {
    if (!m_nksHost) return false;
    ZEFAWrapper* bridge = getWrapper();
    if (!bridge) return false;
    // The controller's copy of the engine's keyboard, for this push only.
    auto keyboard = std::make_unique<Zefa::ExportKB>();
    if (!bridge->getExportKB(*keyboard)) return false;
    nks::pushKeyMap(m_nksHost, nks::KeyboardLayout{keyboard->keyType, keyboard->keyName});
    return true;
}

// ---- Engine callbacks -------------------------------------------------------------------

int32_t PlugController::ZEFA_CB(int32_t id, void* p1, void* p2, int32_t a, int32_t b, int32_t c,
                                float f, void* user) {
    if (!user) return ZEFA_HOST_NOT_HANDLED;
    return static_cast<PlugController*>(user)->ZEFA_CB_INTERNAL(id, p1, p2, a, b, c, f);
}

void PlugController::beginEngineEdit(int32 id, bool tellHost) {
    if (tellHost) beginEdit(static_cast<ParamID>(id));
    m_editedId = id;
    if (auto h = holder()) h->editedParameter.store(id, std::memory_order_relaxed);
}

void PlugController::endEngineEdit(bool tellHost) {
    if (m_editedId == -1) return;
    if (tellHost) endEdit(static_cast<ParamID>(m_editedId));
    m_editedId = -1;
    if (auto h = holder()) h->editedParameter.store(-1, std::memory_order_relaxed);
}

int32_t PlugController::ZEFA_CB_INTERNAL(int32_t id, void* p1, void*, int32_t a, int32_t b,
                                         int32_t c, float f) {
    switch (id) {
    case ZEFA_HOST_PARAMETERS_CHANGED:
        endEngineEdit(true);
        if (updateParameterNames()) {
            restartComponent(kParamTitlesChanged | kParamValuesChanged);
            setDirty(true);
        }
        return ZEFA_HOST_HANDLED;
    case ZEFA_HOST_PARAMETER_EDITED: {
        if (a != 0) return ZEFA_HOST_HANDLED;
        const bool tellHost = c != 1;
        if (const auto* info = static_cast<const ParameterInfo*>(p1);
            info && info->magic == ParameterInfo::kMagic)
            info->pack01(f);
        if (m_editedId != b) {
            endEngineEdit(tellHost);
            beginEngineEdit(b, tellHost);
        }
        setParamNormalized(static_cast<ParamID>(b), f);
        m_lastEditorValue = f;
        if (tellHost) performEdit(static_cast<ParamID>(b), f);
        endEngineEdit(tellHost);
        return ZEFA_HOST_HANDLED;
    }
    case ZEFA_HOST_LATENCY_CHANGED:
        restartComponent(kLatencyChanged);
        setDirty(true);
        return ZEFA_HOST_HANDLED;
    case ZEFA_HOST_KEYMAP_CHANGED:
        nks_keyMapChanged(a);
        setDirty(true);
        return ZEFA_HOST_HANDLED;
    case ZEFA_HOST_SIZE_CHANGED:
        if (m_openView) m_openView->XMLGUISizeChange(a, b);
        setDirty(true);
        return ZEFA_HOST_HANDLED;
    case ZEFA_HOST_BEGIN_EDIT:
        if (m_editedId != b) {
            endEngineEdit(true);
            beginEngineEdit(b, true);
        }
        return ZEFA_HOST_HANDLED;
    case ZEFA_HOST_END_EDIT:
        if (m_editedId == b) endEngineEdit(true);
        return ZEFA_HOST_HANDLED;
    default:
        return ZEFA_HOST_NOT_HANDLED;
    }
}

} // namespace vantor
