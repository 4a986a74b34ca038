// What Qt says on its own while a benchmark runs (a platform plugin's
// notes, a missing runtime folder) is none of the benchmark's figures: it is
// kept out of the output, all but what is critical.
#include <QString>
#include <QtGlobal>

#include <cstdio>

namespace {

void KeepOut(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtCriticalMsg || type == QtFatalMsg) {
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    }
}

const bool kInstalled = [] {
    qInstallMessageHandler(KeepOut);
    return true;
}();

}  // namespace
