// Windows that come and go as fast as the X server takes them: each round
// maps a batch of top-level windows (each announcing this process in
// _NET_WM_PID, each with a child) and destroys them at once. Prints "churning"
// after the first round; runs until it is killed, its parent ends or its X
// server goes.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <sys/prctl.h>
#include <unistd.h>

#include <csignal>

#include <cstdio>

namespace {
int Ignore(Display*, XErrorEvent*) { return 0; }
int Gone(Display*) { _exit(0); }
}  // namespace

int main() {
    // A test that crashes must not leave the windows churning.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() == 1) return 0;
    Display* d = XOpenDisplay(nullptr);
    if (!d) return 1;
    XSetErrorHandler(Ignore);
    XSetIOErrorHandler(Gone);
    const Window root = DefaultRootWindow(d);
    const Atom pid_atom = XInternAtom(d, "_NET_WM_PID", False);
    const unsigned long pid = static_cast<unsigned long>(getpid());
    constexpr int kBatch = 40;
    for (long round = 0;; ++round) {
        Window made[kBatch];
        for (Window& w : made) {
            w = XCreateSimpleWindow(d, root, 10, 10, 40, 40, 0, 0, 0);
            XChangeProperty(d, w, pid_atom, XA_CARDINAL, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(&pid), 1);
            const Window inner = XCreateSimpleWindow(d, w, 1, 1, 10, 10, 0, 0, 0);
            XMapWindow(d, inner);
            XMapWindow(d, w);
        }
        XFlush(d);
        for (Window w : made) XDestroyWindow(d, w);
        if (round == 0) {
            XSync(d, False);
            std::printf("churning\n");
            std::fflush(stdout);
        } else {
            XFlush(d);
        }
    }
}
