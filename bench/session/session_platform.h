#pragma once
// The engine's surroundings on this machine: folders and files under the
// program folder, a clock-seeded random generator, single-shot
// continuations on the event loop, and detached program starts.
#include <random>
#include <string>
#include <vector>

#include "bench/session/session_ports.h"
#include "platform/core/clock.h"

namespace bench::session {

// The session's spreadsheet application: a new one at every session start;
// Quit closes what is left open in it.
class SessionSpreadsheet final : public ISessionSpreadsheet {
public:
    void StartSessionExcel() override;
    std::shared_ptr<workbook::Application>& SessionExcel() override { return app_; }
    void QuitSessionExcel() override;

private:
    std::shared_ptr<workbook::Application> app_;
};

class LocalFileSystem final : public IFileSystem {
public:
    // `program_folder` stands for the drive in stored paths ("C:\...").
    explicit LocalFileSystem(std::string program_folder) : program_folder_(std::move(program_folder)) {}
    bool MakeFolder(const std::string& path, std::string& error) override;
    bool FileHasData(const std::string& path) override;
    std::string MapPath(const std::string& path) override;

private:
    std::string program_folder_;
};

// Seeded once from the clock, so every run draws other waits.
class ClockSeededRandom final : public IRandom {
public:
    explicit ClockSeededRandom(const platform::Clock& clock);
    double Next() override;

private:
    std::mt19937_64 engine_;
    std::uniform_real_distribution<double> uniform_{0.0, 1.0};
};

// Runs the continuation from the Qt event loop of the calling thread.
class QtScheduler final : public IScheduler {
public:
    void SingleShot(int ms, std::function<void()> fn) override;
};

// Starts a program detached. A bare program name is the one installed with
// the bench (in `programs_folder`, the folder of its own executable) when it
// is there, else the one the PATH finds.
class DetachedLauncher final : public IProcessLauncher {
public:
    explicit DetachedLauncher(std::string programs_folder) : programs_folder_(std::move(programs_folder)) {}
    std::string StartDetached(const std::string& program, const std::vector<std::string>& args) override;

private:
    std::string programs_folder_;
};

}  // namespace bench::session
