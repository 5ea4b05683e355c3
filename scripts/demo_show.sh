#!/usr/bin/env bash
# Runs inside a Wine session (tests/e2e/wine_session.sh): fills My Pictures and runs the show.
#   demo_show.sh screen         until the user ends it
#   demo_show.sh capture DIR    for about 25 s, with screenshots in DIR
set -euo pipefail
cd "$(dirname "$0")/.."
mode=$1

pictures=$(find "$WINEPREFIX/drive_c/users" -mindepth 2 -maxdepth 2 -name Pictures ! -path '*/Public/*' | head -n 1)
[[ -n $pictures ]] || { echo "no My Pictures folder in the prefix" >&2; exit 1; }
cp /usr/share/backgrounds/mate/nature/*.jpg "$pictures/"
echo "$(ls "$pictures" | wc -l) photos in My Pictures"

scr=build/windows/Tessaly.scr
if [[ $mode == screen ]]; then
    echo "The show starts; any key, click or mouse movement ends it."
    wine "$scr" /s </dev/null
    exit 0
fi

out=$2
wine "$scr" /s </dev/null >/dev/null 2>&1 &
show=$!
start=$EPOCHREALTIME
# With the default settings the veil fades in over 3 s and each photo takes about 12.4 s.
for at in 1 3 7 9 13 16 20 24; do
    while awk -v s="$start" -v n="$EPOCHREALTIME" -v t="$at" 'BEGIN { exit !(n - s < t) }'; do
        sleep 0.05
    done
    import -window root "$out/show-$(printf '%02d' "$at")s.png"
done
xdotool key Escape
wait "$show"
echo "screenshots of the show: $(ls "$out"/show-*.png | tr '\n' ' ')"
