#pragma once
// Folder listings and path splitting. Folder texts are prefixes that end in a
// separator ("/" or "\"), or are empty for the working folder.
#include <string>
#include <string_view>
#include <vector>

namespace navsift {

// Names of the entries of `folder`, dotfiles skipped, sorted without regard
// to letter case. "*.*" lists files and sub-folders; a pattern "*" plus four
// characters ("*.txt") lists the files whose last four characters match it
// in any letter case.
std::vector<std::string> list_files(const std::string& folder, std::string_view pattern);
// Names of the sub-folders of `folder`, same order.
std::vector<std::string> list_folders(const std::string& folder);

// What a drawing of a folder takes: the folder's own files matching
// `pattern`, else the files matching `sub_pattern` of each sub-folder, one
// entry per sub-folder (empty `sub_folder` for the folder itself).
struct FolderFiles {
    std::string sub_folder;
    std::vector<std::string> files;
};
std::vector<FolderFiles> files_or_subfolders(const std::string& folder, std::string_view pattern,
                                             std::string_view sub_pattern);

// The folder a folder run reads, and what it takes of it. The folder is the
// command-line word up to and including its last separator ("" is the
// working folder), so a folder named without its trailing separator is read
// as the folder that holds it. The run says on its console which folder it
// reads and how many files of which pattern it took (and, on stderr, why the
// folder is not the one the word names), so that a person sees at once what
// was read.
struct RunFolder {
    std::string folder;
    // One entry for the folder's own files; with sub-folders, one per
    // sub-folder.
    std::vector<FolderFiles> entries;
    std::size_t Files() const;
};
// With `sub_pattern`, a folder without files of `pattern` gives its
// sub-folders' files of `sub_pattern`. `what` names the files ("logs").
RunFolder read_run_folder(const std::string& word, std::string_view pattern, std::string_view sub_pattern = {},
                          const char* what = "logs");

// The progress line of a drawing, before its result and without a line end:
// "Processing \sub\file ... ", or "Processing \file ... " for a file of
// the folder itself (one separator, never two).
void ProcessingLine(const std::string& sub_folder, const std::string& file);

// Splits at the last "/" or "\": the part up to and including it, and the
// rest. A path without a separator gives an empty folder.
struct PathParts {
    std::string folder;
    std::string name;
};
PathParts SplitPath(std::string_view path);

// A -name that holds a folder separator would put the output outside the
// folder it belongs in: says so on stderr and answers false.
bool IsPlainOutputName(const std::string& name);

// The name without its last extension ("dev_NMEA.txt" gives "dev_NMEA").
std::string StripExtension(std::string_view name);

}  // namespace navsift
