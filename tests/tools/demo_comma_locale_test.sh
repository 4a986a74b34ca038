#!/usr/bin/env bash
# `make demo` as a German lab PC runs it (LANG=de_DE.UTF-8, where printf
# writes 1.8 as "1,8"): every file the bench leaves keeps "." decimals.
# Workbooks are read back with openpyxl and searched for a number written
# with a comma, and every chart reference for the points it carries; results lines keep their TTFF as the bench writes it, tables
# as many fields on every line as in their header; KML points keep three
# coordinates. $1: tools/demo, $2: the build folder.
set -euo pipefail
DEMO="$1"
BUILD="$2"
LOCALE=de_DE.UTF-8
if ! locale -a 2>/dev/null | tr '[:upper:]' '[:lower:]' | grep -x 'de_de.utf8' >/dev/null; then
    echo "no locale $LOCALE here: tools/bootstrap makes it"
    exit 1
fi
WORK="$(mktemp -d "${TMPDIR:-/tmp}/demo-locale.XXXXXX")"
trap 'rm -rf "$WORK"' EXIT
if ! LANG=$LOCALE LC_ALL=$LOCALE TMPDIR="$WORK" bash "$DEMO" "$BUILD" >"$WORK/demo.out" 2>&1; then
    cat "$WORK/demo.out"
    echo "the demo failed under $LOCALE"
    exit 1
fi
HOME_DIR="$(ls -d "$WORK"/fixbench-demo.* | head -1)"
# The system's Python, which carries the distribution's openpyxl.
PYTHON=python3
[ -x /usr/bin/python3 ] && PYTHON=/usr/bin/python3
"$PYTHON" - "$HOME_DIR" <<'PY'
import os, re, sys, zipfile, warnings
warnings.simplefilter('ignore')
import openpyxl
home = sys.argv[1]
bad, books, results, kml = [], 0, 0, 0
comma = re.compile(r'="-?[0-9]+,[0-9]+"|>-?[0-9]+,[0-9]+<')
for root, _, files in os.walk(home):
    for f in files:
        p = os.path.join(root, f)
        rel = os.path.relpath(p, home)
        if f.endswith('.xlsx') and not f.startswith('.'):
            books += 1
            try:
                openpyxl.load_workbook(p)
                openpyxl.load_workbook(p, data_only=True)
            except Exception as e:
                bad.append('%s: openpyxl refuses it: %s' % (rel, e))
                continue
            z = zipfile.ZipFile(p)
            for n in z.namelist():
                if not n.endswith('.xml') or n.endswith('sharedStrings.xml'): continue
                x = z.read(n).decode('utf-8')
                for m in comma.finditer(x):
                    bad.append('%s %s: %s' % (rel, n, x[max(0, m.start() - 40):m.end() + 10]))
                # Every reference of a chart carries its points, for a
                # viewer that draws from the file alone.
                if re.match(r'xl/charts/chart[0-9]+\.xml$', n):
                    for tag in ('cat', 'val', 'xVal', 'yVal'):
                        for ref in re.findall(r'<c:%s>(.*?)</c:%s>' % (tag, tag), x, re.S):
                            if '<c:numCache>' not in ref and '<c:strCache>' not in ref:
                                bad.append('%s %s: %s without points' % (rel, n, re.sub(r'<[^>]+>', ' ', ref)[:60]))
        elif f.endswith('.csv') or re.search(r'_(T2A|T2U|Statistics)(_[A-Za-z]*PW[-0-9.]+)?\.txt$', f):
            # Tables with a header: a decimal comma would add a field.
            rows = [l.rstrip('\r\n') for l in open(p, encoding='latin-1') if l.strip()]
            for k, line in enumerate(rows[1:], 2):
                if line.count(',') != rows[0].count(','):
                    bad.append('%s line %d: %r' % (rel, k, line[:80]))
        elif re.search(r'_Results.*\.txt$', f) and '_GSA' not in f:
            results += 1
            for k, line in enumerate(open(p, encoding='latin-1'), 1):
                first = line.split('\t')[0].strip()
                if first and not re.fullmatch(r'-?[0-9]+(\.[0-9]+)?', first):
                    bad.append('%s line %d: %r' % (rel, k, line.rstrip()))
        elif f.endswith('.kml'):
            kml += 1
            text = open(p, encoding='utf-8').read()
            for block in re.findall(r'<coordinates>(.*?)</coordinates>', text, re.S):
                for point in block.split():
                    parts = point.split(',')
                    if len(parts) != 3 or not all(re.fullmatch(r'-?[0-9]+(\.[0-9]+)?', v) for v in parts):
                        bad.append('%s: point %r' % (rel, point))
                        break
print('%d workbooks, %d results files, %d KML files read' % (books, results, kml))
if books == 0 or results == 0:
    bad.append('the demo left no workbook or no results file in %s' % home)
for b in bad[:40]: print(b)
if bad:
    print('%d numbers written with a comma or unreadable' % len(bad))
    sys.exit(1)
PY
