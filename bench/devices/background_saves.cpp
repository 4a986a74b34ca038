#include "bench/devices/background_saves.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <mutex>
#include <vector>

#include "bench/devices/system_log.h"
#include "platform/workbook/background_save.h"
#include "platform/workbook/xlsx_writer.h"

namespace bench {

namespace {

// A failure waiting to be told on the windows' thread.
struct Failure {
    std::shared_ptr<bool> told;
    std::string line;
};

struct News {
    std::mutex mutex;
    std::vector<Failure> failures;
};

News& PendingNews() {
    static News news;
    return news;
}

// Made after the news it reports into, so it is gone (its last files
// written) before them at the program's end.
workbook::BackgroundSaver& Saver() {
    PendingNews();
    static workbook::BackgroundSaver saver;
    return saver;
}

void Tell(const Failure& f) {
    if (f.told) {
        if (*f.told) return;
        *f.told = true;
    }
    SystemLogWrite(f.line);
}

void DeliverNews() {
    std::vector<Failure> failures;
    {
        std::lock_guard<std::mutex> lock(PendingNews().mutex);
        failures.swap(PendingNews().failures);
    }
    for (const Failure& f : failures) Tell(f);
}

}  // namespace

void SaveInBackground(std::unique_ptr<workbook::PreparedXlsx> file, const std::string& failure,
                      std::shared_ptr<bool> told, std::function<void(bool)> after) {
    Saver().Submit(std::move(file), [failure, told, after](const std::string& error) {
        if (after) after(error.empty());
        if (error.empty()) return;
        {
            std::lock_guard<std::mutex> lock(PendingNews().mutex);
            PendingNews().failures.push_back(Failure{told, failure + error});
        }
        if (QCoreApplication* app = QCoreApplication::instance())
            QMetaObject::invokeMethod(app, &DeliverNews, Qt::QueuedConnection);
    });
}

void TellSaveFailure(const std::string& line, const std::shared_ptr<bool>& told) { Tell(Failure{told, line}); }

void WaitForWorkbookSaves() {
    Saver().Flush();
    DeliverNews();
}

}  // namespace bench
