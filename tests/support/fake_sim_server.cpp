#include "tests/support/fake_sim_server.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <chrono>
#include <utility>

#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "tests/support/qt_app.h"

namespace test {

int64_t SteadyNowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

namespace {
int64_t UtcNowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// The second dialect numbers its states one higher from "Arming" on.
int Native(int type, int code) {
    if (type != 1) return code;
    switch (code) {
    case 3: return 4;
    case 4: return 5;
    case 5: return 6;
    case 6: return 7;
    default: return code;
    }
}

bool StartsWith(const std::string& s, const char* p) { return s.rfind(p, 0) == 0; }
}  // namespace

FakeSimServer::FakeSimServer(int type) : type_(type) {
    EnsureApp();  // the listening socket needs the event loop's dispatcher
    server_ = std::make_unique<QTcpServer>();
    Listen();
    port_ = server_->serverPort();
    connect(server_.get(), &QTcpServer::newConnection, this, [this] { Accept(); });
}

FakeSimServer::~FakeSimServer() {
    if (client_) {
        client_->disconnect(this);
        client_->abort();
    }
}

// The same port again after a refusal.
void FakeSimServer::Listen() { server_->listen(QHostAddress::LocalHost, port_); }

std::vector<std::string> FakeSimServer::CommandTexts() const {
    std::vector<std::string> out;
    for (const Command& c : commands_) out.push_back(c.text);
    return out;
}

bool FakeSimServer::ClientConnected() const { return client_ && client_->state() == QAbstractSocket::ConnectedState; }

int FakeSimServer::DataSegmentsIn() const {
    if (!client_) return -1;
    tcp_info info{};
    socklen_t size = sizeof info;
    if (getsockopt(static_cast<int>(client_->socketDescriptor()), IPPROTO_TCP, TCP_INFO, &info, &size) != 0) return -1;
    return static_cast<int>(info.tcpi_data_segs_in);
}

void FakeSimServer::SendRaw(const std::string& bytes) {
    if (!client_) return;
    client_->write(bytes.data(), static_cast<qint64>(bytes.size()));
    client_->flush();
}

void FakeSimServer::SetStatus(int code) {
    status_ = code;
    arming_until_ = -1;
}

void FakeSimServer::Refuse() {
    server_->close();
    DropConnection();
}

void FakeSimServer::DropConnection() {
    if (!client_) return;
    QTcpSocket* c = client_;
    client_ = nullptr;
    c->disconnect(this);
    c->disconnectFromHost();
    c->deleteLater();
}

void FakeSimServer::Accept() {
    while (QTcpSocket* s = server_->nextPendingConnection()) {
        // One client at a time, as the simulator's remote port.
        DropConnection();
        client_ = s;
        ++connections_;
        pending_.clear();
        connect(s, &QTcpSocket::readyRead, this, [this] { Read(); });
        connect(s, &QTcpSocket::disconnected, this, [this, s] {
            if (client_ == s) client_ = nullptr;
            s->deleteLater();
        });
    }
}

// Commands carry no terminator: each is cut by the grammar of its dialect.
// A power command ends with a one-digit field after a fixed count of commas.
size_t FakeSimServer::CommandLength(const std::string& buf) const {
    for (const char* fixed : {"NULL", "RU", "RW", "-,EN", "-,TIME"}) {
        const std::string f(fixed);
        if (StartsWith(buf, fixed)) {
            // "-,EN" and "-,TIME" share "-,"; "RU"/"RW" are whole.
            return f.size();
        }
        if (buf.size() < f.size() && f.compare(0, buf.size(), buf) == 0) return 0;
    }
    if (StartsWith(buf, "SC,")) return buf.size();  // a path runs to the end of what came
    const size_t first = buf.find(',');
    if (first == std::string::npos) return 0;
    const std::string rest = buf.substr(first + 1);
    int commas = 0;
    if (StartsWith(rest, "POW_LEV"))
        commas = type_ == 1 ? 10 : 7;
    else if (StartsWith(rest, "POW_ON"))
        commas = type_ == 1 ? 8 : 6;
    else if (rest.size() < 7)
        return 0;
    else
        return buf.size();  // not a command of this simulator
    int seen = 0;
    for (size_t i = 0; i < buf.size(); ++i) {
        if (buf[i] == ',' && ++seen == commas) return i + 2 <= buf.size() ? i + 2 : 0;
    }
    return 0;
}

void FakeSimServer::Read() {
    if (!client_) return;
    const QByteArray bytes = client_->readAll();
    const std::string chunk(bytes.constData(), static_cast<size_t>(bytes.size()));
    received_ += chunk;
    pending_ += chunk;
    for (;;) {
        const size_t n = CommandLength(pending_);
        if (n == 0) break;
        const std::string command = pending_.substr(0, n);
        pending_.erase(0, n);
        commands_.push_back({command, SteadyNowMs()});
        if (command == "RW" && rewind_refusal_ms >= 0) {
            const int ms = std::exchange(rewind_refusal_ms, -1);
            SetStatus(2);
            Refuse();
            if (ms > 0) QTimer::singleShot(ms, this, [this] { Listen(); });
            return;
        }
        const bool last = drop_after_commands >= 0 && static_cast<int>(commands_.size()) >= drop_after_commands;
        if (!(last && drop_unanswered)) Handle(command);
        if (last) {
            DropConnection();
            return;
        }
    }
}

std::string FakeSimServer::StatusElement() {
    if (status_ == 3 && arming_until_ >= 0 && SteadyNowMs() >= arming_until_) SetStatus(4);
    return "<status>" + std::to_string(Native(type_, status_)) + "</status>";
}

void FakeSimServer::Handle(const std::string& c) {
    if (!answer.empty()) {
        SendPieces(answer);
        return;
    }
    if (c == "-,EN") {
        SetStatus(6);
    } else if (c == "RW") {
        SetStatus(2);
    } else if (c == "RU") {
        SetStatus(3);
        arming_until_ = SteadyNowMs() + arming_ms;
    } else if (c == "-,TIME") {
        Reply("<data>" + std::to_string(UtcNowMs() / 1000) + "</data>");
        return;
    } else if (c.find(",POW_ON,") != std::string::npos) {
        // The time field, the value, then "GPS" in the second dialect.
        std::vector<std::string> f;
        size_t start = 0;
        for (;;) {
            const size_t comma = c.find(',', start);
            f.push_back(c.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
        const size_t v = 3, target = type_ == 1 ? 5 : 4;
        const bool on = f.size() > v && f[v] == "1";
        // All satellites: "...,0,1,1" / "...,GPS,1,0,1,1"; one channel: "...,ch,1,0" / "...,GPS,ch,0,1,0".
        const bool all = type_ == 1 ? f.size() == 9 && f[6] == "0" && f[7] == "1" && f[8] == "1"
                                    : f.size() == 7 && f[4] == "0" && f[5] == "1" && f[6] == "1";
        const int channel = f.size() > target ? std::atoi(f[target].c_str()) : 0;
        Schedule(on, f[0], all, channel);
    }
    Reply(StatusElement() + "<data>" + c + "</data>");
}

void FakeSimServer::Schedule(bool on, const std::string& time, bool all, int channel) {
    if (time == "-" || time.empty()) {
        Perform(on, time, all, channel);
        return;
    }
    const long scenario = std::atol(time.c_str());
    const int64_t utc = UtcNowMs();
    const int64_t hour_pos = utc % 3'600'000;
    const int64_t target = ((((scenario - 15) % 3600) + 3600) % 3600) * 1000;
    int64_t delta = target - hour_pos;
    if (delta > 1'800'000) delta -= 3'600'000;
    if (delta < -1'800'000) delta += 3'600'000;
    if (delta <= 0) {
        Perform(on, time, all, channel);
        return;
    }
    auto* t = new QTimer(this);
    t->setSingleShot(true);
    t->setTimerType(Qt::PreciseTimer);
    connect(t, &QTimer::timeout, this, [this, t, on, time, all, channel] {
        Perform(on, time, all, channel);
        t->deleteLater();
    });
    t->start(static_cast<int>(delta));
}

void FakeSimServer::Perform(bool on, const std::string& time, bool all, int channel) {
    switches_.push_back({on, time, SteadyNowMs(), UtcNowMs(), all, channel});
    for (auto& l : listeners_) l(on);
}

void FakeSimServer::Reply(const std::string& body) {
    if (stall) return;
    held_.push_back("<msg>" + body + "</msg>");
    if (static_cast<int>(held_.size()) < merge_count) return;
    std::string bytes;
    for (const std::string& h : held_) bytes += h;
    held_.clear();
    if (reply_delay_ms > 0) {
        QTimer::singleShot(reply_delay_ms, this, [this, bytes] { SendPieces(bytes); });
        return;
    }
    SendPieces(bytes);
}

void FakeSimServer::SendPieces(const std::string& bytes) {
    if (!client_) return;
    if (cut_replies) {
        const std::string half = bytes.substr(0, bytes.size() / 2);
        client_->write(half.data(), static_cast<qint64>(half.size()));
        client_->flush();
        DropConnection();
        return;
    }
    if (split_sizes.empty()) {
        client_->write(bytes.data(), static_cast<qint64>(bytes.size()));
        client_->flush();
        return;
    }
    // Each piece in a segment of its own: written alone, a moment apart, in order.
    size_t pos = 0, k = 0;
    while (pos < bytes.size()) {
        const size_t n = std::max<size_t>(1, split_sizes[k++ % split_sizes.size()]);
        out_.push_back(bytes.substr(pos, n));
        pos += n;
    }
    if (!out_timer_) {
        out_timer_ = std::make_unique<QTimer>();
        connect(out_timer_.get(), &QTimer::timeout, this, [this] {
            if (out_.empty()) {
                out_timer_->stop();
                return;
            }
            const std::string piece = out_.front();
            out_.pop_front();
            if (client_) {
                client_->write(piece.data(), static_cast<qint64>(piece.size()));
                client_->flush();
            }
        });
    }
    out_timer_->setInterval(split_gap_ms);
    if (!out_timer_->isActive()) out_timer_->start();
}

}  // namespace test
