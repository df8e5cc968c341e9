#!/usr/bin/env bash
# Fuzzes every target for a share of SECONDS on a scratch copy of its seed corpus: the effect
# three eighths of the time; the value parsers, the raw-stream framing, the keyframe file and the
# preview's messages the rest. Any crash, sanitizer report, leak, timeout or memory blow-up
# fails the run.
set -uo pipefail

if [ $# -ne 2 ] || ! [[ $2 =~ ^[0-9]+$ ]] || [ "$2" -lt 8 ]; then
    echo "usage: $0 BUILD_DIR SECONDS (at least 8)" >&2
    exit 2
fi
build_dir=$1
seconds=$2
here=$(cd "$(dirname "$0")" && pwd)

# target, corpus folder, share of the time in eighths
targets=("corvelle_fuzz corpus 3" "corvelle_fuzz_values corpus_values 1" "corvelle_fuzz_raw corpus_raw 1"
    "corvelle_fuzz_keys keys-corpus 1" "corvelle_fuzz_messages messages-corpus 2")

# Findings and logs stay in the build folder, where a failed CI run can pick them up.
out="$build_dir/fuzz-run"
rm -rf "$out"
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
for entry in "${targets[@]}"; do
    read -r name corpus eighths <<<"$entry"
    fuzzer="$build_dir/$name"
    if [ ! -x "$fuzzer" ]; then
        echo "corvelle: fuzzing: $fuzzer is not built (cmake --preset fuzz && cmake --build --preset fuzz)" >&2
        exit 2
    fi
    time=$((seconds * eighths / 8))
    mkdir -p "$work/$name" "$out/$name/artifacts"
    cp "$here/$corpus"/* "$work/$name/" 2>/dev/null || true
    "$fuzzer" "$work/$name" \
        -max_total_time="$time" -timeout=20 -rss_limit_mb=2048 -max_len=4096 -len_control=10 \
        -print_final_stats=1 -artifact_prefix="$out/$name/artifacts/" </dev/null >"$out/$name/fuzz.log" 2>&1
    status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$out/$name/fuzz.log" | tail -n 1)
    cov=$(grep -o 'cov: [0-9]*' "$out/$name/fuzz.log" | tail -n 1 | cut -d' ' -f2)
    inputs=$(find "$work/$name" -type f | wc -l)
    findings=$(find "$out/$name/artifacts" -type f | wc -l)
    if [ "$status" -ne 0 ] || [ "$findings" -ne 0 ]; then
        tail -n 60 "$out/$name/fuzz.log" >&2
        echo "corvelle: fuzzing $name: failed after ${runs:-?} runs (exit $status, $findings finding(s) in $out/$name/artifacts)" >&2
        failed=1
        continue
    fi
    echo "fuzz: $name clean: ${runs:-0} runs in ${time}s, coverage ${cov:-0}, corpus $inputs inputs"
done
exit $failed
