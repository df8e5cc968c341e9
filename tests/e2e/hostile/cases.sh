#!/bin/sh
# One hostile case against the built command: cases.sh CASE CORVELLE MODULE HELPER.
# Exit 0 when the command behaved, 77 when the case cannot run here (with the reason), else 1.
# Faults are told by exit status and by what is left on disk, never by message text.
set -u
case_name=$1
corvelle=$2
module=$3
helper=$4
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch" || exit 1

run() { "$corvelle" "$@" --module "$module"; }
fail() { echo "FAIL: $*" >&2; exit 1; }
expect() {   # expect STATUS COMMAND...
    want=$1
    shift
    "$@" --module "$module" >out.txt 2>err.txt
    got=$?
    [ "$got" -eq "$want" ] || fail "expected exit $want, got $got from: $* ($(cat err.txt))"
    # Every failure is one line on stderr.
    if [ "$want" -ne 0 ] && [ "$(wc -l <err.txt)" -ne 1 ]; then
        fail "expected one line on stderr, got: $(cat err.txt)"
    fi
}
no_temporaries() {
    leftover=$(find . -name '.corvelle-*' | head -n 1)
    [ -z "$leftover" ] || fail "a temporary file was left behind: $leftover"
}
same_bytes() { cmp -s "$1" "$2" || fail "$1 changed"; }

run render small.png >/dev/null 2>&1 || fail "cannot make a test picture"

case "$case_name" in
outputs_full_disk)
    [ -w /dev/full ] || { echo "skipped: no writable /dev/full"; exit 77; }
    ln -s /dev/full full.png
    expect 1 "$corvelle" render small.png full.png
    expect 1 "$corvelle" render --raw 16x8 /dev/full
    [ -c /dev/full ] || fail "/dev/full is no longer a device"
    ;;
outputs_fifo)
    mkfifo pipe.png
    cat pipe.png >received.png &
    expect 0 "$corvelle" render small.png pipe.png
    wait
    [ -p pipe.png ] || fail "the FIFO was replaced"
    run render small.png direct.png 2>/dev/null
    same_bytes received.png direct.png
    ;;
outputs_symlink)
    run render small.png target.png 2>/dev/null
    ln -s target.png link.png
    expect 0 "$corvelle" render small.png link.png --opacity 50
    [ -L link.png ] || fail "the link was replaced by a file"
    cmp -s target.png small.png && fail "the file the link points to was not written"
    no_temporaries
    ;;
outputs_modes)
    cp small.png private.png
    chmod 600 private.png
    expect 0 "$corvelle" render small.png private.png
    [ "$(stat -c %a private.png)" = 600 ] || fail "a private file came back $(stat -c %a private.png)"
    cp small.png readonly.png
    chmod 444 readonly.png
    cp readonly.png before.png
    if [ "$(id -u)" -eq 0 ]; then
        command -v setpriv >/dev/null || { echo "skipped: running as root without setpriv"; exit 77; }
        chmod 777 .
        chmod 644 small.png
        as_nobody="setpriv --reuid=65534 --regid=65534 --clear-groups"
        # A build under a folder only root may enter cannot be run as anybody else.
        $as_nobody "$corvelle" --help >/dev/null 2>&1 && $as_nobody test -r small.png -a -r "$module" ||
            { echo "skipped: an unprivileged user cannot reach the build or its files"; exit 77; }
        $as_nobody "$corvelle" render small.png readonly.png --module "$module" 2>err.txt
        status=$?
        [ "$status" -eq 1 ] || fail "an unprivileged user replaced a read-only file (exit $status)"
    else
        expect 1 "$corvelle" render small.png readonly.png
    fi
    same_bytes readonly.png before.png
    no_temporaries
    ;;
outputs_same_file)
    cp small.png in.png
    cp in.png before.png
    ln -s in.png alias.png
    expect 2 "$corvelle" render in.png in.png
    expect 2 "$corvelle" render in.png alias.png
    expect 2 "$corvelle" render --raw 8x4 in.png alias.png
    cp in.png seq.0001.png
    cp in.png seq.0002.png
    expect 2 "$corvelle" render seq.%04d.png seq.%04d.png --frames 1-2
    expect 2 "$corvelle" overlay in.png out.png --trace out.png
    expect 2 "$corvelle" overlay in.png alias.png
    same_bytes in.png before.png
    same_bytes seq.0001.png before.png
    [ -e out.png ] && fail "a refused overlay wrote its output"
    ;;
