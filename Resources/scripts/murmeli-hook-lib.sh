# Shared by murmeli's agent hook scripts; sourced, never run on its own.
# Everything here must leave the agent alone: short time limits, nothing printed unless asked for, and the
# callers always exit 0.

MURMELI_HOOK_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
MURMELI_PORT=${MURMELI_PORT:-19876}
MURMELI_STATUS_DIR=${MURMELI_STATUS_DIR:-/tmp/murmeli}
MURMELI_ADAPTER=${MURMELI_ADAPTER:-claude-code}
# The server refuses anything larger, so there is no point reading more of the agent's JSON than this.
MURMELI_MAX_BODY=262144
# An agent that never closes our standard input must not keep the hook (and so the agent) waiting.
MURMELI_STDIN_LIMIT=5
# Where the kernel lists TCP sockets; tests plant their own tables here.
MURMELI_PROC_NET=${MURMELI_PROC_NET:-/proc/net}
MURMELI_STARTED_US=${EPOCHREALTIME/[.,]/}

# cat passes on each read at once, so what arrived before the time limit is kept (head would lose its buffer when
# killed). NUL bytes cannot live in a shell variable; dropping them here keeps bash from warning about each one.
murmeli_read_stdin() {
    timeout -k 1 "$MURMELI_STDIN_LIMIT" cat 2>/dev/null | head -c "$((MURMELI_MAX_BODY + 1))" | tr -d '\0'
}

# Prints the seconds (with fraction) left until the given number of seconds after the script started; fails when
# none are left, since a time limit of 0 would mean no limit at all to timeout(1).
murmeli_seconds_left() {
    local left=$(($1 * 1000000 - (${EPOCHREALTIME/[.,]/} - MURMELI_STARTED_US)))
    ((left > 0)) || return 1
    printf '%d.%06d' $((left / 1000000)) $((left % 1000000))
}

# While murmeli is away any local user may listen on its port, and would be sent the secret and the agent's tool
# input, and could answer a permission request. So every socket listening where 127.0.0.1:port connects must be
# our own user's, and there must be one.
murmeli_listener_is_ours() {
    local port table address uid found=0
    printf -v port '%04X' "$MURMELI_PORT"
    for table in "$MURMELI_PROC_NET/tcp" "$MURMELI_PROC_NET/tcp6"; do
        [[ -r $table ]] || continue
        # grep picks our port's listening rows: bash's read goes byte by byte here, and each read makes the kernel
        # walk its socket table again (seconds with a few thousand sockets in TIME_WAIT).
        while read -r _ address _ _ _ _ _ uid _; do
            case $address in
            # 127.0.0.1, 0.0.0.0, ::ffff:127.0.0.1 and :: (which takes IPv4 too), as the kernel prints them.
            0100007F:"$port" | 00000000:"$port" | 0000000000000000FFFF00000100007F:"$port" \
                | 00000000000000000000000000000000:"$port") ;;
            *) continue ;;
            esac
            [[ $uid == "$EUID" ]] || return 1
            found=1
        done < <(grep -E "^ *[0-9]+: [0-9A-F]+:$port [0-9A-F]+:[0-9A-F]+ 0A " "$table" 2>/dev/null)
    done
    ((found))
}

