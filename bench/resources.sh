#!/usr/bin/env bash
# Resource figures of the real program on the private sine source (run by
# scripts/bench, which starts the sound server and the display):
# CPU per second of monitoring beside sox's rec writing the same source to
# /dev/null, start-up to the first meter frame, and MP3 recording CPU beside
# lame alone on the same amount of PCM. Each is printed as a ratio.
#   bench/resources.sh PROGRAM [SECONDS]
source "$(dirname "$0")/../scripts/common.sh"
PROGRAM="$1"
SPAN="${2:-30}"
HZ="$(getconf CLK_TCK)"
WORK="$(mktemp -d /tmp/kestrune-res.XXXXXX)"
PID=""
cleanup() { [ -n "$PID" ] && kill "$PID" 2>/dev/null; rm -rf "$WORK"; }
trap cleanup EXIT

# utime + stime of a process, in seconds
cpu() { awk -v hz="$HZ" '{sub(/^.*\) /, ""); print ($12 + $13) / hz}' "/proc/$1/stat"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf (b > 0 ? "%.2f" : "n/a"), a / b}'; }

mkdir -p "$WORK/rec"
start_kestrune "$PROGRAM" "$WORK" "$WORK/rec"
PID=$KESTRUNE_PID
for _ in $(seq 100); do
  grep -q "first meter frame" "$WORK/stderr.log" 2>/dev/null && break
  sleep 0.1
done
FIRST="$(grep -o 'first meter frame [0-9]* ms' "$WORK/stderr.log" | awk '{print $4}')"
sleep 2

a="$(cpu "$PID")"; sleep "$SPAN"; b="$(cpu "$PID")"
MON="$(awk -v a="$a" -v b="$b" -v s="$SPAN" 'BEGIN {print (b - a) / s}')"

AUDIODRIVER=pulseaudio rec -q -t raw -r 44100 -c 2 -b 16 -e signed /dev/null &
REC=$!
sleep 1
a="$(cpu "$REC")"; sleep "$SPAN"; b="$(cpu "$REC")"
kill "$REC"; wait "$REC" 2>/dev/null || true
SOX="$(awk -v a="$a" -v b="$b" -v s="$SPAN" 'BEGIN {print (b - a) / s}')"

# Recording MP3: the program and its lame child together.
xdotool key F5
sleep 1
LAME="$(pgrep -n -x lame)"
a="$(cpu "$PID")"; la="$(cpu "$LAME")"; sleep "$SPAN"; b="$(cpu "$PID")"; lb="$(cpu "$LAME")"
xdotool key F9
RECORDING="$(awk -v a="$a" -v b="$b" -v la="$la" -v lb="$lb" 'BEGIN {print (b - a) + (lb - la)}')"

sox -n -r 44100 -c 2 -b 16 "$WORK/tone.wav" synth "$SPAN" sine 1000
TIMEFORMAT='%U %S'
ALONE="$( { time lame --quiet -b 128 "$WORK/tone.wav" "$WORK/alone.mp3" >/dev/null 2>&1; } 2>&1 | awk '{print $1 + $2}')"

printf 'Start-up to the first meter frame: %s ms\n' "${FIRST:-?}"
printf 'Monitoring CPU: %.4f s per s; sox rec to /dev/null: %.4f s per s; ratio %s\n' \
  "$MON" "$SOX" "$(ratio "$MON" "$SOX")"
printf 'MP3 recording of %s s: %.2f s CPU (program + lame); lame alone: %.2f s; ratio %s\n' \
  "$SPAN" "$RECORDING" "$ALONE" "$(ratio "$RECORDING" "$ALONE")"
