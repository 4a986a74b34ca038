// Kept free of Qt headers: Xlib's macros (None, Bool, Status) clash with Qt.
#include "platform/process/keystrokes.h"

#include <cstdlib>
#include <cstring>
#include <deque>
#include <vector>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
extern "C" {
#include <xdo.h>
}

namespace platform {

namespace {

class RefusingSink final : public KeystrokeSink {
public:
    explicit RefusingSink(std::string why) : why_(std::move(why)) {}
    std::string Unavailable() const override { return why_; }
    bool Activate(int64_t, std::string& why) override {
        why = why_;
        return false;
    }
    bool SendKey(const std::string&, int) override { return false; }
    bool TypeText(const std::string&) override { return false; }

private:
    std::string why_;
};

// X errors on our own connection (a window that vanished between the search
// and the focus request) must not end the bench: Xlib's default handler
// exits the process. They are counted while one request runs.
int g_x_errors = 0;
int CountXError(Display*, XErrorEvent*) {
    ++g_x_errors;
    return 0;
}

class ErrorGuard {
public:
    explicit ErrorGuard(Display* d) : d_(d) {
        XSync(d_, False);
        g_x_errors = 0;
        old_ = XSetErrorHandler(CountXError);
    }
    ~ErrorGuard() {
        XSync(d_, False);
        XSetErrorHandler(old_);
    }
    bool Failed() {
        XSync(d_, False);
        return g_x_errors != 0;
    }
    // Errors so far were expected (windows that went while they were looked at).
    void Forget() {
        XSync(d_, False);
        g_x_errors = 0;
    }

private:
    Display* d_;
    XErrorHandler old_;
};

class XdoSink final : public KeystrokeSink {
public:
    explicit XdoSink(xdo_t* xdo) : xdo_(xdo) {}
    ~XdoSink() override { xdo_free(xdo_); }

    std::string Unavailable() const override { return ""; }

    bool Activate(int64_t pid, std::string& why) override {
        Display* d = xdo_->xdpy;
        ErrorGuard guard(d);
        const Window w = FindWindow(pid);
        if (w == 0) {
            why = "no window of process " + std::to_string(pid);
            return false;
        }
        guard.Forget();
        // A window manager that keeps the stacking order is asked first, so
        // it raises the window itself; the focus is then set directly, which
        // the X server applies before any key that follows.
        if (ActiveWindowSupported()) RequestActivation(w);
        XRaiseWindow(d, w);
        XSetInputFocus(d, w, RevertToParent, CurrentTime);
        if (guard.Failed()) {
            why = "the window of process " + std::to_string(pid) + " refused the focus";
            return false;
        }
        Window focused = 0;
        int revert = 0;
        XGetInputFocus(d, &focused, &revert);
        if (focused == 0 || focused == PointerRoot || OwnerPid(focused) != pid) {
            why = "the focus did not go to process " + std::to_string(pid);
            return false;
        }
        return true;
    }

    bool SendKey(const std::string& key, int count) override {
        ErrorGuard guard(xdo_->xdpy);
        for (int i = 0; i < count; ++i)
            if (xdo_send_keysequence_window(xdo_, CURRENTWINDOW, key.c_str(), 0) != XDO_SUCCESS) return false;
        XFlush(xdo_->xdpy);
        return !guard.Failed();
    }

    bool TypeText(const std::string& text) override {
        if (text.empty()) return true;
        ErrorGuard guard(xdo_->xdpy);
        const bool ok = xdo_enter_text_window(xdo_, CURRENTWINDOW, text.c_str(), 0) == XDO_SUCCESS;
        XFlush(xdo_->xdpy);
        return ok && !guard.Failed();
    }

private:
    // The first viewable window, top-level windows before their children,
    // that announces the process in _NET_WM_PID. The tree is walked here,
    // one request at a time under the caller's error guard: any window may
    // be destroyed between being listed and being asked, and such a window
    // is simply passed over (libxdo's own search reads freed data then).
    Window FindWindow(int64_t pid) {
        Display* d = xdo_->xdpy;
        std::deque<Window> todo{DefaultRootWindow(d)};
        while (!todo.empty()) {
            const Window parent = todo.front();
            todo.pop_front();
            for (Window w : Children(parent)) {
                XWindowAttributes a;
                if (!XGetWindowAttributes(d, w, &a) || a.map_state != IsViewable) continue;
                if (PidOf(w) == pid) return w;
                todo.push_back(w);
            }
        }
        return 0;
    }

