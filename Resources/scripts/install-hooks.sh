#!/bin/bash
# Connects Claude Code to murmeli: copies murmeli's hook scripts to a stable place in your home, registers them
# in ~/.claude/settings.json (keeping everything else in that file) and makes sure a hook secret is stored.
#   install-hooks.sh              install (again: changes nothing when all is in place)
#   install-hooks.sh --uninstall  remove murmeli's entries, scripts and secret
# Environment: MURMELI_BIN (the murmeli executable), CLAUDE_SETTINGS (default ~/.claude/settings.json).
source "$(dirname "${BASH_SOURCE[0]}")/murmeli-install-lib.sh" || exit 1
dest=$murmeli_hooks_root
settings=${CLAUDE_SETTINGS:-$HOME/.claude/settings.json}
scripts=(murmeli-hook-lib.sh status-hook tool-hook notify-hook permission-hook session-hook)

murmeli_bin=$(murmeli_find_bin) || murmeli_fail "$murmeli_no_bin"

if [[ ${1:-} == --uninstall ]]; then
    "$murmeli_bin" hooks uninstall --settings "$settings" || exit 1
    for script in "${scripts[@]}" hook-secret; do
        rm -f "$dest/$script"
    done
    # The other agents' hooks keep their folders below $dest and use the same secret.
    murmeli_tidy_up "$murmeli_bin" || murmeli_fail "could not remove the stored hook secret"
    echo "murmeli hooks removed"
    exit 0
fi
[[ $# -eq 0 ]] || murmeli_fail "unknown argument: $1 (use --uninstall to remove)"

murmeli_check_writable "$settings" "$dest/.murmeli-probe"
murmeli_make_dir "$dest" || murmeli_fail "cannot create $dest"
chmod 700 "$dest"
for script in "${scripts[@]}"; do
    murmeli_copy_script "$script" "$dest/$script"
done
murmeli_store_secret "$murmeli_bin" "$dest"
# The user's file last: when it cannot be edited, the scripts put in place for it are taken back.
"$murmeli_bin" hooks install --hooks-dir "$dest" --settings "$settings" || { murmeli_roll_back; exit 1; }
echo "murmeli hooks installed in $dest"
