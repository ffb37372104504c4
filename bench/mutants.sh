#!/usr/bin/env bash
# The measure of what the test suite catches: each fault of a list (a line of
# code changed on purpose) is put alone into a scratch copy of the tree,
# built incrementally and run through CTest. A fault some test fails on is
# killed; one every test passes is a survivor, a gap in the suite.
#
#   bench/mutants.sh [LIST] [FIRST [LAST]]
#
# LIST (default bench/mutants.list) holds one fault a line:
#   FILE | TEXT | REPLACEMENT | TESTS
# TEXT must appear in FILE exactly once; the first occurrence is replaced.
# TESTS is a CTest regular expression naming the tests that could catch it
# (empty: the whole suite). Lines starting with '#' are comments.
# FIRST and LAST pick a range of the list's faults (1-based), to spread a
# run over several sittings. Survivors are written to
# bench/mutants.survivors (appended to when a range is given).
# The scratch copy and its build stay in $MUTANT_DIR (default
# /tmp/kwn-mutants) between runs, so a second run builds little.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
list=${1:-$root/bench/mutants.list}
first=${2:-1}
last=${3:-999999}
scratch=${MUTANT_DIR:-/tmp/kwn-mutants}
jobs=${MUTANT_JOBS:-2}
survivors=$root/bench/mutants.survivors

mkdir -p "$scratch"
# The tree as it is now, sources only.
# Times kept, so that a second run rebuilds only what changed.
rm -rf "$scratch/src" && mkdir -p "$scratch/src"
tar -C "$root" --exclude='./build*' --exclude=./.git -cf - . | tar -C "$scratch/src" -xf - || exit 2
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$scratch/src" -B "$scratch/build" -DKWN_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null || exit 2
# Nothing is built ahead: each fault builds the programs it names, and
# what they need, so the first faults take longer than the rest.

[ "$first" -eq 1 ] && [ "$last" -eq 999999 ] && : >"$survivors"
killed=0 survived=0 unbuilt=0 number=0
while IFS= read -r line; do
  case "$line" in '#'* | '') continue ;; esac
  number=$((number + 1))
  [ "$number" -lt "$first" ] || [ "$number" -gt "$last" ] && continue
  IFS='|' read -r file text replacement tests <<<"$line"
  trim() { local s=$1; s=${s#"${s%%[![:space:]]*}"}; printf '%s' "${s%"${s##*[![:space:]]}"}"; }
  file=$(trim "$file"); text=$(trim "$text"); replacement=$(trim "$replacement"); tests=$(trim "$tests")
  target=$scratch/src/$file
  cp "$target" "$scratch/original"
  if ! python3 - "$target" "$text" "$replacement" <<'EOF'; then
import sys
path, text, replacement = sys.argv[1:4]
source = open(path, encoding="utf-8").read()
if source.count(text) != 1:
    sys.exit(1)
open(path, "w", encoding="utf-8").write(source.replace(text, replacement, 1))
EOF
    echo "$number NOT FOUND ONCE: $file: $text"
    unbuilt=$((unbuilt + 1))
    continue
  fi
  # Only the test programs the fault names are built (with what they
  # depend on); an empty list builds everything.
  targets=()
  if [ -n "$tests" ]; then
    IFS='|' read -ra names <<<"$tests"
    for name in "${names[@]}"; do targets+=(--target "${name##*/}"); done
  fi
  if ! cmake --build "$scratch/build" -j"$jobs" "${targets[@]}" >"$scratch/mutant.log" 2>&1; then
    result="did not build"
    unbuilt=$((unbuilt + 1))
  elif (cd "$scratch/build" && ctest -j"$jobs" --timeout 300 --stop-on-failure ${tests:+-R "$tests"} >"$scratch/ctest.log" 2>&1); then
    result=SURVIVED
    survived=$((survived + 1))
    echo "$line" >>"$survivors"
  else
    result=killed
    killed=$((killed + 1))
  fi
  echo "$number $result: $file: $text -> $replacement"
  cp "$scratch/original" "$target"
  touch "$target"
done <"$list"
echo "killed $killed, survived $survived, not applied or not built $unbuilt"
