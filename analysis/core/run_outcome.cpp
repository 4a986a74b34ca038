#include "analysis/core/run_outcome.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <set>

#include "analysis/core/byte_stream.h"
#include "analysis/core/folders.h"
#include "analysis/core/nmea_reader.h"

namespace navsift {

namespace fs = std::filesystem;

namespace {

struct Output {
    std::string path;
    bool folder = false;
    bool existed = false;     // a file that was there before the run
    bool appended = false;    // opened for appending: taken back to old_size
    std::uintmax_t old_size = 0;
};

struct RunState {
    std::mutex lock;  // chart workbooks are built by worker threads
    std::size_t produced = 0;
    std::vector<Output> outputs;
    std::set<std::string> told;  // inputs whose reason was said
};

RunState* g_run = nullptr;

void Remember(Output out)
{
    if (g_run == nullptr) {
        return;
    }
    std::lock_guard<std::mutex> hold(g_run->lock);
    for (const Output& known : g_run->outputs) {
        if (known.path == out.path) {
            return;  // the first record knows what was there before
        }
    }
    g_run->outputs.push_back(std::move(out));
}

void TakeBack(const std::vector<Output>& outputs)
{
    for (auto it = outputs.rbegin(); it != outputs.rend(); ++it) {
        std::error_code ec;
        if (it->folder) {
            fs::remove_all(it->path, ec);
        } else if (it->appended && it->existed) {
            if (::truncate(it->path.c_str(), static_cast<off_t>(it->old_size)) != 0) {
                std::fprintf(stderr, "cannot take %s back to its %ju bytes\n", it->path.c_str(), it->old_size);
            }
        } else {
            fs::remove(it->path, ec);
        }
    }
}

bool IsFolderWord(const std::string& path)
{
    std::error_code ec;
    return (!path.empty() && (path.back() == '/' || path.back() == '\\')) || fs::is_directory(path, ec);
}

}  // namespace

void run_produced(std::size_t count)
{
    if (g_run == nullptr) {
        return;
    }
    std::lock_guard<std::mutex> hold(g_run->lock);
    g_run->produced += count;
}

void run_input_lacks(const std::string& input, const std::string& why)
{
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %s\n", input.c_str(), why.c_str());
    if (g_run != nullptr) {
        std::lock_guard<std::mutex> hold(g_run->lock);
        g_run->told.insert(input);
    }
}

std::string why_log_gave_nothing(ByteStream& log, const std::string& why)
{
    if (log.Size() == 0) {
        return "it is empty";
    }
    const int64_t at = log.Tell();
    const PositionTalkers talkers = position_talkers(log);
    // Any accepted sentence at all, of whatever talker.
    bool any = talkers.gp > 0 || !talkers.others.empty();
    if (!any) {
        log.Seek(0);
        std::string sentence;
        NmeaFields fields;
        while (!any && !log.AtEnd()) {
            read_nmea_sentence(log, sentence);
            any = nmea_tokenize(sentence, fields) == 0;
        }
    }
    log.Seek(at);
    if (!any) {
        return "it holds no NMEA sentence";
    }
    return why_no_fix(talkers, why);
}

void run_log_lacks(ByteStream& log, const std::string& path, const std::string& why)
{
    run_input_lacks(path, why_log_gave_nothing(log, why));
}

std::FILE* open_output(const std::string& path, const char* mode)
{
    Output out;
    out.path = path;
    out.appended = mode[0] == 'a';
    std::error_code ec;
    out.existed = fs::exists(path, ec);
    if (out.existed && out.appended) {
        out.old_size = fs::file_size(path, ec);
        if (ec) {
            out.old_size = 0;
        }
    }
    std::FILE* f = std::fopen(path.c_str(), mode);
    if (f != nullptr) {
        Remember(std::move(out));
    }
    return f;
}

bool make_output_folder(const std::string& folder, std::error_code& ec)
{
    ec.clear();
    // The outermost folder that is not there yet is the one to take back.
    fs::path path = fs::path(folder).lexically_normal();
    if (!path.empty() && !path.has_filename()) {
        path = path.parent_path();
    }
    fs::path outermost;
    for (fs::path p = path; !p.empty(); p = p.parent_path()) {
        std::error_code probe;
        if (fs::exists(p, probe)) {
            break;
        }
        outermost = p;
        if (p == p.parent_path()) {
            break;
        }
    }
    fs::create_directories(path, ec);
    if (ec) {
        return false;
    }
    if (!fs::is_directory(path, ec)) {
        if (!ec) {
            ec = std::make_error_code(std::errc::not_a_directory);
        }
        return false;
    }
    if (!outermost.empty()) {
        Output out;
        out.path = outermost.string();
        out.folder = true;
        Remember(std::move(out));
    }
    return true;
}

void note_output(const std::string& path)
{
    Output out;
    out.path = path;
    std::error_code ec;
    out.existed = fs::exists(path, ec);
    Remember(std::move(out));
}

RunOutcome::RunOutcome()
{
    g_run = new RunState;
}

RunOutcome::~RunOutcome()
{
    delete g_run;
    g_run = nullptr;
}

std::size_t RunOutcome::Produced() const
{
    std::lock_guard<std::mutex> hold(g_run->lock);
    return g_run->produced;
}

int RunOutcome::Judge(int status, const std::string& analysis, const std::vector<Input>& inputs)
{
    std::vector<Output> outputs;
    std::set<std::string> told;
    {
        std::lock_guard<std::mutex> hold(g_run->lock);
        if (g_run->produced > 0) {
            return status;
        }
        outputs = g_run->outputs;
        told = g_run->told;
    }
    TakeBack(outputs);
    if (status != 0) {
        return status;  // its failure is said already
    }
    std::string from;
    for (const Input& input : inputs) {
        from += (from.empty() ? " from " : " and ") + input.path;
        if (told.count(input.path) != 0 || IsFolderWord(input.path)) {
            continue;
        }
        ByteStream in;
        if (!in.Open(input.path)) {
            continue;
        }
        const std::string why = "nothing in it for the " + analysis;
        if (input.nmea) {
            run_log_lacks(in, input.path, why);
        } else {
            run_input_lacks(input.path, in.Size() == 0 ? "it is empty" : why);
        }
    }
    std::fflush(stdout);
    std::fprintf(stderr, "navsift: the %s produced nothing%s; no output is written\n", analysis.c_str(),
                 from.c_str());
    return 1;
}

}  // namespace navsift