outputs_empty_input)
    cp small.png keep.raw
    expect 1 "$corvelle" render --raw 32767x32767 - keep.raw </dev/null
    same_bytes keep.raw small.png
    no_temporaries
    ;;
outputs_long_name)
    name=$(printf '%0250d' 0).png
    expect 0 "$corvelle" render "$name"
    [ -f "$name" ] || fail "a 254-character name was not written"
    expect 0 "$corvelle" render .png
    ;;
inputs_special)
    mkfifo pipe.png
    expect 1 timeout 10 "$corvelle" render pipe.png out.png
    expect 1 timeout 10 "$corvelle" render /dev/zero out.png
    [ -e out.png ] && fail "a refused input left an output"
    ;;
inputs_corrupt)
    "$helper" pictures . || fail "cannot write the pictures"
    head -c 20000 small.png >cut.png
    for picture in cut.png cut.tif bomb.png bomb.tif; do
        expect 1 "$corvelle" render "$picture" out.png
        [ -e out.png ] && fail "$picture left an output"
    done
    ;;
inputs_peak_memory)
    "$helper" pictures . || fail "cannot write the pictures"
    # The command alone (libraries, the module, a small picture) stays under 250 MiB; any of
    # these pictures committed whole would take from 256 MiB (cut.tif) to 4 GiB (bomb.png).
    # A file that is no picture at all is refused from its first bytes, whatever its size.
    truncate -s 1G junk.png || fail "cannot make a sparse file"
    for picture in bomb.png bomb.tif cut.tif junk.png; do
        set -- $("$helper" peak "$corvelle" render "$picture" out.png --module "$module" 2>/dev/null)
        [ "$1" -eq 1 ] || fail "$picture: expected exit 1, got $1"
        [ "$2" -lt 256000 ] || fail "$picture: the run peaked at $2 KiB"
    done
    : | { set -- $("$helper" peak "$corvelle" render --raw 32767x32767 /dev/stdin out.raw --module "$module" 2>/dev/null)
        [ "$1" -eq 1 ] || fail "empty raw input: expected exit 1, got $1"
        [ "$2" -lt 256000 ] || fail "empty raw input: the run peaked at $2 KiB"; }
    ;;
inputs_long_stream)
    # 20000 tiny frames and 200: peak memory must not grow with the stream's length (a leak of
    # a few hundred bytes a frame would show).
    head -c $((8 * 8 * 4 * 200)) /dev/zero >short.raw
    head -c $((8 * 8 * 4 * 20000)) /dev/zero >long.raw
    set -- $("$helper" peak "$corvelle" render --raw 8x8 short.raw out.raw --threads 1 --module "$module")
    short_peak=$2
    set -- $("$helper" peak "$corvelle" render --raw 8x8 long.raw out.raw --threads 1 --module "$module")
    [ "$1" -eq 0 ] || fail "the long stream failed"
    [ "$2" -lt $((short_peak + 2048)) ] || fail "memory grew with the stream: $short_peak KiB then $2 KiB"
    ;;
commands_stdout_full)
    [ -w /dev/full ] || { echo "skipped: no writable /dev/full"; exit 77; }
    for command in "info" "drag --press 10,10" "--help" "info --json"; do
        $corvelle $command --module "$module" >/dev/full 2>err.txt
        status=$?
        [ "$status" -eq 1 ] || fail "'$command > /dev/full' exited $status"
    done
    ;;
signals_render)
    for signal in 2 15 1; do
        want=$((128 + signal))
        mkfifo feed
        # Three frames arrive, then the stream stays open: the run waits, mid-output, for more.
        { head -c $((64 * 64 * 4 * 3)) /dev/zero; sleep 30; } >feed &
        writer=$!
        status=$("$helper" interrupt "$signal" "$corvelle" render --raw 64x64 feed sig.raw --module "$module")
        kill "$writer" 2>/dev/null
        rm -f feed
        [ "$status" = "$want" ] || fail "signal $signal: expected exit $want, got $status"
        [ -e sig.raw ] && fail "signal $signal left an output"
        no_temporaries
    done
    ;;
*)
    fail "no case $case_name"
    ;;
esac
exit 0
