#!/usr/bin/env bash
# `make run` and `make clean` as a person uses them: the bench started as
# built keeps its files in the per-user program folder, not in the build
# tree; a clean removes what the build made and nothing else.
# Arguments: the source tree, the build tree.
set -u
src=$1
build=$2
dir=$(mktemp -d)
pid=
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$dir"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

# Up to 60 s for a condition, checked every 0.2 s.
wait_for() {
  local i
  for ((i = 0; i < 300; i++)); do
    eval "$1" && return 0
    sleep 0.2
  done
  return 1
}

# --- run: the program folder is the user's own ---
mkdir -p "$dir/user"
before=$(ls -A "$build/bench/SystemLogs" 2>/dev/null | sort)
(
  unset FIXBENCH_HOME
  export HOME="$dir/user" QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$dir/runtime"
  mkdir -m 700 "$XDG_RUNTIME_DIR"
  exec bash "$src/tools/run-fixbench" "$build" >"$dir/run.out" 2>&1
) &
pid=$!
logs="$dir/user/.local/share/fixbench/SystemLogs"
wait_for '[ -n "$(ls -A "$logs" 2>/dev/null)" ]' ||
  fail "no system log in ~/.local/share/fixbench/SystemLogs: $(cat "$dir/run.out")"
kill -TERM "$pid"
wait "$pid"
rc=$?
pid=
[ $rc -eq 0 ] || fail "the bench ended with status $rc: $(cat "$dir/run.out")"
after=$(ls -A "$build/bench/SystemLogs" 2>/dev/null | sort)
[ "$before" = "$after" ] || fail "the run wrote its system log into the build tree"
[ ! -e "$build/bench/Config.dat" ] || [ "$build/bench/Config.dat" -ot "$dir/run.out" ] ||
  fail "the run wrote Config.dat into the build tree"

# --- clean: a build folder with a person's files in it ---
mkdir -p "$dir/proj"
cat >"$dir/proj/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(tiny NONE)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/bench/made.txt
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/bench
  COMMAND ${CMAKE_COMMAND} -E touch ${PROJECT_BINARY_DIR}/bench/made.txt)
add_custom_target(made ALL DEPENDS ${PROJECT_BINARY_DIR}/bench/made.txt)
CMAKE
cmake -S "$dir/proj" -B "$dir/b" -G Ninja >/dev/null || fail "the stand-in project does not configure"
cmake --build "$dir/b" >/dev/null || fail "the stand-in project does not build"
[ -f "$dir/b/bench/made.txt" ] || fail "the stand-in build made nothing"
mkdir -p "$dir/b/bench/GPS_TEST_1-1-2026_9.0.0/GPS1"
echo "record" >"$dir/b/bench/Config.dat"
echo "1 /dev/ttyUSB0" >"$dir/b/bench/ComPorts.txt"
echo "log" >"$dir/b/bench/GPS_TEST_1-1-2026_9.0.0/GPS1/GPS1_TTFF_COLD_NMEA.txt"
make -s -C "$src" clean BUILD="$dir/b" >/dev/null 2>&1 || fail "make clean failed"
[ ! -e "$dir/b/bench/made.txt" ] || fail "make clean left what the build made"
for f in Config.dat ComPorts.txt GPS_TEST_1-1-2026_9.0.0/GPS1/GPS1_TTFF_COLD_NMEA.txt; do
  [ -f "$dir/b/bench/$f" ] || fail "make clean deleted $f"
done
# A folder that was never configured is left alone.
make -s -C "$src" clean BUILD="$dir/nothing" >/dev/null 2>&1 || fail "make clean of a missing build failed"
echo "ok"
