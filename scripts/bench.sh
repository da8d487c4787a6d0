#!/usr/bin/env bash
# Builds into build/ and runs every benchmark, then prints one table of the
# figures against their goals. QUELLON_BENCH_SECONDS shortens the stream runs
# (default 60 s per display mode).
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${QUELLON_BUILD_DIR:-$here/build}
secs=${QUELLON_BENCH_SECONDS:-60}
# The windows are measured on a real X server (Xvfb) when one can be started,
# else on Qt's offscreen platform; QT_QPA_PLATFORM set by the caller wins.
if [ -z "${QT_QPA_PLATFORM:-}" ] && [ -z "${DISPLAY:-}" ] && [ -z "${QUELLON_BENCH_XVFB:-}" ] &&
   command -v xvfb-run >/dev/null; then
  exec env QUELLON_BENCH_XVFB=1 QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

"$here/scripts/build.sh" "$build" >&2 || { echo "build failed" >&2; exit 1; }

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
status=0

run() {  # name, command...
  local name=$1; shift
  echo "running $name ..." >&2
  if ! "$@" >"$out/$name.txt" 2>"$out/$name.err"; then
    echo "$name exited with an error (see below)" >&2
    tail -5 "$out/$name.err" >&2
    status=1
  fi
}

run decoder "$build/bench/decoder/bench_decoder"
# Every mode with and without logging, on the offscreen platform and, when an
# X server is there, on it too. Each run measures a bare reader of the line
# beside the program (the floor).
plats=offscreen
[ -n "${DISPLAY:-}" ] && plats="offscreen xcb"
primary=${plats##* }
for plat in $plats; do
  for m in 0 1 2 3 4; do
    for lg in nolog log; do
      flag=(); [ "$lg" = log ] && flag=(--log)
      QT_QPA_PLATFORM=$plat run "s_${plat}_${m}_$lg" \
        "$build/bench/stream/bench_stream" --mode "$m" --seconds "$secs" "${flag[@]}"
    done
  done
done
# The rows below read the runs on the real X server when there is one.
for m in 0 1 2 3 4; do cp "$out/s_${primary}_${m}_nolog.txt" "$out/stream$m.txt" 2>/dev/null; done
cp "$out/s_${primary}_0_log.txt" "$out/streamlog.txt" 2>/dev/null
run portscan "$build/bench/portscan/bench_portscan"
run connect "$build/bench/connect/bench_connect_stall"
run display "$build/bench/display/bench_display"
run paintcycle "$build/bench/display/bench_paint_cycle"
run history "$build/bench/history/bench_history"
run historycpu "$build/bench/history/bench_history_cpu" --seconds "$(( secs < 20 ? secs : 20 ))"
# Publishing to a real broker; QUELLON_BENCH_MQTT_AWAY_MINUTES=10 for the long run.
# The transceiver: a rigctld with the dummy rig, and a rig that never answers.
run rig "$build/bench/rig/bench_rig" --seconds "$(( secs < 20 ? secs : 20 ))"
# The big view open beside each display mode, and the alarm banner's delay.
run bigview "$build/bench/alarm/bench_bigview" --seconds "$(( secs < 10 ? secs : 10 ))"
run mqtt "$build/bench/mqtt/bench_mqtt" --seconds "$secs" --away-minutes "${QUELLON_BENCH_MQTT_AWAY_MINUTES:-1}"

val() {  # file key -> value or "-"
  local v
  v=$(awk -v k="$2" '$1 == k { print $2; exit }' "$out/$1.txt" 2>/dev/null)
  echo "${v:--}"
}

rows=$out/rows
: >"$rows"
row() { printf '%s\t%s\t%s\n' "$1" "$2" "$3" >>"$rows"; }

dec=$(awk '/^decoder:/ { print $2; exit }' "$out/decoder.txt" 2>/dev/null)
if [ -n "$dec" ]; then
  row "decoder frames/s" "$dec" "tens of millions"
  row "decoder share of a core at 576 frames/s" "$(awk -v r="$dec" 'BEGIN { printf "%.5f %%", 57600 / r }')" "< 2 %"
else
  row "decoder frames/s" "FAILED" "tens of millions"
fi

for m in 0 1 2 3 4; do
  f=stream$m
  row "mode $m: frames accepted / sent" "$(val $f frames_accepted) / $(val $f frames_sent) ($(val $f accepted_pct) %)" "100 %"
  row "mode $m: resyncs" "$(val $f resyncs)" "0"
  row "mode $m: CPU with display" "$(val $f cpu_pct_of_core) % of a core" "< 10 %"
  row "mode $m: resident memory" "$(val $f rss_mb) MB" "< 80 MB"
  row "mode $m: paint events/s, all windows" "$(val $f repaints_per_s)" "(reported)"
  row "mode $m: paint bursts/s per window" "$(val $f paint_bursts_per_s)" "(reported)"
  row "mode $m: frame read to paint p50 / p95" "$(val $f latency_p50_ms) / $(val $f latency_p95_ms) ms" "p95 <= 20 ms"
  row "mode $m: connect time" "$(val $f connect_ms) ms (fixed pauses $(val $f fixed_pauses_ms) ms)" "close to the fixed pauses"
done

for plat in $plats; do
  for m in 0 1 2 3 4; do
    for lg in nolog log; do
      f=s_${plat}_${m}_$lg
      goal="(reported)"
      [ "$lg" = log ] && [ "$plat" = offscreen ] && goal="ratio <= 2.5"
      row "mode $m $lg $plat: CPU us/frame program / floor" \
        "$(val $f program_us_per_frame) / $(val $f floor_us_per_frame) (ratio $(val $f ratio_to_floor))" "$goal"
      row "mode $m $lg $plat: toolkit reader us/frame, and the program's own work" \
        "$(val $f toolkit_us_per_frame) ($(val $f toolkit_to_floor) floors); own $(val $f own_work_in_floors) floors" "(reported)"
    done
  done
done
for m in 0 1 2 3 4; do
  row "mode $m: big view open" "$(sed -n "s/^mode $m  //p" "$out/bigview.txt" 2>/dev/null)" \
    "CPU added <= 1 point, paints <= 25/s, banner <= hold + 100 ms"
done
row "mode 4: A-frame interval shown (mean) / real" "$(val stream4 interval_shown_mean) / $(val stream4 interval_real_ms) ms ($(val stream4 interval_error_pct) %)" "within 2 %"
row "mode 4: single shown values" "$(val stream4 interval_shown_min) .. $(val stream4 interval_shown_max) ms over $(val stream4 interval_shown_n) renewals" "(reported)"
run stream4slow "$build/bench/stream/bench_stream" --mode 4 --seconds "$secs" --rate 100
row "mode 4 at 100 frames/s: interval shown (mean) / real" "$(val stream4slow interval_shown_mean) / $(val stream4slow interval_real_ms) ms ($(val stream4slow interval_error_pct) %)" "within 2 %"
row "mode 4 at 100 frames/s: single shown values" "$(val stream4slow interval_shown_min) .. $(val stream4slow interval_shown_max) ms" "(reported)"

row "logging: CSV records / A/B pairs" "$(val streamlog log_records) / $(val streamlog log_pairs)" "equal"
row "logging: every line parses, header once" "$(val streamlog log_parses) (headers $(val streamlog log_headers), bad $(val streamlog log_bad_lines))" "yes"
row "logging: frames accepted / sent" "$(val streamlog frames_accepted) / $(val streamlog frames_sent)" "100 %"
row "logging: CPU" "$(val streamlog cpu_pct_of_core) % of a core" "< 10 %"

if [ -s "$out/portscan.txt" ]; then
  awk '/^COM/ { printf "port scan %s (%s): wait %s ms\t%s of scan time\t(reported)\n", $1, $2, $3, $4 }' \
    "$out/portscan.txt" >>"$rows"
  tot=$(awk '/^total scan time/ { print $4 " " $5; exit }' "$out/portscan.txt")
  row "port scan: total (simulated)" "${tot:--}" "(reported)"
else
  row "port scan" "FAILED" ""
fi

row "connect to a silent bridge: longest gap of a 10 ms timer" "$(val connect max_timer_gap_ms) ms over $(val connect connect_attempt_ms) ms (gaps > 50 ms: $(val connect gaps_over_50ms))" "<= 50 ms (was 135 ms with the blocking exchange)"
row "MQTT: CPU without / with publishing (1000 ms)" "$(val mqtt cpu_pct_without) / $(val mqtt cpu_pct_interval_1000) % of a core" "adds < 1 point"
row "MQTT: CPU with publishing every 10 ms" "$(val mqtt cpu_pct_interval_10) % of a core" "(reported)"
row "MQTT: resident memory, broker away, first / last sample" "$(awk '/^rss_mb_broker_away/ { v[++n] = $2 } END { if (n) printf "%s / %s MB over %d samples", v[1], v[n], n - 1 }' "$out/mqtt.txt" 2>/dev/null)" "no growth"

if [ -s "$out/display.txt" ]; then
  awk '/^ *[0-4] / { printf "display mode %s: update cost\t%s us/frame (%s %% of a second of frames)\t(reported)\n", $1, $3, $4 }' \
    "$out/display.txt" >>"$rows"
else
  row "display" "FAILED" ""
fi

pc=$(awk '/^paint_cycle_us/ { w = $2; b = $3; p = $4 } END { if (w != "") printf "wake-up %s, ten boxes %s, one panel %s us", w, b, p }' "$out/paintcycle.txt" 2>/dev/null)
row "display: CPU per 18 ms tick, ten read-outs changed" "${pc:--}" "(reported)"
row "rig: CPU without / polled every 500 ms / not answering" "$(val rig cpu_pct_none) / $(val rig cpu_pct_polled) / $(val rig cpu_pct_silent) % of a core" "adds <= 0.5 points"
row "rig: gap between readings p95 without / polled / not answering" "$(val rig gap_p95_ms_none) / $(val rig gap_p95_ms_polled) / $(val rig gap_p95_ms_silent) ms" "unchanged"
row "rig: PTT off round trip p50 / max (add the alarm's hold time)" "$(val rig ptt_off_p50_ms) / $(val rig ptt_off_max_ms) ms" "<= 300 ms"
row "rig: Bands window over 1,000,000 records with frequency" "$(val rig bands_total_ms) ms (read $(val rig bands_load_ms), per band $(val rig bands_stats_ms), curve $(val rig bands_curve_ms))" "< 2000 ms"
row "history: 1,000,000-record log read" "$(val history log_load_ms) ms" "< 2000 ms"
row "history: a day at 576 frames/s in memory" "$(val history store_bound_mb) MB (resident $(val history store_rss_mb) MB)" "< 50 MB"
row "history: CPU without / with the window (1 min, 24 h)" "$(val historycpu cpu_pct_without) / $(val historycpu cpu_pct_with_1min), $(val historycpu cpu_pct_with_24h) % of a core" "< 12 %"
row "history: added by the window (1 min, 24 h)" "$(val historycpu added_pts_1min), $(val historycpu added_pts_24h) points" "< 2 points"

echo
awk -F'\t' '
  { a[NR] = $1; b[NR] = $2; c[NR] = $3
    if (length($1) > w1) w1 = length($1); if (length($2) > w2) w2 = length($2) }
  END {
    fmt = "%-" w1 "s | %-" w2 "s | %s\n"
    printf fmt, "figure", "measured", "goal"
    s = ""; for (i = 0; i < w1 + w2 + 20; i++) s = s "-"; print s
    for (i = 1; i <= NR; i++) printf fmt, a[i], b[i], c[i]
  }' "$rows"
echo "(stream runs: $secs s each on $plats; rows without a platform read the $primary runs)"
exit $status
