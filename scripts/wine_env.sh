# Sourced: the environment for running the Windows build under Wine.
#   source scripts/wine_env.sh BUILD_FOLDER
# The locale decides Wine's ANSI code page: zh_CN.UTF-8 (the default) gives 936, en_US.UTF-8
# gives 1252; set GEOVANT_LOCALE to choose. Wine takes its file names from the same locale:
# without a generated UTF-8 locale no Chinese file name can be opened or made. Debian generates
# none by default, so a private one goes into the build folder.
geovant_locale=${GEOVANT_LOCALE:-zh_CN.UTF-8}
locale_dir=$(cd "$1" && pwd)/locale
if [ ! -e "$locale_dir/$geovant_locale/LC_CTYPE" ]; then
  mkdir -p "$locale_dir"
  localedef -i "${geovant_locale%%.*}" -f UTF-8 "$locale_dir/$geovant_locale" 2>/dev/null || true
fi
export LOCPATH=$locale_dir
export LC_ALL=$geovant_locale WINEDEBUG=-all 2>/dev/null  # bash itself cannot see the private locale
export WINEPREFIX=${WINEPREFIX:-$(mktemp -d)}
wine=/usr/lib/wine/wine64
# A new prefix: a crash ends the program instead of waiting on a dialog, and windows live in
# Wine's virtual desktop, which stands in for a window manager (without one every window that
# closes costs about two seconds).
if [ ! -e "$WINEPREFIX/.geovant-ready" ]; then
  "$wine" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 || true
  "$wine" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1 || true
  "$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1600x1200 /f >/dev/null 2>&1 || true
  # Windows links its interface fonts to a Chinese font on every language version; Wine does
  # so only under a Chinese locale. Without the link, Chinese shows as boxes under code page 1252.
  for font in "MS Shell Dlg" "MS Shell Dlg 2" Tahoma "Microsoft Sans Serif"; do
    "$wine" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v "$font" \
      /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f >/dev/null 2>&1 || true
  done
  touch "$WINEPREFIX/.geovant-ready"
  /usr/lib/wine/wineserver64 -w 2>/dev/null || true  # the desktop is read when Wine starts anew
fi
# The screen's DPI, for the layout's tests: wine_dpi 96 or wine_dpi 144. The setting is
# written in a session of its own, once the last one has ended; should reg fail, it says why
# and is tried again.
wine_dpi() {
  local try
  for try in 1 2 3; do
    /usr/lib/wine/wineserver64 -w 2>/dev/null || true
    if "$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f \
        >"$WINEPREFIX/dpi.log" 2>&1; then
      /usr/lib/wine/wineserver64 -w 2>/dev/null || true
      return 0
    fi
    echo "setting the DPI to $1 failed (try $try of 3):"
    cat "$WINEPREFIX/dpi.log"
    sleep 2
  done
  return 1
}
