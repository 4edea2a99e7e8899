# Shared set-up for scripts/run, scripts/test, scripts/bench. Sourced, not run.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

PACKAGES=(cmake ninja-build g++ clang pkg-config git
  qt6-base-dev qt6-svg-dev libqt6svg6 libgl-dev libxcb1-dev libxkbcommon-dev
  libpulse-dev pulseaudio pulseaudio-utils
  libavformat-dev libavcodec-dev libswresample-dev libavutil-dev
  lame vorbis-tools flac fonts-liberation
  libgtest-dev libbenchmark-dev libfftw3-dev
  ffmpeg libsox-fmt-pulse
  xvfb x11-utils xdotool imagemagick sox dbus-daemon
  at-spi2-core python3-pyatspi)

as_root() {
  if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi
}

ensure_packages() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    as_root env DEBIAN_FRONTEND=noninteractive apt-get update -q
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
  fi
}

# The one optimised build that the tests, the recorder and the package share:
# Release as the package ships it, with debug symbols kept for stack traces
# (the package strips them).
RELEASE_OPTS=(-DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O3 -DNDEBUG -g")

# configure_tree DIR [cmake options...]: configures once; a second run reuses it.
configure_tree() {
  local dir="$1"; shift
  if [ ! -f "$dir/build.ninja" ]; then
    local launcher=()
    command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    cmake -S "$ROOT" -B "$dir" -G Ninja "${launcher[@]}" "$@"
  fi
}

# build DIR [cmake options...]
build_tree() {
  local dir="$1"; shift
  configure_tree "$dir" "$@"
  cmake --build "$dir" -j "$(nproc)"
}

# A private sound server: its own runtime folder and socket, a null sink whose
# monitor is the default source, and a steady 1000 Hz sine played into the sink.
# A second null sink, quietsink, carries nothing but what a test plays into it
# (paplay --device=quietsink); its monitor is the source "Monitor of Quiet_Sink".
# A third, playsink, takes what the player tests play, so that their sound
# never reaches the capture tests recording testsink's monitor.
PULSE_DIR=""
PULSE_PID=""
start_private_pulse() {
  PULSE_DIR="$(mktemp -d /tmp/kestrune-pulse.XXXXXX)"
  export PULSE_RUNTIME_PATH="$PULSE_DIR/runtime" PULSE_STATE_PATH="$PULSE_DIR/state"
  mkdir -p "$PULSE_RUNTIME_PATH" "$PULSE_STATE_PATH"
  local sock="$PULSE_DIR/native"
  cat > "$PULSE_DIR/default.pa" <<PA
load-module module-native-protocol-unix socket=$sock auth-anonymous=1
load-module module-null-sink sink_name=testsink rate=44100 sink_properties=device.description=Test_Sink
load-module module-null-sink sink_name=quietsink rate=44100 sink_properties=device.description=Quiet_Sink
load-module module-null-sink sink_name=playsink rate=44100 sink_properties=device.description=Play_Sink
set-default-sink testsink
set-default-source testsink.monitor
PA
  if [ "${KESTRUNE_NO_SINE:-0}" != 1 ]; then
    echo "load-module module-sine sink=testsink frequency=1000" >> "$PULSE_DIR/default.pa"
  fi
  local extra=()
  [ "$(id -u)" = 0 ] && extra+=(--system=false)
  HOME="$PULSE_DIR" pulseaudio -n -F "$PULSE_DIR/default.pa" --daemonize=no --exit-idle-time=-1 \
    --enable-memfd=no --use-pid-file=no --disallow-exit=no --log-target=file:"$PULSE_DIR/log" \
    "${extra[@]}" &
  PULSE_PID=$!
  export PULSE_SERVER="unix:$sock"
  for _ in $(seq 100); do
    pactl info >/dev/null 2>&1 && break
    sleep 0.1
  done
  if ! pactl info >/dev/null 2>&1; then
    echo "The private PulseAudio server did not start:" >&2
    cat "$PULSE_DIR/log" >&2 || true
    return 1
  fi
}

stop_private_pulse() {
  if [ -n "$PULSE_PID" ]; then
    kill "$PULSE_PID" 2>/dev/null || true
    wait "$PULSE_PID" 2>/dev/null || true
    PULSE_PID=""
  fi
  [ -n "$PULSE_DIR" ] && rm -rf "$PULSE_DIR"
  PULSE_DIR=""
}

XVFB_PID=""
start_xvfb() {
  # Xvfb picks a free display itself and names it (-displayfd): two servers
  # started at once never end up sharing one display.
  local out n=""
  out="$(mktemp /tmp/kestrune-xvfb.XXXXXX)"
  # -noreset: without it the server resets whenever its last client leaves
  # (between two tests) and refuses the next program's connection meanwhile.
  Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp -noreset >"$out" 2>/dev/null &
  XVFB_PID=$!
  for _ in $(seq 100); do
    n="$(head -n1 "$out" 2>/dev/null)"
    [ -n "$n" ] && break
    sleep 0.1
  done
  rm -f "$out"
  if [ -n "$n" ]; then
    export DISPLAY=":$n"
    for _ in $(seq 100); do
      xdpyinfo >/dev/null 2>&1 && return 0
      sleep 0.1
    done
  fi
  echo "Xvfb did not start" >&2
  return 1
}

stop_xvfb() {
  if [ -n "$XVFB_PID" ]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
    XVFB_PID=""
  fi
}

# Starts PROGRAM as a user would, with a fresh profile under WORK whose output
# folder is FOLDER, the debug report on WORK/stderr.log. Sets KESTRUNE_PID.
# SETTINGS, when given, are further lines of the profile's [General] section.
start_kestrune() {
  local program="$1" work="$2" folder="$3" settings="${4:-}"
  mkdir -p "$work/home/.config/Quenlow"
  printf '[General]\nFolder%%20Name=%s\n%s' "$folder" "$settings" >"$work/home/.config/Quenlow/Kestrune.conf"
  HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" KESTRUNE_DEBUG=1 QT_QPA_PLATFORM=xcb \
    "$program" 2>"$work/stderr.log" &
  KESTRUNE_PID=$!
}
