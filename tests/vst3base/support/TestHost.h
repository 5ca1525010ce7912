// A small Linux VST3 host for the test suite. `Vst3Module` loads a built
// bundle exactly as a DAW does: dlopen of `<name>.vst3/Contents/x86_64-linux/
// <name>.so`, `ModuleEntry(handle)`, `GetPluginFactory()`, the host context
// handed to an IPluginFactory3, the class list; and on the way out the
// factory's release, `ModuleExit()` and dlclose. `PluginInstance` then plays
// the DAW's part for one plug-in: creates and initialises the component and
// its controller, connects them through IConnectionPoint, hands the component
// state to the controller, sets up processing, activates, runs blocks with
// events and parameter changes, saves and restores state, and tears it all
// down in the reverse order.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "vst3base/IAudioProcessor.h"
#include "vst3base/IComponent.h"
#include "vst3base/IEditController.h"
#include "vst3base/IMessage.h"
#include "vst3base/IPluginFactory.h"
#include "vst3base/MemoryStream.h"
#include "vst3base/support/HostObjects.h"

namespace vst3host {

// One class as the factory lists it, from the richest form the factory gives.
struct ClassEntry {
    FUID cid;
    std::string category;
    std::string name;
    std::string subCategories;
    std::string vendor;
    std::string version;
    std::string sdkVersion;
    uint32 classFlags = 0;
    int32 cardinality = 0;
};

class Vst3Module {
public:
    // Loads the bundle at `bundlePath` (the "<name>.vst3" folder); null with a
    // reason in `error` when any step fails. `context` goes to setHostContext.
    static std::unique_ptr<Vst3Module> load(const std::string& bundlePath, FUnknown* context,
                                            std::string& error);
    // The shared object inside a bundle folder.
    static std::string sharedObjectPath(const std::string& bundlePath);
    ~Vst3Module();

    IPluginFactory* factory() const { return factory_; }
    const PFactoryInfo& factoryInfo() const { return factoryInfo_; }
    const std::vector<ClassEntry>& classes() const { return classes_; }
    // An export of the loaded library, or null.
    void* findSymbol(const char* name) const;
    // The first class of a category, or null.
    const ClassEntry* findClass(const char* category) const;
    // Releases the factory, calls ModuleExit and closes the library; answers
    // ModuleExit's result (false when already unloaded).
    bool unload();

private:
    Vst3Module() = default;

    void* library_ = nullptr;
    IPluginFactory* factory_ = nullptr;
    PFactoryInfo factoryInfo_{};
    std::vector<ClassEntry> classes_;
};

class PluginInstance {
public:
    // How the two halves are connected: to each other, or each to a host proxy
    // that forwards to the other half.
    enum class Connection { kDirect, kProxy };

    // Creates the component of class `cid` and its controller, initialises
    // both with `host`, connects them and syncs the controller with the
    // component state; null with a reason in `error` on failure.
    static std::unique_ptr<PluginInstance> create(Vst3Module& module, const FUID& cid,
                                                  HostApplication* host,
                                                  HostComponentHandler* handler, std::string& error,
                                                  Connection connection = Connection::kDirect);
    ~PluginInstance();

    // setupProcessing, then the buses activated and the processor set active
    // and processing; answers the first failing step's result.
    tresult prepare(double sampleRate, int32 maxBlock, int32 processMode = kRealtime);
    // One block of `frames` samples into the output buffers.
    tresult process(int32 frames, IEventList* events = nullptr,
                    IParameterChanges* changes = nullptr, ProcessContext* context = nullptr);
    // Channel `ch` of output bus 0 after the last block.
    const std::vector<float>& output(int ch) const { return outputs_[static_cast<size_t>(ch)]; }
    int outputChannels() const { return static_cast<int>(outputs_.size()); }

    // The component state as a DAW saves it with a project.
    tresult saveState(MemoryStream& out);
    // Restores a saved state into the component, then into the controller.
    tresult loadState(MemoryStream& in);

    // Stops processing, deactivates, disconnects and terminates (also done by
    // the destructor).
    void shutdown();

    // Messages the host proxies handed on (0 when connected directly).
    int forwardedMessages() const;
    IComponent* component() const { return component_.get(); }
    IAudioProcessor* processor() const { return processor_.get(); }
    IEditController* controller() const { return controller_.get(); }

private:
    PluginInstance() = default;

    IPtr<IComponent> component_;
    IPtr<IAudioProcessor> processor_;
    IPtr<IEditController> controller_;
    IPtr<IConnectionPoint> componentPoint_;
    IPtr<IConnectionPoint> controllerPoint_;
    IPtr<HostConnectionProxy> componentProxy_;  // stands in for the controller
    IPtr<HostConnectionProxy> controllerProxy_; // stands in for the component
    bool controllerIsComponent_ = false;
    bool connected_ = false;
    bool active_ = false;
    bool processing_ = false;
    int32 maxBlock_ = 0;
    ProcessSetup setup_{};
    std::vector<std::vector<float>> outputs_;
    std::vector<float*> outputPointers_;
};

// What a DAW has ready before it loads a plug-in: its application object
// with a run loop, a component handler for the plug-in's controllers, and the
// bundle loaded with the application as the factory's host context.
class HostSession {
public:
    // Makes the host objects, then loads the bundle at `bundlePath`; false
    // with the reason in `error` when it does not load.
    bool openHost(const std::string& bundlePath, const char* hostName, std::string& error);
    // Unloads the bundle, then releases the host objects.
    void closeHost();

    HostRunLoop* runLoop = nullptr;
    HostApplication* host = nullptr;
    HostComponentHandler* handler = nullptr;
    std::unique_ptr<Vst3Module> module;
};

} // namespace vst3host
