#!/bin/sh
# The mutation check: applies small faults to game/ and net/, one at a time, to a copy of the
# committed tree, builds it and runs the unit, connection and end-to-end suites (but for the
# slowest cases) until the first failure; prints which faults the suites caught and how many
# (a fault that does not even build counts as broken, not caught).
# Each fault names a line by its text, so it finds the line wherever the code has moved.
# Usage: tools/mutants.sh [OUT]   (default build-mutants; takes about an hour on two cores)
# MUTANTS_COMMIT checks another commit than HEAD; MUTANTS_ONLY, texts apart by "|", keeps only
# the faults whose description holds one of them. A caught fault names the first case that failed.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$top/build-mutants}
slow='Windows|AStormOf|LossyLink|AWholeMatch|Package|2GiB|ThreeHundredFiles'
rm -rf "$out/src"
mkdir -p "$out/src"
git -C "$top" archive "${MUTANTS_COMMIT:-HEAD}" | tar -x -C "$out/src"
# The old peer is built from history, which the copy lacks; the real tree's build serves.
[ -d "$top/build-old-peer" ] && cp -r "$top/build-old-peer" "$out/src/"

# One fault a line, its three fields apart by "@": what it does, the exact text of a line, what
# it becomes (nothing drops the line).
cat > "$out/faults" <<'FAULTS'
a ship may stand one cell beyond the board@return column <= kBoardSize + 1 - length && row <= kBoardSize;@return column <= kBoardSize + 2 - length && row <= kBoardSize;
a cell fired at twice counts again@if (fired != 0) return Shot::kRepeated;@if (fired == 2) return Shot::kRepeated;
a shot at a blue cell counts as a hit@const bool hit = colour == screen::kShipGrey;@const bool hit = colour != screen::kWhite;
an answer to no shot of ours is applied@if (!AnswersPendingShot(digits)) return;@
a shot is answered by nobody@QueueToPeer(AnswerMessage(hit, digits));@
a second shot goes out before the first is answered@nowMs - exchange.pendingSinceMs >= kShotAnswerTimeoutMs;@nowMs - exchange.pendingSinceMs >= 0;
no pause after a chat line before a chunk@constexpr std::chrono::milliseconds kChatPause{300};@constexpr std::chrono::milliseconds kChatPause{0};
a plain peer's chunks come without pause@inline constexpr int kChunkPauseMs = 100;@inline constexpr int kChunkPauseMs = 0;
the chunk boundary one byte early@inline constexpr std::size_t kFileChunkBytes = 6144;@inline constexpr std::size_t kFileChunkBytes = 6143;
a framed file may grow beyond its offer@if (incoming.framed && bytes.size() > room) return false;@
a framed file's checksum is not compared@EndTransfer(incoming.received == TransferSize && checksum == incoming.checksum);@EndTransfer(incoming.received == TransferSize);
frames of any length are read@if (!FrameLengthFits(type, length)) {@if (false) {
a lost opponent still counts as connected@screen::ShowStatus(screen::kHitRed, {screen::kConnection, screen::kDisconnected});@screen::ShowStatus(screen::kWhite, {screen::kConnection, screen::kDisconnected});
an empty line is sent with Enter@if (screen::IsKey(key, screen::kKeyEnter) && !line.empty()) {@if (screen::IsKey(key, screen::kKeyEnter)) {
a sixteenth character fits the address@constexpr std::size_t kAddressMaxLength = 15;  // a dotted IPv4 address@constexpr std::size_t kAddressMaxLength = 16;
a server heard is listed every time@inline constexpr std::int64_t kSilentMs = 5000;@inline constexpr std::int64_t kSilentMs = 0;
the score counts a win as a loss@++(won ? score.won : score.lost);@++(won ? score.lost : score.won);
a stalled send waits for ever@return Clock::now() + std::chrono::milliseconds(module.stallMilliseconds.load());@return Clock::now() + std::chrono::hours(1);
a peer that closes is not noticed@if (count <= 0 || !CountReceived(start.id, count)) break;@if (count < 0 || !CountReceived(start.id, count)) break;
nothing waits for the greeting to be acknowledged@out.wake.wait_for(lock, kGreetingQuiet, [] { return out.stopping; });@
FAULTS

wanted() {
    [ -z "${MUTANTS_ONLY:-}" ] && return 0
    echo "$MUTANTS_ONLY" | tr '|' '\n' | while read -r text; do
        case "$1" in *"$text"*) echo yes ;; esac
    done | grep -q yes
}

cmake -S "$out/src" -B "$out/build" -DMAREVANT_BENCH=OFF >/dev/null
caught=0
total=0
while IFS='@' read -r what line fault; do
    wanted "$what" || continue
    file=$(cd "$out/src" && grep -rlF -- "$line" game net | head -n 1 || true)
    total=$((total + 1))
    if [ -z "$file" ]; then
        echo "MISSING  $what (the line is gone)"
        continue
    fi
    cp "$out/src/$file" "$out/original"
    LINE="$line" FAULT="$fault" perl -0pi -e 's/\Q$ENV{LINE}\E/$ENV{FAULT}/' "$out/src/$file"
    verdict=survived
    if ! cmake --build "$out/build" -j "$(nproc)" >"$out/build.log" 2>&1 </dev/null; then
        verdict=broken
    elif ! (cd "$out/src" && tools/netns-run.sh ctest --test-dir "$out/build" -j 2 \
                --stop-on-failure -E "$slow" >"$out/test.log" 2>&1 </dev/null); then
        verdict=caught
    fi
    cp "$out/original" "$out/src/$file"
    [ "$verdict" = caught ] && caught=$((caught + 1))
    by=""
    [ "$verdict" = caught ] && by=" by $(grep -m 1 -E 'Test +#[0-9]+: .*[*]{3}' "$out/test.log" |
        sed -E 's/.*Test +#[0-9]+: ([^ ]+).*/\1/')"
    printf '%-9s%s (%s)%s\n' "$verdict" "$what" "$file" "$by"
done < "$out/faults"
cmake --build "$out/build" -j "$(nproc)" >/dev/null 2>&1 || true
echo "mutants: $caught of $total faults caught"
