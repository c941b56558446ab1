#!/usr/bin/env bash
# The tool's main job against the simulated device: burn a generated 8 MB
# sample image into the simulated flash, dump the flash back and compare.
#   ./tools/main-job.sh BUILD_DIR
# Exits non-zero when any step fails.
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 BUILD_DIR" >&2
  exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
pellaro=$1/src/cli/pellaro
if [ ! -x "$pellaro" ]; then
  echo "$0: $pellaro not found; build the tool first (cmake --build $1)" >&2
  exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/pellaro-main-job.XXXXXX")
trap 'rm -rf "$work"' EXIT
image=$work/sample.bin
flash=$work/flash.bin
dump=$work/dump.bin
sim=(--sim --sim-flash "$flash")

step() { printf '== %s\n' "$*"; }

step "generate a sample image"
"$here/make-sample-image.sh" "$image"
"$pellaro" image-info "$image"

step "burn it into the simulated device"
"$pellaro" "${sim[@]}" burn "$image"

step "dump the flash back"
"$pellaro" "${sim[@]}" dump "$dump"

step "compare"
if ! cmp "$image" "$dump"; then
  echo "FAILED: the dump differs from the image" >&2
  exit 1
fi
size=$(stat -c %s "$dump")
echo "OK: burned and dumped $size bytes; the dump equals the image."
