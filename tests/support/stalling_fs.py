#!/usr/bin/python3
"""A folder on a mount that can stop answering, as a network mount does when its server goes away.

    stalling_fs.py BACKING MOUNTPOINT

mounts BACKING (a folder) at MOUNTPOINT through FUSE and prints "mounted" on a line of its own once the mount answers.
A line "stall SECONDS" on standard input makes every call on the mount wait, in the kernel, until a line "answer" lets
them all go on, or at the latest after SECONDS (a test that hangs on the mount still ends); "stalled" and "answering"
on standard output say when each took effect, and "waiting OP PATH" names each call as it begins to wait. The end of
standard input lets them go and unmounts. Only the calls the tests make are served: looks, listings, reads, writes,
renames, removals.
"""

import errno
import os
import subprocess
import sys
import threading

sys.path.insert(0, "/usr/lib/python3/dist-packages")
import fusepy  # noqa: E402  (Debian's python3-fusepy)

answering = threading.Event()
answering.set()
said = threading.Lock()


def say(line):
    with said:
        print(line, flush=True)


class Stalling(fusepy.Operations):
    def __init__(self, backing):
        self.backing = os.path.realpath(backing)

    def __call__(self, op, path, *args):
        # Every call but the one the kernel makes as it mounts waits while the mount does not answer.
        if op not in ("init", "destroy") and not answering.is_set():
            say("waiting %s %s" % (op, path))
            answering.wait()
        try:
            return super().__call__(op, self.backing + path, *args)
        except OSError as error:
            raise fusepy.FuseOSError(error.errno or errno.EIO)

    def init(self, path):
        say("mounted")

    def getattr(self, path, fh=None):
        st = os.lstat(path)
        keys = ("st_mode", "st_nlink", "st_uid", "st_gid", "st_size", "st_atime", "st_mtime", "st_ctime")
        return {key: getattr(st, key) for key in keys}

    def access(self, path, mode):
        if not os.access(path, mode):
            raise fusepy.FuseOSError(errno.EACCES)

    def readdir(self, path, fh):
        return [".", ".."] + os.listdir(path)

    def readlink(self, path):
        return os.readlink(path)

    def mkdir(self, path, mode):
        os.mkdir(path, mode)

    def rmdir(self, path):
        os.rmdir(path)

    def chmod(self, path, mode):
        os.chmod(path, mode)

    def chown(self, path, uid, gid):
        os.chown(path, uid, gid)

    def unlink(self, path):
        os.unlink(path)

    def rename(self, old, new):
        os.rename(old, self.backing + new)

    def utimens(self, path, times=None):
        os.utime(path, times)

    def truncate(self, path, length, fh=None):
        os.truncate(path, length)

    def open(self, path, flags):
        return os.open(path, flags)

    def create(self, path, mode, fi=None):
        return os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, mode)

    def read(self, path, size, offset, fh):
        return os.pread(fh, size, offset)

    def write(self, path, data, offset, fh):
        return os.pwrite(fh, data, offset)

    def flush(self, path, fh):
        return 0

    def fsync(self, path, datasync, fh):
        os.fsync(fh)

    def release(self, path, fh):
        os.close(fh)

    def statfs(self, path):
        st = os.statvfs(path)
        keys = ("f_bavail", "f_bfree", "f_blocks", "f_bsize", "f_favail", "f_ffree", "f_files", "f_flag",
                "f_frsize", "f_namemax")
        return {key: getattr(st, key) for key in keys}


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    backing, mountpoint = sys.argv[1:]

    # Steered through standard input: FUSE's loop holds the main thread, where Python would run signal handlers.
    def answer():
        answering.set()
        say("answering")

    def steer():
        cap = None
        for line in sys.stdin:
            words = line.split()
            if words[:1] == ["stall"] and len(words) == 2:
                if cap:
                    cap.cancel()
                cap = threading.Timer(float(words[1]), answer)
                cap.start()
                answering.clear()
                say("stalled")
            elif words == ["answer"]:
                answer()
        answering.set()
        subprocess.run(["fusermount", "-u", "-z", mountpoint], check=False)

    threading.Thread(target=steer, daemon=True).start()
    # Threads, so that a call that waits holds no other; no kernel cache, so that every look reaches this process.
    fusepy.FUSE(Stalling(backing), mountpoint, foreground=True, nothreads=False, attr_timeout=0, entry_timeout=0,
                negative_timeout=0, direct_io=True)


if __name__ == "__main__":
    main()
