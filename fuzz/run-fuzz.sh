#!/bin/sh
# Seeds the import fuzzer with discs made by peer programs and by Kestrel
# itself (the sectors from 16 on, as the target expects them) and runs it
# briefly.
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
# Rock Ridge material: modes, links, a folder deeper than eight levels (moved
# by writers that relocate) and a name longer than a record holds.
chmod 750 "$work/src/a.txt"
ln -s a.txt "$work/src/link"
ln -s ../../outside "$work/src/docs/escape"
mkdir -p "$work/src/d1/d2/d3/d4/d5/d6/d7/d8/d9/d10"
printf 'deeper\n' > "$work/src/d1/d2/d3/d4/d5/d6/d7/d8/d9/d10/deeper.txt"
printf 'long\n' > "$work/src/$(printf '%0200d' 0 | tr 0 r).txt"

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
    seed xorriso-iso xorriso -as mkisofs -no-pad --norock
    seed xorriso-rr-level3 xorriso -as mkisofs -no-pad -R -J -iso-level 3
fi
if command -v genisoimage >/dev/null; then
    seed genisoimage-joliet genisoimage -quiet -no-pad -J
    seed genisoimage-iso genisoimage -quiet -no-pad
    seed genisoimage-rr genisoimage -quiet -no-pad -R -J
fi
# Kestrel's own images (KESTREL_CLI, when given): names at the writer's
# length limits, a newline in a name and characters beyond the BMP; and the
# Rock Ridge tree above, its deep folder moved, its long name continued.
if [ -n "${KESTREL_CLI:-}" ] && [ -x "$KESTREL_CLI" ]; then
    names="$work/names"
    long_dir="$names/$(printf '%0110d' 0 | tr 0 d)"
    mkdir -p "$long_dir"
    printf 'long\n' > "$names/$(printf '%0104d' 0 | tr 0 f).txt"
    printf 'in\n' > "$long_dir/inner.txt"
    printf 'newline\n' > "$names/$(printf 'line\nbreak.txt')"
    printf 'astral\n' > "$names/$(printf '\360\237\230\200 smile.txt')"
    if "$KESTREL_CLI" build-iso --save-path unchecked -o "$work/kestrel-names.iso" "$names/" >/dev/null 2>&1; then
        tail -c +32769 "$work/kestrel-names.iso" > "$work/corpus/kestrel-names"
    fi
    if "$KESTREL_CLI" build-iso --save-path unchecked -o "$work/kestrel-rr.iso" "$work/src/" >/dev/null 2>&1; then
        tail -c +32769 "$work/kestrel-rr.iso" > "$work/corpus/kestrel-rr"
    fi
fi
exec "$fuzzer" -artifact_prefix="$work/crashes/" "$@" "$work/corpus"
