#!/bin/sh
# Interoperability of the method 1 coder with independent -lh5- programs.
#   lhasa: our encoder's output, wrapped as a level-0 archive, must extract with `lha`.
#   jlha:  archives that `jlha` codes with -lh5- must decode with our decoder.
# Usage: lha_interop_test.sh lhasa|jlha TOOL WORKDIR. Exit 77 (skipped) when the peer is missing.
set -u
peer=$1 tool=$2 work=$3
samples="text short-text binary random repetitive skewed one-byte exe"

case $peer in
  lhasa) prog=lha ;;
  jlha) prog=jlha ;;
  *) echo "unknown peer $peer"; exit 2 ;;
esac
if ! command -v "$prog" >/dev/null 2>&1; then
  echo "SKIPPED: '$prog' is not installed (Debian package $peer / jlha-utils)"
  exit 77
fi

rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 2
for s in $samples; do
  if [ "$s" = exe ]; then
    head -c 65536 /bin/ls > "$s.dat" || exit 2
  else
    "$tool" sample "$s" "$s.dat" || exit 2
  fi
done

failed=0
for s in $samples; do
  if [ "$peer" = lhasa ]; then
    "$tool" wrap "$s.dat" "$s.lzh" || { echo "FAIL $s: wrap"; failed=1; continue; }
    mkdir -p "out-$s"
    (cd "out-$s" && lha -xq "../$s.lzh") || { echo "FAIL $s: lha could not extract"; failed=1; continue; }
    cmp "$s.dat" "out-$s/$s.dat" || { echo "FAIL $s: lha extracted different bytes"; failed=1; continue; }
    echo "ok $s: $(wc -c < "$s.lzh") byte archive extracts equal with lha"
  else
    rm -f "$s.lzh"
    jlha co5q "$s.lzh" "$s.dat" >/dev/null 2>&1 || { echo "FAIL $s: jlha could not archive"; failed=1; continue; }
    "$tool" check "$s.lzh" "$s.dat"
    case $? in
      0) ;;
      3) echo "note $s: jlha chose -lh0- (no gain), not a decoder check" ;;
      *) echo "FAIL $s: our decoder"; failed=1 ;;
    esac
  fi
done
exit $failed
