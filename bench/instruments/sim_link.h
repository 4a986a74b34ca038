#pragma once
// The TCP link to the simulator, reporting the bench's socket state numbers
// (0 closed, 4 resolving host, 6 connecting, 7 connected, 8 closing, 9 error).
// An error state stays until the next close or connect, so the operator sees
// it; a peer that closes the connection leaves the state "Closed".
//
// Qt connects, writes and closes; a reader thread of the link's own reads
// (platform/comm), so a peer that sends its replies a few bytes at a time
// costs the GUI thread one hand-over for all that came meanwhile, not one
// event per arrival. What was read before the peer closed is handed over
// before the close.
#include <QObject>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "platform/comm/port_inbox.h"

class QTcpSocket;

namespace bench::sim {

class SimTransport {
public:
    virtual ~SimTransport() = default;
    virtual int16_t State() const = 0;
    virtual void Connect(const std::string& host, uint16_t port) = 0;
    virtual void Close() = 0;
    // Hands one command to the socket; false when not connected. Commands
    // have no terminator, so each leaves in a write of its own, in order.
    virtual bool Send(const std::string& bytes) = 0;
    virtual std::string PeerName() const = 0;
    // The reason of the last error state, for the log.
    virtual std::string ErrorText() const = 0;

    // Events, run on the GUI thread from the event loop.
    std::function<void()> onConnected;
    std::function<void()> onClosed;
    std::function<void()> onError;
    std::function<void()> onStateChanged;
    std::function<void(const std::string&)> onData;
};

class TcpSimTransport final : public QObject, public SimTransport {
    Q_OBJECT
public:
    TcpSimTransport();
    ~TcpSimTransport() override;
    int16_t State() const override { return state_; }
    void Connect(const std::string& host, uint16_t port) override;
    void Close() override;
    bool Send(const std::string& bytes) override;
    std::string PeerName() const override;
    std::string ErrorText() const override { return error_; }

private:
    void SetState(int16_t state);
    void Pump();
    void StartReading();
    // Ends the reader and lets go of its descriptor; what it read stays
    // in the inbox.
    void StopReading();
    // Everything still waiting, to onData, in one piece.
    void HandOver();
    void HandOverAll();
    std::unique_ptr<QTcpSocket> socket_;
    // The reader's own descriptor of the connection (a duplicate), so the
    // socket's closing it can never leave the reader on a number reused.
    int read_fd_ = -1;
    platform::PortInbox inbox_;
    // Commands waiting until the socket has handed the one before to the system.
    std::deque<std::string> queue_;
    bool pumping_ = false;
    int16_t state_ = 0;
    std::string error_;
};

}  // namespace bench::sim
