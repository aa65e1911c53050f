#!/usr/bin/env python3
"""Resources/scripts/remove-murmeli says "removed" of exactly what was there and is gone afterwards, and "kept" of
exactly what it had to leave: in a home where murmeli never ran it removes nothing and says so of nothing. Its home,
temporary folder and status folder are scratch ones, so a murmeli the user runs is neither touched nor counted; the
murmeli of another home that the removal must wait for is a stand-in of the test's own, and so is the user database
that names the account's home (the real one would lead the removal to the user's own lock folder)."""

import contextlib
import os
import shutil
import stat
import subprocess
import tempfile
import unittest

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
REMOVE = os.path.join(ROOT, "Resources", "scripts", "remove-murmeli")
UID = os.getuid()

# Each of murmeli's places below the scratch folder, with a file murmeli leaves in it; the home's first.
HOME_PLACES = {
    "home/.murmeli": "logs/ptt-2026-12-08.jsonl",
    "home/.config/murmeli": "defaults.json",
    "home/.local/share/murmeli": "created-paths",
}
TEMPORARY_PLACES = {
    "status": "abcd1234-status.json",
    f"tmp/murmeli-{UID}": "instance.lock",
    f"tmp/murmeli-takes-{UID}": "take-1.wav",
}
PLACES = {**HOME_PLACES, **TEMPORARY_PLACES}
CLOUD_SERVICE = "com.murmeli.apikey.murmeli-cloud"


def scratch_environment(scratch, account="account"):
    """The removal's environment in scratch, whose user database gives the account the home scratch/<account>."""
    for place in ("home", "tmp", "other", "bin"):
        os.makedirs(os.path.join(scratch, place), exist_ok=True)
    getent = os.path.join(scratch, "bin", "getent")
    with open(getent, "w") as script:
        home = os.path.join(scratch, account)
        script.write(f'#!/bin/bash\n[[ $1 == passwd ]] && echo "user:x:{UID}:{os.getgid()}::{home}:/bin/bash"\n')
    os.chmod(getent, 0o755)
    return {
        "PATH": os.path.join(scratch, "bin") + os.pathsep + os.environ["PATH"],
        "HOME": os.path.join(scratch, "home"),
        "TMPDIR": os.path.join(scratch, "tmp"),
        "MURMELI_STATUS_DIR": os.path.join(scratch, "status"),
    }


def leave(scratch, *files):
    for file in files:
        path = os.path.join(scratch, file)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        open(path, "w").close()


def remove(scratch, env, another=False, lock=None):
    """Runs the removal, beside a stand-in murmeli of another home when asked, which holds the instance lock at lock
    (below scratch) open as murmeli does; what it said, and its status."""
    running = None
    held = None
    if another:
        shutil.copy("/bin/sleep", os.path.join(scratch, "murmeli"))
        if lock:
            if not os.path.exists(os.path.join(scratch, lock)):
                leave(scratch, lock)
            held = open(os.path.join(scratch, lock))
        running = subprocess.Popen(
            [os.path.join(scratch, "murmeli"), "60"], env=dict(env, HOME=os.path.join(scratch, "other")), stdin=held
        )
    try:
        run = subprocess.run(["bash", REMOVE], env=env, capture_output=True, text=True, timeout=60)
    finally:
        if running:
            running.kill()
            running.wait()
        if held:
            held.close()
    return run.stdout + run.stderr, run.returncode


def named(said, word):
    """The paths the lines beginning with word name ("kept a b: why")."""
    lines = [line[len(word) + 1 :] for line in said.splitlines() if line.startswith(word + " ")]
    return sorted(path for line in lines for path in line.split(": ")[0].split(" (")[0].split())


