#!/usr/bin/env bash
# Fuzzes the effect for a while on a scratch copy of the seed corpus; any crash, sanitizer
# report, leak, timeout or memory blow-up fails the run.
set -uo pipefail

# A third argument picks another target: messages (the preview server's message reader).
if [ $# -lt 2 ] || [ $# -gt 3 ] || ! [[ $2 =~ ^[0-9]+$ ]] || [ "$2" -lt 1 ]; then
    echo "usage: $0 BUILD_DIR SECONDS [messages]" >&2
    exit 2
fi
build_dir=$1
seconds=$2
here=$(cd "$(dirname "$0")" && pwd)
fuzzer="$build_dir/corvelle_fuzz"
corpus="$here/corpus"
out="$build_dir/fuzz-run"
if [ "${3:-}" = messages ]; then
    fuzzer="$build_dir/corvelle_fuzz_messages"
    corpus="$here/messages-corpus"
    out="$build_dir/fuzz-run-messages"
elif [ $# -eq 3 ]; then
    echo "usage: $0 BUILD_DIR SECONDS [messages]" >&2
    exit 2
fi
if [ ! -x "$fuzzer" ]; then
    echo "corvelle: fuzzing: $fuzzer is not built (cmake --preset fuzz && cmake --build --preset fuzz)" >&2
    exit 2
fi

# Findings and the log stay in the build folder, where a failed CI run can pick them up.
rm -rf "$out"
mkdir -p "$out/artifacts"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/corpus"
cp "$corpus"/* "$work/corpus/" 2>/dev/null || true

"$fuzzer" "$work/corpus" \
    -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -max_len=4096 -len_control=10 \
    -print_final_stats=1 -artifact_prefix="$out/artifacts/" </dev/null >"$out/fuzz.log" 2>&1
status=$?

runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$out/fuzz.log" | tail -n 1)
cov=$(grep -o 'cov: [0-9]*' "$out/fuzz.log" | tail -n 1 | cut -d' ' -f2)
inputs=$(find "$work/corpus" -type f | wc -l)
findings=$(find "$out/artifacts" -type f | wc -l)
if [ "$status" -ne 0 ] || [ "$findings" -ne 0 ]; then
    tail -n 60 "$out/fuzz.log" >&2
    echo "corvelle: fuzzing: failed after ${runs:-?} runs (exit $status, $findings finding(s) in $out/artifacts)" >&2
    exit 1
fi
echo "fuzz: clean: ${runs:-0} runs in ${seconds}s, coverage ${cov:-0}, corpus $inputs inputs"
