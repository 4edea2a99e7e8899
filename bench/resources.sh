#!/usr/bin/env bash
# Resource figures of the real program on the private sine source (run by
# scripts/bench, which starts the sound server and the display). Each is
# printed beside what it is compared with and as a ratio to its goal:
#  - CPU per second of monitoring, beside sox's rec writing the same source
#    to /dev/null (goal: 1 % of a core);
#  - start-up to the first meter frame (goal: 500 ms);
#  - MP3 recording: CPU of the program and its lame child beyond monitoring,
#    beside lame alone on the same amount of PCM (goal: 1.1 x lame alone);
#  - sound-activated recording in mode 2, which starts a new file at each
#    sound (with the never-ending tone: one every second or so): how late the
#    100 ms tick came at worst (goal: 20 ms), beside plain monitoring.
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
# Waits for the program's first meter frame in its debug report LOG.
wait_for_meters() {
  for _ in $(seq 100); do
    grep -q "first meter frame" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}
# The latest "late tick" of LOG from line FROM on, in ms; empty when none.
latest_late() {
  { tail -n +"$2" "$1" | grep -o 'late tick: [0-9]* ms' || true; } | awk '{print $3}' | sort -n | tail -1
}
stop_program() {
  kill "$PID" 2>/dev/null || true
  wait "$PID" 2>/dev/null || true
  PID=""
}

mkdir -p "$WORK/rec"
start_kestrune "$PROGRAM" "$WORK" "$WORK/rec"
PID=$KESTRUNE_PID
wait_for_meters "$WORK/stderr.log" || true
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
sleep 1
stop_program

sox -n -r 44100 -c 2 -b 16 "$WORK/tone.wav" synth "$SPAN" sine 1000
TIMEFORMAT='%U %S'
ALONE="$( { time lame --quiet -b 128 "$WORK/tone.wav" "$WORK/alone.mp3" >/dev/null 2>&1; } 2>&1 | awk '/^[0-9.]+ [0-9.]+$/ {print $1 + $2}')"

# Sound-activated, mode 2, released after 1 s, triggered above 10 % (the
# stored level is a double: 10.0).
mkdir -p "$WORK/split" "$WORK/m2"
SPLIT="Threshold%20IsTresh=1
Threshold%20Mode=2
Threshold%20Release=1
Threshold%20Level=@ByteArray(\\0\\0\\0\\0\\0\\0\$@)
"
start_kestrune "$PROGRAM" "$WORK/m2" "$WORK/split" "$SPLIT"
PID=$KESTRUNE_PID
LOG="$WORK/m2/stderr.log"
wait_for_meters "$LOG" || true
sleep 2
from=$(($(wc -l <"$LOG") + 1))
sleep 15
MONLATE="$(latest_late "$LOG" "$from")"
from=$(($(wc -l <"$LOG") + 1))
xdotool key F5
sleep 15
xdotool key F9
sleep 1
SPLITLATE="$(latest_late "$LOG" "$from")"
FILES="$(find "$WORK/split" -name 'record*.mp3' | wc -l)"
stop_program

late() { [ -n "$1" ] && echo "$(($1 - 100)) ms late" || echo "never more than 20 ms late"; }
printf 'Start-up to the first meter frame: %s ms; goal 500 ms: ratio %s\n' "${FIRST:-?}" \
  "$(ratio "${FIRST:-0}" 500)"
printf 'Monitoring CPU: %.4f s per s; sox rec to /dev/null: %.4f s per s; ratio %s; goal 0.01: ratio %s\n' \
  "$MON" "$SOX" "$(ratio "$MON" "$SOX")" "$(ratio "$MON" 0.01)"
EXTRA="$(awk -v r="$RECORDING" -v m="$MON" -v s="$SPAN" 'BEGIN {print r - m * s}')"
printf 'MP3 recording of %s s: %.2f s CPU (program + lame), %.2f s beyond monitoring; lame alone: %.2f s; ratio %s; beyond monitoring / lame alone: %s (goal 1.1)\n' \
  "$SPAN" "$RECORDING" "$EXTRA" "$ALONE" "$(ratio "$RECORDING" "$ALONE")" "$(ratio "$EXTRA" "$ALONE")"
printf 'Sound-activated mode 2: %s files in 15 s; the 100 ms tick came %s (monitoring alone: %s); goal 20 ms: ratio %s\n' \
  "$FILES" "$(late "$SPLITLATE")" "$(late "$MONLATE")" \
  "$([ -n "$SPLITLATE" ] && ratio $((SPLITLATE - 100)) 20 || echo "below 1")"