@contextlib.contextmanager
def private_bus(scratch):
    """A session bus of the test's own that starts no service on demand, so nothing of the user's is ever reached."""
    config = os.path.join(scratch, "bus.conf")
    with open(config, "w") as file:
        file.write(
            f"<busconfig><type>session</type><listen>unix:dir={scratch}</listen><auth>EXTERNAL</auth>"
            "<policy context='default'><allow send_destination='*'/><allow receive_sender='*'/><allow own='*'/>"
            "</policy></busconfig>"
        )
    daemon = subprocess.Popen(
        ["dbus-daemon", "--nofork", "--print-address=1", f"--config-file={config}"],
        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
    )
    try:
        yield daemon.stdout.readline().strip()
    finally:
        daemon.terminate()
        daemon.wait()
        daemon.stdout.close()


@contextlib.contextmanager
def private_keyring(scratch, env, services, locked):
    """An unlocked Secret Service in scratch on env's bus, holding an item of each service, then locked if asked."""
    keyring_env = dict(env, HOME=scratch, XDG_DATA_HOME=os.path.join(scratch, "data"), XDG_RUNTIME_DIR=scratch)
    daemon = subprocess.Popen(
        ["gnome-keyring-daemon", "--foreground", "--unlock", "--components=secrets"],
        env=keyring_env, stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
    )
    try:
        daemon.stdin.write(b"murmeli")
        daemon.stdin.close()
        waited = subprocess.run(["gdbus", "wait", "--session", "--timeout", "30", "org.freedesktop.secrets"], env=env)
        if waited.returncode != 0:
            raise AssertionError("the test's keyring did not take the Secret Service's name within 30 s")
        for service in services:
            subprocess.run(
                ["secret-tool", "store", "--label=murmeli", "service", service, "account", "session-token"],
                env=env, input=b"token", check=True, timeout=30,
            )
        if locked:
            subprocess.run(
                ["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.secrets",
                 "/org/freedesktop/secrets", "org.freedesktop.Secret.Service.Lock",
                 "array:objpath:/org/freedesktop/secrets/collection/login"],
                env=env, check=True, capture_output=True, timeout=30,
            )
        yield
    finally:
        daemon.terminate()
        daemon.wait()


def pin(path):
    """Makes the file at path one the removal cannot delete: immutable for root, else in a folder it may not write."""
    if os.geteuid() == 0:
        made = subprocess.run(["chattr", "+i", path], capture_output=True, text=True)
        if made.returncode != 0:
            raise AssertionError(f"chattr +i is needed to keep a file from root: {made.stderr}")
    else:
        os.chmod(os.path.dirname(path), stat.S_IRUSR | stat.S_IXUSR)


def unpin(path):
    if os.geteuid() == 0:
        subprocess.run(["chattr", "-i", path], capture_output=True)
    else:
        os.chmod(os.path.dirname(path), stat.S_IRWXU)


