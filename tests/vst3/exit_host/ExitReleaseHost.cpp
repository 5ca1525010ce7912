// A host that lets go of the plug-in as a quitting application may: it loads
// the bundle, creates a component and its controller, plays a note through
// them and then ends `main` with both still alive. They are released while
// the process exits, either from an exit handler (`atexit`) or from the
// destructor of a static object (`static`), and the module is unloaded after
// them. Both are set up before the bundle is loaded, so they run after the
// bundle's own static objects are gone.
//
//   sx-exit-release-host <bundle.vst3> atexit|static
//
// Exit status 0 when the release went through; 2 for a bad command line, 3
// when the plug-in did not load or play.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "vst3base/support/TestHost.h"

using namespace vst3host;

namespace {

HostSession* g_session = nullptr;
PluginInstance* g_instance = nullptr;

// What the quitting host releases: the plug-in's objects, then the module
// (its factory and ModuleExit) and its own objects.
void releaseEverything() {
    delete g_instance;
    g_instance = nullptr;
    if (g_session) g_session->closeHost();
    delete g_session;
    g_session = nullptr;
}

bool g_releaseInDestructor = false;

struct ReleaseOnDestruction {
    ~ReleaseOnDestruction() {
        if (g_releaseInDestructor) releaseEverything();
    }
} g_releaser;

int play(const char* bundle) {
    g_session = new HostSession;
    std::string error;
    if (!g_session->openHost(bundle, "sondrix exit host", error)) {
        std::fprintf(stderr, "bundle not loaded: %s\n", error.c_str());
        return 3;
    }
    const ClassEntry* effect = g_session->module->findClass(kVstAudioEffectClass);
    if (!effect) return 3;
    g_instance = PluginInstance::create(*g_session->module, effect->cid, g_session->host,
                                        g_session->handler, error)
                     .release();
    if (!g_instance || g_instance->prepare(48000, 512) != kResultOk) {
        std::fprintf(stderr, "plug-in not ready: %s\n", error.c_str());
        return 3;
    }
    HostEventList notes;
    notes.refAdd();
    notes.addNoteOn(0, 69, 1.0f, 1);
    for (int block = 0; block < 8; ++block)
        if (g_instance->process(512, block == 0 ? &notes : nullptr) != kResultOk) return 3;
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3 || (std::strcmp(argv[2], "atexit") != 0 && std::strcmp(argv[2], "static") != 0)) {
        std::fprintf(stderr, "usage: %s <bundle.vst3> atexit|static\n", argv[0]);
        return 2;
    }
    if (std::strcmp(argv[2], "atexit") == 0)
        std::atexit(releaseEverything);
    else
        g_releaseInDestructor = true;
    return play(argv[1]);
}
