#pragma once
// Keystrokes into another program's window, found by its process id. On
// X11 through libxdo; where there is no X display the sink refuses every
// call and says why, so no key ever lands in an unknown window.
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

class KeystrokeSink {
public:
    virtual ~KeystrokeSink() = default;
    // "" when keys can be sent on this machine; else the reason they cannot.
    virtual std::string Unavailable() const = 0;
    // Raises a window of the process and gives it the keyboard focus. False,
    // with the reason, when the process shows no window or the focus did not
    // go to it: the caller must then send nothing.
    virtual bool Activate(int64_t pid, std::string& why) = 0;
    // A named key ("Tab", "Return") `count` times to the focused window.
    virtual bool SendKey(const std::string& key, int count) = 0;
    // Text typed as it stands, character by character.
    virtual bool TypeText(const std::string& text) = 0;
};

// The X11 sink when the X display named by DISPLAY opens, else one that
// refuses with the reason.
std::unique_ptr<KeystrokeSink> MakeKeystrokeSink();

}  // namespace platform
