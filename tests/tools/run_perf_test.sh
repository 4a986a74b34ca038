#!/usr/bin/env bash
# tools/run-perf over stand-in benchmarks: missed goals are counted and
# reported without failing; a benchmark that cannot run fails the whole.
set -u
runperf=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
mkdir -p "$dir/perf/perf_a_autogen"
bench() {  # name, exit status, lines...
  local f="$dir/perf/$1" rc=$2
  shift 2
  { echo '#!/usr/bin/env bash'; for l in "$@"; do printf 'echo %q\n' "$l"; done; echo "exit $rc"; } >"$f"
  chmod +x "$f"
}
bench perf_a 0 "log: 12 MB" "speed 80 MB/s (goal >= 100): missed" "memory 20 MiB (goal <= 64 MiB): met"
bench perf_b 0 "every byte arrived (goal): met" "a line that mentions met goals but is not one"

out=$(bash "$runperf" "$dir" 2>&1)
rc=$?
[ $rc -eq 0 ] || fail "missed goals made run-perf fail ($rc): $out"
grep -q '^speed 80 MB/s (goal >= 100): missed$' <<<"$out" || fail "the figures are not shown: $out"
last=$(tail -n 1 <<<"$out")
[ "$last" = "perf: 2 of 3 goals met; missed in perf_a; all 2 benchmarks ran" ] || fail "summary: $last"

bench perf_c 2 "nmea log could not be written"
out=$(bash "$runperf" "$dir" 2>&1)
rc=$?
[ $rc -ne 0 ] || fail "a benchmark that could not run passed: $out"
grep -q '^perf_c could not run (exit status 2)$' <<<"$out" || fail "the broken benchmark is not named: $out"
last=$(tail -n 1 <<<"$out")
[ "$last" = "perf: 2 of 3 goals met; missed in perf_a; 1 of 3 benchmarks could not run: perf_c" ] || fail "summary: $last"

out=$(bash "$runperf" "$dir/nowhere" 2>&1)
[ $? -ne 0 ] || fail "a build without benchmarks passed: $out"
echo "run-perf: ok"
