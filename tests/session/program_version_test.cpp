// The bench asked for its version from a shell, as other programs are asked:
// it answers and ends, without a display and without opening a window.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

namespace {

struct Answer {
    int status = -1;
    std::string out;
};

// Runs the bench with `word` and no display at all, its errors with its output.
Answer Ask(const std::string& word)
{
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" +
                                std::string(FIXBENCH_BUILD_DIR_DEFAULT) + "/bench/fixbench' " + word + " 2>&1";
    Answer a;
    std::FILE* p = popen(command.c_str(), "r");
    if (p == nullptr) {
        return a;
    }
    std::array<char, 512> buf{};
    for (std::size_t n; (n = std::fread(buf.data(), 1, buf.size(), p)) > 0;) {
        a.out.append(buf.data(), n);
    }
    const int w = pclose(p);
    a.status = WIFEXITED(w) ? WEXITSTATUS(w) : -1;
    return a;
}

TEST(ProgramVersion, FixbenchAnswersVersionAndEnds)
{
    for (const char* word : {"--version", "-version"}) {
        const Answer a = Ask(word);
        EXPECT_EQ(a.status, 0) << word << ": " << a.out;
        EXPECT_EQ(a.out, "fixbench release 1.0.0\n") << word;
    }
}

}  // namespace
