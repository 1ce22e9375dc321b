#!/bin/sh
# The folders depend one way: plugin/ at the bottom, archive/ on it, commands/
# and adapter/ (which know nothing of each other) on archive/. The stand-in
# host sees only the host interface. Prints every include that goes upward.
set -eu
cd "${1:-.}"
allowed() {
    case $1 in
        plugin) echo "plugin" ;;
        archive) echo "plugin archive" ;;
        commands) echo "plugin archive commands" ;;
        adapter) echo "plugin archive adapter" ;;
        host) echo "host plugin/host_interface.h" ;;
    esac
}
bad=0
for folder in plugin archive commands adapter host; do
    ok=$(allowed "$folder")
    for include in $(grep -ho '^#include "[^"]*"' "$folder"/*.cpp "$folder"/*.h | cut -d'"' -f2 | sort -u); do
        fine=""
        for prefix in $ok; do
            case $include in "$prefix" | "$prefix"/*) fine=yes ;; esac
        done
        [ -n "$fine" ] || { echo "$folder/ includes $include"; bad=1; }
    done
done
[ "$bad" -eq 0 ] && echo "ok: every include goes down"
exit $bad
