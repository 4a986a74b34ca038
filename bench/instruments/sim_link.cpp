#include "bench/instruments/sim_link.h"

#include <QTcpSocket>

#include "bench/instruments/sim_protocol.h"

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

TcpSimTransport::TcpSimTransport() : socket_(std::make_unique<QTcpSocket>()) {
    QTcpSocket* s = socket_.get();
    QObject::connect(s, &QAbstractSocket::stateChanged, this, [this](QAbstractSocket::SocketState st) {
        // An error stays visible; the drop to "unconnected" that follows it
        // does not hide it.
        if (state_ == kError && st == QAbstractSocket::UnconnectedState) return;
        SetState(FromQt(st));
    });
    QObject::connect(s, &QAbstractSocket::connected, this, [this] {
        SetState(kConnected);
        Run(onConnected);
    });
    QObject::connect(s, &QIODevice::bytesWritten, this, [this] { Pump(); });
    QObject::connect(s, &QAbstractSocket::disconnected, this, [this] {
        queue_.clear();
        if (state_ != kError) SetState(kClosed);
        Run(onClosed);
    });
    QObject::connect(s, &QAbstractSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) {
        // The peer closing is an ordinary close, not an error.
        if (e == QAbstractSocket::RemoteHostClosedError) return;
        error_ = socket_->errorString().toStdString();
        SetState(kError);
        Run(onError);
    });
    QObject::connect(s, &QIODevice::readyRead, this, [this] {
        const QByteArray bytes = socket_->readAll();
        if (onData && !bytes.isEmpty()) onData(std::string(bytes.constData(), static_cast<size_t>(bytes.size())));
    });
}

TcpSimTransport::~TcpSimTransport() {
    // No events into an owner that is going away.
    socket_->disconnect(this);
    socket_->abort();
}

void TcpSimTransport::SetState(int16_t state) {
    if (state == state_) return;
    state_ = state;
    Run(onStateChanged);
}

void TcpSimTransport::Connect(const std::string& host, uint16_t port) {
    queue_.clear();
    socket_->abort();
    error_.clear();
    state_ = kClosed;
    // Commands have no delimiter: keep each in a segment of its own as far
    // as the stack allows.
    socket_->connectToHost(QString::fromStdString(host), port);
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
}

void TcpSimTransport::Close() {
    queue_.clear();
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
