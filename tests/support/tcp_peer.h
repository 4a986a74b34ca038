#pragma once
// The simulator's end of the link as a plain socket on a thread of its own
// (127.0.0.1, a free port): it takes connections one after another, reads
// and drops what the bench sends, and writes what it is given on the
// connection at hand, in writes of a given size with nothing between them,
// as fast as the system takes them. Unlike the fake simulator it never
// waits for the GUI thread, so the bench sees its bytes the way a peer on
// another machine would send them.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace test {

class TcpPeer {
public:
    TcpPeer();
    ~TcpPeer();
    TcpPeer(const TcpPeer&) = delete;
    TcpPeer& operator=(const TcpPeer&) = delete;

    // 0 when no listening socket could be had.
    uint16_t Port() const { return port_; }
    // Sends `bytes` on the connection at hand (the next one, if there is
    // none yet), `size` at a time; the caller keeps `bytes` until it went.
    // What is still to go when the bench closes the connection is dropped.
    void Send(std::string_view bytes, size_t size);
    // Closes the connection at hand once what was given before has gone.
    void CloseAfterSending();
    // Whether every job given so far is done.
    bool Done() const;
    // A write that failed: the connection went before its bytes.
    bool Failed() const;
    int Connections() const;

private:
    struct Job {
        std::string bytes;  // a copy: the caller's may go before it is sent
        size_t size = 0;
        bool close = false;
    };
    void Run();
    void Serve(int connection);

    int listener_ = -1;
    uint16_t port_ = 0;
    mutable std::mutex m_;
    std::condition_variable cv_;
    std::deque<Job> jobs_;
    bool busy_ = false;  // a job is being written
    bool stop_ = false;
    bool failed_ = false;
    int connections_ = 0;
    std::thread thread_;
};

}  // namespace test
