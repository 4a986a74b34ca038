#pragma once
// A receiver on a pseudo-terminal, for tests that drive the bench through a
// real serial port. The bench opens DevicePath() (or the port number given to
// RegisterPort); the test scripts what the receiver sends and sees every
// byte the bench writes. Runs on the Qt event loop: writes go out and input
// is recorded while events run (test::WaitFor, test::Pump).
//
// Extend by adding reactions with OnCommand / OnBytes, or by deriving.
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QSocketNotifier;
class QTimer;

namespace test {

class EmulatedReceiver {
public:
    using CommandReaction = std::function<void(EmulatedReceiver&, const std::string& line)>;
    using BytesReaction = std::function<void(EmulatedReceiver&, std::string_view chunk)>;

    EmulatedReceiver();
    virtual ~EmulatedReceiver();
    EmulatedReceiver(const EmulatedReceiver&) = delete;
    EmulatedReceiver& operator=(const EmulatedReceiver&) = delete;

    // The device the bench opens (/dev/pts/N).
    const std::string& DevicePath() const { return path_; }
    // Adds "number path" to ComPorts.txt in the program folder, so port
    // `number` of the bench is this receiver.
    void RegisterPort(int number);

    // Sends bytes as one write (queued when the terminal is full).
    void Write(std::string_view bytes);
    // Sends bytes in pieces of the given sizes (cycled), one piece every
    // gap_ms (0: one piece per event-loop pass).
    void WriteInChunks(std::string_view bytes, std::vector<size_t> sizes, int gap_ms = 0);
    // Sends next() every interval_ms until StopStream (an empty result sends
    // nothing that tick).
    void StartStream(std::function<std::string()> next, int interval_ms);
    // Sends the sentences in turn, cycling, one every interval_ms.
    void StartStream(std::vector<std::string> sentences, int interval_ms);
    void StopStream();
    // True while bytes given to Write / WriteInChunks are still to go out.
    bool Sending() const;

    // Everything the bench wrote to the receiver, as bytes.
    const std::string& Received() const { return received_; }
    // The received bytes cut after each LF (an unfinished last line too).
    std::vector<std::string> ReceivedLines() const;
    void ClearReceived() { received_.clear(); line_.clear(); }

    // Runs reaction for every received line (up to and with its LF) that
    // contains match.
    void OnCommand(std::string match, CommandReaction reaction);
    // Runs reaction for every chunk of received bytes.
    void OnBytes(BytesReaction reaction);

    // Hands the terminal's master side to a child process that relays its
    // bytes both ways, so the far end is a process of its own that a test
    // can kill (what a USB adapter pulled out looks like to the reader).
    void RelayThroughChildProcess();
    // Kills that process and waits for it: the terminal hangs up. The
    // receiver then sends and hears nothing more.
    void KillRelayProcess();

private:
    void ReadInput();
    void Flush();
    struct Piece {
        std::string bytes;
        int delay_ms;
    };
    void NextPiece();

    void WatchMaster();

    int master_ = -1;  // the terminal's master, or the socket to the relay process
    int slave_ = -1;
    int relay_pid_ = -1;
    std::string path_;
    std::string received_;
    std::string line_;
    std::string outgoing_;  // bytes of the current piece not yet written
    std::deque<Piece> pieces_;
    bool piece_timer_running_ = false;
    std::unique_ptr<QSocketNotifier> read_notifier_;
    std::unique_ptr<QSocketNotifier> write_notifier_;
    std::unique_ptr<QTimer> piece_timer_;
    std::unique_ptr<QTimer> stream_timer_;
    std::function<std::string()> stream_next_;
    std::vector<std::pair<std::string, CommandReaction>> commands_;
    std::vector<BytesReaction> byte_reactions_;
};

// Read system calls made so far by the calling thread (the one the bench
// runs on): a port polled over and over shows as thousands a second.
long ReadCallsOfThisThread();

// "$" & body & "*" & checksum & CR LF.
std::string Sentence(std::string_view body_with_dollar);

// What a receiver at the wrong baud rate sends: `n` bytes of every value but
// LF, in no order a line could be read from.
std::string LineFreeNoise(size_t n);

}  // namespace test
