#pragma once
// Writes prepared workbook files on a thread of its own, so that a slow disk
// never holds the thread that owns the workbooks. Files are written one at a
// time, strictly in the order they were handed in, so that saves of one file
// land in order and what follows a save (a file removed after it) happens
// after it.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace workbook {

class PreparedXlsx;

class BackgroundSaver {
public:
    // Called on the saver's thread once the file is written (an empty text)
    // or could not be (why).
    using Done = std::function<void(const std::string& error)>;

    BackgroundSaver();
    // Writes what is still queued before it returns: a program that ends
    // keeps its last saves.
    ~BackgroundSaver();
    BackgroundSaver(const BackgroundSaver&) = delete;
    BackgroundSaver& operator=(const BackgroundSaver&) = delete;

    void Submit(std::unique_ptr<PreparedXlsx> file, Done done);
    // Waits until every file handed in so far is written (or failed).
    void Flush();
    // Files handed in and not yet written.
    size_t Pending() const;

private:
    struct Job {
        std::unique_ptr<PreparedXlsx> file;
        Done done;
    };
    void Run();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<Job> queue_;
    bool busy_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace workbook
