#!/bin/sh
# Two network namespaces joined by a veth pair, as two machines on one LAN, for the tests that
# find games by broadcast: NAME-a holds 10.78.0.1/24 and NAME-b 10.78.0.2/24 (broadcast
# 10.78.0.255). `up NAME [EXTRA]` makes them, with EXTRA more addresses on side a from
# 10.78.0.100 on; `down NAME` deletes them. Needs root and ip(8).
set -eu
name=$2
case "$1" in
up)
    ip netns del "$name-a" 2>/dev/null || true
    ip netns del "$name-b" 2>/dev/null || true
    ip netns add "$name-a"
    ip netns add "$name-b"
    ip link add lan netns "$name-a" type veth peer name lan netns "$name-b"
    for side in a b; do
        [ "$side" = a ] && host=1 || host=2
        ip -n "$name-$side" addr add "10.78.0.$host/24" brd + dev lan
        ip -n "$name-$side" link set lo up
        ip -n "$name-$side" link set lan up
    done
    i=0
    while [ "$i" -lt "${3:-0}" ]; do
        ip -n "$name-a" addr add "10.78.0.$((100 + i))/24" dev lan
        i=$((i + 1))
    done
    ;;
down)
    ip netns del "$name-a" 2>/dev/null || true
    ip netns del "$name-b" 2>/dev/null || true
    ;;
*)
    echo "usage: $0 up|down NAME [EXTRA]" >&2
    exit 2
    ;;
esac
