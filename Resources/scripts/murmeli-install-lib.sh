# Shared by the installers of the agents other than Claude Code; sourced, never run on its own.
# They keep install-hooks.sh's promises: the user's other settings stay as they are, a second run changes nothing,
# a file is backed up before murmeli changes it and replaced whole, a file murmeli cannot read as its own is refused
# and left untouched, and only murmeli's own entries and files are ever removed. An install either puts everything
# in place or, failing, takes back what it had done; what only murmeli created goes again with the last uninstall.
set -u
# "printf .. | murmeli_place": the last command of a pipe runs in this shell, so it can note what to undo.
shopt -s lastpipe
murmeli_here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
murmeli_data=${XDG_DATA_HOME:-$HOME/.local/share}/murmeli
murmeli_hooks_root=$murmeli_data/hooks
# The folders and files the installers created where nothing was, one a line; murmeli's settings editor keeps it too.
murmeli_record=$murmeli_data/created-paths
murmeli_installer=${0##*/}
# What this run created, undone in reverse when it fails: "rm <file>" or "rmdir <folder>".
murmeli_undo=()
murmeli_bin=""
umask 077

murmeli_fail() {
    echo "$murmeli_installer: $*" >&2
    murmeli_roll_back
    exit 1
}

# Takes back what this run did, so that a failed install leaves nothing half done.
murmeli_roll_back() {
    local i step
    ((${#murmeli_undo[@]})) || return 0
    for ((i = ${#murmeli_undo[@]} - 1; i >= 0; i--)); do
        step=${murmeli_undo[i]}
        case $step in
        "rm "*) rm -f -- "${step#rm }" ;;
        "rmdir "*) rmdir -- "${step#rmdir }" 2>/dev/null ;;
        esac
    done
    murmeli_undo=()
    [[ -n $murmeli_bin ]] && murmeli_tidy_up "$murmeli_bin"
    echo "$murmeli_installer: nothing was changed" >&2
}

# Whether PATH may be written as its owner set it up: an existing file must be writable, and so must the nearest
# folder on its way that exists. The owner's write bit counts even for root, who could write past it.
murmeli_can_write() {
    local path=$1 folder
    if [[ -e $path ]]; then
        [[ -w $path ]] && (($(stat -L -c '0%a' -- "$path") & 0200)) || return 1
    fi
    folder=${path%/*}
    while [[ -n $folder && ! -e $folder ]]; do
        folder=${folder%/*}
    done
    folder=${folder:-/}
    [[ -d $folder && -w $folder ]] && (($(stat -L -c '0%a' -- "$folder") & 0200))
}

# Refuses the install before anything changes unless every path named may be written.
murmeli_check_writable() {
    local path
    for path in "$@"; do
        murmeli_can_write "$path" || murmeli_fail "cannot write ${path%/.murmeli-probe} (read-only); nothing was changed"
    done
}

# mkdir -p that notes each folder it creates, to be taken back on failure and removed once left empty.
murmeli_make_dir() {
    local dir=$1 missing=() folder
    folder=$dir
    while [[ -n $folder && ! -e $folder && ! -L $folder ]]; do
        missing=("$folder" "${missing[@]}")
        folder=${folder%/*}
    done
    mkdir -p -- "$dir" || return 1
    for folder in "${missing[@]}"; do
        murmeli_undo+=("rmdir $folder")
    done
    ((${#missing[@]})) || return 0
    mkdir -p -- "$murmeli_data" || return 1
    for folder in "${missing[@]}"; do
        [[ $folder == *$'\n'* ]] || printf '%s\n' "$folder" >>"$murmeli_record"
    done
}

# Once no agent's hooks are left, the secret they shared goes, and so does every folder murmeli created that is empty.
murmeli_tidy_up() {
    local bin=$1 path kept=() listed=() pass others last=0
    if [[ ! -e $murmeli_hooks_root ]] || rmdir -- "$murmeli_hooks_root" 2>/dev/null; then
        last=1
        "$bin" hooks forget-secret || return 1
        rmdir -- "$murmeli_data/secrets" 2>/dev/null
    fi
    [[ -f $murmeli_record ]] || return 0
    mapfile -t listed < <(sort -r -- "$murmeli_record")
    for pass in 1 2; do
        kept=()
        others=0
        for path in "${listed[@]}"; do
            [[ -d $path && ! -L $path ]] && rmdir -- "$path" 2>/dev/null
            if [[ -e $path || -L $path ]]; then
                kept+=("$path")
                # The list itself may be all that keeps murmeli's own folder and those above it.
                [[ $murmeli_record == "$path"/* ]] || others=1
            fi
        done
        # Once the last agent is out, a folder murmeli created that still holds something is the user's now.
        if ((others && !last)); then
            printf '%s\n' "${kept[@]}" | murmeli_place "$murmeli_record" 600 nothing-to-undo
            return 0
        fi
        rm -f -- "$murmeli_record"
    done
    return 0
}

# What an installer says when murmeli_find_bin finds nothing, as before a first build.
murmeli_no_bin="cannot find the murmeli executable: build it first with 'bash scripts/run' in murmeli's folder, or \
set MURMELI_BIN to the murmeli executable"

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
# their own beside the target. A file that was not there is taken back if the install fails (unless a third argument
# says not to).
murmeli_place() {
    local target=$1 mode=$2 tmp existed=0
    [[ -e $target ]] && existed=1
    tmp=$(mktemp "${target%/*}/.${target##*/}.XXXXXX") || return 1
    if cat >"$tmp" && chmod "$mode" "$tmp" && mv -f "$tmp" "$target"; then
        ((existed)) || [[ -n ${3:-} ]] || murmeli_undo+=("rm $target")
        return 0
    fi
    rm -f "$tmp"
    return 1
}

# A copy beside the file, named as the settings editor names its backups; as there, only the newest five are kept.
# The one just made is always among them, even when a clock set back since gave it a name older than the rest.
murmeli_backup() {
    local file=$1 backup each others=()
    backup=$file.murmeli-backup-$(date +%Y%m%d-%H%M%S)-$$-$RANDOM
    cp -p "$file" "$backup" || return 1
    for each in "$file".murmeli-backup-*; do
        [[ $each == "$backup" ]] || others+=("$each")
    done
    if ((${#others[@]} > 4)); then
        rm -f -- "${others[@]:0:${#others[@]}-4}"
    fi
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
    # murmeli has said why on standard error. A stored secret it cannot use is the user's to mend: without the
    # executable the roll back leaves the stored secret alone (it only forgets one no agent's hooks hold).
    secret=$("$bin" hooks secret) || { murmeli_bin=""; murmeli_fail "no hook secret to give the hooks (see above)"; }
    if [[ ! -f $dest/hook-secret || $(<"$dest/hook-secret") != "$secret" ]]; then
        printf '%s' "$secret" | murmeli_place "$dest/hook-secret" 600 || murmeli_fail "cannot write $dest/hook-secret"
    fi
}

# The agent's own copy of the hook library, its hook command ("<agent>-hook") and the hook secret, in a folder of
# its own, so that removing one agent never takes another's scripts away.
murmeli_install_hook_scripts() {
    local agent=$1 bin=$2 dest=$murmeli_hooks_root/$1
    murmeli_make_dir "$dest" || murmeli_fail "cannot create $dest"
    chmod 700 "$murmeli_hooks_root" "$dest"
    murmeli_copy_script murmeli-hook-lib.sh "$dest/murmeli-hook-lib.sh"
    murmeli_copy_script agent-hook "$dest/$agent-hook"
    murmeli_store_secret "$bin" "$dest"
}

# Writes a file of ours that carries the path of the agent's hook command in place of @MURMELI_HOOK_COMMAND@, unless
# it says that already; an earlier version is backed up first: murmeli_write_from_template TEMPLATE TARGET HOOK.
murmeli_write_from_template() {
    local template=$1 target=$2 hook=$3 content
    # The path goes into a JavaScript string: quoted as JSON quotes it. A line break has no place in a path we run.
    if [[ $hook == *[[:cntrl:]]* ]]; then
        murmeli_fail "cannot name $hook in ${target##*/}"
    fi
    hook=${hook//\\/\\\\}
    hook=${hook//\"/\\\"}
    [[ -f $murmeli_here/$template ]] || murmeli_fail "missing $murmeli_here/$template"
    content=$(<"$murmeli_here/$template")
    # Quoted, so that an "&" in the path stays an "&" (bash puts the matched text there otherwise).
    content=${content//@MURMELI_HOOK_COMMAND@/"$hook"}
    cmp -s <(printf '%s\n' "$content") "$target" && return 0
    murmeli_make_dir "${target%/*}" || murmeli_fail "cannot create ${target%/*}"
    if [[ -f $target ]]; then
        murmeli_backup "$target" || murmeli_fail "could not back up $target"
    fi
    printf '%s\n' "$content" | murmeli_place "$target" 600 || murmeli_fail "cannot write $target"
    # What was written must name the hook command as it is, or the agent would run nothing.
    if grep -qF @MURMELI_HOOK_COMMAND@ "$target" || { [[ $content != "$(<"$murmeli_here/$template")" ]] \
        && ! grep -qF -- "$hook" "$target"; }; then
        murmeli_fail "wrote $target, but it does not name $3"
    fi
}

# Whether FILE is one murmeli wrote: its first line is the one murmeli writes there. murmeli_wrote FILE LINE.
murmeli_wrote() {
    local line
    [[ -f $1 && ! -L $1 ]] && IFS= read -r line <"$1" && [[ $line == "$2" ]]
}

murmeli_remove_hook_scripts() {
    local agent=$1 dest=$murmeli_hooks_root/$1
    rm -f "$dest/murmeli-hook-lib.sh" "$dest/$agent-hook" "$dest/hook-secret"
    rmdir "$dest" 2>/dev/null
    return 0
}

# The whole installer of an agent whose hooks are a JSON "hooks" block: murmeli_settings_installer AGENT FILE [ARG].
murmeli_settings_installer() {
    local agent=$1 settings=$2
    shift 2
    murmeli_bin=$(murmeli_find_bin) || murmeli_fail "$murmeli_no_bin"
    if [[ ${1:-} == --uninstall ]]; then
        "$murmeli_bin" hooks uninstall --agent "$agent" --settings "$settings" || exit 1
        murmeli_remove_hook_scripts "$agent"
        murmeli_tidy_up "$murmeli_bin" || murmeli_fail "could not remove the stored hook secret"
        echo "murmeli hooks removed for $agent"
        exit 0
    fi
    [[ $# -eq 0 ]] || murmeli_fail "unknown argument: $1 (use --uninstall to remove)"
    murmeli_check_writable "$settings" "$murmeli_hooks_root/$agent/.murmeli-probe"
    murmeli_install_hook_scripts "$agent" "$murmeli_bin"
    # The user's file last: when it cannot be edited, what was put in place for it is taken back.
    "$murmeli_bin" hooks install --agent "$agent" --hooks-dir "$murmeli_hooks_root/$agent" --settings "$settings" \
        || { murmeli_roll_back; exit 1; }
    echo "murmeli hooks installed for $agent in $murmeli_hooks_root/$agent"
    exit 0
}

# Every installer's usage is the comment at its top; asked for, it is printed before anything is looked for, and
# a word it does not know is named before the executable is looked for, so a mistyped option reads as one.
case ${1:-} in
--help | -h)
    echo "usage: $murmeli_installer [--uninstall]"
    sed -n '2,/^[^#]/s/^#\( \|$\)//p' "$0"
    exit 0
    ;;
'' | --uninstall) ;;
*) murmeli_fail "unknown argument: $1 (use --uninstall to remove, --help for the usage)" ;;
esac
