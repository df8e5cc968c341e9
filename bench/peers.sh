#!/usr/bin/env bash
# Times `corvelle render --raw` against ffmpeg's own filters on the same 1920x1080 ARGB frames,
# alternating the two in every round, and prints each ratio's median and spread. Only ratios
# from one run mean anything on a shared machine. When ffmpeg has its frei0r filter and the
# plug-in is built beside the command (<build>/frei0r-1/corvelle.so), ffmpeg running Corvelle
# as a frei0r filter is timed too, against ffmpeg's vignette and, with frei0r-plugins, frei0r's.
#
#   bench/peers.sh [path/to/corvelle]     (default: build/release/corvelle)
#   FRAMES=40 ROUNDS=5 bench/peers.sh
#
# Each case is timed twice per round: on the clip, and on its first frame alone (start-up plus
# one frame: loading libraries, setting the effect up; an empty stream is an error). "whole"
# compares the clip's wall times as a user sees them; "per frame" compares
# (clip - first frame) / (frames - 1), the rendering itself.
#
# The 1-thread rows run both programs on one core (taskset): corvelle's --threads counts the
# threads sharing a frame's rows, and with one of them it still reads the next frame on another,
# which unpinned would hand it part of a second core. So those rows compare one core with one,
# and corvelle's scaling is one core against two.
set -euo pipefail

cd "$(dirname "$0")/.."
CORVELLE=${1:-build/release/corvelle}
FRAMES=${FRAMES:-40}
ROUNDS=${ROUNDS:-5}
SIZE=1920x1080

