// The engine's editor view: an X11 child window that shows the pixel canvas.
#include "enginehost/EngineView.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdlib>
#include <cstring>
#include <utility>

namespace morvane {
namespace {

// The window shows this until its first redraw.
constexpr unsigned long kBackground = 0x303030;

Display* displayOf(void* d) {
    return static_cast<Display*>(d);
}

// Catches the X errors of the requests made while it lives (the host's own
// handler is back afterwards), so that a bad window id cannot end the process.
class ErrorTrap {
public:
    explicit ErrorTrap(Display* d) : d_(d) {
        failed() = false;
        previous_ = XSetErrorHandler(record);
    }
    ~ErrorTrap() {
        XSync(d_, False);
        XSetErrorHandler(previous_);
    }
    // Whether a request failed so far (waits for the server's answers).
    bool failedYet() {
        XSync(d_, False);
        return failed();
    }

private:
    static bool& failed() {
        static bool flag = false;
        return flag;
    }
    static int record(Display*, XErrorEvent*) {
        failed() = true;
        return 0;
    }
    Display* d_;
    int (*previous_)(Display*, XErrorEvent*);
};

} // namespace

EngineView::EngineView(void* engineHandle, std::string product)
    : engine(engineHandle), productFile(std::move(product)) {}

EngineView::~EngineView() {
    close();
}

void EngineView::getSize(int32_t& width, int32_t& height) const {
    width = kWidth;
    height = kHeight;
}

bool EngineView::open(void* parentWindow, bool isEmbedded) {
    close();
    parent = parentWindow;
    embedded = isEmbedded;
    const Window parentId = static_cast<Window>(reinterpret_cast<uintptr_t>(parentWindow));
    if (parentId == 0) return false;
    Display* d = XOpenDisplay(nullptr);
    if (!d) return false;
    const int screen = DefaultScreen(d);
    Visual* visual = DefaultVisual(d, screen);
    const int depth = DefaultDepth(d, screen);
    XImage* picture = nullptr;
    Window w = 0;
    {
        ErrorTrap trap(d);
        XWindowAttributes attributes;
        const bool parentOk = XGetWindowAttributes(d, parentId, &attributes) && !trap.failedYet();
        if (parentOk && depth >= 24 && visual->c_class == TrueColor) {
            w = XCreateSimpleWindow(d, parentId, 0, 0, kWidth, kHeight, 0, 0, kBackground);
            XSelectInput(d, w, ExposureMask | StructureNotifyMask);
            if (trap.failedYet()) w = 0;
        }
        if (w) {
            // 32-bit pixels, rows one after another; the image owns them.
            char* bits = static_cast<char*>(std::calloc(size_t(kWidth) * kHeight, 4));
            if (bits)
                picture = XCreateImage(d, visual, unsigned(depth), ZPixmap, 0, bits, kWidth,
                                       kHeight, 32, 0);
            if (!picture) std::free(bits);
        }
        if (w && !picture) XDestroyWindow(d, w);
    }
    if (!picture) {
        XCloseDisplay(d);
        return false;
    }
    display = d;
    window = w;
    image = picture;
    gc = XCreateGC(d, w, 0, nullptr);
    XMapWindow(d, w);
    XSync(d, False); // mapped once open returns
    return true;
}

void EngineView::close() {
    if (!display) return;
    Display* d = displayOf(display);
    {
        ErrorTrap trap(d); // the parent, and the window with it, may be gone
        if (image) XDestroyImage(static_cast<XImage*>(image)); // frees the pixels too
        if (gc) XFreeGC(d, static_cast<GC>(gc));
        if (window) XDestroyWindow(d, window);
    }
    XCloseDisplay(d);
    display = nullptr;
    window = 0;
    gc = nullptr;
    image = nullptr;
}

void EngineView::timerNotify(int32_t id) {
    lastTimer = id;
    drainEvents();
}

int EngineView::drainEvents() {
    if (!display) return 0;
    Display* d = displayOf(display);
    ErrorTrap trap(d);
    // One round trip first: every event the server made for the requests
    // sent so far (the map's exposure, say) is then in the queue.
    XSync(d, False);
    int handled = 0;
    bool redrawNeeded = false;
    while (XPending(d) > 0) {
        XEvent e;
        XNextEvent(d, &e);
        ++handled;
        if (e.type == Expose && e.xexpose.window == window && e.xexpose.count == 0)
            redrawNeeded = true;
        if (e.type == DestroyNotify && e.xdestroywindow.window == window) window = 0;
    }
    if (redrawNeeded && window) {
        ++exposed;
        redraw();
    }
    return handled;
}

void EngineView::redraw() {
    auto* picture = static_cast<XImage*>(image);
    const CanvasPixels* c = canvas;
    const bool usable = c && c->pixels && c->red && c->green && c->blue &&
                        c->width >= uint32_t(kCanvasWidth) && c->height >= uint32_t(kCanvasHeight);
    for (int32_t y = 0; y < kHeight; ++y) {
        const uint8_t* row = usable ? c->pixels + size_t(y / kScale) * c->width : nullptr;
        for (int32_t x = 0; x < kWidth; ++x) {
            unsigned long rgb = 0;
            if (row) {
                const uint8_t i = row[x / kScale];
                rgb = unsigned(c->red[i]) << 16 | unsigned(c->green[i]) << 8 | c->blue[i];
            }
            XPutPixel(picture, x, y, rgb);
        }
    }
    Display* d = displayOf(display);
    XPutImage(d, window, static_cast<GC>(gc), picture, 0, 0, 0, 0, kWidth, kHeight);
    XSync(d, False); // drawn once the event that asked for it is handled
}

} // namespace morvane
