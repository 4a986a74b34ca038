#include "bench/instruments/sim_link.h"

#include <QTcpSocket>

#include <fcntl.h>
#include <unistd.h>

#include "bench/instruments/sim_protocol.h"
#include "platform/core/diagnostics.h"

namespace bench::sim {

namespace {
int16_t FromQt(QAbstractSocket::SocketState s) {
    switch (s) {
    case QAbstractSocket::HostLookupState: return kResolvingHost;
    case QAbstractSocket::ConnectingState: return kConnecting;
    case QAbstractSocket::ConnectedState: return kConnected;
    case QAbstractSocket::ClosingState: return kClosing;
    case QAbstractSocket::ListeningState: return kListening;
    case QAbstractSocket::BoundState: return kOpen;
    default: return kClosed;
    }
}

template <class F>
void Run(const F& f) {
    if (f) f();
}
}  // namespace

TcpSimTransport::TcpSimTransport()
    : socket_(std::make_unique<QTcpSocket>()),
      inbox_([this] { HandOver(); },
             [this](const std::string&) {
                 // However the reader's read ended (the peer's close, a
                 // reset), the link closes as an ordinary close, after all
                 // that came before.
                 StopReading();
                 if (state_ == kConnected) socket_->disconnectFromHost();
             }) {
    QTcpSocket* s = socket_.get();
    QObject::connect(s, &QAbstractSocket::stateChanged, this, [this](QAbstractSocket::SocketState st) {
        if (st == QAbstractSocket::ClosingState || st == QAbstractSocket::UnconnectedState) StopReading();
        // An error stays visible; the drop to "unconnected" that follows it
        // does not hide it.
        if (state_ == kError && st == QAbstractSocket::UnconnectedState) return;
        SetState(FromQt(st));
    });
    QObject::connect(s, &QAbstractSocket::connected, this, [this] {
        StartReading();
        SetState(kConnected);
        Run(onConnected);
    });
    QObject::connect(s, &QIODevice::bytesWritten, this, [this] { Pump(); });
    QObject::connect(s, &QAbstractSocket::disconnected, this, [this] {
        queue_.clear();
        if (state_ != kError) SetState(kClosed);
        // Bytes that came before the close are the peer's last words.
        HandOverAll();
        Run(onClosed);
    });
    QObject::connect(s, &QAbstractSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) {
        // The peer closing is an ordinary close, not an error.
        if (e == QAbstractSocket::RemoteHostClosedError) return;
        error_ = socket_->errorString().toStdString();
        SetState(kError);
        Run(onError);
    });
}

TcpSimTransport::~TcpSimTransport() {
    // No events into an owner that is going away.
    socket_->disconnect(this);
    StopReading();
    socket_->abort();
}

void TcpSimTransport::StartReading() {
    StopReading();
    inbox_.Discard();
    read_fd_ = ::fcntl(static_cast<int>(socket_->socketDescriptor()), F_DUPFD_CLOEXEC, 0);
    if (read_fd_ < 0) {
        // Without a descriptor of its own the link hears nothing: said, and
        // the link goes down as if the peer had closed it.
        platform::Diagnostic("Simulator link: no descriptor for its reader");
        QMetaObject::invokeMethod(this, [this] { socket_->disconnectFromHost(); }, Qt::QueuedConnection);
        return;
    }
    inbox_.Start(read_fd_, platform::PortReader::Chunks::Batched);
}

void TcpSimTransport::StopReading() {
    inbox_.Stop();
    if (read_fd_ >= 0) ::close(std::exchange(read_fd_, -1));
}

void TcpSimTransport::HandOver() {
    std::vector<platform::ReceivedChunk> chunks = inbox_.Take();
    if (chunks.empty() || !onData) return;
    std::string bytes = std::move(chunks.front().Bytes);
    for (size_t i = 1; i < chunks.size(); ++i) bytes += chunks[i].Bytes;
    // Nothing may escape into the event loop.
    try {
        onData(bytes);
    } catch (const std::exception& e) {
        platform::Diagnostic(std::string("Unhandled error in a simulator receive event: ") + e.what());
    } catch (...) {
        platform::Diagnostic("Unhandled error in a simulator receive event");
    }
}

void TcpSimTransport::HandOverAll() {
    while (inbox_.Waiting() && onData) HandOver();
    inbox_.Discard();
}

void TcpSimTransport::SetState(int16_t state) {
    if (state == state_) return;
    state_ = state;
    Run(onStateChanged);
}

void TcpSimTransport::Connect(const std::string& host, uint16_t port) {
    queue_.clear();
    StopReading();
    inbox_.Discard();
    socket_->abort();
    error_.clear();
    state_ = kClosed;
    // Unbuffered: Qt itself never reads, so the bytes are all the reader's,
    // in order. Commands have no delimiter: keep each in a segment of its
    // own as far as the stack allows.
    socket_->connectToHost(QString::fromStdString(host), port, QIODevice::ReadWrite | QIODevice::Unbuffered);
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
}

void TcpSimTransport::Close() {
    queue_.clear();
    StopReading();
    inbox_.Discard();
    socket_->abort();
    error_.clear();
    SetState(kClosed);
}

bool TcpSimTransport::Send(const std::string& bytes) {
    if (state_ != kConnected) return false;
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    queue_.push_back(bytes);
    Pump();
    return true;
}

// Left to the socket's own buffer, the commands of one turn of the event
// loop would leave in one write and reach the simulator glued together
// ("NULLNULL"). Each is written and flushed alone; the next waits until the
// socket holds nothing more of it.
void TcpSimTransport::Pump() {
    if (pumping_) return;  // the flush below may report the bytes written at once
    pumping_ = true;
    while (!queue_.empty() && state_ == kConnected && socket_->bytesToWrite() == 0) {
        const std::string command = std::move(queue_.front());
        queue_.pop_front();
        socket_->write(command.data(), static_cast<qint64>(command.size()));
        socket_->flush();
    }
    pumping_ = false;
}

std::string TcpSimTransport::PeerName() const {
    QString name = socket_->peerName();
    if (name.isEmpty()) name = socket_->peerAddress().toString();
    return name.toStdString();
}

}  // namespace bench::sim
