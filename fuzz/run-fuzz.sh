#!/bin/sh
# Seeds the import fuzzer with discs made by peer programs (the sectors from
# 16 on, as the target expects them) and runs it briefly.
#   run-fuzz.sh FUZZER WORK-FOLDER [libFuzzer options...]
set -eu
fuzzer=$1
work=$2
shift 2
rm -rf "$work"
mkdir -p "$work/src/docs/deep" "$work/corpus" "$work/crashes"
printf 'hello\n' > "$work/src/a.txt"
printf 'x' > "$work/src/README"
: > "$work/src/empty.dat"
head -c 70000 /dev/zero | tr '\0' 'k' > "$work/src/docs/piece.bin"
printf 'deep\n' > "$work/src/docs/deep/Long file name.txt"

seed() {
    name=$1
    shift
    if "$@" -o "$work/$name.iso" "$work/src" >/dev/null 2>&1; then
        tail -c +32769 "$work/$name.iso" > "$work/corpus/$name"
    fi
}
if command -v xorriso >/dev/null; then
    seed xorriso-joliet xorriso -as mkisofs -no-pad -J
    seed xorriso-rr-joliet xorriso -as mkisofs -no-pad -R -J
    seed xorriso-iso xorriso -as mkisofs -no-pad
fi
if command -v genisoimage >/dev/null; then
    seed genisoimage-joliet genisoimage -quiet -no-pad -J
    seed genisoimage-iso genisoimage -quiet -no-pad
fi
exec "$fuzzer" -artifact_prefix="$work/crashes/" "$@" "$work/corpus"
