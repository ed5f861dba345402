# Sourced: the environment for running the Windows build under Wine with code page 936.
#   source scripts/wine_env.sh BUILD_FOLDER
# Wine takes its ANSI code page from LC_ALL=zh_CN.UTF-8, and its file names from the same
# locale: without a generated zh_CN.UTF-8 locale no Chinese file name can be opened or made.
# Debian generates none by default, so a private one goes into the build folder.
locale_dir=$(cd "$1" && pwd)/locale
if [ ! -e "$locale_dir/zh_CN.UTF-8/LC_CTYPE" ]; then
  mkdir -p "$locale_dir"
  localedef -i zh_CN -f UTF-8 "$locale_dir/zh_CN.UTF-8" 2>/dev/null || true
fi
export LOCPATH=$locale_dir
export LC_ALL=zh_CN.UTF-8 WINEDEBUG=-all 2>/dev/null  # bash itself cannot see the private locale
export WINEPREFIX=${WINEPREFIX:-$(mktemp -d)}
wine=/usr/lib/wine/wine64
