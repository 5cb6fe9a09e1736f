#!/usr/bin/env bash
# Runs a Windows program under Wine, hermetically, and exits with its exit
# code.
#
#   wine-run.sh --setup DIR                 create and boot the prefix DIR/wine
#   wine-run.sh --dir DIR [--name NAME] EXE [ARGS...]
#                                           run EXE in that prefix
#   wine-run.sh --cleanup DIR               stop its wineserver, delete the prefix
#   wine-run.sh EXE [ARGS...]               all three, in a temporary DIR
#
# Booting a new prefix takes about 10 s, so a test run boots one and every
# program shares it. Each run NAME gets its own HOME, DIR/NAME, whose
# .asoundrc makes ALSA's default device write to DIR/NAME/capture.raw: that
# gives Wine an audio endpoint on a machine without a sound card, and keeps
# what the program played (interleaved S16_LE stereo at 48000 Hz). The
# program finds that file through CANTRELLE_CAPTURE_FILE (a Windows path);
# CANTRELLE_CAPTURE_FILE_UNIX holds the same file for Linux-side readers.
set -euo pipefail

WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver

usage() {
    sed -n '2,/^set -euo/p' "$0" | sed -e '$d' -e 's/^# \{0,1\}//' >&2
    exit 2
}

# Only what is set here reaches Wine: no display, no sound server, no
# settings of the user running the tests.
wine_env() {
    local home=$1
    shift
    env -u DISPLAY -u WAYLAND_DISPLAY -u PULSE_SERVER -u XDG_RUNTIME_DIR \
        HOME="$home" WINEPREFIX="$prefix" WINEDEBUG=-all \
        WINEDLLOVERRIDES="mscoree,mshtml,winepulse.drv=" "$@"
}

setup() {
    [[ -x $WINE ]] || { echo "wine-run: $WINE not found (scripts/setup.sh installs wine64)" >&2; exit 1; }
    mkdir -p "$dir"
    dir=$(realpath "$dir")
    prefix=$dir/wine
    cleanup_prefix
    mkdir -p "$prefix"
    local start=$SECONDS
    wine_env "$dir" "$WINE" wineboot --init >"$dir/wineboot.log" 2>&1 || {
        cat "$dir/wineboot.log" >&2
        echo "wine-run: wineboot failed" >&2
        exit 1
    }
    # Wine's null graphics driver: without a display, programs can still
    # create real windows, and the input tests place the cursor over them.
    wine_env "$dir" "$WINE" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >>"$dir/wineboot.log" 2>&1
    WINEPREFIX=$prefix "$WINESERVER" -w
    echo "wine-run: prefix $prefix ready in $((SECONDS - start)) s"
}

cleanup_prefix() {
    if [[ -d $prefix ]]; then
        WINEPREFIX=$prefix "$WINESERVER" -k 2>/dev/null || true
        rm -rf "$prefix"
    fi
}

run() {
    [[ -d $prefix/drive_c ]] || { echo "wine-run: no prefix in $dir (run --setup first)" >&2; exit 1; }
    local home=$dir/$name
    mkdir -p "$home"
    local capture=$home/capture.raw
    rm -f "$capture"
    cat >"$home/.asoundrc" <<ASOUNDRC
pcm.!default { type plug; slave { pcm "capture"; format S16_LE; rate 48000; channels 2 } }
pcm.capture { type file; slave.pcm "null"; file "$capture"; format "raw" }
ctl.!default { type hw card 0 }
ASOUNDRC
    # Wine maps drive Z: to the root of the Linux file system.
    local windowsCapture="Z:${capture//\//\\}"
    wine_env "$home" CANTRELLE_CAPTURE_FILE="$windowsCapture" CANTRELLE_CAPTURE_FILE_UNIX="$capture" \
        "$WINE" "$@"
}

dir=""
name=""
case "${1:-}" in
    --setup | --cleanup)
        [[ $# -eq 2 ]] || usage
        dir=$2
        prefix=$(realpath -m "$dir")/wine
        if [[ $1 == --setup ]]; then setup; else cleanup_prefix; fi
        exit 0
        ;;
esac
while [[ $# -gt 0 ]]; do
    case "$1" in
        --dir) dir=$2; shift 2 ;;
        --name) name=$2; shift 2 ;;
        -h | --help) usage ;;
        *) break ;;
    esac
done
[[ $# -ge 1 ]] || usage
exe=$(realpath "$1")
shift
[[ -f $exe ]] || { echo "wine-run: $exe not found" >&2; exit 1; }
name=${name:-$(basename "$exe" .exe)}

if [[ -n $dir ]]; then
    dir=$(realpath -m "$dir")
    prefix=$dir/wine
    run "$exe" "$@"
else
    dir=$(mktemp -d "${TMPDIR:-/tmp}/cantrelle-wine.XXXXXX")
    prefix=$dir/wine
    trap 'cleanup_prefix; rm -rf "$dir"' EXIT
    setup
    set +e
    run "$exe" "$@"
    status=$?
    exit $status
fi
