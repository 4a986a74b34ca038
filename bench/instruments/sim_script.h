#pragma once
// The simulator as the script language reaches it: the controller's
// operations, with the window shown on the scripts' "SIMCONNECT".
#include <functional>
#include <string>

#include "bench/instruments/script_ports.h"
#include "bench/instruments/sim_mng.h"

namespace bench::sim {

class SimScriptAdapter final : public instruments::ScriptSimulator {
public:
    SimScriptAdapter(SimMng& sim, std::function<void()> show) : sim_(sim), show_(std::move(show)) {}
    void SimShow() override {
        if (show_) show_();
    }
    void SimConnect(const std::string& host, const std::string& port) override { sim_.SimConnect(host, port); }
    void SimLoadScenario(const std::string& path) override { sim_.SimLoadScenario(path); }
    void SimStartScenario() override { sim_.SimStartScenario(); }
    void SimStopScenario() override { sim_.SimStopScenario(); }
    void SimRewindScenario() override { sim_.SimRewindScenario(); }
    void SimSetPower(double level) override { sim_.SimSetPower(level); }
    void SimIncreasePower(double step) override { sim_.SimIncreasePower(step); }
    void SimDecreasePower(double step) override { sim_.SimDecreasePower(step); }
    void SimSetSatPower(int16_t sat, double level) override { sim_.SimSetSatPower(sat, level); }
    void SimIncreaseSatPower(int16_t sat, double step) override { sim_.SimIncreaseSatPower(sat, step); }
    void SimDecreaseSatPower(int16_t sat, double step) override { sim_.SimDecreaseSatPower(sat, step); }
    void SimSetChPower(const std::string& time, int16_t ch, double level) override { sim_.SimSetChPower(time, ch, level); }
    void SimIncreaseChPower(int16_t ch, double step) override { sim_.SimIncreaseChPower(ch, step); }
    void SimDecreaseChPower(int16_t ch, double step) override { sim_.SimDecreaseChPower(ch, step); }
    void SimTurnSatONOFF(int16_t sat, int16_t on) override { sim_.SimTurnSatONOFF(sat, on); }
    void SimTurnChONOFF(const std::string& time, int16_t ch, int16_t on) override { sim_.SimTurnChONOFF(time, ch, on); }
    void SimTurnAllONOFF(const std::string& time, int16_t on) override { sim_.SimTurnAllONOFF(time, on); }

private:
    SimMng& sim_;
    std::function<void()> show_;
};

}  // namespace bench::sim
