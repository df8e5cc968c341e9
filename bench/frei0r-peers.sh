#!/usr/bin/env bash
# Times ffmpeg rendering the same raw frames through frei0r=corvelle, ffmpeg's own vignette filter
# and frei0r's vignette plug-in (frei0r-plugins), each the best of a few runs.
# Usage: bench/frei0r-peers.sh [BUILD_DIR] [WxH] [FRAMES]   (default build/release 1920x1080 50)
set -euo pipefail
build=${1:-build/release}
size=${2:-1920x1080}
frames=${3:-50}
runs=3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

ffmpeg -v error -f lavfi -i "testsrc2=s=${size}:r=25,trim=end_frame=${frames},format=rgba" \
    -f rawvideo -pix_fmt rgba -y "$work/in.rgba"

best() {   # label, then the filter graph
    local label=$1 graph=$2 best_ms=""
    for _ in $(seq "$runs"); do
        local start end ms
        start=$(date +%s%N)
        FREI0R_PATH="$build/frei0r-1:/usr/lib/frei0r-1" CORVELLE_MODULE="$build/Corvelle.so" \
            ffmpeg -v error -f rawvideo -pix_fmt rgba -s "$size" -r 25 -i "$work/in.rgba" \
            -vf "$graph" -f null -
        end=$(date +%s%N)
        ms=$(((end - start) / 1000000))
        if [ -z "$best_ms" ] || [ "$ms" -lt "$best_ms" ]; then best_ms=$ms; fi
    done
    printf '%-34s %7d ms  %6.2f ms/frame\n' "$label" "$best_ms" "$(awk -v t="$best_ms" -v n="$frames" 'BEGIN { print t / n }')"
}

echo "ffmpeg, ${frames} frames of ${size} RGBA, best of ${runs} (includes ffmpeg start-up)"
best "copy (null filter)" "null"
best "frei0r=corvelle (defaults)" "frei0r=filter_name=corvelle"
best "frei0r=corvelle (wide feather)" "frei0r=filter_name=corvelle:filter_params=ellipse|0.5|0.5|0.6|0.6|0|0.3|color|black|0.8|multiply|n|n|gaussian"
best "vignette (ffmpeg)" "vignette"
best "frei0r=vignette (frei0r-plugins)" "frei0r=filter_name=vignette"
