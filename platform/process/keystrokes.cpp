// Kept free of Qt headers: Xlib's macros (None, Bool, Status) clash with Qt.
#include "platform/process/keystrokes.h"

#include <cstdlib>
#include <cstring>

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
        // A window manager that keeps the stacking order is asked first, so
        // it raises the window itself; the focus is then set directly, which
        // the X server applies before any key that follows.
        if (ActiveWindowSupported()) xdo_activate_window(xdo_, w);
        xdo_raise_window(xdo_, w);
        xdo_focus_window(xdo_, w);
        if (guard.Failed()) {
            why = "the window of process " + std::to_string(pid) + " refused the focus";
            return false;
        }
        Window focused = 0;
        if (xdo_get_focused_window_sane(xdo_, &focused) != XDO_SUCCESS || focused == 0 ||
            xdo_get_pid_window(xdo_, focused) != pid) {
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
    Window FindWindow(int64_t pid) {
        xdo_search_t search;
        std::memset(&search, 0, sizeof search);
        search.pid = static_cast<int>(pid);
        search.only_visible = 1;
        search.max_depth = -1;
        search.require = xdo_search_t::SEARCH_ALL;
        search.searchmask = SEARCH_PID | SEARCH_ONLYVISIBLE;
        Window* list = nullptr;
        unsigned int n = 0;
        xdo_search_windows(xdo_, &search, &list, &n);
        const Window w = n > 0 ? list[0] : 0;
        std::free(list);
        return w;
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
