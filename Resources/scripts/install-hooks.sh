#!/bin/bash
# Connects Claude Code to murmeli: copies murmeli's hook scripts to a stable place in your home, registers them
# in ~/.claude/settings.json (keeping everything else in that file) and makes sure a hook secret is stored.
#   install-hooks.sh              install (again: changes nothing when all is in place)
#   install-hooks.sh --uninstall  remove murmeli's entries, scripts and secret
# Environment: MURMELI_BIN (the murmeli executable), CLAUDE_SETTINGS (default ~/.claude/settings.json).
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
dest=${XDG_DATA_HOME:-$HOME/.local/share}/murmeli/hooks
settings=${CLAUDE_SETTINGS:-$HOME/.claude/settings.json}
scripts=(murmeli-hook-lib.sh status-hook tool-hook notify-hook permission-hook session-hook)

fail() {
    echo "install-hooks.sh: $*" >&2
    exit 1
}

find_murmeli() {
    local candidate
    # Set by murmeli itself; beside a source tree's build; installed (<prefix>/share/murmeli/scripts); on PATH.
    for candidate in "${MURMELI_BIN:-}" "$here/../../build/main/app/murmeli" "$here/../../../bin/murmeli" \
        "$(command -v murmeli 2>/dev/null)"; do
        if [[ -n $candidate && -x $candidate ]]; then
            printf '%s' "$candidate"
            return 0
        fi
    done
    return 1
}

# Puts standard input in place as the target, whole; installers running at once each write a temporary file of
# their own.
place() {
    local target=$1 mode=$2 tmp
    tmp=$(mktemp "$dest/.${target##*/}.XXXXXX") || return 1
    if cat >"$tmp" && chmod "$mode" "$tmp" && mv -f "$tmp" "$target"; then
        return 0
    fi
    rm -f "$tmp"
    return 1
}

bin=$(find_murmeli) || fail "cannot find the murmeli executable; set MURMELI_BIN"

if [[ ${1:-} == --uninstall ]]; then
    "$bin" hooks uninstall --settings "$settings" || exit 1
    for script in "${scripts[@]}" hook-secret; do
        rm -f "$dest/$script"
    done
    rmdir "$dest" 2>/dev/null
    "$bin" hooks forget-secret || fail "could not remove the stored hook secret"
    echo "murmeli hooks removed"
    exit 0
fi
[[ $# -eq 0 ]] || fail "unknown argument: $1 (use --uninstall to remove)"

# The settings first: when the user's file cannot be edited, nothing else is touched either.
"$bin" hooks install --hooks-dir "$dest" --settings "$settings" || exit 1

umask 077
mkdir -p "$dest" || fail "cannot create $dest"
chmod 700 "$dest"
for script in "${scripts[@]}"; do
    [[ -f $here/$script ]] || fail "missing $here/$script"
    if ! cmp -s "$here/$script" "$dest/$script"; then
        place "$dest/$script" 700 <"$here/$script" || fail "cannot copy $script to $dest"
    fi
done

secret=$("$bin" hooks secret) || fail "could not store a hook secret"
if [[ ! -f $dest/hook-secret || $(<"$dest/hook-secret") != "$secret" ]]; then
    printf '%s' "$secret" | place "$dest/hook-secret" 600 || fail "cannot write $dest/hook-secret"
fi
echo "murmeli hooks installed in $dest"
