#include "tests/support/tcp_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

namespace test {

TcpPeer::TcpPeer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&a), len) != 0 || ::listen(listener_, 4) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        return;
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Run(); });
}

TcpPeer::~TcpPeer() {
    {
        std::lock_guard l(m_);
        stop_ = true;
    }
    cv_.notify_all();
    if (listener_ >= 0) {
        ::shutdown(listener_, SHUT_RDWR);
        ::close(listener_);
    }
    if (thread_.joinable()) thread_.join();
}

void TcpPeer::Send(std::string_view bytes, size_t size) {
    std::lock_guard l(m_);
    jobs_.push_back({std::string(bytes), std::max<size_t>(size, 1), false});
    cv_.notify_all();
}

void TcpPeer::CloseAfterSending() {
    std::lock_guard l(m_);
    jobs_.push_back({{}, 0, true});
    cv_.notify_all();
}

bool TcpPeer::Done() const {
    std::lock_guard l(m_);
    return jobs_.empty() && !busy_;
}

bool TcpPeer::Failed() const {
    std::lock_guard l(m_);
    return failed_;
}

int TcpPeer::Connections() const {
    std::lock_guard l(m_);
    return connections_;
}

void TcpPeer::Run() {
    for (;;) {
        const int c = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (c < 0) return;
        {
            std::lock_guard l(m_);
            ++connections_;
        }
        const int one = 1;
        ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        Serve(c);
        std::lock_guard l(m_);
        if (stop_) return;
    }
}

// Writes the jobs on one connection until the bench closes it, a job closes
// it or the peer stops.
void TcpPeer::Serve(int c) {
    bool open = true;
    std::thread drain([&] {
        char buf[4096];
        while (::read(c, buf, sizeof buf) > 0) {
        }
        std::lock_guard l(m_);
        open = false;
        cv_.notify_all();
    });
    std::unique_lock l(m_);
    for (;;) {
        cv_.wait(l, [&] { return stop_ || !open || !jobs_.empty(); });
        if (stop_ || !open) break;
        const Job job = std::move(jobs_.front());
        jobs_.pop_front();
        if (job.close) break;
        busy_ = true;
        l.unlock();
        bool ok = true;
        for (size_t at = 0; ok && at < job.bytes.size();) {
            const ssize_t w = ::send(c, job.bytes.data() + at, std::min(job.size, job.bytes.size() - at), MSG_NOSIGNAL);
            ok = w > 0;
            if (ok) at += static_cast<size_t>(w);
        }
        l.lock();
        busy_ = false;
        failed_ = failed_ || !ok;
    }
    // What was for a connection the bench closed is not for its next one.
    if (!open) jobs_.clear();
    l.unlock();
    ::shutdown(c, SHUT_RDWR);
    drain.join();
    ::close(c);
}

}  // namespace test
