// What every program of a sanitizer build runs with, however it is started
// (by ctest, by a test, by another program of the bench): the sanitizers'
// runtime asks these before main. A report stops the program; leaks and
// races that are the system libraries' own are left out, one line each.
extern "C" {

__attribute__((visibility("default"), used)) const char* __asan_default_options()
{
    return "detect_leaks=1:halt_on_error=1:detect_odr_violation=0";
}

__attribute__((visibility("default"), used)) const char* __ubsan_default_options()
{
    return "print_stacktrace=1:halt_on_error=1";
}

__attribute__((visibility("default"), used)) const char* __lsan_default_options()
{
    return "print_suppressions=0";
}

__attribute__((visibility("default"), used)) const char* __lsan_default_suppressions()
{
    return
        // fontconfig's pattern and font-set caches, filled when Qt first lays out text
        "leak:libfontconfig.so\n"
        // libX11's keyboard map, fetched for a display on the first key looked up
        "leak:XkbGetMap\n"
        // libdbus's message buffers, held by the bus connection Qt's X11 platform opens for the process's life
        "leak:libdbus-1.so\n";
}

__attribute__((visibility("default"), used)) const char* __tsan_default_options()
{
    return "halt_on_error=1:second_deadlock_stack=1:report_signal_unsafe=0";
}

__attribute__((visibility("default"), used)) const char* __tsan_default_suppressions()
{
    return
        // Qt is not built for the sanitizer: its own locks and atomics are
        // invisible to it, so the memory its pooled threads allocate and free
        // looks raced. What Qt itself calls is not watched; the project's own
        // hand-overs through Qt tell the sanitizer their order themselves.
        "called_from_lib:libQt6Core.so.6\n"
        "called_from_lib:libQt6Gui.so.6\n"
        "called_from_lib:libQt6Widgets.so.6\n"
        // the X11 platform's event reader thread, and glib's main context
        // that Qt's event loop runs on, are of the same uninstrumented kind
        "called_from_lib:libQt6XcbQpa.so.6\n"
        "called_from_lib:libglib-2.0.so.0\n";
}

}  // extern "C"
