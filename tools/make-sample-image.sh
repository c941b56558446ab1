#!/usr/bin/env bash
# Writes a deterministic sample firmware image for trying the tool out:
#   tools/make-sample-image.sh OUT [SIZE]
# SIZE in bytes (default 8388608, the 8 MB of the usual chip). Every 10-byte
# line of the image holds its own line number, so a byte that lands at the
# wrong address shows. The firmware header at 0x180000 gives a header length
# of 0x100 and a boot size of 0x200000 (a Firmware length of 0x200100) and the
# version 02.01.00.05. Needs bash and coreutils only.
set -euo pipefail

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: $0 OUT [SIZE]" >&2
  exit 2
fi
out=$1
size=${2:-8388608}
case $size in
  ''|*[!0-9]*) echo "$0: SIZE must be a number of bytes" >&2; exit 2 ;;
esac
header=$((0x180000))
if [ "$size" -lt $((header + 0x20)) ]; then
  echo "$0: SIZE must be at least $((header + 0x20)) bytes to hold the firmware header" >&2
  exit 2
fi

# The body: "000000000\n000000001\n..." cut to SIZE bytes.
lines=$(( (size + 9) / 10 ))
seq -f '%09.0f' 0 "$((lines - 1))" > "$out"
truncate -s "$size" "$out"

# Writes bytes (given as hex pairs) at an offset, in place.
put() {
  local offset=$1; shift
  local bytes=""
  for b in "$@"; do bytes+="\\x$b"; done
  printf "$bytes" | dd of="$out" bs=1 seek="$offset" conv=notrunc status=none
}

put $((header + 0x0C)) 00 00 01 00   # header length 0x100, big-endian
put $((header + 0x10)) 00 20 00 00   # boot size 0x200000, big-endian
put $((header + 0x1C)) 05 00 01 02   # version, shown last byte first: 02.01.00.05
