#pragma once
// Report tests that drive the menu roads the way the main window's menu
// entries do: the report commands over a temporary folder, their questions
// answered through the prompt service, the finished report kept open.
#include <memory>

#include "bench/reports/report_commands.h"
#include "platform/ui/prompts.h"
#include "tests/reports/report_bench.h"
#include "tests/support/qt_app.h"

namespace reptest {

class MenuRoadTest : public ReportTest {
protected:
    void SetUp() override {
        test::EnsureApp();
        platform::Prompts::Instance().ClearQueue();
        platform::Prompts::Instance().ClearAsked();
        commands = std::make_unique<bench::reports::ReportCommands>(host, dir.Path().string());
        commands->SetOpener([](const std::string&) { return true; });
    }
    // Until the report the last command started is built.
    void Wait() { ASSERT_TRUE(test::WaitFor([&] { return !commands->Busy(); }, 60000)); }
    std::unique_ptr<bench::reports::ReportCommands> commands;
};

}  // namespace reptest
