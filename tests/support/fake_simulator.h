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
    std::vector<double> powers;  // power of every SimRestart, in order

    void SimRestart(double power, int16_t restart_arg, double first_sat_power, int16_t first_sat_channel,
                    int16_t first_sat_en, int16_t setup_time, double sim_power, bool restart_before_sim) override;
    bool IsSimMngCompleted() override;
    int16_t GetSimStatus() override { return status; }
    void Start_Command_Click() override;
    std::string NotReadyReason() override { return not_ready; }
    std::string not_ready;  // "" while the simulator can take commands

private:
    std::vector<std::string>* calls_;
    int polls_left_ = 0;
};

}  // namespace fakes
