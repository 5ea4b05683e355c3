#!/usr/bin/env bash
# Runs one command inside a throw-away Wine session: its own Xvfb display with a compositor and
# a fresh WINEPREFIX that is set up for unattended tests. The command's exit code is ours; all
# that this script started is ended and removed on the way out, whatever happens.
#
#   tests/e2e/wine_session.sh [--] CMD [ARGS...]
#
# Set QM_SESSION_VERBOSE=1 to see the timing of each setup step on stderr. With
# QM_SESSION_DISPLAY=host the command runs on the display already in $DISPLAY (the prefix is still
# a throw-away one of its own).
set -euo pipefail

if [[ ${1-} == -- ]]; then shift; fi
if [[ $# -eq 0 ]]; then
    echo "usage: ${0##*/} [--] CMD [ARGS...]" >&2
    exit 2
fi

command_pid=""
xvfb_pid=""
compositor_pid=""
prefix=""
session_log=""
started_at=$EPOCHREALTIME

step() {
    if [[ ${QM_SESSION_VERBOSE-} == 1 ]]; then
        awk -v a="$started_at" -v b="$EPOCHREALTIME" -v m="$*" \
            'BEGIN { printf "wine_session: %6.2fs %s\n", b - a, m }' >&2
    fi
}

fail() {
    echo "wine_session: $*" >&2
    if [[ -n $session_log && -s $session_log ]]; then
        echo "wine_session: last lines of the setup log:" >&2
        tail -n 30 "$session_log" >&2 || true
    fi
    exit 1
}

teardown() {
    local rc=$?
    trap - EXIT INT TERM HUP
    if [[ -n $command_pid ]]; then
        kill "$command_pid" 2>/dev/null || true
        wait "$command_pid" 2>/dev/null || true
    fi
    # Only our own prefix's server: other sessions on this machine keep theirs.
    if [[ -n $prefix && -d $prefix ]]; then
        WINEPREFIX=$prefix wineserver -k </dev/null >/dev/null 2>&1 || true
        WINEPREFIX=$prefix wineserver -w </dev/null >/dev/null 2>&1 || true
    fi
    local pid
    for pid in $compositor_pid $xvfb_pid; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in $compositor_pid $xvfb_pid; do
        wait "$pid" 2>/dev/null || true
    done
    if [[ -n $prefix ]]; then rm -rf -- "$prefix"; fi
    if [[ -n $session_log ]]; then rm -f -- "$session_log"; fi
    exit "$rc"
}
trap teardown EXIT
# A signal ends the script through the EXIT trap, with the shell's usual 128+N code.
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

session_log=$(mktemp -t qm-wine-session.XXXXXX.log)

# --- Display -------------------------------------------------------------------------------
# X servers keep their locks and sockets in these fixed places, whatever TMPDIR says.
start_display() {
    local n
    for ((n = 90; n < 190; n++)); do
        [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp </dev/null >>"$session_log" 2>&1 &
        xvfb_pid=$!
        local deadline=$((SECONDS + 10))
        while ((SECONDS < deadline)); do
            if DISPLAY=":$n" xdpyinfo >/dev/null 2>&1; then
                export DISPLAY=":$n"
                return 0
            fi
            # Another session may have taken the same number between our probe and its lock.
            kill -0 "$xvfb_pid" 2>/dev/null || break
            sleep 0.02
        done
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
        xvfb_pid=""
    done
    return 1
}
if [[ ${QM_SESSION_DISPLAY-} == host ]]; then
    DISPLAY=${DISPLAY-} xdpyinfo >/dev/null 2>&1 || fail "QM_SESSION_DISPLAY=host but no display in DISPLAY"
    step "using the display $DISPLAY"
else
    start_display || fail "no Xvfb display could be started"
    step "Xvfb ready on $DISPLAY"

    # Without a compositor layered windows draw opaque, whatever alpha they set.
    xcompmgr </dev/null >>"$session_log" 2>&1 &
    compositor_pid=$!
    step "xcompmgr started"
fi

# --- Locale --------------------------------------------------------------------------------
# Japanese, the language of the program's resources: its dialogs meet the code page and fonts
# of the users they are written for.
if locale -a 2>/dev/null | grep -qiE '^ja_JP\.utf-?8$' ||
    localedef -i ja_JP -c -f UTF-8 ja_JP.UTF-8 >>"$session_log" 2>&1; then
    export LANG=ja_JP.UTF-8
else
    echo "wine_session: ja_JP.UTF-8 is not available; using C.UTF-8" >&2
    export LANG=C.UTF-8
fi
unset LC_ALL
step "locale $LANG"

# --- Prefix --------------------------------------------------------------------------------
prefix=$(mktemp -d -t qm-wineprefix.XXXXXX)
export WINEPREFIX=$prefix
export WINEDEBUG=-all
# No Mono/Gecko installers, and no menu entries written into the user's home.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

wineboot -i </dev/null >>"$session_log" 2>&1 || fail "wineboot -i failed"
step "wineboot -i done"

# Settings that keep unattended runs from hanging, and Japanese UI fonts that exist here.
reg_file=$prefix/session-settings.reg
iconv -f UTF-8 -t UTF-16 >"$reg_file" <<'EOF'
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"MS UI Gothic"="IPAPGothic"
"MS PGothic"="IPAPGothic"
EOF
wine regedit /S "$(winepath -w "$reg_file" 2>/dev/null)" </dev/null >>"$session_log" 2>&1 ||
    fail "regedit could not apply the session settings"
rm -f -- "$reg_file"
step "registry settings applied"

# This Wine build misses its own Tahoma and Marlett unless they sit in the Windows font folder.
fonts_dir=$prefix/drive_c/windows/Fonts
mkdir -p "$fonts_dir"
cp /usr/share/wine/fonts/*.ttf "$fonts_dir/" 2>>"$session_log" || true

# wineboot links the profile folders (My Pictures among them) to the user's own home: tests get
# empty folders of their own instead, and never read or write the home.
for folder in "$prefix/drive_c/users/$(id -un)"/*; do
    if [[ -L $folder ]]; then
        rm -f -- "$folder"
        mkdir -p -- "$folder"
    fi
done

# Let the boot processes finish before the server is made persistent: the other order leaves a
# second services.exe behind and makes later calls stall.
wineserver -w </dev/null >>"$session_log" 2>&1 || true
step "wineserver settled"
wineserver -p </dev/null >>"$session_log" 2>&1 || fail "wineserver -p failed"
step "persistent wineserver started"

# Start Wine's own long-lived processes (services, the desktop's explorer.exe) now, with our
# descriptors: started by the first test they would inherit its output pipe and hold it open
# for the rest of the session, and the runner reading it would wait forever.
wine rundll32.exe user32.dll,GetDesktopWindow </dev/null >>"$session_log" 2>&1 ||
    fail "the desktop process did not start"
step "desktop and services started"

# --- The command ---------------------------------------------------------------------------
# In the background so that a signal to this script is handled at once, not once the command
# ends. An explicit redirection keeps our stdin; a closed one becomes /dev/null.
if { true <&0; } 2>/dev/null; then
    "$@" <&0 &
else
    "$@" </dev/null &
fi
command_pid=$!
set +e
wait "$command_pid"
rc=$?
set -e
command_pid=""
step "command ended with $rc"
exit "$rc"
