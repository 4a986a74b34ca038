#pragma once
// Small commands on single logs: one sentence per line or regrouped by RMC
// epoch (-conv), logs renamed after their first fix time (-rename), result
// lists to CSV (-results), and the time-step check (-nmea -time).
#include <string>

#include "analysis/core/options.h"

namespace navsift {

int convert_log(const OptionRecord& options);
int rename_logs(const OptionRecord& options);
int results_to_csv(const OptionRecord& options);
int check_time_steps(const OptionRecord& options);

}  // namespace navsift
