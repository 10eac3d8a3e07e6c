# A private PulseAudio server for the device tests: no configuration files, a
# unix socket in a temporary folder, one null sink at 44100 Hz s16le (without
# rewinds, so a stream's position does not lag), and a capture of its monitor.
# Sourced by the check scripts:
#   pulse_start DIR         starts the server; exports PULSE_SERVER
#   pulse_capture_start F   records the sink's monitor to F (raw s16le stereo)
#   pulse_capture_stop      ends the recording and waits for it
#   pulse_stop              ends the server by its PID and waits until it is gone

pulse_pid=""
capture_pid=""

pulse_start() {
  local dir=$1
  mkdir -p "$dir/runtime" "$dir/state"
  # Root may run a per-user server; it warns, which is all.
  PULSE_RUNTIME_PATH="$dir/runtime" PULSE_STATE_PATH="$dir/state" HOME="$dir" \
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disallow-exit \
      --log-target=file:"$dir/pulse.log" \
      -L "module-native-protocol-unix socket=$dir/native auth-anonymous=1" \
      -L "module-null-sink sink_name=lumbo rate=44100 format=s16le channels=2 norewinds=1" \
      -L "module-always-sink" </dev/null >/dev/null 2>&1 &
  pulse_pid=$!
  export PULSE_SERVER="unix:$dir/native"
  local tries=0
  until timeout 5 pactl info >/dev/null 2>&1; do
    tries=$((tries + 1))
    if [ $tries -ge 50 ] || ! kill -0 "$pulse_pid" 2>/dev/null; then
      echo "private PulseAudio did not start; its log:" >&2
      cat "$dir/pulse.log" >&2 || true
      return 1
    fi
    sleep 0.2
  done
  timeout 5 pactl set-default-sink lumbo
}

pulse_capture_start() {
  parec --device=lumbo.monitor --raw --format=s16le --rate=44100 --channels=2 --latency-msec=20 >"$1" &
  capture_pid=$!
  sleep 0.5   # the recording stream is connected before anything plays
}

pulse_capture_stop() {
  [ -n "$capture_pid" ] || return 0
  kill "$capture_pid" 2>/dev/null || true
  timeout 10 tail --pid="$capture_pid" -f /dev/null || true
  wait "$capture_pid" 2>/dev/null || true
  capture_pid=""
}

pulse_stop() {
  pulse_capture_stop
  [ -n "$pulse_pid" ] || return 0
  kill "$pulse_pid" 2>/dev/null || true
  if ! timeout 10 tail --pid="$pulse_pid" -f /dev/null; then
    kill -9 "$pulse_pid" 2>/dev/null || true
  fi
  wait "$pulse_pid" 2>/dev/null || true
  pulse_pid=""
  unset PULSE_SERVER
}
