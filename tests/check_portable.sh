#!/bin/sh
# The host's system is not Linux. Beyond ISO C, C++, libzip and libcrypto, a
# product file includes a header only inside #ifdef __linux__ (up to its
# #else or #endif). Prints every file that includes one elsewhere.
set -eu
cd "${1:-.}"
awk '
    BEGIN {
        split("assert complex ctype errno fenv float inttypes iso646 limits locale math " \
              "setjmp signal stdalign stdarg stdatomic stdbool stddef stdint stdio stdlib " \
              "stdnoreturn string tgmath threads time uchar wchar wctype zip", names, " ")
        for (i in names) iso[names[i] ".h"] = 1
    }
    FNR == 1 { depth = 0; fence = 0 }
    /^[ \t]*#[ \t]*if/ {
        depth++
        if (!fence && /^[ \t]*#[ \t]*(ifdef[ \t]+__linux__|if[ \t]+defined[ \t]*\(?[ \t]*__linux__)/)
            fence = depth
    }
    /^[ \t]*#[ \t]*el/ && fence == depth { fence = 0 }
    /^[ \t]*#[ \t]*endif/ { if (fence == depth) fence = 0; depth-- }
    /^[ \t]*#[ \t]*include[ \t]*</ && !fence {
        h = $0; sub(/^[^<]*</, "", h); sub(/>.*/, "", h)
        if (!(h in iso) && h !~ /^openssl\// && h !~ /^[a-z_]+$/) {
            print FILENAME " includes <" h "> outside #ifdef __linux__"; bad = 1
        }
    }
    END { if (!bad) print "ok: only ISO C, C++, libzip and libcrypto outside #ifdef __linux__"; exit bad }
' plugin/*.cpp plugin/*.h archive/*.cpp archive/*.h commands/*.cpp commands/*.h \
    adapter/*.cpp adapter/*.h
