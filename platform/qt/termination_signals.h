#pragma once
// SIGTERM and SIGHUP (a shutdown, a closed terminal) reach the event loop
// as a call of the handler with the signal's name. The signal handler only
// writes one byte into a pipe that the event loop watches; nothing else
// runs inside it. One instance at a time; the signals' earlier dispositions
// come back when it goes.
#include <QObject>

#include <functional>
#include <memory>
#include <string>

class QSocketNotifier;

namespace platform {

class TerminationSignals final : public QObject {
public:
    explicit TerminationSignals(std::function<void(const std::string& name)> handler);
    ~TerminationSignals() override;
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // False when the pipe or the handlers could not be set up (then the
    // signals keep their default effect).
    bool Installed() const { return installed_; }

private:
    void Drain();

    std::function<void(const std::string&)> handler_;
    std::unique_ptr<QSocketNotifier> notifier_;
    int fds_[2] = {-1, -1};
    bool installed_ = false;
};

}  // namespace platform
