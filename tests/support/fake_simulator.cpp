#include "tests/support/fake_simulator.h"

#include "platform/core/numtext.h"

namespace fakes {

void FakeSimulator::SimRestart(double power, int16_t restart_arg, double first_sat_power,
                               int16_t first_sat_channel, int16_t first_sat_en, int16_t setup_time,
                               double sim_power, bool restart_before_sim) {
    powers.push_back(power);
    polls_left_ = polls_until_ready;
    if (calls_)
        calls_->push_back("SIM.SimRestart(" + platform::NumberToText(power) + "," + std::to_string(restart_arg) +
                          "," + platform::NumberToText(first_sat_power) + "," + std::to_string(first_sat_channel) +
                          "," + std::to_string(first_sat_en) + "," + std::to_string(setup_time) + "," +
                          platform::NumberToText(sim_power) + "," + (restart_before_sim ? "true" : "false") + ")");
}

bool FakeSimulator::IsSimMngCompleted() {
    if (polls_left_ > 0) {
        --polls_left_;
        return false;
    }
    return true;
}

void FakeSimulator::Start_Command_Click() {
    if (calls_) calls_->push_back("SIM.Start_Command_Click()");
}

}  // namespace fakes
