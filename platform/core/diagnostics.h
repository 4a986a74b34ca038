#pragma once
// Where the platform layers leave notes that nobody asked for (a refused RTS
// line, a question answered from the queue). The bench points this at its
// system log; until then the notes go to stderr. Never throws.
#include <functional>
#include <string>
#include <string_view>

namespace platform {

using DiagnosticSink = std::function<void(const std::string&)>;

// Replaces the sink; an empty function restores stderr.
void SetDiagnosticSink(DiagnosticSink sink);
void Diagnostic(std::string_view text);

}  // namespace platform
