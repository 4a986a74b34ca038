#pragma once
// A simulator window that records its calls and reports its restart complete
// after a set number of polls.
#include <string>
#include <vector>

#include "bench/session/session_ports.h"

namespace fakes {

class FakeSimulator : public bench::session::ISimulator {
public:
    explicit FakeSimulator(std::vector<std::string>* calls) : calls_(calls) {}

    int polls_until_ready = 2;
    int16_t status = 0;
    bool link_up = true;    // false: the link is down, nothing is sent
    bool fail_restart = false;  // the restart sequence reports a failure
    std::vector<double> powers;  // power of every SimRestart, in order

    void SimRestart(double power, int16_t restart_arg, double first_sat_power, int16_t first_sat_channel,
                    int16_t first_sat_en, int16_t setup_time, double sim_power, bool restart_before_sim) override;
    bool IsSimMngCompleted() override;
    bool IsSimMngFailed() override { return fail_restart || link_failed_; }
    int16_t GetSimStatus() override { return status; }
    void Start_Command_Click() override;
    bool SimLinkUp() override { return link_up; }
    void SimSetPower(double level) override;
    void SimSetChPower(const std::string& time, int16_t channel, double level) override;
    void SimTurnAllONOFF(const std::string& time, int16_t on) override;
    void SimTurnChONOFF(const std::string& time, int16_t channel, int16_t on) override;
    std::string NotReadyReason() override { return not_ready; }
    std::string not_ready;  // "" while the simulator can take commands

private:
    void Record(const std::string& call);
    std::vector<std::string>* calls_;
    int polls_left_ = 0;
    bool link_failed_ = false;
};

}  // namespace fakes
