#!/bin/sh
# Builds the game as it stood at a commit of this repository's history into OUT/marevant: the
# copy that knows only the original wire, for the tests that play it against today's program.
# Built once per commit; a later call with the same commit does nothing.
# Usage: tools/build-old-peer.sh COMMIT OUT
set -eu
commit=$1
out=$2
top=$(cd "$(dirname "$0")/.." && pwd)
[ -x "$out/marevant" ] && [ "$(cat "$out/commit" 2>/dev/null)" = "$commit" ] && exit 0
if ! git -C "$top" cat-file -e "$commit^{commit}" 2>/dev/null; then
    echo "build-old-peer: commit $commit is not in this checkout's history" >&2
    exit 1
fi
rm -rf "$out"
mkdir -p "$out/src"
git -C "$top" archive "$commit" | tar -x -C "$out/src"
cmake -S "$out/src" -B "$out/build" -DMAREVANT_TESTS=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
env -u MAKEFLAGS -u MFLAGS -u MAKELEVEL cmake --build "$out/build" -j "$(nproc 2>/dev/null || echo 2)" --target marevant >/dev/null
cp "$out/build/marevant" "$out/marevant"
echo "$commit" > "$out/commit"
