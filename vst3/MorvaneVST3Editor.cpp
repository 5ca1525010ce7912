// The editor view: the engine's window in the host's, driven by a timer.
#include "vst3/MorvaneVST3Editor.h"

#include <cstdint>
#include <cstring>

#include "vst3/PlugController.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace vantor {

MorvaneVST3Editor::MorvaneVST3Editor(PlugController* controller,
                                     const std::shared_ptr<ZEFAWrapperHolder>& holder)
    : EditorView(controller), m_holder(holder) {}

MorvaneVST3Editor::~MorvaneVST3Editor() {
    if (isAttached()) removed();
    if (auto* controller = static_cast<PlugController*>(getController()))
        controller->viewClosed(this);
}

ZEFAWrapper* MorvaneVST3Editor::bridge() const {
    const auto h = m_holder.lock();
    return h ? h->wrapper : nullptr;
}

tresult MorvaneVST3Editor::queryInterface(const TUID iid, void** obj) {
    if (!obj) return kInvalidArgument;
    if (answerInterface<IPlugViewContentScaleSupport>(iid, this, obj) ||
        answerInterface<Linux::ITimerHandler>(iid, this, obj))
        return kResultOk;
    return EditorView::queryInterface(iid, obj);
}

tresult MorvaneVST3Editor::isPlatformTypeSupported(FIDString type) {
    return type && std::strcmp(type, kPlatformTypeX11EmbedWindowID) == 0 ? kResultTrue
                                                                         : kResultFalse;
}

tresult MorvaneVST3Editor::attached(void* parent, FIDString type) {
    ZEFAWrapper::log("Editor attached", 1);
    if (isAttached() || !parent || isPlatformTypeSupported(type) != kResultTrue)
        return kResultFalse;
    ZEFAWrapper* engine = bridge();
    const uint64_t owner = reinterpret_cast<uintptr_t>(this);
    if (!engine) return kResultFalse;
    if (!engine->createView(owner, parent, false)) {
        engine->destroyView(owner);
        return kResultFalse;
    }
    EditorView::attached(parent, type);

    // The host's UI loop: from the frame, else from the application context.
    m_runLoop = queryInterfaceOf<Linux::IRunLoop>(getFrame());
    if (!m_runLoop)
        if (auto* controller = getController())
            m_runLoop = queryInterfaceOf<Linux::IRunLoop>(controller->getHostContext());
    if (m_runLoop && m_runLoop->registerTimer(this, kTimerInterval) != kResultOk) m_runLoop.reset();
    return kResultOk;
}

tresult MorvaneVST3Editor::removed() {
    ZEFAWrapper::log("Editor removed", 1);
    if (m_runLoop) m_runLoop->unregisterTimer(this);
    m_runLoop.reset();
    if (isAttached())
        if (ZEFAWrapper* engine = bridge()) engine->destroyView(reinterpret_cast<uintptr_t>(this));
    EditorView::removed();
    if (auto* controller = static_cast<PlugController*>(getController()))
        controller->viewClosed(this);
    return kResultOk;
}

void MorvaneVST3Editor::onTimer() {
    if (ZEFAWrapper* engine = bridge()) engine->timernotify(kTimerId);
}

tresult MorvaneVST3Editor::getSize(ViewRect* size) {
    if (!size) return kInvalidArgument;
    int32_t width = 0, height = 0;
    ZEFAWrapper* engine = bridge();
    if (!engine || !engine->getSize(width, height)) width = height = 0;
    *size = ViewRect(0, 0, width, height);
    return kResultOk;
}

tresult MorvaneVST3Editor::onSize(ViewRect*) {
    return kResultOk;
}

tresult MorvaneVST3Editor::setContentScaleFactor(ScaleFactor) {
    return kResultOk;
}

tresult MorvaneVST3Editor::canResize() {
    return kResultTrue;
}

tresult MorvaneVST3Editor::checkSizeConstraint(ViewRect* rect) {
    return getSize(rect);
}

tresult MorvaneVST3Editor::setFrame(IPlugFrame* frame) {
    return EditorView::setFrame(frame);
}

void MorvaneVST3Editor::XMLGUISizeChange(int32 width, int32 height) {
    if (width < 0 || height < 0) return;
    rect_ = ViewRect(0, 0, width, height);
    if (IPlugFrame* frame = getFrame()) {
        ViewRect size = rect_;
        frame->resizeView(this, &size);
    }
}

} // namespace vantor
