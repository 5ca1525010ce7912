// The plug-in's editor view. It has no user interface of its own: it embeds
// the engine host's editor window in the window the host provides, and
// passes size requests between the engine and the host's frame.
//
// On Linux the host offers an X11 window id ("X11EmbedWindowID"). The engine
// host opens its own X connection and a child window in that parent, so the
// view cannot hand it X events: instead it registers a timer with the host's
// UI run loop while attached and, on each tick, sends the engine's view timer
// opcode, on which the engine host drains its window's events and redraws.
#pragma once

#include <memory>

#include "vst3/ZEFAWrapperHolder.h"
#include "vst3base/EditorView.h"
#include "vst3base/IPlugView.h"

namespace vantor {

class PlugController;

class MorvaneVST3Editor : public Steinberg::Vst::EditorView,
                          public Steinberg::IPlugViewContentScaleSupport,
                          public Steinberg::Linux::ITimerHandler {
public:
    static constexpr Steinberg::int32 kTimerId = 1;
    static constexpr Steinberg::Linux::TimerInterval kTimerInterval = 20; // milliseconds

    MorvaneVST3Editor(PlugController* controller, const std::shared_ptr<ZEFAWrapperHolder>& holder);
    ~MorvaneVST3Editor() override;

    // Only an X11 window id.
    Steinberg::tresult isPlatformTypeSupported(Steinberg::FIDString type) override;
    // Opens the engine's view in `parent` and starts the run-loop timer.
    Steinberg::tresult attached(void* parent, Steinberg::FIDString type) override;
    // Stops the timer and closes the engine's view.
    Steinberg::tresult removed() override;
    // The engine's view size (0 x 0 when the engine does not answer).
    Steinberg::tresult getSize(Steinberg::ViewRect* size) override;
    Steinberg::tresult onSize(Steinberg::ViewRect* newSize) override;
    Steinberg::tresult canResize() override;
    // The engine's size, whatever was asked.
    Steinberg::tresult checkSizeConstraint(Steinberg::ViewRect* rect) override;
    Steinberg::tresult setFrame(Steinberg::IPlugFrame* frame) override;
    Steinberg::tresult setContentScaleFactor(ScaleFactor factor) override;
    // One tick of the host's run loop: the engine's view timer opcode.
    void onTimer() override;

    // The engine asks for a new size: kept, and the host's frame is asked to
    // resize the view.
    void XMLGUISizeChange(Steinberg::int32 width, Steinberg::int32 height);
    bool isAttached() const { return getSystemWindow() != nullptr; }

    Steinberg::tresult queryInterface(const Steinberg::TUID iid, void** obj) override;
    SX_REFCOUNT_METHODS

private:
    ZEFAWrapper* bridge() const;

    std::weak_ptr<ZEFAWrapperHolder> m_holder;
    Steinberg::IPtr<Steinberg::Linux::IRunLoop> m_runLoop; // while the timer runs
};

} // namespace vantor
