#!/usr/bin/env bash
# Runs the libFuzzer targets of the core library.
#
#   bash bench/fuzz.sh [SECONDS] [TARGET...]   each target SECONDS (default 60)
#   bash bench/fuzz.sh --check-normal          a gcc build with KWN_FUZZ off
#                                              defines no fuzz target
#
# Builds build-fuzz with clang if needed. Each target starts from its seeds in
# tests/fuzz/corpus/<target>, copied into build-fuzz/fuzz-corpus/<target>; that
# scratch corpus keeps growing from run to run (FUZZ_FRESH=1 starts it again
# from the seeds). Crashers are written to build-fuzz/fuzz-artifacts/<target>/.
# Exits non-zero when any target finds a crash, hang, leak or failed check.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-fuzz}
targets_all=(fuzz_frametext fuzz_definitions fuzz_encoding)

if [[ ${1:-} == --check-normal ]]; then
    # Configure only: the list of build targets must hold no fuzz program
    # and the cache must say KWN_FUZZ is off.
    check=$build/normal-check
    CC=${NORMAL_CC:-gcc} CXX=${NORMAL_CXX:-g++} cmake -S "$root" -B "$check" \
        -DKWN_BUILD_TESTS=OFF -DKWN_BUILD_BENCH=OFF >/dev/null
    grep -q '^KWN_FUZZ:BOOL=OFF$' "$check/CMakeCache.txt" \
        || { echo "KWN_FUZZ is not off by default"; exit 1; }
    if cmake --build "$check" --target help | grep -q 'fuzz_'; then
        echo "a build without KWN_FUZZ defines fuzz targets:"
        cmake --build "$check" --target help | grep 'fuzz_'
        exit 1
    fi
    if grep -rq 'fsanitize=fuzzer' "$check/CMakeFiles" "$check"/*.make 2>/dev/null; then
        echo "a build without KWN_FUZZ compiles with fuzzer instrumentation"
        exit 1
    fi
    echo "normal build: no fuzz targets, no fuzzer flags"
    exit 0
fi

seconds=${1:-60}
shift || true
targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || targets=("${targets_all[@]}")

if ! command -v clang++ >/dev/null; then
    echo "clang++ not found: the fuzz targets need clang and libFuzzer" >&2
    exit 2
fi
if [[ ! -f $build/CMakeCache.txt ]]; then
    CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DKWN_FUZZ=ON \
        -DKWN_BUILD_TESTS=OFF -DKWN_BUILD_BENCH=OFF >/dev/null
fi
cmake --build "$build" -j2 --target "${targets[@]}" >/dev/null

# Tokens of the definition formats, so the fuzzer need not guess them.
dict=$build/fuzz_definitions.dict
cat >"$dict" <<'EOF'
"<message_def>"
"</message_def>"
"<profiles_def>"
"</profiles_def>"
"<message "
"</message>"
"<parameter "
"</parameter>"
"<value "
"<profile "
"/>"
"<!--"
"-->"
"<!DOCTYPE "
"<!ENTITY "
"&"
"<![CDATA["
" name=\""
" category=\""
" msg_id=\""
" node_mode=\"slave\""
" addressingMode=\""
" type=\"integer\""
" type=\"string\""
" type=\"bitfield\""
" size=\""
" sign=\"signed\""
" input_format=\"hexa\""
" min=\""
" max=\""
" default=\""
" optional=\"yes\""
" display=\"no\""
" value=\""
" description=\""
" product=\""
" revision=\""
" node_type=\""
" standard_msg=\""
" standard_motor_msg=\""
"0x"
"4294967295"
"4000000000"
"-2147483648"
"0xFFFFFFFF"
EOF

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export QT_NO_DEBUG_OUTPUT=1

failed=0
printf '%-18s %12s %8s %8s %8s %8s\n' target executions seconds exec/s cov ft
for target in "${targets[@]}"; do
    corpus=$build/fuzz-corpus/$target
    artifacts=$build/fuzz-artifacts/$target
    log=$build/fuzz-logs/$target.log
    [[ ${FUZZ_FRESH:-0} == 1 ]] && rm -rf "$corpus"
    mkdir -p "$corpus" "$artifacts" "$(dirname "$log")"
    cp -n "$root/tests/fuzz/corpus/$target"/* "$corpus"/ 2>/dev/null || true
    extra=()
    if [[ $target == fuzz_definitions ]]; then
        extra=(-dict="$dict" -max_len=8192)
    fi
    start=$(date +%s)
    status=0
    "$build/$target" "${extra[@]}" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts/" \
        "$corpus" >"$log" 2>&1 || status=$?
    elapsed=$(( $(date +%s) - start ))
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
    cov=$(grep -oE 'cov: [0-9]+' "$log" | tail -1 | cut -d' ' -f2)
    ft=$(grep -oE 'ft: [0-9]+' "$log" | tail -1 | cut -d' ' -f2)
    printf '%-18s %12s %8s %8s %8s %8s\n' "$target" "${runs:-?}" "$elapsed" "${rate:-?}" "${cov:-?}" "${ft:-?}"
    if [[ $status -ne 0 ]] || grep -qE 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:|SUMMARY: ' "$log"; then
        echo "  $target FAILED (exit $status); log: $log" >&2
        grep -E 'ERROR:|runtime error:|SUMMARY:|Test unit written|fuzz_[a-z]+: ' "$log" | head -20 >&2 || true
        failed=1
    fi
done
exit $failed
