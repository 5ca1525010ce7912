// The editor window interfaces: `IPlugView` (the plug-in's view, embedded into
// a host window), `IPlugFrame` (the host's side that resizes it),
// `IPlugViewContentScaleSupport`, and the Linux run loop through which a plug-in
// gets timers and file-descriptor callbacks on the host's UI thread
// (`IRunLoop`, `IEventHandler`, `ITimerHandler`).
#pragma once

#include <cstddef>

#include "vst3base/FUnknown.h"

namespace Steinberg {

// A rectangle in pixels (16 bytes).
struct ViewRect {
    int32 left = 0;
    int32 top = 0;
    int32 right = 0;
    int32 bottom = 0;

    ViewRect() = default;
    ViewRect(int32 l, int32 t, int32 r, int32 b) : left(l), top(t), right(r), bottom(b) {}
    int32 getWidth() const { return right - left; }
    int32 getHeight() const { return bottom - top; }
};

// Window types a view may be attached to.
inline constexpr FIDString kPlatformTypeHWND = "HWND";
inline constexpr FIDString kPlatformTypeNSView = "NSView";
inline constexpr FIDString kPlatformTypeX11EmbedWindowID = "X11EmbedWindowID";

class IPlugFrame;

class IPlugView : public FUnknown {
public:
    virtual tresult isPlatformTypeSupported(FIDString type) = 0;
    virtual tresult attached(void* parent, FIDString type) = 0;
    virtual tresult removed() = 0;
    virtual tresult onWheel(float distance) = 0;
    virtual tresult onKeyDown(char16 key, int16 keyCode, int16 modifiers) = 0;
    virtual tresult onKeyUp(char16 key, int16 keyCode, int16 modifiers) = 0;
    virtual tresult getSize(ViewRect* size) = 0;
    virtual tresult onSize(ViewRect* newSize) = 0;
    virtual tresult onFocus(TBool state) = 0;
    virtual tresult setFrame(IPlugFrame* frame) = 0;
    virtual tresult canResize() = 0;
    virtual tresult checkSizeConstraint(ViewRect* rect) = 0;

    static constexpr FUID iid{0x5BC32507, 0xD06049EA, 0xA6151B52, 0x2B755B29};

protected:
    ~IPlugView() = default;
};

class IPlugFrame : public FUnknown {
public:
    // The view asks the host to give it a new size; the host calls onSize.
    virtual tresult resizeView(IPlugView* view, ViewRect* newSize) = 0;

    static constexpr FUID iid{0x367FAF01, 0xAFA94693, 0x8D4DA2A0, 0xED0882A3};

protected:
    ~IPlugFrame() = default;
};

class IPlugViewContentScaleSupport : public FUnknown {
public:
    using ScaleFactor = float;
    virtual tresult setContentScaleFactor(ScaleFactor factor) = 0;

    static constexpr FUID iid{0x65ED9690, 0x8AC44525, 0x8AADEF7A, 0x72EA703F};

protected:
    ~IPlugViewContentScaleSupport() = default;
};

static_assert(sizeof(ViewRect) == 16 && offsetof(ViewRect, bottom) == 12);

namespace Linux {

using TimerInterval = uint64; // milliseconds
using FileDescriptor = int;

// Called on the UI thread when a registered descriptor is readable.
class IEventHandler : public FUnknown {
public:
    virtual void onFDIsSet(FileDescriptor fd) = 0;

    static constexpr FUID iid{0x561E65C9, 0x13A0496F, 0x813A2C35, 0x654D7983};

protected:
    ~IEventHandler() = default;
};

// Called on the UI thread at every tick of a registered timer.
class ITimerHandler : public FUnknown {
public:
    virtual void onTimer() = 0;

    static constexpr FUID iid{0x10BDD94F, 0x41424774, 0x821FAD8F, 0xECA72CA9};

protected:
    ~ITimerHandler() = default;
};

// The host's UI-thread loop, offered by the plug frame (and by some hosts'
// application context).
class IRunLoop : public FUnknown {
public:
    virtual tresult registerEventHandler(IEventHandler* handler, FileDescriptor fd) = 0;
    virtual tresult unregisterEventHandler(IEventHandler* handler) = 0;
    virtual tresult registerTimer(ITimerHandler* handler, TimerInterval milliseconds) = 0;
    virtual tresult unregisterTimer(ITimerHandler* handler) = 0;

    static constexpr FUID iid{0x18C35366, 0x97764F1A, 0x9C5B8385, 0x7A871389};

protected:
    ~IRunLoop() = default;
};

} // namespace Linux
} // namespace Steinberg
