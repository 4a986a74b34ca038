#include "platform/workbook/background_save.h"

#include <exception>

#include "platform/workbook/xlsx_writer.h"

namespace workbook {

BackgroundSaver::BackgroundSaver() = default;

BackgroundSaver::~BackgroundSaver() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void BackgroundSaver::Submit(std::unique_ptr<PreparedXlsx> file, Done done) {
    if (!file) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(Job{std::move(file), std::move(done)});
        // Started on first use, so that a program that never saves in the
        // background runs no thread for it.
        if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
    }
    wake_.notify_one();
}

void BackgroundSaver::Flush() {
    std::unique_lock<std::mutex> lock(mutex_);
    idle_.wait(lock, [this] { return queue_.empty() && !busy_; });
}

size_t BackgroundSaver::Pending() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return queue_.size() + (busy_ ? 1 : 0);
}

void BackgroundSaver::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) return;  // stopping, and nothing left to write
        Job job = std::move(queue_.front());
        queue_.pop_front();
        busy_ = true;
        lock.unlock();
        std::string error;
        try {
            job.file->Finish();
        } catch (const std::exception& e) {
            error = e.what();
            if (error.empty()) error = "the file could not be written";
        }
        job.file.reset();
        if (job.done) job.done(error);
        lock.lock();
        busy_ = false;
        if (queue_.empty()) idle_.notify_all();
    }
}

}  // namespace workbook
