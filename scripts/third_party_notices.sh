#!/usr/bin/env bash
# Prints the notices of what the Windows programs hold, linked in statically: the licences of
# those parts, each text once, taken from the copyright files of the Debian packages they are
# built with (which also describe much that is not in the programs, left out here).
set -euo pipefail
doc=/usr/share/doc
mingw=$doc/mingw-w64-common/copyright
gcc=$doc/gcc-mingw-w64-x86-64-posix-runtime/copyright

# The paragraph of a machine-readable copyright file whose first line is $2: its copyright
# lines and its licence's text, without the file names, the licence's short name, the
# one-space indent and the "." of its empty lines.
paragraph() {
  awk -v first="$2" 'BEGIN { RS = "" } { split($0, lines, "\n"); if (lines[1] == first) { print; exit } }' "$1" |
    awk '/^Files:/ { skip = 1; next } skip && /^[ \t]/ { next } { skip = 0 } /^License:/ { next } { print }' |
    sed 's/^ //; s/^\.$//'
}
section() { printf '\n\n==============================================================================\n%s\n==============================================================================\n\n' "$1"; }

cat <<'TEXT'
Geovant - third-party notices

Geovant.exe and geovant-cli.exe are built with MinGW-w64 and hold, linked in statically:
- the MinGW-w64 runtime: its start-up code and the number conversions of libmingwex;
- winpthreads, the threads of geovant-cli.exe;
- the GCC runtime libraries libgcc and libstdc++ (GPL-3.0 with the GCC Runtime Library
  Exception, which allows this without conditions on the program);
- Boost.Regex (header-only);
- zlib, which reads KMZ archives.
Their licences follow.
TEXT

section "MinGW-w64 runtime"
paragraph "$mingw" "Files: *"
echo
echo "The start-up code:"
paragraph "$mingw" "License: public-domain"
echo
echo "The number conversions (gdtoa, mingw_pformat.c):"
paragraph "$mingw" "Files: mingw-w64-crt/gdtoa/*"
echo
paragraph "$mingw" "Files: mingw-w64-crt/gdtoa/qnan.c"

section "winpthreads (geovant-cli.exe)"
paragraph "$mingw" "Files: mingw-w64-libraries/winpthreads/*"
paragraph "$mingw" "License: expat"
echo
paragraph "$mingw" "Files: mingw-w64-libraries/winpthreads/include/pthread.h"

section "GCC runtime libraries: libgcc, libstdc++"
echo "Copyright (C) Free Software Foundation, Inc."
echo
echo "libgcc and libstdc++ are free software; you can redistribute them and/or modify them under"
echo "the terms of the GNU General Public License as published by the Free Software Foundation;"
echo "either version 3, or (at your option) any later version, with version 3.1 of the GCC"
echo "Runtime Library Exception:"
echo
awk '/^GCC RUNTIME LIBRARY EXCEPTION$/ { on = 1 } on { print } on && /^presumption that third-party software is unaffected by the copyleft$/ { n = NR } n && NR == n + 1 { exit }' "$gcc"

section "Boost.Regex"
echo "Copyright John Maddock and the Boost contributors."
echo
# The licence's text, given once after the many "License: BSL-1.0" lines that name it.
awk '/^License: BSL-1.0$/ { text = ""; inside = 1; next }
     inside && /^$/ { inside = 0; if (text != "") licence = text; next }
     inside { text = text $0 "\n" }
     END { printf "%s", licence }' "$doc/libboost1.81-dev/copyright" | sed 's/^ //; s/^\.$//'

section "zlib"
paragraph "$doc/libz-mingw-w64-dev/copyright" "Files: *"
paragraph "$doc/libz-mingw-w64-dev/copyright" "License: Zlib"
