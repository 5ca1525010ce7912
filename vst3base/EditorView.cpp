// IPlugView defaults: parent window, frame and size.
#include "vst3base/EditorView.h"

#include "vst3base/EditController.h"

namespace Steinberg::Vst {

EditorView::EditorView(EditController* controller, const ViewRect* size) : controller_(controller) {
    if (size) rect_ = *size;
    if (controller_) controller_->addRef();
}

EditorView::~EditorView() {
    if (controller_) controller_->release();
}

tresult EditorView::isPlatformTypeSupported(FIDString) {
    return kResultFalse;
}

tresult EditorView::attached(void* parent, FIDString type) {
    if (systemWindow_) return kResultFalse;
    if (isPlatformTypeSupported(type) != kResultTrue) return kResultFalse;
    systemWindow_ = parent;
    attachedToParent();
    return kResultOk;
}

tresult EditorView::removed() {
    if (systemWindow_) removedFromParent();
    systemWindow_ = nullptr;
    return kResultOk;
}

tresult EditorView::onWheel(float) {
    return kResultFalse;
}
tresult EditorView::onKeyDown(char16, int16, int16) {
    return kResultFalse;
}
tresult EditorView::onKeyUp(char16, int16, int16) {
    return kResultFalse;
}

tresult EditorView::getSize(ViewRect* size) {
    if (!size) return kInvalidArgument;
    *size = rect_;
    return kResultOk;
}

tresult EditorView::onSize(ViewRect* newSize) {
    if (!newSize) return kInvalidArgument;
    rect_ = *newSize;
    return kResultOk;
}

tresult EditorView::onFocus(TBool) {
    return kResultFalse;
}

tresult EditorView::setFrame(IPlugFrame* frame) {
    frame_ = frame;
    return kResultOk;
}

tresult EditorView::canResize() {
    return kResultFalse;
}
tresult EditorView::checkSizeConstraint(ViewRect*) {
    return kResultFalse;
}

tresult EditorView::queryInterface(const TUID iid, void** obj) {
    if (!obj) return kInvalidArgument;
    if (answerInterface<IPlugView>(iid, this, obj) || answerInterface<FUnknown>(iid, this, obj))
        return kResultOk;
    *obj = nullptr;
    return kNoInterface;
}

} // namespace Steinberg::Vst
