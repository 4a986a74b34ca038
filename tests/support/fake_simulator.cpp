#include "tests/support/fake_simulator.h"

#include "platform/core/numtext.h"

namespace fakes {

void FakeSimulator::SimRestart(double power, int16_t restart_arg, double first_sat_power,
                               int16_t first_sat_channel, int16_t first_sat_en, int16_t setup_time,
                               double sim_power, bool restart_before_sim) {
    powers.push_back(power);
    polls_left_ = polls_until_ready;
    // A link that cannot be made ends the sequence, as the real one does.
    link_failed_ = !link_up;
    if (calls_)
        calls_->push_back("SIM.SimRestart(" + platform::NumberToText(power) + "," + std::to_string(restart_arg) +
                          "," + platform::NumberToText(first_sat_power) + "," + std::to_string(first_sat_channel) +
                          "," + std::to_string(first_sat_en) + "," + std::to_string(setup_time) + "," +
                          platform::NumberToText(sim_power) + "," + (restart_before_sim ? "true" : "false") + ")");
}

bool FakeSimulator::IsSimMngCompleted() {
    if (fail_restart || link_failed_) return false;
    if (polls_left_ > 0) {
        --polls_left_;
        return false;
    }
    return true;
}

void FakeSimulator::Start_Command_Click() {
    if (calls_) calls_->push_back("SIM.Start_Command_Click()");
}

void FakeSimulator::Record(const std::string& call) {
    if (calls_) calls_->push_back(link_up ? call : call + " not sent");
}

void FakeSimulator::SimSetPower(double level) { Record("SIM.SimSetPower(" + platform::NumberToText(level) + ")"); }

void FakeSimulator::SimSetChPower(const std::string& time, int16_t channel, double level) {
    Record("SIM.SimSetChPower(" + time + "," + std::to_string(channel) + "," + platform::NumberToText(level) + ")");
}

void FakeSimulator::SimTurnAllONOFF(const std::string& time, int16_t on) {
    Record("SIM.SimTurnAllONOFF(" + time + "," + std::to_string(on) + ")");
}

void FakeSimulator::SimTurnChONOFF(const std::string& time, int16_t channel, int16_t on) {
    Record("SIM.SimTurnChONOFF(" + time + "," + std::to_string(channel) + "," + std::to_string(on) + ")");
}

}  // namespace fakes
