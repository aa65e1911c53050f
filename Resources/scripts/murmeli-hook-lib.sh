# Shared by murmeli's agent hook scripts; sourced, never run on its own.
# Everything here must leave the agent alone: short time limits, nothing printed unless asked for, and the
# callers always exit 0.

MURMELI_HOOK_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
MURMELI_PORT=${MURMELI_PORT:-19876}
MURMELI_STATUS_DIR=${MURMELI_STATUS_DIR:-/tmp/murmeli}
MURMELI_ADAPTER=${MURMELI_ADAPTER:-claude-code}
# The server refuses anything larger, so there is no point reading more of the agent's JSON than this.
MURMELI_MAX_BODY=262144

murmeli_read_stdin() {
    head -c "$((MURMELI_MAX_BODY + 1))" 2>/dev/null
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

# POST the body to /hook/<event>; with a third argument, wait that many seconds for the reply and print its body.
murmeli_post() {
    local event=$1 body=$2 wait=${3:-}
    local secret="" auth="" length line status="" reply="" in_body=0
    if [[ -r $MURMELI_HOOK_DIR/hook-secret ]]; then
        secret=$(<"$MURMELI_HOOK_DIR/hook-secret")
        [[ -n $secret ]] && auth="Authorization: Bearer $secret"$'\r\n'
    fi
    length=$(LC_ALL=C; printf '%s' "${#body}")
    exec 3<>"/dev/tcp/127.0.0.1/$MURMELI_PORT" 2>/dev/null || return 0
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

# Reads the body on standard input and forwards it under a hard time limit; with a wait, prints the reply body.
# The body goes through a pipe, not an argument, since one argument may not exceed 128 KiB.
murmeli_forward() {
    local event=$1 limit=$2 wait=${3:-}
    timeout -k 1 "$limit" bash -c 'source "$0"; murmeli_post "$1" "$(cat)" "$2"' \
        "$MURMELI_HOOK_DIR/murmeli-hook-lib.sh" "$event" "$wait" 2>/dev/null
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
