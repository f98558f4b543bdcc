#!/usr/bin/env bash
# Shows the update engine at work through paktool: a game folder published as a server
# tree, an installation brought from v1 to v2 by an online pass, a second pass that finds
# nothing to do, and an offline package applied to another installation.
#
#   scripts/demo-update.sh PAKTOOL SCRATCHDIR
#
# Exit code 0 when every step gave the expected result.
set -uo pipefail

PAKTOOL=${1:?usage: demo-update.sh PAKTOOL SCRATCHDIR}
WORK=${2:?usage: demo-update.sh PAKTOOL SCRATCHDIR}
failures=0

# Status texts are GBK inside the system; shown as UTF-8 here when iconv is at hand.
show() {
  if command -v iconv >/dev/null 2>&1; then iconv -f GBK -t UTF-8 -c; else cat; fi | sed 's/^/    /'
}

step() {
  local title=$1 want=$2
  shift 2
  echo "== $title"
  echo "   paktool $*"
  local out rc
  out=$("$PAKTOOL" "$@" 2>&1)
  rc=$?
  printf '%s\n' "$out" | show
  if ! printf '%s\n' "$out" | grep -q "$want"; then
    echo "   !! expected '$want' (exit $rc)"
    failures=$((failures + 1))
  fi
}

same() {
  if cmp -s "$1" "$2"; then echo "   $3: identical"; else echo "   !! $3 differs"; failures=$((failures + 1)); fi
}

rm -rf "$WORK"
mkdir -p "$WORK"/{game-v1/data,game-v2/data/maps,install,install-offline}
cd "$WORK" || exit 1

for ((i = 0; i < 300; i++)); do printf 'item%04d\tsword_%d\tlevel=%d\n' "$i" $((i * 7 % 113)) $((i % 60)); done >game-v1/data/items.txt
head -c 100000 /dev/zero | tr '\0' 'm' >game-v1/data/music.bin
printf 'version 1\r\n' >game-v1/readme.txt
printf 'readme.txt\r\n' >game-v1/.unpack
cp game-v1/data/items.txt game-v2/data/items.txt
for ((i = 0; i < 3000; i++)); do printf '%d,%d;' "$i" $((i * i % 977)); done >game-v2/data/music.bin
printf 'map of the new land\r\n' >game-v2/data/maps/newland.map
printf 'version 2\r\n' >game-v2/readme.txt
cp game-v1/.unpack game-v2/.unpack

step "publish v1 (each file wrapped in an UpdatePK container)" "published 3 files" publish game-v1 server-v1 --wrap
step "online pass on an empty installation (the pack is created)" "UPD_DONE" sync server-v1 install --yes
step "publish v2 for the platform 'win'" "published 4 files" publish game-v2 server-v2 --platform win --plugin-version 10000
step "online pass v1 -> v2" "UPD_DONE" sync server-v2 install --platform win
step "second online pass" "UPD_UP_TO_DATE" sync server-v2 install --platform win
same install/readme.txt game-v2/readme.txt "loose readme.txt against v2"

step "offline package of v2" "packaged 4 files" olp game-v2 v2.olp --platform "win mac"
step "v1 installation for the offline package" "UPD_DONE" sync server-v1 install-offline --yes
step "apply the offline package" "UPD_PACKAGE_APPLIED" apply-olp v2.olp install-offline --platform win
step "online pass after the package: nothing left to fetch" "UPD_UP_TO_DATE" sync server-v2 install-offline --platform win
same install-offline/readme.txt game-v2/readme.txt "offline readme.txt against v2"

echo "== update demo: $failures failure(s)"
[ "$failures" -eq 0 ]
