#!/usr/bin/env python3
"""What Gemini CLI gets from its hook before a tool, installed as "gemini-hook", for each answer murmeli gives: an
allow (or the neutral reply) prints nothing, which lets the tool run under the agent's own rules, and only a denial
prints Gemini's {"decision": "deny"} with murmeli's reason. A listener of the test's own stands in for murmeli."""

import json
import os
import re
import shutil
import socket
import subprocess
import tempfile
import threading
import unittest

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
SCRIPTS = os.path.join(ROOT, "Resources", "scripts")


def decision(behavior, **more):
    return {"hookSpecificOutput": {"decision": {"behavior": behavior, **more}, "hookEventName": "PermissionRequest"}}


class Listener:
    """Answers the one request it is sent with the given body, and keeps the request."""

    def __init__(self, body):
        self.body = body
        self.request = b""
        self.server = socket.socket()
        self.server.bind(("127.0.0.1", 0))
        self.server.listen(1)
        self.server.settimeout(30)
        self.port = self.server.getsockname()[1]
        self.thread = threading.Thread(target=self.serve)
        self.thread.start()

    def serve(self):
        try:
            connection, _ = self.server.accept()
        except socket.timeout:
            return
        with connection:
            connection.settimeout(30)
            while b"\r\n\r\n" not in self.request:
                self.request += connection.recv(65536) or b"\r\n\r\n"
            head, _, rest = self.request.partition(b"\r\n\r\n")
            length = int(re.search(rb"(?im)^content-length:\s*(\d+)", head).group(1))
            while len(rest) < length:
                rest += connection.recv(65536) or b" " * length
            self.request = head + b"\r\n\r\n" + rest
            body = json.dumps(self.body).encode()
            connection.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: %d\r\n"
                               b"Connection: close\r\n\r\n%s" % (len(body), body))

    def close(self):
        self.thread.join(35)
        self.server.close()


class GeminiHookTest(unittest.TestCase):
    def test_only_a_denial_reaches_gemini_as_a_decision(self):
        cases = (
            ("allow once", decision("allow"), ""),
            ("allow always", decision("allow", updatedPermissions=[{"type": "addRules", "behavior": "allow"}]), ""),
            ("neutral", {}, ""),
            ("deny", decision("deny", message='not "now"'), '{"decision":"deny","reason":"not \\"now\\""}\n'),
        )
        for name, answer, expected in cases:
            with self.subTest(name), tempfile.TemporaryDirectory() as scratch:
                # Installed as the installer does: the shared hook under the agent's name, beside its library.
                shutil.copy(os.path.join(SCRIPTS, "murmeli-hook-lib.sh"), scratch)
                hook = os.path.join(scratch, "gemini-hook")
                shutil.copy(os.path.join(SCRIPTS, "agent-hook"), hook)
                listener = Listener(answer)
                env = dict(os.environ, MURMELI_PORT=str(listener.port), MURMELI_STATUS_DIR=os.path.join(scratch, "s"))
                payload = {"session_id": "6c0f7d8e-1a2b-4c3d-9e8f-00000000c3c3", "hook_event_name": "BeforeTool",
                           "tool_name": "run_shell_command", "tool_input": {"command": "rm -rf build"}}
                try:
                    done = subprocess.run(["bash", hook, "PermissionRequest"], input=json.dumps(payload), env=env,
                                          capture_output=True, text=True, timeout=60)
                finally:
                    listener.close()
                self.assertIn(b"POST /hook/PermissionRequest ", listener.request)
                self.assertEqual(done.returncode, 0, done.stderr)
                self.assertEqual(done.stdout, expected)


if __name__ == "__main__":
    unittest.main()
