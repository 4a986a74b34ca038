#include "platform/core/diagnostics.h"

#include <cstdio>

namespace platform {

namespace {
DiagnosticSink& Sink() {
    static DiagnosticSink sink;
    return sink;
}
}  // namespace

void SetDiagnosticSink(DiagnosticSink sink) { Sink() = std::move(sink); }

void Diagnostic(std::string_view text) {
    try {
        if (Sink()) {
            Sink()(std::string(text));
            return;
        }
    } catch (...) {
        // fall through to stderr: a note must never break its caller
    }
    std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
}

}  // namespace platform
