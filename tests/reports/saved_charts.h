#pragma once
// What a saved workbook holds for a reader of the file alone: its charts
// for a viewer that draws from the file (a preview, a mail client, a
// library), read from the chart parts, each series' caches matched with the
// saved cells they name, and each axis' fixed scale; and its numbers as
// the file writes them.
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/workbook/support.h"

namespace reptest {

// Per chart sheet and series: the declared counts of its X and Y caches
// ("None" without one), how many points differ from the saved cells their
// reference names (a list of areas read in order), and the (x, y) points;
// per chart sheet and axis position ("b" the x axis, "l" the y axis) its
// fixed minimum and maximum ("None" when automatic).
inline const char* kSavedChartsScript = R"PY(
import sys, re, zipfile, posixpath, html, warnings
import xml.etree.ElementTree as ET
warnings.simplefilter('ignore')
import openpyxl
path = sys.argv[1]
z = zipfile.ZipFile(path)
book = openpyxl.load_workbook(path, data_only=True)
C = '{http://schemas.openxmlformats.org/drawingml/2006/chart}'
def rels(part):
    d, f = posixpath.split(part)
    out = {}
    for tag in re.findall(r'<Relationship [^>]*>', z.read(d + '/_rels/' + f + '.rels').decode()):
        i = re.search(r'Id="([^"]+)"', tag).group(1)
        t = re.search(r'Target="([^"]+)"', tag).group(1)
        out[i] = posixpath.normpath(posixpath.join(d, t))
    return out
wbrels = rels('xl/workbook.xml')
def areas(ref):
    # "(a,b)" lists areas; commas inside quoted sheet names do not count.
    if ref.startswith('(') and ref.endswith(')'): ref = ref[1:-1]
    out, cur, quoted = [], '', False
    for ch in ref:
        if ch == "'": quoted = not quoted
        if ch == ',' and not quoted:
            out.append(cur); cur = ''
        else: cur += ch
    return out + [cur]
def cells(ref):
    values = []
    for one in areas(ref):
        sheet, area = one.rsplit('!', 1)
        if sheet.startswith("'"): sheet = sheet[1:-1].replace("''", "'")
        rng = book[sheet][area.replace('$', '')]
        if not isinstance(rng, tuple): values.append(rng.value)
        else: values.extend(c.value for row in rng for c in row)
    return values
def cache(el):
    if el is None: return None, None, {}
    f = el.find('.//' + C + 'f')
    c = el.find('.//' + C + 'numCache')
    if c is None: c = el.find('.//' + C + 'strCache')
    if c is None: return (f.text if f is not None else None), None, {}
    count = int(c.find(C + 'ptCount').get('val'))
    pts = {}
    for p in c.findall(C + 'pt'):
        v = p.find(C + 'v').text or ''
        try: v = float(v)
        except ValueError: pass
        pts[int(p.get('idx'))] = v
    return f.text, count, pts
def differ(ref, count, pts):
    if not ref: return 0
    want = cells(ref)
    bad = 0 if count == len(want) else 1
    for k, v in enumerate(want):
        if isinstance(v, bool): v = float(v)
        if isinstance(v, (int, float)):
            bad += 0 if k in pts and isinstance(pts[k], float) and abs(pts[k] - v) <= 1e-9 * max(1, abs(v)) else 1
        elif v is None or v == '':
            bad += 1 if k in pts else 0
        else:
            bad += 0 if pts.get(k) == v else 1
    return bad
for m in re.finditer(r'<sheet [^>]*>', z.read('xl/workbook.xml').decode()):
    tag = m.group(0)
    name = html.unescape(re.search(r'name="([^"]*)"', tag).group(1))
    part = wbrels[re.search(r'r:id="([^"]+)"', tag).group(1)]
    if 'chartsheets/' not in part: continue
    drawing = [t for t in rels(part).values() if 'drawings/' in t][0]
    chart = [t for t in rels(drawing).values() if 'charts/' in t][0]
    root = ET.fromstring(z.read(chart))
    for k, ser in enumerate(root.iter(C + 'ser')):
        xf, xn, xs = cache(ser.find(C + 'xVal') if ser.find(C + 'xVal') is not None else ser.find(C + 'cat'))
        yf, yn, ys = cache(ser.find(C + 'yVal') if ser.find(C + 'yVal') is not None else ser.find(C + 'val'))
        bad = differ(xf, xn, xs) + differ(yf, yn, ys)
        pairs = ';'.join('%s,%r' % (xs.get(i, ''), ys[i]) for i in sorted(ys))
        print('SERIES\t%s\t%d\t%s\t%s\t%d\t%s' % (name, k + 1, xn, yn, bad, pairs))
    for ax in list(root.iter(C + 'valAx')) + list(root.iter(C + 'catAx')):
        pos = ax.find(C + 'axPos').get('val')
        sc = ax.find(C + 'scaling')
        lo, hi = sc.find(C + 'min'), sc.find(C + 'max')
        print('AXIS\t%s\t%s\t%s\t%s' % (name, pos, lo.get('val') if lo is not None else None,
                                        hi.get('val') if hi is not None else None))
)PY";