command -v ffmpeg >/dev/null || { echo "peers: ffmpeg is not installed" >&2; exit 1; }
[ -x "$CORVELLE" ] || { echo "peers: $CORVELLE: not built" >&2; exit 1; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
CLIP=$WORK/clip.raw
ONE=$WORK/one.raw
[ "$FRAMES" -ge 2 ] || { echo "peers: FRAMES must be at least 2" >&2; exit 1; }
ffmpeg -v error -f lavfi -i "testsrc2=size=$SIZE:rate=25" -frames:v "$FRAMES" -f rawvideo -pix_fmt argb -y "$CLIP"
head -c $((1920 * 1080 * 4)) "$CLIP" >"$ONE"

VIGNETTE=(--width 1920 --height 1080 --feather 500 --blend normal --opacity 100 --falloff gaussian)
# The same vignette as the plug-in's parameters: fractions of the frame, in its order.
PLUGIN_VIGNETTE="frei0r=filter_name=corvelle:filter_params=ellipse|0.5|0.5|1|1|0|0.26041666666666669|color|black|1|normal|n|n|gaussian"
BUILD=$(dirname "$CORVELLE")
# ffmpeg looks here first, then in its usual folders (frei0r-plugins' vignette).
export FREI0R_PATH="$BUILD/frei0r-1" CORVELLE_MODULE="$BUILD/Corvelle.so"
HAVE_FREI0R=no
HAVE_PLUGIN=no
# grep reads everything: with pipefail, -q would stop early and fail the pipe on ffmpeg's SIGPIPE.
if ffmpeg -hide_banner -filters 2>/dev/null | grep ' frei0r ' >/dev/null; then
    if ffmpeg -v error -f rawvideo -pix_fmt argb -s $SIZE -i "$ONE" -vf frei0r=vignette -f rawvideo - \
        >/dev/null 2>&1; then
        HAVE_FREI0R=yes
    fi
    # Without its module the plug-in passes frames through: that would time a copy.
    if [ -f "$BUILD/frei0r-1/corvelle.so" ] &&
        ffmpeg -v error -f rawvideo -pix_fmt argb -s $SIZE -i "$ONE" -vf "$PLUGIN_VIGNETTE" \
            -f rawvideo -pix_fmt argb -y "$WORK/plugin.raw" >/dev/null 2>&1 &&
        ! cmp -s "$ONE" "$WORK/plugin.raw"; then
        HAVE_PLUGIN=yes
    fi
fi

ONE_CORE=()
if command -v taskset >/dev/null; then
    # The first core this script may run on, from a list such as "0-3" or "2,5".
    ONE_CORE=(taskset -c "$(taskset -cp $$ | sed 's/.*: *//; s/[-,].*//')")
fi

PIN=yes   # per case: "no" lets a 1-thread row run on any core
cores() {   # threads command... : runs the command, on one core when threads is 1
    local threads=$1
    shift
    if [ "$threads" = 1 ] && [ "$PIN" = yes ] && [ ${#ONE_CORE[@]} -gt 0 ]; then
        "${ONE_CORE[@]}" "$@"
    else
        "$@"
    fi
}

corvelle() {   # threads input [effect options...], or threads input frei0r=...: the plug-in in ffmpeg
    local threads=$1 input=$2
    shift 2
    if [[ "$1" == frei0r=* ]]; then
        peer "$threads" "$input" "$1"
        return
    fi
    cores "$threads" "$CORVELLE" render --raw $SIZE "$input" - --threads "$threads" "$@" >/dev/null
}

peer() {   # threads input filter
    cores "$1" ffmpeg -v error -threads "$1" -filter_threads "$1" -f rawvideo -pix_fmt argb -s $SIZE \
        -i "$2" -vf "$3" -f rawvideo -pix_fmt argb - >/dev/null
}

seconds() {   # command... : prints its wall time in seconds
    local start end
    start=$(date +%s%N)
    "$@"
    end=$(date +%s%N)
    echo "scale=6; ($end - $start) / 1000000000" | bc
}

# name;corvelle threads;corvelle options, or the plug-in in ffmpeg (frei0r=...);peer threads;peer filter
# [;any core] (";": ffmpeg separates frei0r parameters with "|")
CASES=(
    "vignette, 1 thread;1;${VIGNETTE[*]};1;vignette"
    "vignette, 1 thread, any core;1;${VIGNETTE[*]};1;vignette;any core"
    "vignette, 2 threads;2;${VIGNETTE[*]};2;vignette"
    "opacity 0 vs -vf null, 1 thread;1;--opacity 0;1;null"
    "opacity 0 vs -vf null, 2 threads;2;--opacity 0;2;null"
)
if [ "$HAVE_FREI0R" = yes ]; then
    CASES+=("vignette vs frei0r vignette, 1 thread;1;${VIGNETTE[*]};1;frei0r=vignette")
fi
# The plug-in splits each frame over the cores no other render is using, whatever -threads says;
# the thread counts are ffmpeg's (and a 1-thread row keeps ffmpeg, plug-in and all, on one core).
if [ "$HAVE_PLUGIN" = yes ]; then
    CASES+=("frei0r=corvelle vs vignette, 1 thread;1;$PLUGIN_VIGNETTE;1;vignette"
        "frei0r=corvelle vs vignette, 2 threads;2;$PLUGIN_VIGNETTE;2;vignette")
    if [ "$HAVE_FREI0R" = yes ]; then
        CASES+=("frei0r=corvelle vs frei0r vignette;1;$PLUGIN_VIGNETTE;1;frei0r=vignette")
    fi
fi

declare -A WHOLE PERFRAME OWN CFRAME
for ((round = 1; round <= ROUNDS; ++round)); do
    for entry in "${CASES[@]}"; do
        IFS=';' read -r name cthreads coptions pthreads filter anywhere <<<"$entry"
        PIN=yes
        [ "$anywhere" = "any core" ] && PIN=no
        if [[ "$coptions" == frei0r=* ]]; then
            c_clip=$(seconds corvelle "$cthreads" "$CLIP" "$coptions")
        else
            # shellcheck disable=SC2086
            c_clip=$(seconds corvelle "$cthreads" "$CLIP" $coptions)
        fi
        p_clip=$(seconds peer "$pthreads" "$CLIP" "$filter")
        if [[ "$coptions" == frei0r=* ]]; then
            c_first=$(seconds corvelle "$cthreads" "$ONE" "$coptions")
        else
            # shellcheck disable=SC2086
            c_first=$(seconds corvelle "$cthreads" "$ONE" $coptions)
        fi
        p_first=$(seconds peer "$pthreads" "$ONE" "$filter")
        WHOLE[$name]+="$(echo "scale=4; $c_clip / $p_clip" | bc) "
        PERFRAME[$name]+="$(echo "scale=4; ($c_clip - $c_first) / ($p_clip - $p_first)" | bc) "
        CFRAME[$name]+="$(echo "scale=6; ($c_clip - $c_first) / ($FRAMES - 1)" | bc) "
        OWN[$name]+="$(echo "scale=3; 1000 * ($c_clip - $c_first) / ($FRAMES - 1)" | bc)/$(echo "scale=3; 1000 * ($p_clip - $p_first) / ($FRAMES - 1)" | bc) "
    done
    echo "round $round of $ROUNDS done" >&2
done

stats() {   # values... : median [min-max]
    printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END {
        m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
        printf "%.2f [%.2f-%.2f]", m, v[1], v[NR] }'
}

echo
echo "corvelle / ffmpeg on $FRAMES frames of $SIZE ARGB, median [spread] of $ROUNDS alternating rounds"
echo "machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(nproc) cores"
echo
printf '| %-38s | %-20s | %-20s | %s |\n' "case" "whole run" "per frame" "ms a frame (corvelle/ffmpeg), per round"
printf '|%s|%s|%s|%s|\n' "$(printf -- '-%.0s' {1..40})" "$(printf -- '-%.0s' {1..22})" \
    "$(printf -- '-%.0s' {1..22})" "---"
for entry in "${CASES[@]}"; do
    name=${entry%%;*}
    # shellcheck disable=SC2086
    printf '| %-38s | %-20s | %-20s | %s |\n' "$name" "$(stats ${WHOLE[$name]})" \
        "$(stats ${PERFRAME[$name]})" "${OWN[$name]}"
done
scaling() {   # name of a 1-thread case: its time a frame over two threads', median [spread]
    local one two ratios=() i
    read -ra one <<<"${CFRAME[$1]}"
    read -ra two <<<"${CFRAME["vignette, 2 threads"]}"
    for ((i = 0; i < ${#one[@]}; ++i)); do
        ratios+=("$(echo "scale=4; ${one[i]} / ${two[i]}" | bc)")
    done
    stats "${ratios[@]}"
}
echo
echo "corvelle's vignette, 1 thread / 2 threads, per frame: $(scaling "vignette, 1 thread") on one core," \
    "$(scaling "vignette, 1 thread, any core") on any core"
if [ ${#ONE_CORE[@]} -eq 0 ]; then
    echo "(taskset is not installed: the 1-thread rows ran on any core)"
fi
if [ "$HAVE_FREI0R" = no ]; then
    echo "(frei0r's vignette: skipped, frei0r-plugins is not installed or ffmpeg has no frei0r filter)"
fi
if [ "$HAVE_PLUGIN" = no ]; then
    echo "(frei0r=corvelle: skipped, $BUILD/frei0r-1/corvelle.so is not built or ffmpeg has no frei0r filter)"
fi
