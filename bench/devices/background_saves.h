#pragma once
// The bench's workbook files written on a thread of their own: the workbook
// is read on the windows' thread (see workbook::PreparedXlsx), the file goes
// to disk in the background, one file after another in the order handed in,
// so a slow disk never freezes the windows. What fails is told in the system
// log from the windows' thread.
#include <functional>
#include <memory>
#include <string>

namespace workbook {
class PreparedXlsx;
}

namespace bench {

// `failure` followed by the reason goes to the system log when the file
// cannot be written: once per `told` flag (which it sets), or every time
// without one. `after` runs on the writer's thread once the file is written
// (true) or failed (false).
void SaveInBackground(std::unique_ptr<workbook::PreparedXlsx> file, const std::string& failure,
                      std::shared_ptr<bool> told = {}, std::function<void(bool written)> after = {});

// Tells a failure that came before the file could be handed over, with the
// same once-per-flag rule.
void TellSaveFailure(const std::string& line, const std::shared_ptr<bool>& told = {});

// Waits until every file handed in so far is on disk (or failed), and
// writes the system-log lines of those that failed. The program calls it
// before it ends; whoever reads such a file at once calls it first.
void WaitForWorkbookSaves();

}  // namespace bench
