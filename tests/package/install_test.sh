#!/usr/bin/env bash
# The Debian package unpacked into a scratch root: the installed program
# starts, shows its window, and its help button opens the installed help.
#   install_test.sh BUILD_DIR
set -euo pipefail
BUILD="$1"
[ -n "${DISPLAY:-}" ] || { echo "no display"; exit 77; }
WORK="$(mktemp -d /tmp/kestrune-pkg.XXXXXX)"
PID=""
cleanup() { [ -n "$PID" ] && kill "$PID" 2>/dev/null; rm -rf "$WORK"; }
trap cleanup EXIT

cpack --config "$BUILD/CPackConfig.cmake" -B "$WORK/out" -G DEB >"$WORK/cpack.log" 2>&1 ||
  { cat "$WORK/cpack.log"; exit 1; }
DEB="$(ls "$WORK"/out/kestrune_*.deb)"
dpkg-deb -f "$DEB" Depends | grep -q "lame" || { echo "Depends lacks the encoders"; exit 1; }
ROOTFS="$WORK/root"
dpkg -x "$DEB" "$ROOTFS"
for f in usr/bin/kestrune usr/share/applications/kestrune.desktop \
         usr/share/icons/hicolor/48x48/apps/kestrune.png \
         usr/share/icons/hicolor/128x128/apps/kestrune.png \
         usr/share/icons/hicolor/scalable/apps/kestrune.svg \
         usr/share/metainfo/kestrune.metainfo.xml usr/share/kestrune/kestrune.html; do
  [ -e "$ROOTFS/$f" ] || { echo "missing from the package: $f"; exit 1; }
done

# A stand-in for the desktop's opener records what the program asked to open.
mkdir -p "$WORK/bin"
cat >"$WORK/bin/xdg-open" <<SH
#!/bin/sh
echo "\$1" >> "$WORK/opened"
SH
chmod +x "$WORK/bin/xdg-open"

HOME="$WORK/home" XDG_CONFIG_HOME="$WORK/home/.config" XDG_MUSIC_DIR="$WORK/music" \
  PATH="$WORK/bin:$PATH" QT_QPA_PLATFORM=xcb "$ROOTFS/usr/bin/kestrune" >"$WORK/out.log" 2>&1 &
PID=$!
WID=""
for _ in $(seq 100); do
  WID="$(xdotool search --onlyvisible --pid "$PID" --name '^Kestrune$' 2>/dev/null | head -1 || true)"
  [ -n "$WID" ] && break
  sleep 0.1
done
[ -n "$WID" ] || { echo "no window"; cat "$WORK/out.log"; exit 1; }
eval "$(xdotool getwindowgeometry --shell "$WID")"
[ "$WIDTH" = 400 ] && [ "$HEIGHT" = 300 ] || { echo "window is ${WIDTH}x$HEIGHT"; exit 1; }

# The help button.
xdotool mousemove --window "$WID" 300 14 click 1
for _ in $(seq 50); do [ -s "$WORK/opened" ] && break; sleep 0.1; done
grep -q "usr/share/kestrune/kestrune.html" "$WORK/opened" 2>/dev/null ||
  { echo "help not opened: $(cat "$WORK/opened" 2>/dev/null)"; exit 1; }
echo "installed program started and opened $(cat "$WORK/opened")"
