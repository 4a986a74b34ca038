// A log as the readers hold it: the same bytes at the same offsets however
// it is opened (a file on disk, a file of /proc, an empty file, a moved
// stream), read again after what lay behind was given back, and a file cut
// short by another program while it is read.
#include <gtest/gtest.h>
#include <unistd.h>

#include "analysis/core/byte_stream.h"
#include "tests/analysis/navsift_harness.h"

namespace navsift_test {
namespace {

using navsift::ByteStream;

// The rest of the stream byte by byte, giving back what lies behind as a
// reader that walks forward does.
std::string ReadOn(ByteStream& in)
{
    std::string read;
    for (int c; (c = in.Get()) >= 0;) {
        read += static_cast<char>(c);
        if (read.size() % 4096 == 0) {
            in.Forget();
        }
    }
    return read;
}

// Bytes that differ from offset to offset, so a page read from the wrong
// place shows.
std::string Numbered(std::size_t lines)
{
    std::string text;
    for (std::size_t k = 0; k < lines; ++k) {
        text += "$GPTXT,line " + std::to_string(k) + "\r\n";
    }
    return text;
}

TEST(ByteStream, AFileReadForwardWhileForgettingReadsTheSameAgain)
{
    ScratchDir dir;
    const std::string text = Numbered(600000);  // about 12 MB
    WriteFile(dir / "log.txt", text);
    ByteStream in;
    ASSERT_TRUE(in.Open((dir / "log.txt").string()));
    ASSERT_EQ(in.Size(), text.size());
    for (int pass = 0; pass < 2; ++pass) {
        in.Seek(0);
        const std::string read = ReadOn(in);
        EXPECT_EQ(read.size(), text.size()) << "pass " << pass;
        EXPECT_TRUE(read == text) << "pass " << pass << ": the bytes read differ from the file";
        // The bytes stay where they were for the readers that look directly.
        EXPECT_EQ(std::string(in.Data() + 20, 40), text.substr(20, 40));
        EXPECT_EQ(std::string(in.Data() + text.size() - 30, 30), text.substr(text.size() - 30));
    }
    // Moved, it is the same stream at the same place.
    in.Seek(12345);
    ByteStream moved = std::move(in);
    EXPECT_EQ(moved.Tell(), 12345);
    EXPECT_EQ(std::string(moved.Data() + 12345, 100), text.substr(12345, 100));
    EXPECT_EQ(in.Size(), 0u);
    EXPECT_TRUE(in.AtEnd());
}

TEST(ByteStream, FilesThatCannotBeMappedAreReadWhole)
{
    ScratchDir dir;
    WriteFile(dir / "empty.txt", "");
    ByteStream in;
    ASSERT_TRUE(in.Open((dir / "empty.txt").string()));
    EXPECT_EQ(in.Size(), 0u);
    EXPECT_EQ(in.Get(), -1);
    // A file of /proc tells no size until read.
    ASSERT_TRUE(in.Open("/proc/self/status"));
    EXPECT_GT(in.Size(), 0u);
    EXPECT_EQ(std::string(in.Data(), 5), "Name:");
    EXPECT_FALSE(in.Open(dir.path().string())) << "a folder is no log";
    EXPECT_EQ(in.Size(), 0u);
    EXPECT_FALSE(in.Open((dir / "missing.txt").string()));
}

TEST(ByteStream, ALogCutShortWhileItIsReadEndsInEmptyBytes)
{
    ScratchDir dir;
    const std::string text = Numbered(100000);
    WriteFile(dir / "log.txt", text);
    ByteStream in;
    ASSERT_TRUE(in.Open((dir / "log.txt").string()));
    ASSERT_EQ(in.Size(), text.size());
    // Another program empties the log (a rotation, a new session).
    ASSERT_EQ(truncate((dir / "log.txt").c_str(), 1000), 0);
    const std::string read = ReadOn(in);
    ASSERT_EQ(read.size(), text.size());
    EXPECT_EQ(read.substr(0, 1000), text.substr(0, 1000));
    EXPECT_EQ(read.find_first_not_of('\0', 1000), std::string::npos) << "the lost end reads as empty bytes";
    EXPECT_EQ(in.Data()[in.Size() - 1], '\0');
    // What the readers make of the rest: nothing, and the next file opens.
    ASSERT_TRUE(in.Open((dir / "log.txt").string()));
    EXPECT_EQ(in.Size(), 1000u);
}

}  // namespace
}  // namespace navsift_test