class RemoveMurmeliTest(unittest.TestCase):
    def test_it_says_removed_and_kept_of_what_was_there_only(self):
        rows = (
            # what was there, whether a murmeli of another home runs with this temporary folder
            ("murmeli never ran", (), False),
            ("only the data folder", ("home/.local/share/murmeli",), False),
            ("everything", tuple(PLACES), False),
            ("another home's murmeli runs, nothing of it here", tuple(HOME_PLACES), True),
            ("another home's murmeli runs over its temporary folders", tuple(PLACES), True),
        )
        for name, present, another in rows:
            with self.subTest(name), tempfile.TemporaryDirectory() as scratch:
                env = scratch_environment(scratch)
                leave(scratch, *(os.path.join(place, PLACES[place]) for place in present))
                said, status = remove(scratch, env, another)
                waits = [place for place in present if another and place in TEMPORARY_PLACES]
                gone = [place for place in present if place not in waits]
                self.assertEqual(status, 1 if waits else 0, said)
                removed = sorted(line for line in said.splitlines() if line.startswith("removed "))
                self.assertEqual(removed, sorted(f"removed {os.path.join(scratch, place)}" for place in gone), said)
                kept = [line for line in said.splitlines() if line.startswith("kept ")]
                if waits:
                    self.assertEqual(len(kept), 1, said)
                    self.assertEqual(
                        sorted(kept[0].split(":")[0].split()[1:]), sorted(os.path.join(scratch, p) for p in waits)
                    )
                else:
                    self.assertEqual(kept, [], said)
                for place in PLACES:
                    self.assertEqual(os.path.exists(os.path.join(scratch, place)), place in waits, place)

    def test_what_cannot_be_removed_is_named_with_why_and_fails_the_run(self):
        for stuck in ("home/.murmeli", "home/.config/murmeli", "home/.local/share/murmeli", f"tmp/murmeli-takes-{UID}"):
            with self.subTest(stuck), tempfile.TemporaryDirectory() as scratch:
                env = scratch_environment(scratch)
                leave(scratch, *(os.path.join(place, PLACES[place]) for place in PLACES))
                file = os.path.join(scratch, stuck, PLACES[stuck])
                pin(file)
                try:
                    said, status = remove(scratch, env)
                finally:
                    unpin(file)
                self.assertEqual(status, 1, said)
                self.assertEqual(named(said, "kept"), [os.path.join(scratch, stuck)], said)
                why = next(line for line in said.splitlines() if line.startswith("kept "))
                self.assertIn(file, why)
                self.assertRegex(why, "Operation not permitted|Permission denied")
                gone = [os.path.join(scratch, place) for place in PLACES if place != stuck]
                self.assertEqual(named(said, "removed"), sorted(gone), said)
                self.assertTrue(os.path.exists(file))

    def test_what_it_meets_on_the_way_is_said_in_the_words_of_what_met_it(self):
        rows = (
            # what is there besides murmeli's files, whether a murmeli it lists has ended before it is looked at;
            # what is kept and what the line that keeps it says
            ("a murmeli ends between the listing and the look at it", (), True, (), None),
            ("a temporary folder holds another program's folder", (f"tmp/murmeli-takes-{UID}/theirs/notes",), False,
             (f"tmp/murmeli-takes-{UID}",), "Directory not empty"),
        )
        for name, present, ended, kept, says in rows:
            with self.subTest(name), tempfile.TemporaryDirectory() as scratch:
                env = scratch_environment(scratch)
                leave(scratch, *(os.path.join(place, PLACES[place]) for place in PLACES), *present)
                if ended:
                    gone = subprocess.Popen(["true"])
                    gone.wait()
                    pgrep = os.path.join(scratch, "bin", "pgrep")
                    with open(pgrep, "w") as script:
                        script.write(f'#!/bin/bash\n{shutil.which("pgrep")} "$@"\necho {gone.pid}\n')
                    os.chmod(pgrep, 0o755)
                said, status = remove(scratch, env)
                self.assertEqual(status, 1 if kept else 0, said)
                self.assertNotIn("/proc/", said)
                self.assertEqual(named(said, "kept"), sorted(os.path.join(scratch, place) for place in kept), said)
                if says:
                    self.assertTrue(next(l for l in said.splitlines() if l.startswith("kept ")).endswith(says), said)

    def test_the_lock_folder_in_the_accounts_home_goes_too(self):
        lock = "account/.murmeli/run/instance.lock"
        elsewhere = "elsewhere/.murmeli/run/instance.lock"
        rows = (
            # the account's home, what murmeli left there, the lock a murmeli of another home holds (None: none runs),
            # what is removed and what is kept of it
            ("another home, only the lock there", "account", (lock,), None,
             ("account/.murmeli/run", "account/.murmeli"), ()),
            ("another home, the account's murmeli keeps its logs beside it", "account",
             (lock, "account/.murmeli/logs/ptt-2026-12-08.jsonl"), None, ("account/.murmeli/run",),
             ("account/.murmeli",)),
            ("another home, a murmeli runs and holds the lock", "account", (lock,), lock, (),
             ("account/.murmeli/run",)),
            # The user's own murmeli beside a test, whose lock is in the user's real home.
            ("another home, a murmeli runs that holds its lock in another account's home", "account",
             (lock,), elsewhere, ("account/.murmeli/run", "account/.murmeli"), ()),
            ("the account's home, a murmeli of another home holds the lock in it", "home",
             ("home/.murmeli/run/instance.lock",), "home/.murmeli/run/instance.lock", (), ("home/.murmeli",)),
            # The user database names the home by a link (/home leading to /usr/home, say); the kernel names the lock
            # the murmeli holds open by where it lies.
            ("another home, a murmeli runs and holds the lock, the account's home reached through a link", "linked",
             ("linked/.murmeli/run/instance.lock",), "linked/.murmeli/run/instance.lock", (),
             ("linked/.murmeli/run",)),
        )
        for name, account, present, holds, removed, kept in rows:
            with self.subTest(name), tempfile.TemporaryDirectory() as scratch:
                env = scratch_environment(scratch, account)
                if account == "linked":
                    os.makedirs(os.path.join(scratch, "account"))
                    os.symlink("account", os.path.join(scratch, "linked"))
                leave(scratch, *(os.path.join(place, PLACES[place]) for place in HOME_PLACES), *present)
                said, status = remove(scratch, env, holds is not None, holds)
                waits = [place for place in kept if place.endswith("/run") or holds]
                self.assertEqual(status, 1 if waits else 0, said)
                self.assertEqual(named(said, "kept"), sorted(os.path.join(scratch, p) for p in kept), said)
                home = [place for place in HOME_PLACES if not any(place == k for k in kept)]
                self.assertEqual(
                    named(said, "removed"), sorted(os.path.join(scratch, p) for p in (*home, *removed)), said
                )
                for file in present:
                    stays = any(file.startswith(k + "/") for k in kept) and not any(
                        file.startswith(r + "/") for r in removed
                    )
                    self.assertEqual(os.path.exists(os.path.join(scratch, file)), stays, file)

    def test_the_keyring_is_named_only_where_a_cloud_session_may_be(self):
        tools = ("dbus-daemon", "gnome-keyring-daemon", "secret-tool", "gdbus")
        needed = [tool for tool in tools if not shutil.which(tool)]
        if needed:
            why = f"needs {', '.join(needed)} (scripts/setup installs them)"
            if os.environ.get("MURMELI_CI"):
                self.fail(why)
            self.skipTest(why)
        rows = (
            # a session bus, a keyring on it, the services it holds an item of, whether it is locked; what is said
            ("no session bus", False, False, (), False, r"could not be asked .*\(there is no session bus here\)"),
            ("a session bus without a keyring", True, False, (), False, r"could not be asked .*\(.*secrets.*\)"),
            ("a keyring without murmeli's items", True, True, (), False, None),
            ("a keyring that holds another service's item", True, True, ("com.murmeli.apikey.hook-auth",), False, None),
            ("a keyring that holds the cloud session", True, True, (CLOUD_SERVICE,), False, "stays in the keyring"),
            ("a locked keyring that holds it", True, True, (CLOUD_SERVICE,), True, "stays in the keyring"),
        )
        for name, bus, keyring, items, locked, says in rows:
            with self.subTest(name), tempfile.TemporaryDirectory() as scratch:
                env = scratch_environment(scratch)
                with contextlib.ExitStack() as stack:
                    if bus:
                        env["DBUS_SESSION_BUS_ADDRESS"] = stack.enter_context(private_bus(scratch))
                    if keyring:
                        stack.enter_context(private_keyring(scratch, env, items, locked))
                    said, status = remove(scratch, env)
                self.assertEqual(status, 0, said)
                told = [line for line in said.splitlines() if "keyring" in line]
                if says is None:
                    self.assertEqual(told, [], said)
                else:
                    self.assertEqual(len(told), 1, said)
                    self.assertRegex(told[0], says)
                    self.assertIn(f"secret-tool clear service {CLOUD_SERVICE}", said)


if __name__ == "__main__":
    unittest.main()
