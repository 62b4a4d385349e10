# Shell helpers the benchmark scripts source.

# The median of the numbers given as arguments; of an even count, the lower of the middle two.
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Starts a private PulseAudio server with one null sink "bench" in folder $1, exports
# PULSE_SERVER and an ALSA configuration whose "default" reaches it, and sets server_pid for
# stop_sound_server. Returns 1 when the server does not answer.
start_sound_server() {
  local dir=$1
  mkdir -p "$dir/runtime" "$dir/state"
  HOME="$dir" PULSE_RUNTIME_PATH="$dir/runtime" PULSE_STATE_PATH="$dir/state" \
  XDG_RUNTIME_DIR="$dir/runtime" pulseaudio -n --daemonize=no --exit-idle-time=-1 \
    --use-pid-file=no --realtime=no --high-priority=no --no-cpu-limit --log-target=stderr \
    "--load=module-native-protocol-unix auth-anonymous=1 socket=$dir/native" \
    "--load=module-null-sink sink_name=bench format=s16le rate=48000 channels=2" \
    >"$dir/server.log" 2>&1 &
  server_pid=$!
  export PULSE_SERVER="unix:$dir/native"
  printf 'pcm.!default { type pulse server "%s" }\n' "$PULSE_SERVER" >"$dir/asound.conf"
  export ALSA_CONFIG_PATH="/usr/share/alsa/alsa.conf:$dir/asound.conf"
  for _ in $(seq 100); do pactl info >/dev/null 2>&1 && return 0; sleep 0.1; done
  cat "$dir/server.log"
  return 1
}

stop_sound_server() {
  [ -n "${server_pid:-}" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  server_pid=""
}

# Writes a steady tone of $2 seconds (48000 Hz stereo) as the MP3 file $3, with the tone maker
# of build folder $1; returns 1 on failure.
make_tone_mp3() {
  local build=$1 seconds=$2 out=$3
  "$build/bench/bench_play_pool" tone "$out.raw" "$seconds" &&
    lame --quiet -r -s 48 --bitwidth 16 --signed --little-endian -m j "$out.raw" "$out" 2>/dev/null
  local status=$?
  rm -f "$out.raw"
  return $status
}

# Runs the command under strace over every thread and prints "name calls" for each system call
# it made; returns 1 when strace is missing or the command failed.
syscalls() {
  local out
  out=$(mktemp /tmp/qm_strace.XXXXXX) || return 1
  strace -f -c -o "$out" "$@" >/dev/null 2>&1
  local status=$?
  awk '$4 ~ /^[0-9]+$/ && $NF != "total" { print $NF, $4 }' "$out"
  rm -f "$out"
  return $status
}

# System calls per second by name from the counts of a long run ($1) and a short one ($2) that
# differ by $3 seconds of audio: "total N" first, then the kinds of at least one a second, most
# first.
calls_per_second() {
  awk -v d="$3" 'FNR == 1 { f++ } { if (f == 1) a[$1] += $2; else b[$1] += $2 }
    END {
      for (k in a) { r = (a[k] - b[k]) / d; t += r; if (r >= 1) printf "%s %.0f\n", k, r }
      printf "total %.0f\n", t
    }' "$1" "$2" | sort -k2,2nr | awk '$1 == "total" { print; next } { rest = rest $0 "\n" }
    END { printf "%s", rest }'
}
