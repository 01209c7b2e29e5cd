#!/bin/sh
# Runs a command inside a private network namespace with only its loopback interface up, so a
# test can bind the game's fixed port without meeting any other program on it. Where such a
# namespace cannot be made (no privilege, or unshare or ip missing), runs the command as it is;
# CTest then keeps those tests apart with a resource lock. Inside a namespace it sets
# MAREVANT_PRIVATE_NETNS=1, so a test that would disturb the machine's own port can tell.
# Usage: tools/netns-run.sh COMMAND [ARGUMENTS...]
set -eu
if command -v unshare >/dev/null 2>&1 && command -v ip >/dev/null 2>&1 &&
    unshare -n sh -c 'ip link set lo up' >/dev/null 2>&1; then
    MAREVANT_PRIVATE_NETNS=1 exec unshare -n sh -c 'ip link set lo up && exec "$@"' netns-run "$@"
fi
exec "$@"