struct SavedSeries {
    std::string xCount, yCount;  // "None" without a cache
    int differing = 0;
    std::vector<std::pair<std::string, double>> points;  // x as written, y
};

struct SavedCharts {
    std::map<std::string, SavedSeries> series;  // "chart sheet/series number"
    std::map<std::string, std::pair<std::string, std::string>> axes;  // "chart sheet/b" -> min, max
};

inline SavedCharts ReadSavedCharts(const std::string& xlsx, const std::string& dir) {
    wbtest::WriteFile(dir + "/saved_charts.py", kSavedChartsScript);
    std::string out;
    EXPECT_EQ(wbtest::Run(wbtest::Python() + " " + dir + "/saved_charts.py '" + xlsx + "'", out), 0) << out;
    SavedCharts all;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> f;
        std::stringstream fields(line);
        for (std::string x; std::getline(fields, x, '\t');) f.push_back(x);
        if (f.size() >= 5 && f[0] == "AXIS") {
            all.axes[f[1] + "/" + f[2]] = {f[3], f[4]};
            continue;
        }
        if (f.size() < 6 || f[0] != "SERIES") continue;
        SavedSeries& s = all.series[f[1] + "/" + f[2]];
        s.xCount = f[3];
        s.yCount = f[4];
        s.differing = std::stoi(f[5]);
        std::stringstream pts(f.size() > 6 ? f[6] : "");
        for (std::string p; std::getline(pts, p, ';');) {
            const size_t comma = p.rfind(',');
            s.points.emplace_back(p.substr(0, comma), std::stod(p.substr(comma + 1)));
        }
    }
    return all;
}

// Every number the parts of a saved workbook hold as "1,8" (texts aside,
// which are what was typed), with what surrounds it: none in a file any
// spreadsheet reads.
inline const char* kCommaNumbersScript = R"PY(
import sys, re, zipfile
z = zipfile.ZipFile(sys.argv[1])
for n in z.namelist():
    if not n.endswith('.xml') or n.endswith('sharedStrings.xml'): continue
    x = z.read(n).decode('utf-8')
    for m in re.finditer(r'="-?[0-9]+,[0-9]+"|>-?[0-9]+,[0-9]+<', x):
        print('%s: %s' % (n, x[max(0, m.start() - 40):m.end() + 10]))
)PY";

inline std::vector<std::string> CommaNumbers(const std::string& xlsx, const std::string& dir) {
    wbtest::WriteFile(dir + "/commas.py", kCommaNumbersScript);
    std::string out;
    EXPECT_EQ(wbtest::Run(wbtest::Python() + " " + dir + "/commas.py '" + xlsx + "'", out), 0);
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace reptest