# The session key: the first 8 characters of "session_id", only when they are safe in a file name.
murmeli_session_key() {
    local json=$1 key
    if [[ $json =~ \"session_id\"[[:space:]]*:[[:space:]]*\"([^\"]{1,8}) ]]; then
        key=${BASH_REMATCH[1]}
        # The same rule murmeli applies: all eight characters safe, or no key at all.
        [[ $key =~ ^[A-Za-z0-9_-]+$ ]] && printf '%s' "$key"
    fi
}

# The whole "session_id" of the JSON; empty when there is none.
murmeli_session_id() {
    [[ $1 =~ \"session_id\"[[:space:]]*:[[:space:]]*\"([^\"]*)\" ]] && printf '%s' "${BASH_REMATCH[1]}"
}

# Whether a status file may be written for the session of this JSON: there is none yet, or it is that session's.
murmeli_status_file_free() {
    local file=$1 theirs
    [[ -e $file || -L $file ]] || return 0
    theirs=$(murmeli_session_id "$(head -c 65536 -- "$file" 2>/dev/null | tr -d '\0')")
    [[ -z $theirs || $theirs == "$(murmeli_session_id "$2")" ]]
}

# POST the body to /hook/<event>; with a third argument, wait that many seconds for the reply and print its body. A
# fourth, the agent's process as murmeli_agent_process prints it, tells murmeli which process the event is from.
murmeli_post() {
    local event=$1 body=$2 wait=${3:-} agent=${4:-}
    local secret="" auth="" length line status="" reply="" in_body=0 blank=$' \t\n\v\f\r'
    if [[ -r $MURMELI_HOOK_DIR/hook-secret ]]; then
        secret=$(<"$MURMELI_HOOK_DIR/hook-secret")
        # Without the white space that ends it (a line break an editor added), as murmeli reads the stored secret.
        secret=${secret%"${secret##*[!$blank]}"}
        [[ -n $secret ]] && auth="Authorization: Bearer $secret"$'\r\n'
    fi
    # Older murmelis ignore this header.
    [[ $agent =~ ^[0-9]+\ [0-9]+$ ]] && auth+="x-murmeli-agent-process: $agent"$'\r\n'
    length=$(LC_ALL=C; printf '%s' "${#body}")
    exec 3<>"/dev/tcp/127.0.0.1/$MURMELI_PORT" 2>/dev/null || return 0
    # Looked at once connected and before a byte is sent.
    murmeli_listener_is_ours || { exec 3>&-; return 0; }
    printf 'POST /hook/%s HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\nx-murmeli-adapter: %s\r\n%sContent-Length: %s\r\nConnection: close\r\n\r\n%s' \
        "$event" "$MURMELI_ADAPTER" "$auth" "$length" "$body" >&3 2>/dev/null || { exec 3>&-; return 0; }
    local limit=${wait:-2}
    while IFS= read -r -t "$limit" line <&3 || [[ -n $line ]]; do
        line=${line%$'\r'}
        if ((in_body)); then
            reply+=$line
        elif [[ -z $status ]]; then
            status=$line
        elif [[ -z $line ]]; then
            in_body=1
        fi
        line=""
    done 2>/dev/null
    exec 3>&- 2>/dev/null
    if [[ -n $wait && $status == "HTTP/1.1 200 "* ]]; then
        printf '%s' "$reply"
    fi
    return 0
}

# Reads the body on standard input and forwards it under a hard time limit, naming the agent that started the hook;
# with a wait, prints the reply body. The body goes through a pipe, not an argument, since one argument may not exceed
# 128 KiB. A wait ends, and the connection with it, as soon as the agent is gone, or the session's own agent where
# murmeli has told it apart from a server that runs the hooks (the fourth argument is the session id): nobody is left
# to read a decision, and murmeli then shows the requests queued behind it at once.
murmeli_forward() {
    local event=$1 limit=$2 wait=${3:-} session=${4:-} agent poster
    agent=$(murmeli_agent_process)
    if [[ -z $wait || -z $agent ]]; then
        timeout -k 1 "$limit" bash -c 'source "$0"; murmeli_post "$1" "$(cat)" "$2" "$3"' \
            "$MURMELI_HOOK_DIR/murmeli-hook-lib.sh" "$event" "$wait" "$agent" 2>/dev/null
        return 0
    fi
    # timeout(1) puts the poster in a process group of its own, so it outlives the hangup that closing the agent's
    # terminal sends the agent's group; the watcher, in that group, ignores the hangup to end the poster then.
    timeout -k 1 "$limit" bash -c 'source "$0"; murmeli_post "$1" "$(cat)" "$2" "$3"' \
        "$MURMELI_HOOK_DIR/murmeli-hook-lib.sh" "$event" "$wait" "$agent" 2>/dev/null <&0 &
    poster=$!
    # Apart from our output, so that the reply is not held back until the watcher's last sleep ends. murmeli may tell
    # the session's own agent only after the request came, or take back one it held as the likely one: its record is
    # read on, and the process it names is watched until it names another, or the hooks' own agent again (none). One
    # it named before this request is watched only while it runs: it may be from before a resume.
    (
        trap '' HUP
        own="" seen=""
        if murmeli_recorded_agent "$session"; then
            seen=$MURMELI_RECORDED
            [[ $seen != "$agent" ]] && murmeli_process_runs "$seen" && own=$seen
        fi
        while kill -0 "$poster" 2>/dev/null; do
            if murmeli_recorded_agent "$session" && [[ $MURMELI_RECORDED != "$seen" ]]; then
                seen=$MURMELI_RECORDED
                own=""
                [[ $seen == "$agent" ]] || own=$seen
            fi
            if ! murmeli_process_runs "$agent" || { [[ -n $own ]] && ! murmeli_process_runs "$own"; }; then
                kill "$poster" 2>/dev/null
                break
            fi
            sleep 0.25
        done
    ) </dev/null >/dev/null 2>&1 &
    wait "$poster" 2>/dev/null
    return 0
}

# The agent that started this hook, as "<pid> <start>": the nearest ancestor that is neither a shell (agents run their
# hooks through one) nor a wrapper such as timeout(1), and its start time in clock ticks after boot, which tells it
# from a later process given the same pid. It may be a background server without a terminal that runs the hooks of
# every session of its agent (Codex's shared one); which process is then the session's own is murmeli's to tell, from
# what it knows of all the sessions (murmeli_recorded_agent). Fails when there is none but init.
murmeli_agent_process() {
    local pid=$PPID stat name fields
    while ((pid > 1)) && { read -r stat <"/proc/$pid/stat"; } 2>/dev/null; do
        name=${stat#*\(}
        name=${name%\)*}
        # After the name: the state, the parent's pid, ... and, 20th, the start time.
        read -r -a fields <<<"${stat##*) }"
        case $name in
        sh | dash | bash | zsh | ash | ksh | timeout | env | nice | nohup | setsid | stdbuf | ionice) ;;
        *)
            printf '%s %s' "$pid" "${fields[19]}"
            return 0
            ;;
        esac
        pid=${fields[1]}
    done
    return 1
}

# The process murmeli holds as the session's own, from its record of the session with the id $1 (named by the id's
# first 8 characters, or its last 8 for an id that begins with its time), in MURMELI_RECORDED as murmeli_agent_process
# prints a process; fails when there is no such record of our own.
murmeli_recorded_agent() {
    local id=$1 key record
    [[ -n $id && -O $MURMELI_STATUS_DIR ]] || return 1
    for key in "${id:0:8}" "${id: -8}"; do
        [[ $key =~ ^[A-Za-z0-9_-]{8}$ && -O $MURMELI_STATUS_DIR/$key-session.json ]] || continue
        record=""
        { read -r -N 65536 record <"$MURMELI_STATUS_DIR/$key-session.json"; } 2>/dev/null
        [[ $record == *"\"session_id\":\"$id\""* && $record =~ \"agent_process\":\"([0-9]+\ [0-9]+)\" ]] || continue
        MURMELI_RECORDED=${BASH_REMATCH[1]}
        return 0
    done
    return 1
}

# Whether the process murmeli_agent_process named still runs: neither gone, nor dead and waiting for its parent to
# reap it, nor replaced by a later process with its pid.
murmeli_process_runs() {
    local stat fields
    { read -r stat <"/proc/${1% *}/stat"; } 2>/dev/null || return 1
    read -r -a fields <<<"${stat##*) }"
    [[ ${fields[0]} != [ZX] && ${fields[19]} == "${1#* }" ]]
}

# Writes a file whole: a reader sees the old or the new content, never half of it.
murmeli_write_atomically() {
    local target=$1 content=$2 tmp
    tmp=$(mktemp "${target%/*}/.murmeli.XXXXXX" 2>/dev/null) || return 0
    if printf '%s' "$content" >"$tmp" 2>/dev/null; then
        mv -f "$tmp" "$target" 2>/dev/null || rm -f "$tmp"
    else
        rm -f "$tmp"
    fi
}

# The status directory is shared /tmp: use it only when it is our own real directory.
murmeli_status_dir_ready() {
    local dir=$MURMELI_STATUS_DIR
    [[ -e $dir || -L $dir ]] || mkdir -m 700 "$dir" 2>/dev/null
    [[ -d $dir && ! -L $dir && -O $dir ]]
}
