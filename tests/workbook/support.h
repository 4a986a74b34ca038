#pragma once
// Shared helpers of the workbook tests: temporary folders, running the
// independent readers (openpyxl, gnumeric) on saved files.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace wbtest {

class TempDir {
public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "wbtest-XXXXXX").string();
        std::vector<char> buf(tmpl.begin(), tmpl.end());
        buf.push_back('\0');
        char* p = mkdtemp(buf.data());
        if (!p) throw std::runtime_error("mkdtemp failed");
        path_ = p;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

// Runs a shell command; returns its exit status and standard output.
inline int Run(const std::string& cmd, std::string& out) {
    out.clear();
    FILE* p = popen((cmd + " 2>/dev/null").c_str(), "r");
    if (!p) return -1;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
    int st = pclose(p);
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

// The system's Python, which carries the distribution's openpyxl.
inline std::string Python() {
    return std::filesystem::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
}

inline bool HaveOpenpyxl() {
    std::string out;
    return Run(Python() + " -c 'import openpyxl'", out) == 0;
}

inline bool HaveSsconvert() {
    std::string out;
    return Run("command -v ssconvert", out) == 0 && !out.empty();
}

// What an independent reader sees in a saved workbook.
struct FileView {
    std::vector<std::string> sheets;                // tab order
    std::map<std::string, std::string> kinds;       // sheet -> Worksheet / Chartsheet
    std::map<std::string, std::string> states;      // sheet -> visible / hidden
    std::map<std::string, std::string> formulas;    // "sheet!A1" -> text as stored ("=..." or the value)
    std::map<std::string, std::string> cached;     // "sheet!A1" -> cached value as Python prints it
    std::vector<std::string> hiddenColumns;         // "sheet!C"
    std::vector<std::string> merges;                // "sheet!A1:G1"
    std::vector<std::string> chartParts;            // per chart: "type|formula|formula..."
    std::map<std::string, std::string> fonts;       // "sheet!A1" -> "bold" / ""
    std::map<std::string, std::string> fills;       // "sheet!A1" -> ARGB of a solid fill
    std::map<std::string, std::string> numberFormats;
    std::map<std::string, std::string> borders;     // "sheet!A1" -> "l,t,b,r" styles
};

inline const char* kDumpScript = R"PY(
import sys, warnings, zipfile, re
warnings.simplefilter('ignore')
import openpyxl
p = sys.argv[1]
f = openpyxl.load_workbook(p)
d = openpyxl.load_workbook(p, data_only=True)
def r(v):
    if isinstance(v, float): return repr(v)
    return str(v).replace('\t', ' ').replace('\n', ' ')
for s in f._sheets:
    print('SHEET\t%s\t%s\t%s' % (s.title, type(s).__name__, s.sheet_state))
for ws in f.worksheets:
    dv = d[ws.title]
    for row in ws.iter_rows():
        for c in row:
            if c.value is None: continue
            k = ws.title + '!' + c.coordinate
            print('CELL\t%s\t%s\t%s' % (k, r(c.value), r(dv[c.coordinate].value)))
            print('FONT\t%s\t%s' % (k, 'bold' if c.font and c.font.b else ''))
            print('NUMFMT\t%s\t%s' % (k, c.number_format))
        for c in row:
            k = ws.title + '!' + c.coordinate
            if c.fill is not None and c.fill.fill_type == 'solid':
                print('FILL\t%s\t%s' % (k, str(c.fill.fgColor.rgb)))
            b = c.border
            if b is not None and any(x is not None and x.style for x in (b.left, b.top, b.bottom, b.right)):
                print('BORDER\t%s\t%s' % (k, ','.join((x.style or '') if x is not None else '' for x in (b.left, b.top, b.bottom, b.right))))
    for letter, dim in ws.column_dimensions.items():
        if dim.hidden:
            lo, hi = dim.min or 0, dim.max or 0
            from openpyxl.utils import get_column_letter
            for i in range(lo, hi + 1):
                print('HIDDEN\t%s!%s' % (ws.title, get_column_letter(i)))
    for m in ws.merged_cells.ranges:
        print('MERGE\t%s!%s' % (ws.title, m.coord))
z = zipfile.ZipFile(p)
for n in sorted(z.namelist()):
    if re.match(r'xl/charts/chart\d+\.xml$', n):
        x = z.read(n).decode('utf-8')
        kind = re.search(r'<c:(scatterChart|barChart|lineChart|areaChart|pieChart)', x)
        fs = re.findall(r'<c:f>([^<]*)</c:f>', x)
        print('CHART\t%s|%s' % (kind.group(1) if kind else '?', '|'.join(fs)))
)PY";

inline FileView ReadBack(const std::string& xlsx, const std::string& dir) {
    std::string script = dir + "/dump.py";
    WriteFile(script, kDumpScript);
    std::string out;
    int rc = Run(Python() + " " + script + " '" + xlsx + "'", out);
    EXPECT_EQ(rc, 0) << "openpyxl could not read " << xlsx;
    FileView v;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::stringstream ls(line);
        std::string part;
        while (std::getline(ls, part, '\t')) f.push_back(part);
        if (f.empty()) continue;
        if (f[0] == "SHEET" && f.size() >= 4) {
            v.sheets.push_back(f[1]);
            v.kinds[f[1]] = f[2];
            v.states[f[1]] = f[3];
        } else if (f[0] == "CELL" && f.size() >= 4) {
            v.formulas[f[1]] = f[2];
            v.cached[f[1]] = f[3];
        } else if (f[0] == "CELL" && f.size() == 3) {
            v.formulas[f[1]] = f[2];
        } else if (f[0] == "FONT") {
            v.fonts[f[1]] = f.size() > 2 ? f[2] : "";
        } else if (f[0] == "NUMFMT" && f.size() > 2) {
            v.numberFormats[f[1]] = f[2];
        } else if (f[0] == "FILL" && f.size() > 2) {
            v.fills[f[1]] = f[2];
        } else if (f[0] == "BORDER" && f.size() > 2) {
            v.borders[f[1]] = f[2];
        } else if (f[0] == "HIDDEN" && f.size() > 1) {
            v.hiddenColumns.push_back(f[1]);
        } else if (f[0] == "MERGE" && f.size() > 1) {
            v.merges.push_back(f[1]);
        } else if (f[0] == "CHART" && f.size() > 1) {
            v.chartParts.push_back(f[1]);
        }
    }
    return v;
}

// gnumeric recomputes every formula of the file and writes the results into
// a copy, which openpyxl then reads.
inline FileView Recalculated(const std::string& xlsx, const std::string& dir) {
    std::string copy = dir + "/recalc.xlsx";
    std::string out;
    int rc = Run("ssconvert --recalc '" + xlsx + "' '" + copy + "'", out);
    EXPECT_EQ(rc, 0) << "ssconvert failed on " << xlsx;
    return ReadBack(copy, dir);
}

inline double AsDouble(const std::string& s) { return std::strtod(s.c_str(), nullptr); }

}  // namespace wbtest

#define REQUIRE_OPENPYXL()                                                                   \
    if (!wbtest::HaveOpenpyxl()) GTEST_SKIP() << "python3-openpyxl is not installed here"
#define REQUIRE_SSCONVERT()                                                                  \
    if (!wbtest::HaveSsconvert()) GTEST_SKIP() << "gnumeric's ssconvert is not installed here"
