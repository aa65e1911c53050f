# Sourced by the benchmarks that start murmeli. The instance lock is the user's whatever the home, and the hook port and
# the agents' status folder are the machine's: a benchmark's murmeli without places of its own would hand over to the
# user's murmeli, post to it or fail. With these it never reaches the user's murmeli, nor another run's, nor they it.

# own_murmeli_env FOLDER: own_env, the variables that give a murmeli an instance folder, a status folder and a runtime
# folder (its instance socket) in FOLDER, and a free hook port.
own_murmeli_env() {
  mkdir -m 700 "$1/instance" "$1/status" "$1/run"
  # shellcheck disable=SC2034 # the benchmark that sources this starts murmeli with it
  own_env=(XDG_RUNTIME_DIR="$1/run" MURMELI_INSTANCE_DIR="$1/instance" MURMELI_STATUS_DIR="$1/status" MURMELI_PORT=0)
}

# murmeli_port LOG PID: the hook port murmeli (PID) says in LOG that it listens on, once it says so (within 30 s); fails
# with the log when it ends first or cannot listen.
murmeli_port() {
  local log=$1 pid=$2 port deadline=$((SECONDS + 30))
  while ! grep -qs 'HookServer: \(listening\|failed\)' "$log" && kill -0 "$pid" 2>/dev/null &&
    ((SECONDS < deadline)); do
    sleep 0.1
  done
  port=$(sed -n 's/.*HookServer: listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$log" | head -n1)
  [[ -n $port ]] || { cat "$log" >&2; echo "murmeli did not start listening" >&2; return 1; }
  echo "$port"
}
