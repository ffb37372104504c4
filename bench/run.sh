#!/usr/bin/env bash
# Builds the benchmarks (Release, without the tests) in build-bench, runs every
# one of them and sums up their goal lines. Timings on a shared machine are
# noisy, so a missed goal does not fail the run; a build failure or a bench
# that ends abnormally does.
#
#   bash bench/run.sh                 build and run all benches
#   bash bench/run.sh decode          only benches whose name contains "decode"
#   bash bench/run.sh startup         start-up of the tool beside a bare Qt window
#                                     (the floor), sample and large catalogues,
#                                     offscreen and on an X server (xvfb-run)
#
# KWN_BENCH_BUILD_DIR overrides the build directory, KWN_BENCH_JOBS the
# number of build jobs (default 2).
set -u

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${KWN_BENCH_BUILD_DIR:-$root/build-bench}"
jobs="${KWN_BENCH_JOBS:-2}"
filter="${1:-}"

names=()
for source in "$root"/bench/*bench.cpp; do
    name="$(basename "$source" .cpp)"
    [[ -z $filter || $name == *"$filter"* ]] && names+=("$name")
done
if ((${#names[@]} == 0)); then
    echo "no bench matches '$filter'" >&2
    exit 2
fi

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DKWN_BUILD_TESTS=OFF -DKWN_BUILD_BENCH=ON >/dev/null \
    || { echo "configure failed" >&2; exit 2; }
cmake --build "$build" -j"$jobs" --target "${names[@]}" >/dev/null \
    || { echo "build failed; run: cmake --build $build --target ${names[*]}" >&2; exit 2; }

output="$(mktemp)"
trap 'rm -f "$output"' EXIT

run() {
    # GUI benches need no display, but for the one that measures what
    # drawing on a real X server costs.
    if [[ $1 == guibuscpubench ]]; then
        xvfb-run -a -s "-screen 0 1280x1024x24" "$build/bench/$1"
    elif [[ $1 == guistartupbench ]]; then
        # Offscreen, then on an X server, where drawing costs what it costs a user.
        local offscreen display
        "$build/bench/$1"
        offscreen=$?
        xvfb-run -a -s "-screen 0 1280x1024x24" "$build/bench/$1" --display
        display=$?
        return $((offscreen > display ? offscreen : display))
    elif [[ $1 == gui* || $1 == plotbench ]]; then
        QT_QPA_PLATFORM=offscreen "$build/bench/$1"
    else
        "$build/bench/$1"
    fi
}

failed=()
for name in "${names[@]}"; do
    echo "== $name"
    # Qt's offscreen platform warns about what it cannot do; that says nothing
    # about the figures.
    run "$name" 2>&1 | grep --line-buffered -v -e 'does not support propagateSizeHints' \
        -e 'XDG_RUNTIME_DIR not set' | tee -a "$output"
    status=${PIPESTATUS[0]}
    # 0: all goals met, 1: some missed; anything else is a failure to run.
    if ((status != 0 && status != 1)); then
        failed+=("$name (exit status $status)")
    fi
    echo
done

met=$(grep -c 'goal .*: ok' "$output")
missed=$(grep -c 'goal .*: MISSED' "$output")
beyond=$(grep -c 'for information, .*: beyond' "$output")
echo "== summary: $met goals met, $missed missed; $beyond figures for information beyond their mark"
grep 'goal .*: MISSED' "$output" | sed 's/^/MISSED  /'
if ((${#failed[@]} > 0)); then
    printf 'FAILED  %s\n' "${failed[@]}"
    exit 1
fi
exit 0
