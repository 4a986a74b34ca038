// A batched reader's inbox over a real socket, its far end written a byte at
// a time by another thread: every byte reaches the GUI thread once and in
// order, in a few turns rather than one a byte (however long each turn
// takes), and the far end's close
// comes after the last of them.
#include "platform/comm/port_inbox.h"
#include "tests/support/qt_app.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace platform;

TEST(PortInboxBatched, AByteAtATimeComesWholeInOrderInFewTurnsAndTheCloseLast) {
    test::EnsureApp();
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    std::string sent;
    for (int k = 0; sent.size() < 100000; ++k) sent += std::to_string(k) + ",";

    std::string got;
    int turns = 0;
    std::string lost;
    size_t got_at_loss = 0;
    PortInbox inbox(
        [&] {
            ++turns;
            for (const ReceivedChunk& c : inbox.Take()) got += c.Bytes;
            // The owner works on what it took for a while, as a parser
            // would, and more bytes come meanwhile.
            const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(300);
            while (std::chrono::steady_clock::now() < until) {
            }
        },
        [&](const std::string& cause) {
            lost = cause;
            got_at_loss = got.size();
        });
    const auto start = std::chrono::steady_clock::now();
    inbox.Start(fds[0], PortReader::Chunks::Batched);
    std::thread writer([&] {
        for (char ch : sent)
            if (::write(fds[1], &ch, 1) != 1) return;
        ::close(fds[1]);
    });
    const bool ended = test::WaitFor([&] { return !lost.empty(); }, 60000);
    const double elapsed_us =
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
    writer.join();
    inbox.Stop();
    ::close(fds[0]);

    ASSERT_TRUE(ended) << got.size() << " of " << sent.size() << " bytes, no close";
    EXPECT_EQ(got, sent) << "every byte once, in order";
    EXPECT_EQ(got_at_loss, sent.size()) << "the close comes after the bytes before it";
    EXPECT_EQ(lost, "the device hung up");
    // Wake-ups are at least a gap apart while bytes keep coming; a backlog
    // goes in shares; one more for the close.
    EXPECT_LE(turns, static_cast<int>(elapsed_us / PortReader::kBatchGapUs + sent.size() / PortInbox::kShareBytes) + 2)
        << "in " << elapsed_us / 1000 << " ms";
}
