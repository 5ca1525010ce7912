// The test suite's Linux VST3 host: module loading and one plug-in's life.
#include "vst3base/support/TestHost.h"

#include <dlfcn.h>

#include <algorithm>

#include "vst3base/UString.h"

namespace vst3host {

namespace {
std::string fixedText(const char* text, size_t size) {
    return std::string(text, strnlen(text, size));
}
} // namespace

std::string Vst3Module::sharedObjectPath(const std::string& bundlePath) {
    std::string folder = bundlePath;
    while (!folder.empty() && folder.back() == '/') folder.pop_back();
    std::string name = folder.substr(folder.find_last_of('/') + 1);
    const std::string suffix = ".vst3";
    if (name.size() > suffix.size() &&
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
        name.resize(name.size() - suffix.size());
    return folder + "/Contents/x86_64-linux/" + name + ".so";
}

std::unique_ptr<Vst3Module> Vst3Module::load(const std::string& bundlePath, FUnknown* context,
                                             std::string& error) {
    std::unique_ptr<Vst3Module> module(new Vst3Module);
    const std::string path = sharedObjectPath(bundlePath);
    module->library_ = ::dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (!module->library_) {
        const char* why = ::dlerror();
        error = "dlopen failed: " + std::string(why ? why : path);
        return nullptr;
    }
    auto entry = reinterpret_cast<ModuleEntryFunc>(::dlsym(module->library_, "ModuleEntry"));
    auto getFactory =
        reinterpret_cast<GetFactoryProc>(::dlsym(module->library_, "GetPluginFactory"));
    if (!entry || !::dlsym(module->library_, "ModuleExit") || !getFactory) {
        error = "missing bundle export";
        ::dlclose(module->library_);
        module->library_ = nullptr;
        return nullptr;
    }
    if (!entry(module->library_)) {
        error = "ModuleEntry failed";
        ::dlclose(module->library_);
        module->library_ = nullptr;
        return nullptr;
    }
    module->factory_ = getFactory();
    if (!module->factory_) {
        error = "GetPluginFactory returned no factory";
        module->unload();
        return nullptr;
    }
    if (module->factory_->getFactoryInfo(&module->factoryInfo_) != kResultOk) {
        error = "getFactoryInfo failed";
        module->unload();
        return nullptr;
    }

    auto factory2 = queryInterfaceOf<IPluginFactory2>(module->factory_);
    auto factory3 = queryInterfaceOf<IPluginFactory3>(module->factory_);
    if (factory3) factory3->setHostContext(context);
    const int32 count = module->factory_->countClasses();
    for (int32 i = 0; i < count; ++i) {
        ClassEntry c;
        PClassInfoW w{};
        PClassInfo2 two{};
        PClassInfo one{};
        if (factory3 && factory3->getClassInfoUnicode(i, &w) == kResultOk) {
            c.cid = FUID::fromTUID(w.cid);
            c.cardinality = w.cardinality;
            c.category = fixedText(w.category, sizeof(w.category));
            c.name = utf16ToUtf8(w.name, PClassInfoW::kNameSize);
            c.classFlags = w.classFlags;
            c.subCategories = fixedText(w.subCategories, sizeof(w.subCategories));
            c.vendor = utf16ToUtf8(w.vendor, PClassInfoW::kVendorSize);
            c.version = utf16ToUtf8(w.version, PClassInfoW::kVersionSize);
            c.sdkVersion = utf16ToUtf8(w.sdkVersion, PClassInfoW::kVersionSize);
        } else if (factory2 && factory2->getClassInfo2(i, &two) == kResultOk) {
            c.cid = FUID::fromTUID(two.cid);
            c.cardinality = two.cardinality;
            c.category = fixedText(two.category, sizeof(two.category));
            c.name = fixedText(two.name, sizeof(two.name));
            c.classFlags = two.classFlags;
            c.subCategories = fixedText(two.subCategories, sizeof(two.subCategories));
            c.vendor = fixedText(two.vendor, sizeof(two.vendor));
            c.version = fixedText(two.version, sizeof(two.version));
            c.sdkVersion = fixedText(two.sdkVersion, sizeof(two.sdkVersion));
        } else if (module->factory_->getClassInfo(i, &one) == kResultOk) {
            c.cid = FUID::fromTUID(one.cid);
            c.cardinality = one.cardinality;
            c.category = fixedText(one.category, sizeof(one.category));
            c.name = fixedText(one.name, sizeof(one.name));
        } else {
            continue;
        }
        module->classes_.push_back(c);
    }
    return module;
}

const ClassEntry* Vst3Module::findClass(const char* category) const {
    for (const ClassEntry& c : classes_)
        if (c.category == category) return &c;
    return nullptr;
}

void* Vst3Module::findSymbol(const char* name) const {
    return library_ ? ::dlsym(library_, name) : nullptr;
}

bool Vst3Module::unload() {
    if (!library_) return false;
    if (factory_) factory_->release();
    factory_ = nullptr;
    auto exitFn = reinterpret_cast<ModuleExitFunc>(::dlsym(library_, "ModuleExit"));
    const bool exited = exitFn && exitFn();
    ::dlclose(library_);
    library_ = nullptr;
    return exited;
}

Vst3Module::~Vst3Module() {
    unload();
}

std::unique_ptr<PluginInstance> PluginInstance::create(Vst3Module& module, const FUID& cid,
                                                       HostApplication* host,
                                                       HostComponentHandler* handler,
                                                       std::string& error, Connection connection) {
    std::unique_ptr<PluginInstance> p(new PluginInstance);
    IPluginFactory* factory = module.factory();
    FUnknown* context = static_cast<IHostApplication*>(host);
    void* obj = nullptr;
    if (!factory ||
        factory->createInstance(cid.data(), IComponent::iid.data(), &obj) != kResultOk || !obj) {
        error = "component not created";
        return nullptr;
    }
    p->component_ = IPtr<IComponent>::adopt(static_cast<IComponent*>(obj));
    if (p->component_->initialize(context) != kResultOk) {
        error = "component initialize failed";
        p->component_.reset(); // never initialised: nothing to terminate
        return nullptr;
    }
    p->processor_ = queryInterfaceOf<IAudioProcessor>(p->component_.get());
    if (!p->processor_) {
        error = "component has no IAudioProcessor";
        return nullptr;
    }

    // The controller: a separate class when the component names one, else the
    // component itself.
    TUID controllerCid;
    obj = nullptr;
    if (p->component_->getControllerClassId(controllerCid) == kResultOk &&
        factory->createInstance(controllerCid, IEditController::iid.data(), &obj) == kResultOk &&
        obj) {
        p->controller_ = IPtr<IEditController>::adopt(static_cast<IEditController*>(obj));
        if (p->controller_->initialize(context) != kResultOk) {
            error = "controller initialize failed";
            p->controller_.reset();
            return nullptr;
        }
    } else {
        p->controller_ = queryInterfaceOf<IEditController>(p->component_.get());
        p->controllerIsComponent_ = true;
    }
    if (!p->controller_) {
        error = "no edit controller";
        return nullptr;
    }
    if (handler) p->controller_->setComponentHandler(handler);

    if (!p->controllerIsComponent_) {
        p->componentPoint_ = queryInterfaceOf<IConnectionPoint>(p->component_.get());
        p->controllerPoint_ = queryInterfaceOf<IConnectionPoint>(p->controller_.get());
        if (p->componentPoint_ && p->controllerPoint_) {
            bool ok;
            if (connection == Connection::kProxy) {
                p->componentProxy_ = IPtr<HostConnectionProxy>::adopt(
                    new HostConnectionProxy(p->componentPoint_.get()));
                p->controllerProxy_ = IPtr<HostConnectionProxy>::adopt(
                    new HostConnectionProxy(p->controllerPoint_.get()));
                ok = p->componentProxy_->connect(p->controllerPoint_.get()) == kResultOk &&
                     p->controllerProxy_->connect(p->componentPoint_.get()) == kResultOk;
            } else {
                ok = p->componentPoint_->connect(p->controllerPoint_.get()) == kResultOk &&
                     p->controllerPoint_->connect(p->componentPoint_.get()) == kResultOk;
            }
            p->connected_ = true; // whatever half-connected is undone by shutdown
            if (!ok) {
                error = "connect failed";
                return nullptr;
            }
        }
        // What a DAW does after creation: the controller learns the component state.
        MemoryStream state;
        if (p->component_->getState(&state) == kResultOk) {
            state.seek(0, IBStream::kIBSeekSet);
            p->controller_->setComponentState(&state);
        }
    }
    return p;
}

tresult PluginInstance::prepare(double sampleRate, int32 maxBlock, int32 processMode) {
    setup_ = ProcessSetup{processMode, kSample32, maxBlock, sampleRate};
    tresult r = processor_->setupProcessing(setup_);
    if (r != kResultOk) return r;
    maxBlock_ = maxBlock;

    // Every bus the component offers is switched on, as a DAW with all
    // inputs and outputs routed does.
    for (MediaType media : {kAudio, kEvent})
        for (BusDirection dir : {kInput, kOutput})
            for (int32 i = 0; i < component_->getBusCount(media, dir); ++i)
                component_->activateBus(media, dir, i, true);

    BusInfo out{};
    const int channels = component_->getBusCount(kAudio, kOutput) > 0 &&
                                 component_->getBusInfo(kAudio, kOutput, 0, out) == kResultOk
                             ? out.channelCount
                             : 0;
    outputs_.assign(static_cast<size_t>(channels),
                    std::vector<float>(static_cast<size_t>(maxBlock)));
    outputPointers_.clear();
    for (auto& ch : outputs_) outputPointers_.push_back(ch.data());

    if ((r = component_->setActive(true)) != kResultOk) return r;
    active_ = true;
    r = processor_->setProcessing(true);
    if (r != kResultOk && r != kNotImplemented) return r;
    processing_ = true;
    return kResultOk;
}

tresult PluginInstance::process(int32 frames, IEventList* events, IParameterChanges* changes,
                                ProcessContext* context) {
    if (frames < 0 || frames > maxBlock_) return kInvalidArgument;
    for (auto& ch : outputs_) std::fill(ch.begin(), ch.end(), 0.f);
    AudioBusBuffers out{};
    out.numChannels = static_cast<int32>(outputs_.size());
    out.channelBuffers32 = outputPointers_.data();
    HostParameterChanges outChanges;
    outChanges.refAdd(); // a stack object: the plug-in must never be the last owner
    HostEventList outEvents;
    outEvents.refAdd();

    ProcessData data{};
    data.processMode = setup_.processMode;
    data.symbolicSampleSize = kSample32;
    data.numSamples = frames;
    data.numInputs = 0;
    data.numOutputs = outputs_.empty() ? 0 : 1;
    data.outputs = outputs_.empty() ? nullptr : &out;
    data.inputParameterChanges = changes;
    data.outputParameterChanges = &outChanges;
    data.inputEvents = events;
    data.outputEvents = &outEvents;
    data.processContext = context;
    return processor_->process(data);
}

tresult PluginInstance::saveState(MemoryStream& out) {
    out.clear();
    return component_->getState(&out);
}

tresult PluginInstance::loadState(MemoryStream& in) {
    in.seek(0, IBStream::kIBSeekSet);
    const tresult r = component_->setState(&in);
    if (r != kResultOk) return r;
    if (!controllerIsComponent_) {
        in.seek(0, IBStream::kIBSeekSet);
        controller_->setComponentState(&in);
    }
    return kResultOk;
}

void PluginInstance::shutdown() {
    if (processing_) processor_->setProcessing(false);
    processing_ = false;
    if (active_) component_->setActive(false);
    active_ = false;
    if (connected_ && componentProxy_) {
        componentProxy_->disconnect(controllerPoint_.get());
        controllerProxy_->disconnect(componentPoint_.get());
    } else if (connected_) {
        componentPoint_->disconnect(controllerPoint_.get());
        controllerPoint_->disconnect(componentPoint_.get());
    }
    connected_ = false;
    componentProxy_.reset();
    controllerProxy_.reset();
    componentPoint_.reset();
    controllerPoint_.reset();
    if (controller_) {
        controller_->setComponentHandler(nullptr);
        if (!controllerIsComponent_) controller_->terminate();
        controller_.reset();
    }
    processor_.reset();
    if (component_) component_->terminate();
    component_.reset();
}

int PluginInstance::forwardedMessages() const {
    return (componentProxy_ ? componentProxy_->forwarded : 0) +
           (controllerProxy_ ? controllerProxy_->forwarded : 0);
}

PluginInstance::~PluginInstance() {
    shutdown();
}

bool HostSession::openHost(const std::string& bundlePath, const char* hostName,
                           std::string& error) {
    runLoop = new HostRunLoop;
    host = new HostApplication(hostName, runLoop);
    handler = new HostComponentHandler;
    module = Vst3Module::load(bundlePath, static_cast<IHostApplication*>(host), error);
    return module != nullptr;
}

void HostSession::closeHost() {
    module.reset();
    if (handler) handler->release();
    if (host) host->release();
    if (runLoop) runLoop->release();
    handler = nullptr;
    host = nullptr;
    runLoop = nullptr;
}

} // namespace vst3host
