// The base of a plug-in's editor view: `IPlugView` holding the controller that
// created it (one reference), the host's frame, the parent window while
// attached, and the current size. A derived view says which window types it
// supports and draws itself in attachedToParent/removedFromParent.
#pragma once

#include "vst3base/FObject.h"
#include "vst3base/IPlugView.h"

namespace Steinberg::Vst {

class EditController;

class EditorView : public FObject, public IPlugView {
public:
    explicit EditorView(EditController* controller, const ViewRect* size = nullptr);
    ~EditorView() override;

    tresult isPlatformTypeSupported(FIDString type) override;
    // Refuses an unsupported type or a second parent; else keeps the parent.
    tresult attached(void* parent, FIDString type) override;
    tresult removed() override;
    tresult onWheel(float distance) override;
    tresult onKeyDown(char16 key, int16 keyCode, int16 modifiers) override;
    tresult onKeyUp(char16 key, int16 keyCode, int16 modifiers) override;
    tresult getSize(ViewRect* size) override;
    tresult onSize(ViewRect* newSize) override;
    tresult onFocus(TBool state) override;
    tresult setFrame(IPlugFrame* frame) override;
    tresult canResize() override;
    tresult checkSizeConstraint(ViewRect* rect) override;

    tresult queryInterface(const TUID iid, void** obj) override;
    SX_REFCOUNT_METHODS

    EditController* getController() const { return controller_; }
    IPlugFrame* getFrame() const { return frame_; }
    void* getSystemWindow() const { return systemWindow_; }
    const ViewRect& getRect() const { return rect_; }
    void setRect(const ViewRect& r) { rect_ = r; }

protected:
    // Called once the parent window is known / before it goes away.
    virtual void attachedToParent() {}
    virtual void removedFromParent() {}

    ViewRect rect_;

private:
    EditController* controller_;  // one reference held
    IPlugFrame* frame_ = nullptr; // the host's, not owned
    void* systemWindow_ = nullptr;
};

} // namespace Steinberg::Vst
