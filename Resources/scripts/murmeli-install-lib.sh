# Shared by the installers of the agents other than Claude Code; sourced, never run on its own.
# They keep install-hooks.sh's promises: the user's other settings stay as they are, a second run changes nothing,
# a file is backed up before murmeli changes it and replaced whole, a file murmeli cannot read as its own is refused
# and left untouched, and only murmeli's own entries and files are ever removed.
set -u
murmeli_here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
murmeli_hooks_root=${XDG_DATA_HOME:-$HOME/.local/share}/murmeli/hooks
murmeli_installer=${0##*/}
umask 077

murmeli_fail() {
    echo "$murmeli_installer: $*" >&2
    exit 1
}

murmeli_find_bin() {
    local candidate
    # Set by murmeli itself; beside a source tree's build; installed (<prefix>/share/murmeli/scripts); on PATH.
    for candidate in "${MURMELI_BIN:-}" "$murmeli_here/../../build/main/app/murmeli" "$murmeli_here/../../../bin/murmeli" \
        "$(command -v murmeli 2>/dev/null)"; do
        if [[ -n $candidate && -x $candidate ]]; then
            printf '%s' "$candidate"
            return 0
        fi
    done
    return 1
}

# Puts standard input in place as the target, whole; installers running at once each write a temporary file of
# their own beside the target.
murmeli_place() {
    local target=$1 mode=$2 tmp
    tmp=$(mktemp "${target%/*}/.${target##*/}.XXXXXX") || return 1
    if cat >"$tmp" && chmod "$mode" "$tmp" && mv -f "$tmp" "$target"; then
        return 0
    fi
    rm -f "$tmp"
    return 1
}

# A copy beside the file, named as the settings editor names its backups.
murmeli_backup() {
    local file=$1
    cp -p "$file" "$file.murmeli-backup-$(date +%Y%m%d-%H%M%S)-$$-$RANDOM"
}

# Copies a script of ours into place unless the same one is there already: murmeli_copy_script NAME TARGET.
murmeli_copy_script() {
    local source=$murmeli_here/$1 target=$2
    [[ -f $source ]] || murmeli_fail "missing $source"
    if ! cmp -s "$source" "$target"; then
        murmeli_place "$target" 700 <"$source" || murmeli_fail "cannot copy $1 to ${target%/*}"
    fi
}

# Stores a hook secret unless one is stored, and leaves the scripts in DIR a copy they send:
# murmeli_store_secret BIN DIR.
murmeli_store_secret() {
    local bin=$1 dest=$2 secret
    secret=$("$bin" hooks secret) || murmeli_fail "could not store a hook secret"
    if [[ ! -f $dest/hook-secret || $(<"$dest/hook-secret") != "$secret" ]]; then
        printf '%s' "$secret" | murmeli_place "$dest/hook-secret" 600 || murmeli_fail "cannot write $dest/hook-secret"
    fi
}

# The agent's own copy of the hook library, its hook command ("<agent>-hook") and the hook secret, in a folder of
# its own, so that removing one agent never takes another's scripts away.
murmeli_install_hook_scripts() {
    local agent=$1 bin=$2 dest=$murmeli_hooks_root/$1
    mkdir -p "$dest" || murmeli_fail "cannot create $dest"
    chmod 700 "$murmeli_hooks_root" "$dest"
    murmeli_copy_script murmeli-hook-lib.sh "$dest/murmeli-hook-lib.sh"
    murmeli_copy_script agent-hook "$dest/$agent-hook"
    murmeli_store_secret "$bin" "$dest"
}

# Writes a file of ours that carries the path of the agent's hook command in place of @MURMELI_HOOK_COMMAND@, unless
# it says that already; an earlier version is backed up first: murmeli_write_from_template TEMPLATE TARGET HOOK.
murmeli_write_from_template() {
    local template=$murmeli_here/$1 target=$2 hook=$3 content
    # The path goes into a JavaScript string as it is.
    if [[ $hook == *[\"\\]* || $hook == *$'\n'* ]]; then
        murmeli_fail "cannot name $hook in ${target##*/}"
    fi
    [[ -f $template ]] || murmeli_fail "missing $template"
    content=$(<"$template")
    content=${content//@MURMELI_HOOK_COMMAND@/$hook}
    cmp -s <(printf '%s\n' "$content") "$target" && return 0
    mkdir -p "${target%/*}" || murmeli_fail "cannot create ${target%/*}"
    if [[ -f $target ]]; then
        murmeli_backup "$target" || murmeli_fail "could not back up $target; nothing changed"
    fi
    printf '%s\n' "$content" | murmeli_place "$target" 600 || murmeli_fail "cannot write $target"
}

# Whether FILE is one murmeli wrote: its first line is the one murmeli writes there. murmeli_wrote FILE LINE.
murmeli_wrote() {
    local line
    [[ -f $1 && ! -L $1 ]] && IFS= read -r line <"$1" && [[ $line == "$2" ]]
}

# The secret stays stored: Claude Code's hooks and the other agents' use the same one.
murmeli_remove_hook_scripts() {
    local agent=$1 dest=$murmeli_hooks_root/$1
    rm -f "$dest/murmeli-hook-lib.sh" "$dest/$agent-hook" "$dest/hook-secret"
    rmdir "$dest" 2>/dev/null
    return 0
}

# The whole installer of an agent whose hooks are a JSON "hooks" block: murmeli_settings_installer AGENT FILE [ARG].
murmeli_settings_installer() {
    local agent=$1 settings=$2 bin
    shift 2
    bin=$(murmeli_find_bin) || murmeli_fail "cannot find the murmeli executable; set MURMELI_BIN"
    if [[ ${1:-} == --uninstall ]]; then
        "$bin" hooks uninstall --agent "$agent" --settings "$settings" || exit 1
        murmeli_remove_hook_scripts "$agent"
        echo "murmeli hooks removed for $agent"
        exit 0
    fi
    [[ $# -eq 0 ]] || murmeli_fail "unknown argument: $1 (use --uninstall to remove)"
    # The settings first: when the user's file cannot be edited, nothing else is touched either.
    "$bin" hooks install --agent "$agent" --hooks-dir "$murmeli_hooks_root/$agent" --settings "$settings" || exit 1
    murmeli_install_hook_scripts "$agent" "$bin"
    echo "murmeli hooks installed for $agent in $murmeli_hooks_root/$agent"
    exit 0
}
