#pragma once
// A constellation simulator on 127.0.0.1 (a free port) for tests that drive
// the bench's simulator link over real TCP. It speaks either dialect, keeps a
// small scenario model (ended -> initialised -> arming -> running) and
// answers every command with a status element. It can split or merge its
// replies across TCP segments, answer late or not at all, refuse
// connections or drop the one it has. It records every byte and command it
// receives, and performs the signal switching commands at their scenario
// time, telling its listeners (the emulated receivers) when the signal goes
// off and on.
//
// Scenario time: the bench takes the scenario second as the UTC second of
// the day plus 15, modulo 3600; a switch at scenario second T happens at the
// start of the UTC second T - 15 of the current hour.
#include <QObject>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QTcpServer;
class QTcpSocket;
class QTimer;

namespace test {

class FakeSimServer : public QObject {
    Q_OBJECT
public:
    // type 0: the first dialect; 1: the second ("GPS" fields, shifted status numbers).
    explicit FakeSimServer(int type = 0);
    ~FakeSimServer() override;

    uint16_t Port() const { return port_; }

    struct Command {
        std::string text;
        int64_t steady_ms;
    };
    struct Switch {
        bool on;
        std::string time;          // the command's time field
        int64_t steady_ms;         // when it took effect
        int64_t utc_ms;
        bool all;                  // all satellites, else one channel
        int channel;
    };

    // --- what it got ---
    const std::string& Received() const { return received_; }
    const std::vector<Command>& Commands() const { return commands_; }
    std::vector<std::string> CommandTexts() const;
    const std::vector<Switch>& Switches() const { return switches_; }
    int Connections() const { return connections_; }
    bool ClientConnected() const;
    // TCP segments with data that the current connection has brought in, as
    // the system counts them: commands glued into one write show as fewer
    // segments than commands, however the reads happened to cut them.
    int DataSegmentsIn() const;

    // --- the scenario (the bench's status codes 0..6) ---
    int Status() const { return status_; }
    void SetStatus(int code);
    int arming_ms = 300;  // from "RU" until the scenario runs

    // --- behaviour ---
    std::vector<size_t> split_sizes;  // each reply in pieces of these sizes (cycled)
    int split_gap_ms = 5;             // between the pieces
    int merge_count = 1;              // replies held back and sent together
    int reply_delay_ms = 0;           // every reply this late
    bool stall = false;               // no replies at all
    // When not empty, every command is answered with these bytes instead of
    // its reply (a simulator in trouble: a <fatal> element, or noise).
    std::string answer;
    // Every reply goes out as its first half only, then the connection closes.
    bool cut_replies = false;
    int drop_after_commands = -1;     // closes the connection after this many commands
    bool drop_unanswered = false;     // ... without answering the last of them
    // At the next "RW": rewinds, closes the connection unanswered and refuses
    // connections for this long (0: for good), as a simulator that restarts
    // its remote port does. Once.
    int rewind_refusal_ms = -1;
    // Stops listening: every later connect is refused.
    void Refuse();
    // Closes the current connection from the simulator's side.
    void DropConnection();
    // Bytes of the simulator's own choosing, sent as they are, at once.
    void SendRaw(const std::string& bytes);

    // The signal went off (false) or on (true), at the moment of the switch.
    void OnSignal(std::function<void(bool on)> listener) { listeners_.push_back(std::move(listener)); }

private:
    void Accept();
    void Listen();
    void Read();
    void Handle(const std::string& command);
    void Reply(const std::string& body);
    void SendPieces(const std::string& bytes);
    void Schedule(bool on, const std::string& time, bool all, int channel);
    void Perform(bool on, const std::string& time, bool all, int channel);
    std::string StatusElement();
    size_t CommandLength(const std::string& buf) const;

    int type_;
    uint16_t port_ = 0;
    std::unique_ptr<QTcpServer> server_;
    QTcpSocket* client_ = nullptr;
    std::string pending_;
    std::string received_;
    std::vector<Command> commands_;
    std::vector<Switch> switches_;
    std::vector<std::string> held_;
    std::deque<std::string> out_;  // reply pieces still to go
    std::unique_ptr<QTimer> out_timer_;
    std::vector<std::function<void(bool)>> listeners_;
    int connections_ = 0;
    int status_ = 6;  // a scenario that has run and ended
    int64_t arming_until_ = -1;
};

int64_t SteadyNowMs();

}  // namespace test
