#include "bench/session/session_host.h"

#include "bench/devices/system_log.h"

namespace bench::session {

void SystemLogSink::WriteLine(const std::string& text) { SystemLogWrite(text); }

}  // namespace bench::session
