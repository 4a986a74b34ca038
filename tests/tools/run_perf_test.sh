#!/usr/bin/env bash
# tools/run-perf over stand-in benchmarks: missed goals are counted and
# reported without failing; a benchmark that cannot run, or whose verdicts
# cannot all be read, fails the whole. Then over the real output of every
# benchmark under perf/, as each printed it on this machine.
# Arguments: tools/run-perf, the perf/ sources, the recorded outputs.
set -u
runperf=$1
sources=$2
recorded=$3
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
bench perf_a 0 "goals: 2" "log: 12 MB" "speed 80 MB/s (goal >= 100): missed" "memory 20 MiB (goal <= 64 MiB): met"
bench perf_b 0 "goals: 1" "every byte arrived (goal): met" "metres: 12 (a figure, no goal)"

out=$(bash "$runperf" "$dir" 2>&1)
rc=$?
[ $rc -eq 0 ] || fail "missed goals made run-perf fail ($rc): $out"
grep -q '^speed 80 MB/s (goal >= 100): missed$' <<<"$out" || fail "the figures are not shown: $out"
last=$(tail -n 1 <<<"$out")
[ "$last" = "perf: 2 of 3 goals met; missed in perf_a; all 2 benchmarks ran" ] || fail "summary: $last"

# A benchmark that could not run fails the whole; the goals it declared
# and never judged still count.
bench perf_c 2 "goals: 2" "nmea log could not be written"
out=$(bash "$runperf" "$dir" 2>&1)
rc=$?
[ $rc -ne 0 ] || fail "a benchmark that could not run passed: $out"
grep -q '^perf_c could not run (exit status 2)$' <<<"$out" || fail "the broken benchmark is not named: $out"
last=$(tail -n 1 <<<"$out")
[ "$last" = "perf: 2 of 5 goals met; missed in perf_a; 1 of 3 benchmarks could not run: perf_c" ] || fail "summary: $last"
rm "$dir/perf/perf_c"

# Verdicts in any other form than ": met" / ": missed" at the end: the run
# fails and names the line, whatever else the benchmark printed.
unreadable=("worst 21.0 ms (goal <= 20 ms: missed)"
            "navsift / gpsbabel: 0.20 (goal: at most 1) met"
            "noise read: 40 MB/s (goal >= 20 MB/s: met)"
            "speed 80 MB/s (goal >= 100): Missed"
            "speed 80 MB/s (goal >= 100): met."
            "speed: met (goal >= 100): missed"
            "goals: two")
for line in "${unreadable[@]}"; do
  bench perf_d 0 "goals: 1" "$line" "rate (goal >= 1): met"
  out=$(bash "$runperf" "$dir" 2>&1)
  rc=$?
  [ $rc -ne 0 ] || fail "an unreadable verdict passed: $line"
  grep -qxF "run-perf: perf_d: a verdict that cannot be read: $line" <<<"$out" || fail "the line is not named: $out"
  last=$(tail -n 1 <<<"$out")
  [ "$last" = "perf: 3 of 4 goals met; missed in perf_a; verdicts not read in perf_d; all 3 benchmarks ran" ] ||
    fail "summary for '$line': $last"
done

# The count declared is the count judged: fewer or more verdicts, or none
# declared, fail the run.
bench perf_d 0 "goals: 3" "rate (goal >= 1): met" "size (goal <= 2): missed"
out=$(bash "$runperf" "$dir" 2>&1)
[ $? -ne 0 ] || fail "a goal without a verdict passed: $out"
grep -qxF "run-perf: perf_d: 3 goals declared, 2 verdicts printed" <<<"$out" || fail "shortfall not named: $out"
[ "$(tail -n 1 <<<"$out")" = "perf: 3 of 6 goals met; missed in perf_a perf_d; verdicts not read in perf_d; all 3 benchmarks ran" ] ||
  fail "summary: $(tail -n 1 <<<"$out")"
bench perf_d 0 "goals: 1" "rate (goal >= 1): met" "size (goal <= 2): missed"
out=$(bash "$runperf" "$dir" 2>&1)
[ $? -ne 0 ] || fail "a verdict beyond the count passed: $out"
grep -qxF "run-perf: perf_d: 1 goals declared, 2 verdicts printed" <<<"$out" || fail "excess not named: $out"
bench perf_d 0 "rate (goal >= 1): met"
out=$(bash "$runperf" "$dir" 2>&1)
[ $? -ne 0 ] || fail "a benchmark without a count passed: $out"
grep -qxF 'run-perf: perf_d: no "goals: N" line' <<<"$out" || fail "missing count not named: $out"
bench perf_d 0 "rate (goal >= 1): met" "goals: 1"
out=$(bash "$runperf" "$dir" 2>&1)
[ $? -ne 0 ] || fail "a count after the verdicts passed: $out"
grep -qxF "run-perf: perf_d: a goal count out of place: goals: 1" <<<"$out" || fail "late count not named: $out"
rm "$dir/perf/perf_d"

# Every benchmark's real output, as recorded from a run: each is read whole,
# and the summary counts exactly the goals they declare.
real="$dir/real"
mkdir -p "$real/perf"
declared=0
met=0
n=0
for src in "$sources"/perf_*.cpp; do
  name=$(basename "$src" .cpp)
  rec="$recorded/$name.txt"
  [ -f "$rec" ] || fail "no recorded output of $name in $recorded"
  d=$(grep -E '^goals: [0-9]+$' "$rec" | head -n 1 | cut -d' ' -f2)
  [ -n "$d" ] || fail "$name declares no goals"
  v=$(grep -cE ': (met|missed)$' "$rec")
  [ "$v" -eq "$d" ] || fail "$name declares $d goals and printed $v verdicts"
  grep -qF "perf::DeclareGoals($d)" "$src" || fail "$name's source does not declare the $d goals of its output"
  declared=$((declared + d))
  met=$((met + $(grep -cE ': met$' "$rec")))
  n=$((n + 1))
  printf '#!/usr/bin/env bash\ncat %q\n' "$rec" >"$real/perf/$name"
  chmod +x "$real/perf/$name"
done
[ "$n" -gt 0 ] || fail "no benchmark sources under $sources"
out=$(bash "$runperf" "$real" 2>&1)
rc=$?
[ $rc -eq 0 ] || fail "the real outputs were not all read ($rc): $(grep '^run-perf:' <<<"$out")"
summary=$(tail -n 1 <<<"$out")
[[ $summary == "perf: $met of $declared goals met"* ]] || fail "summary of the real outputs: $summary"
[[ $summary == *"all $n benchmarks ran" ]] || fail "summary of the real outputs: $summary"

out=$(bash "$runperf" "$dir/nowhere" 2>&1)
[ $? -ne 0 ] || fail "a build without benchmarks passed: $out"
echo "run-perf: ok ($n benchmarks, $declared goals)"
