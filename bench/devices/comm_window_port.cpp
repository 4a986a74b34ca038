// The device window's port when its device fails: the port lost, the
// time-out's reopening, and the watchdog that takes a silent receiver out.
#include "bench/devices/comm_window.h"

#include "bench/devices/bench_host.h"
#include "bench/devices/console.h"
#include "bench/devices/device_logs.h"
#include "bench/devices/statistics.h"
#include "bench/devices/system_log.h"
#include "platform/comm/serial_port.h"
#include "platform/core/numtext.h"
#include "platform/qt/bench_timer.h"

#include <QPushButton>

#include <algorithm>

namespace bench {

namespace {

// What brings a lost port back when the port time-out does not.
const std::string kNotReopened =
    "it is not opened again while the port time-out is off: press Open Port in its window, or switch on "
    "Option > Device Serial Port Timeout (fixbench --all-menus)";
// Room is short in the status bar: the rest is in the system log.
const std::string kNotReopenedShort = ", not opened again (the time-out is off): Open Port";

}  // namespace

std::string CommWindow::PortTitle(const std::string& path) const {
    const char* which = dev_.DeviceKind == 1 ? ": debug port " : ": port ";
    std::string title = "Device " + dev_.DeviceName + which + std::to_string(port_->CommPort());
    if (!path.empty()) title += " (" + path + ")";
    return title;
}

// Said once: the port closes, so no further error can come from it. The
// unfinished line goes to the logs as received; the logs stay open, so a
// port that opens again (by the time-out, the button or the main window)
// goes on logging into the same files.
void CommWindow::PortLost(const std::string& reason) {
    Handle("MSComm1_OnComm", [&] {
        const std::string path = platform::PortDevicePath(port_->CommPort());
        port_lost_ = true;
        dev_.PortLostTitle = PortTitle(path);
        // With the time-out off nothing tries the port again: a receiver
        // plugged back in would stay unheard all night without a word.
        const bool reopens = dev_.PortTimeoutEnabled;
        SystemLogWrite(PortTitle("") + " lost (" + reason + ")" + (reopens ? std::string() : "; " + kNotReopened));
        // Kept in view while the port is lost: the session's texts of every
        // tick and trial would hide a passing message.
        if (dev_.Host)
            dev_.Host->StatusBarNotice(PortTitle(""),
                                       dev_.PortLostTitle + " lost" + (reopens ? std::string() : kNotReopenedShort));
        SetStatusPanelText(dev_.Console.Status, 1, "PORT LOST");
        OutputMsg(dev_, "PORT LOST: " + reason);
        if (!reopens) OutputMsg(dev_, kNotReopened);

        std::string& unfinished = dev_.Console.Lines[static_cast<size_t>(dev_.Console.Current)];
        for (auto [open, file] : {std::pair{dev_.PrimaryOpen, &dev_.PrimaryFile},
                                  std::pair{dev_.SecondaryOpen, &dev_.SecondaryFile}}) {
            if (!open || unfinished.empty()) continue;
            try {
                file->Write(unfinished);
                cut_by_loss_.push_back(file->Path());
            } catch (...) {
                ErrorReport("MSComm1_OnComm");
            }
        }
        unfinished.clear();

        CommPortClose(dev_);
        ConsoleRefresh(dev_.Console);
        refresh_timer_->SetEnabled(false);
        close_port_->setEnabled(false);
        open_port_->setEnabled(!open_port_disabled_);
        // While the time-out runs, its ticks try to open the port again (a
        // USB adapter plugged back in).
        reopen_pending_ = true;
        reopen_failure_noted_ = false;
    });
}

// A lost port is open again, whichever way: one line marks the gap in the
// logs, and a line cut by the loss is ended there so the first line heard
// again starts a line of its own.
void CommWindow::PortBack() {
    if (!port_lost_) return;
    port_lost_ = false;
    dev_.PortLostTitle.clear();
    std::string logs;
    for (auto [open, file] : {std::pair{dev_.PrimaryOpen, &dev_.PrimaryFile},
                              std::pair{dev_.SecondaryOpen, &dev_.SecondaryFile}}) {
        if (!open) continue;
        if (std::find(cut_by_loss_.begin(), cut_by_loss_.end(), file->Path()) != cut_by_loss_.end()) {
            try {
                file->Write("\r\n");
            } catch (...) {
                ErrorReport("PortBack");
            }
        }
        logs += (logs.empty() ? "" : ", ") + file->Path();
    }
    cut_by_loss_.clear();
    const std::string title = PortTitle(platform::PortDevicePath(port_->CommPort()));
    SystemLogWrite(title + " open again" +
                   (logs.empty() ? std::string() : "; logging goes on after the gap in " + logs));
    SetStatusPanelText(dev_.Console.Status, 1, "PORT OPEN AGAIN");
    if (dev_.Host) {
        dev_.Host->StatusBarNotice(PortTitle(""), "");
        dev_.Host->StatusBarMessage(2, title + " open again");
    }
}

bool CommWindow::DevicePortLost() { return port_lost_ && !port_->PortOpen(); }

void CommWindow::PortTimeoutTick() {
    // A reopen that failed is tried again at every tick until it works; a
    // spell of failures is reported once, with the system's cause.
    if (!port_->PortOpen() && !reopen_pending_) return;
    const bool retrying = reopen_pending_;
    try {
        CommPortClose(dev_);
        CommPortOpen(dev_);
        reopen_pending_ = false;
        OutputMsg(dev_, "PORT BROKEN EVENT");
        if (retrying && port_lost_) {
            PortBack();
            refresh_timer_->SetEnabled(true);
            close_port_->setEnabled(true);
            open_port_->setEnabled(false);
        }
        reopen_failure_noted_ = false;
    } catch (...) {
        // The port is closed now and its device cannot be had.
        reopen_pending_ = true;
        if (!port_lost_) {
            port_lost_ = true;
            dev_.PortLostTitle = PortTitle(platform::PortDevicePath(port_->CommPort()));
            if (dev_.Host) dev_.Host->StatusBarNotice(PortTitle(""), dev_.PortLostTitle + " lost");
            SetStatusPanelText(dev_.Console.Status, 1, "PORT LOST");
        }
        if (reopen_failure_noted_) return;
        reopen_failure_noted_ = true;
        const std::string cause = port_->LastOpenFailure().empty()
                                      ? ErrorOf(std::current_exception()).Description
                                      : port_->LastOpenFailure();
        SystemLogWrite(PortTitle("") + " cannot be opened again (" + cause +
                       "); retried quietly at every time-out (PortTimeout_Timer)");
        OutputMsg(dev_, "PORT BROKEN EVENT");
        OutputMsg(dev_, cause);
    }
}

void CommWindow::WatchDogTick() {
    Handle("DeviceWatchDogTimer_Timer", [&] {
        if (dev_.Host) dev_.Host->DeviceDisable(dev_.DeviceID);
        SetStatusPanelText(dev_.Console.Status, 1, "DEVICE DISABLED");
        // The timer fires again every interval while the receiver stays
        // silent: one line per silence.
        if (dev_.WatchDogDisableNoted) return;
        dev_.WatchDogDisableNoted = true;
        SystemLogWrite("Device " + dev_.DeviceName + ": no line for " +
                       platform::NumberToText(watchdog_timer_->Interval() / 1000.0) +
                       " s, DEVICE DISABLED (DeviceWatchDogTimer_Timer)");
    });
}

}  // namespace bench
