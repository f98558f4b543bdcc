#!/bin/bash
# Shows paktool's pack commands on a small game folder: make a pack, list it, change a
# member, remove one, verify the result and extract a member again.
# Usage: scripts/demo-pack.sh PAKTOOL SCRATCHDIR
set -euo pipefail

if [ $# -ne 2 ]; then
    echo "usage: $0 PAKTOOL SCRATCHDIR" >&2
    exit 2
fi
PAKTOOL="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
DIR="$2/demo-pack"
rm -rf "$DIR"
mkdir -p "$DIR/game/Data"
cd "$DIR"

step() { printf '\n$ paktool %s\n' "$*"; "$PAKTOOL" "$@"; }

printf '[edition]\r\nsize=1024\r\n' > game/curver.dat
for i in $(seq 1 2000); do printf 'item%04d=sword,%d\r\n' "$i" $((i * 7)); done > game/Data/items.ini
head -c 70000 /dev/urandom > game/Data/music.bin
printf 'game\r\ncurver.dat\r\nData/items.ini\r\nData/music.bin\r\n' > pack-list.txt

step make pack-list.txt patch.dat -m zlib
step list patch.dat
printf '[edition]\r\nsize=800\r\n' > new-curver.dat
step add patch.dat curver.dat new-curver.dat
step delete patch.dat Data/music.bin
step list patch.dat
step verify patch.dat
step extract patch.dat 'Data\Items.ini' items-out.ini
cmp items-out.ini game/Data/items.ini && echo "items.ini extracted unchanged"
step extract patch.dat curver.dat curver-out.dat
cmp curver-out.dat new-curver.dat && echo "curver.dat holds the new edition"
