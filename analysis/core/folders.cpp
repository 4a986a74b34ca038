#include "analysis/core/folders.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "platform/core/numtext.h"

namespace navsift {

namespace fs = std::filesystem;

namespace {

enum class Kind { Files, Folders, Everything };

std::vector<std::string> List(const std::string& folder, Kind kind, std::string_view suffix)
{
    std::vector<std::string> names;
    std::error_code ec;
    const fs::path where = folder.empty() ? fs::path(".") : fs::path(folder);
    fs::directory_iterator it(where, ec);
    if (ec) {
        return names;
    }
    const std::string want = platform::UpperCase(suffix);
    for (const fs::directory_entry& entry : it) {
        std::string name = entry.path().filename().string();
        if (name.empty() || name[0] == '.') {
            continue;
        }
        std::error_code sec;
        const bool is_dir = entry.is_directory(sec);
        if (kind == Kind::Folders && !is_dir) {
            continue;
        }
        if (kind == Kind::Files) {
            if (is_dir || name.size() < want.size() ||
                platform::UpperCase(std::string_view(name).substr(name.size() - want.size())) != want) {
                continue;
            }
        }
        names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const std::string ua = platform::UpperCase(a), ub = platform::UpperCase(b);
        return ua != ub ? ua < ub : a < b;
    });
    return names;
}

}  // namespace

std::vector<std::string> list_files(const std::string& folder, std::string_view pattern)
{
    if (pattern == "*.*") {
        return List(folder, Kind::Everything, "");
    }
    // The pattern is an asterisk and the ending that names must have.
    const std::string_view ending = pattern.empty() ? pattern : pattern.substr(1);
    return List(folder, Kind::Files, ending);
}

std::vector<std::string> list_folders(const std::string& folder)
{
    return List(folder, Kind::Folders, "");
}

std::vector<FolderFiles> files_or_subfolders(const std::string& folder, std::string_view pattern,
                                             std::string_view sub_pattern)
{
    std::vector<FolderFiles> out;
    if (std::vector<std::string> files = list_files(folder, pattern); !files.empty()) {
        out.push_back({std::string(), std::move(files)});
        return out;
    }
    for (std::string& sub : list_folders(folder)) {
        std::vector<std::string> files = list_files(folder + sub + "/", sub_pattern);
        out.push_back({std::move(sub), std::move(files)});
    }
    return out;
}

std::size_t RunFolder::Files() const
{
    std::size_t n = 0;
    for (const FolderFiles& entry : entries) {
        n += entry.files.size();
    }
    return n;
}

RunFolder read_run_folder(const std::string& word, std::string_view pattern, std::string_view sub_pattern,
                          const char* what)
{
    RunFolder run;
    const PathParts parts = SplitPath(word);
    run.folder = parts.folder;
    const std::string shown = run.folder.empty() ? std::string("./") : run.folder;
    std::error_code ec;
    if (!parts.name.empty() && fs::is_directory(word, ec)) {
        std::fflush(stdout);
        std::fprintf(stderr, "note: %s is a folder; without its trailing \"/\" the folder that holds it, %s, is read "
                             "(write %s/ to read %s itself)\n",
                     word.c_str(), shown.c_str(), word.c_str(), word.c_str());
    } else if (!parts.name.empty() && fs::is_regular_file(word, ec)) {
        std::fflush(stdout);
        std::fprintf(stderr, "note: %s is a file; the whole folder %s is read\n", word.c_str(), shown.c_str());
    }
    const std::string p(pattern);
    if (sub_pattern.empty()) {
        run.entries.push_back({std::string(), list_files(run.folder, pattern)});
    } else {
        run.entries = files_or_subfolders(run.folder, pattern, sub_pattern);
    }
    const std::size_t files = run.Files();
    const bool in_subs = !run.entries.empty() && !run.entries[0].sub_folder.empty();
    if (files == 0) {
        const std::size_t all = list_files(run.folder, "*.*").size();
        std::printf("Reading the folder %s: no %s (%s) among its %zu %s\n", shown.c_str(), what, p.c_str(), all,
                    all == 1 ? "entry" : "entries");
    } else {
        std::string name = what;
        if (files == 1 && name.ends_with('s')) {
            name.pop_back();
        }
        if (in_subs) {
            std::printf("Reading the folder %s: %zu %s (%s) in %zu %s\n", shown.c_str(), files, name.c_str(),
                        std::string(sub_pattern).c_str(), run.entries.size(),
                        run.entries.size() == 1 ? "sub-folder" : "sub-folders");
        } else {
            std::printf("Reading the folder %s: %zu %s (%s)\n", shown.c_str(), files, name.c_str(), p.c_str());
        }
    }
    std::fflush(stdout);
    return run;
}

bool IsPlainOutputName(const std::string& name)
{
    if (name.find_first_of("/\\") == std::string::npos) {
        return true;
    }
    std::fprintf(stderr, "the -name %s holds a folder separator; give the document's name only\n", name.c_str());
    return false;
}

PathParts SplitPath(std::string_view path)
{
    const std::size_t cut = path.find_last_of("/\\");
    if (cut == std::string_view::npos) {
        return {std::string(), std::string(path)};
    }
    return {std::string(path.substr(0, cut + 1)), std::string(path.substr(cut + 1))};
}

std::string StripExtension(std::string_view name)
{
    const std::size_t dot = name.find_last_of('.');
    if (dot == std::string_view::npos || dot == 0) {
        return std::string(name);
    }
    return std::string(name.substr(0, dot));
}

void ProcessingLine(const std::string& sub_folder, const std::string& file)
{
    if (sub_folder.empty()) {
        std::printf("Processing \\%s ... ", file.c_str());
    } else {
        std::printf("Processing \\%s\\%s ... ", sub_folder.c_str(), file.c_str());
    }
}

}  // namespace navsift
