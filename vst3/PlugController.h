// The plug-in's edit controller. It has no engine of its own: the processor
// announces its engine holder in a "MorvaneHandle" message, and the controller
// reaches the engine bridge through the holder registry from then on. It
// lists the engine's automatable parameters (titles from the engine's names,
// grouped into units for hosts that show them), a bypass switch and the MIDI
// controller pseudo-parameters (control changes, channel pressure, pitch
// bend per channel), maps MIDI controllers onto those, describes the note
// expressions, relays the engine's callbacks (edits in the engine's own
// editor, renames, latency, editor size) to the host, opens the editor view,
// and is the object an NKS host talks to.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>

#include "vst3base/NKSInterfaces.h"
#include "vst3/ZEFAWrapperHolder.h"
#include "vst3base/EditControllerEx1.h"
#include "vst3base/INoteExpression.h"

namespace vantor {

class MorvaneVST3Editor;

class PlugController : public Steinberg::Vst::EditControllerEx1,
                       public Steinberg::Vst::IMidiMapping,
                       public Steinberg::Vst::INoteExpressionController,
                       public Steinberg::Vst::INoteExpressionPhysicalUIMapping,
                       public nks::INKS1Plugin,
                       public nks::INKSMetadataPlugin {
public:
    static constexpr Steinberg::Vst::ParamID kBypassId = 9000;
    static constexpr Steinberg::Vst::ParamID kChannelPressureBase = 12048;
    static constexpr Steinberg::Vst::ParamID kPitchBendBase = 12064;
    static constexpr Steinberg::Vst::ParamID kControlChangeBase = 10000;
    static constexpr Steinberg::int32 kNoteExpressionCount = 8;
    static constexpr Steinberg::int32 kProgramLists = 16;
    static constexpr Steinberg::uint64 kCallbackFlags = 240;

    PlugController();
    ~PlugController() override;

    // The factory's create function.
    static Steinberg::FUnknown* createInstance(void* context);

    // ---- Life and connection ------------------------------------------------------------
    Steinberg::tresult initialize(Steinberg::FUnknown* context) override;
    // Ends the engine callback first.
    Steinberg::tresult terminate() override;
    Steinberg::tresult connect(Steinberg::Vst::IConnectionPoint* other) override;
    // Ends the engine callback and forgets the holder.
    Steinberg::tresult disconnect(Steinberg::Vst::IConnectionPoint* other) override;
    // "MorvaneHandle": looks the holder up and starts working with its engine.
    Steinberg::tresult notify(Steinberg::Vst::IMessage* message) override;
    // Registers the engine callback once a holder with a bridge is known;
    // with `build`, builds the parameters once.
    void doTheRealInit(bool build);

    // ---- Parameters ---------------------------------------------------------------------
    Steinberg::int32 getParameterCount() override;
    Steinberg::Vst::ParamValue getParamNormalized(Steinberg::Vst::ParamID id) override;
    // Takes the bypass switch from the processor's state; a state whose chunk
    // is not a whole engine chunk changes nothing (kResultFalse).
    Steinberg::tresult setComponentState(Steinberg::IBStream* state) override;
    Steinberg::IPlugView* createView(Steinberg::FIDString name) override;
    Steinberg::tresult getMidiControllerAssignment(Steinberg::int32 busIndex,
                                                   Steinberg::int16 channel,
                                                   Steinberg::Vst::CtrlNumber midiControllerNumber,
                                                   Steinberg::Vst::ParamID& id) override;

    // ---- Units --------------------------------------------------------------------------
    Steinberg::int32 getUnitCount() override;
    Steinberg::tresult getUnitInfo(Steinberg::int32 unitIndex,
                                   Steinberg::Vst::UnitInfo& info) override;
    Steinberg::int32 getProgramListCount() override;
    Steinberg::tresult getProgramListInfo(Steinberg::int32 listIndex,
                                          Steinberg::Vst::ProgramListInfo& info) override;
    Steinberg::tresult getProgramName(Steinberg::Vst::ProgramListID listId,
                                      Steinberg::int32 programIndex,
                                      Steinberg::Vst::String128 name) override;
    Steinberg::Vst::UnitID getSelectedUnit() override { return 0; }
    Steinberg::tresult selectUnit(Steinberg::Vst::UnitID unitId) override;

    // ---- Note expressions ---------------------------------------------------------------
    Steinberg::int32 getNoteExpressionCount(Steinberg::int32 busIndex,
                                            Steinberg::int16 channel) override;
    Steinberg::tresult getNoteExpressionInfo(Steinberg::int32 busIndex, Steinberg::int16 channel,
                                             Steinberg::int32 noteExpressionIndex,
                                             Steinberg::Vst::NoteExpressionTypeInfo& info) override;
    Steinberg::tresult
    getNoteExpressionStringByValue(Steinberg::int32 busIndex, Steinberg::int16 channel,
                                   Steinberg::Vst::NoteExpressionTypeID id,
                                   Steinberg::Vst::NoteExpressionValue valueNormalized,
                                   Steinberg::Vst::String128 string) override;
    Steinberg::tresult
    getNoteExpressionValueByString(Steinberg::int32 busIndex, Steinberg::int16 channel,
                                   Steinberg::Vst::NoteExpressionTypeID id,
                                   const Steinberg::TChar* string,
                                   Steinberg::Vst::NoteExpressionValue& valueNormalized) override;
    Steinberg::tresult getPhysicalUIMapping(Steinberg::int32 busIndex, Steinberg::int16 channel,
                                            Steinberg::Vst::PhysicalUIMapList& list) override;

    // ---- NKS ----------------------------------------------------------------------------
    Steinberg::int32 nksDispatch(Steinberg::int32 type, Steinberg::uint64 size, void* data,
                                 float opt) override;
    Steinberg::tresult getNksMetadata(Steinberg::IBStream* stream) override;
    // Answers one NKS host message: 1 handled, 0 not.
    Steinberg::int32 receiveNKSHostMessage(Steinberg::int32 type, Steinberg::uint64 size,
                                           void* data, float opt);
    // Pushes the engine's key map to the NKS host; false without a host.
    bool nks_keyMapChanged(int argument);
    nks::INKS1Host* getNKSHost() const { return m_nksHost; }
    // The engine bridge, or null; and the product record.
    ZEFAWrapper* getWrapper() const;
    static const ZefaPluginConfig* getConf();

    // ---- Engine callbacks ---------------------------------------------------------------
    static int32_t ZEFA_CB(int32_t id, void* p1, void* p2, int32_t a, int32_t b, int32_t c, float f,
                           void* user);
    int32_t ZEFA_CB_INTERNAL(int32_t id, void* p1, void* p2, int32_t a, int32_t b, int32_t c,
                             float f);
    // Re-reads the engine's names and values (callback 8194); true when a
    // value changed.
    bool updateParameterNames();

    // The editor tells the controller that it went away.
    void viewClosed(MorvaneVST3Editor* view);
    MorvaneVST3Editor* getOpenView() const { return m_openView; }
    const std::string& getHostName() const { return m_hostName; }
    bool prefixNaming() const { return m_prefixNaming; }

    Steinberg::tresult queryInterface(const Steinberg::TUID iid, void** obj) override;
    SX_REFCOUNT_FORWARD(Steinberg::Vst::ComponentBase)

    // The ordered map from an engine name prefix to its display prefix.
    static const std::map<std::string, std::string> prefixNamesMap;

private:
    // The holder while it lives and the controller is connected, else null.
    std::shared_ptr<ZEFAWrapperHolder> holder() const { return m_holder.lock(); }
    void buildParameters(ZEFAWrapper& bridge);
    // Title and unit of an engine parameter from its engine name.
    std::string titleFor(const std::string& engineName, Steinberg::Vst::UnitID* unit);
    Steinberg::Vst::UnitID unitForPath(const std::string& key, const std::string& path);
    // The prefix key that created `unit`; empty for the root.
    std::string keyOfUnit(Steinberg::Vst::UnitID unit) const;
    void beginEngineEdit(Steinberg::int32 id, bool tellHost);
    void endEngineEdit(bool tellHost);
    void removeEngineCallback();

    nks::INKS1Host* m_nksHost = nullptr; // one reference held
    std::weak_ptr<ZEFAWrapperHolder> m_holder;
    std::string m_hostName;
    Steinberg::int32 m_editedId = -1;
    float m_lastEditorValue = 0.0f;
    double m_bypassFromState = 0.0;          // the switch as the last processor state had it
    MorvaneVST3Editor* m_openView = nullptr; // not owned
    bool m_initialised = false;
    bool m_parametersBuilt = false;
    std::map<Steinberg::Vst::UnitID, Steinberg::Vst::UnitInfo> m_unitsById;
    std::map<std::pair<std::string, std::string>, Steinberg::Vst::UnitID> m_unitsByPath;
    std::map<Steinberg::Vst::ParamID, Steinberg::Vst::UnitID> m_parameterUnits;
    bool m_prefixNaming = true;
    bool m_keepPrefixNaming = true;
};

} // namespace vantor