    // Children of a window, bottom to top; none when it has gone.
    std::vector<Window> Children(Window w) {
        Window root = 0, parent = 0;
        Window* kids = nullptr;
        unsigned int n = 0;
        std::vector<Window> out;
        if (XQueryTree(xdo_->xdpy, w, &root, &parent, &kids, &n) && kids) out.assign(kids, kids + n);
        if (kids) XFree(kids);
        return out;
    }

    Window ParentOf(Window w) {
        Window root = 0, parent = 0;
        Window* kids = nullptr;
        unsigned int n = 0;
        const bool ok = XQueryTree(xdo_->xdpy, w, &root, &parent, &kids, &n);
        if (kids) XFree(kids);
        return ok && parent != root ? parent : 0;
    }

    // The process a window announces; 0 when it announces none or has gone.
    int64_t PidOf(Window w) {
        Display* d = xdo_->xdpy;
        const Atom pid_atom = XInternAtom(d, "_NET_WM_PID", False);
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        int64_t pid = 0;
        if (XGetWindowProperty(d, w, pid_atom, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after, &data) ==
                Success &&
            data && format == 32 && count >= 1)
            pid = static_cast<int64_t>(*reinterpret_cast<const unsigned long*>(data));
        if (data) XFree(data);
        return pid;
    }

    // The process of the window, or of the nearest ancestor that names one
    // (the focus may rest on a toolkit's inner window).
    int64_t OwnerPid(Window w) {
        for (int depth = 0; w != 0 && depth < 64; ++depth, w = ParentOf(w))
            if (const int64_t pid = PidOf(w)) return pid;
        return 0;
    }

    // Asks the window manager to activate the window, as a pager would.
    void RequestActivation(Window w) {
        Display* d = xdo_->xdpy;
        XEvent e;
        std::memset(&e, 0, sizeof e);
        e.xclient.type = ClientMessage;
        e.xclient.display = d;
        e.xclient.window = w;
        e.xclient.message_type = XInternAtom(d, "_NET_ACTIVE_WINDOW", False);
        e.xclient.format = 32;
        e.xclient.data.l[0] = 2;  // source: a pager, which the manager obeys
        e.xclient.data.l[1] = CurrentTime;
        XSendEvent(d, DefaultRootWindow(d), False, SubstructureNotifyMask | SubstructureRedirectMask, &e);
    }

    // True when the running window manager announces _NET_ACTIVE_WINDOW;
    // without one, libxdo's activation only complains.
    bool ActiveWindowSupported() {
        Display* d = xdo_->xdpy;
        const Atom supported = XInternAtom(d, "_NET_SUPPORTED", False);
        const Atom active = XInternAtom(d, "_NET_ACTIVE_WINDOW", False);
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        bool found = false;
        if (XGetWindowProperty(d, DefaultRootWindow(d), supported, 0, 4096, False, XA_ATOM, &type, &format, &count,
                               &after, &data) == Success &&
            data && format == 32) {
            const Atom* atoms = reinterpret_cast<const Atom*>(data);
            for (unsigned long i = 0; i < count && !found; ++i) found = atoms[i] == active;
        }
        if (data) XFree(data);
        return found;
    }

    xdo_t* xdo_;
};

}  // namespace

std::unique_ptr<KeystrokeSink> MakeKeystrokeSink() {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) return std::make_unique<RefusingSink>("no X display (DISPLAY is not set)");
    xdo_t* xdo = xdo_new(nullptr);
    if (!xdo) return std::make_unique<RefusingSink>(std::string("the X display ") + display + " cannot be opened");
    return std::make_unique<XdoSink>(xdo);
}

}  // namespace platform
