#!/usr/bin/env bash
# Prints the notices of what the Windows programs are linked with statically, from the
# copyright files of the Debian packages they are built with.
set -euo pipefail
doc=/usr/share/doc
section() { printf '\n\n==============================================================================\n%s\n==============================================================================\n\n' "$1"; }
cat <<'TEXT'
Geovant - third-party notices

Geovant.exe and geovant-cli.exe are built with MinGW-w64 and hold, linked in statically:
- the MinGW-w64 runtime (start-up code of the C runtime, winpthreads);
- the GCC runtime libraries libgcc and libstdc++ (GPL-3.0 with the GCC Runtime Library
  Exception, which allows this without conditions on the program);
- Boost.Regex (header-only; Boost Software License 1.0);
- zlib, which reads KMZ archives (zlib licence).
Their notices follow, as the Debian packages the programs were built with state them.
TEXT
section "MinGW-w64 runtime (Debian package mingw-w64-common)"
cat "$doc/mingw-w64-common/copyright"
section "GCC runtime libraries (Debian package gcc-mingw-w64-x86-64-posix-runtime)"
cat "$doc/gcc-mingw-w64-x86-64-posix-runtime/copyright"
section "Boost.Regex"
echo "Copyright John Maddock and the Boost contributors."
echo
# The licence's text, given once after the many "License: BSL-1.0" lines that name it.
awk '/^License: BSL-1.0$/ { text = ""; inside = 1; next }
     inside && /^$/ { inside = 0; if (text != "") licence = text; next }
     inside { text = text $0 "\n" }
     END { printf "%s", licence }' "$doc/libboost1.81-dev/copyright" | sed 's/^ //; s/^\.$//'
section "zlib (Debian package libz-mingw-w64-dev)"
# The paragraphs of its own files and of its licence; the rest of the source package is not
# linked in.
awk -v RS= '/^Files: \*\n/ || /^License: Zlib\n/ { print; print "" }' "$doc/libz-mingw-w64-dev/copyright" |
  sed 's/^ //; s/^\.$//'
