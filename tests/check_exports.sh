#!/bin/sh
# The plugin must export none of its entry points or commands: the host
# reaches it through the header that it finds by its magic. It must not need
# the C++ runtime's allocator or exception support either.
set -eu
plugin=$1
nm=${NM:-nm}  # the binutils of the plugin's machine
# nm runs on its own first: a failure must not read as an empty symbol list.
defined=$("$nm" -D --defined-only "$plugin")
undefined=$("$nm" -D --undefined-only "$plugin")
exported=$(printf '%s\n' "$defined" | awk '$2 ~ /^[TtDdBbRrVvWwi]$/ {print $3}' | grep -v -E '^(_init|_fini|_edata|_end|__bss_start)$' || true)
if [ -n "$exported" ]; then
    echo "exported symbols in $plugin:"; echo "$exported"; exit 1
fi
cxx=$(printf '%s\n' "$undefined" | grep -E '_Znw|_Znaw|_Zdl|_Zda|__cxa_throw|__cxa_begin_catch|__gxx_personality|typeinfo' || true)
if [ -n "$cxx" ]; then
    echo "C++ runtime use in $plugin:"; echo "$cxx"; exit 1
fi
grep -c CALVORAX "$plugin" >/dev/null || { echo "no header magic in $plugin"; exit 1; }
echo "ok: $plugin exports nothing"
