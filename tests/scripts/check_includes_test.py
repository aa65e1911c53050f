#!/usr/bin/env python3
"""Plants forbidden includes in a small scratch tree and expects scripts/check-includes to name each one."""

import os
import subprocess
import sys
import tempfile
import unittest

CHECK = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "check-includes")

# A tree that keeps every rule while using each edge the rules allow.
CLEAN_TREE = {
    "main/common/Log.h": "#pragma once\n#include <QString>\n",
    "main/hooks/server/Server.h": '#pragma once\n#include "main/common/Log.h"\n#include "platform/secrets/SecretStore.h"\n',
    "main/hooks/server/Server.cpp": '#include "main/hooks/server/Server.h"\n#include "Server.h"\n#include "Server.moc"\n',
    "main/hooks/detail/Impl.h": '#pragma once\n#include "main/hooks/server/Server.h"\n',
    "main/settings/Adapter.h": '#pragma once\n#include "main/hooks/server/Server.h"\n',
    "main/settings/views/Page.cpp": "#include <QLabel>\n#include <QtWidgets/QDialog>\n",
    "main/notch/views/Strip.cpp": '#include <QWidget>\n#include "main/notch/model/Model.h"\n#include "main/ui/design/Tokens.h"\n'
    '#include "main/notch/views/Strip.h"\n#include "main/usage/Rows.h"\n',
    "main/notch/views/Strip.h": "#pragma once\n",
    "main/notch/model/Model.h": '#pragma once\n#include "main/hooks/server/Server.h"\n',
    "main/usage/Rows.h": "#pragma once\n",
    "main/usage/detail/Cache.h": "#pragma once\n",
    "main/voice/views/Meter.h": "#pragma once\n",
    "main/ui/design/Tokens.h": "#pragma once\n",
    "main/ui/widgets/Button.h": '#pragma once\n#include <QAbstractButton>\n#include "main/ui/design/Tokens.h"\n',
    "main/settings/views/Page.h": '#pragma once\n#include "main/ui/widgets/Button.h"\n#include "main/settings/Adapter.h"\n',
    "main/app/views/Window.cpp": '#include <QMainWindow>\n#include "main/settings/views/Page.h"\n'
    '#include "main/notch/views/Strip.h"\n',
    "main/app/Delegate.cpp": '#include "main/app/views/Window.h"\n#include "main/ui/design/Tokens.h"\n',
    "main/app/views/Window.h": "#pragma once\n",
    "main/app/Controller.h": '#pragma once\n#include "main/settings/Adapter.h"\n#include "main/hooks/server/Server.h"\n',
    "main/app/main.cpp": '#include <QApplication>\n#include "main/app/Controller.h"\n#if defined(QT_DEBUG)\n#endif\n',
    "platform/secrets/SecretStore.h": "#pragma once\n#include <optional>\n",
    "platform/secrets/file/FileStore.cpp": '#include "main/common/Log.h"\n#include "platform/secrets/SecretStore.h"\n',
    "platform/secrets/fake/FakeSecretStore.h": '#pragma once\n#include "platform/secrets/SecretStore.h"\n',
    "platform/keys/x11/X11Keys.cpp": "#include <xcb/xcb.h>\n#include <X11/Xlib.h>\n",
    "tests/hooks/ServerTest.cpp": '#include <QPushButton>\n#include "main/app/Controller.h"\n'
    '#include "platform/secrets/fake/FakeSecretStore.h"\n',
}

# (file planted, its text, what the report line must name besides the file)
PLANTED = [
    ("main/hooks/server/Bad.cpp", '#include "main/app/Controller.h"\n', ["layering", "main/hooks", "main/app"]),
    ("main/settings/Bad.cpp", '#include "main/app/Controller.h"\n', ["layering", "main/settings", "main/app"]),
    ("main/settings/Bad.cpp", '#include "main/app/views/Window.h"\n', ["layering", "main/settings", "main/app"]),
    ("main/notch/views/Bad.cpp", '#include "main/app/Controller.h"\n', ["layering", "main/notch", "main/app"]),
    ("main/settings/views/Bad.cpp", '#include "main/app/Controller.h"\n', ["layering", "main/settings", "main/app"]),
    ("main/cloud/views/Bad.cpp", '#include "main/app/views/Window.h"\n', ["layering", "main/cloud", "main/app"]),
    ("main/notch/views/Bad.cpp", '#include "main/usage/detail/Cache.h"\n', ["internals", "main/usage/detail"]),
    ("main/usage/Bad.cpp", '#include "main/hooks/server/Server.h"\n', ["layering", "main/usage", "main/hooks"]),
    ("main/ui/widgets/Bad.cpp", '#include "main/hooks/server/Server.h"\n', ["layering", "main/ui", "main/hooks"]),
    ("main/ui/widgets/Bad.cpp", '#include "main/settings/views/Page.h"\n', ["layering", "main/ui", "main/settings"]),
    ("main/cloud/views/Bad.cpp", '#include "main/settings/views/Page.h"\n', ["layering", "main/cloud", "main/settings"]),
    # model code never includes view code, not even its own subsystem's
    ("main/notch/layout/Bad.cpp", '#include "main/notch/views/Strip.h"\n', ["views", "main/notch/views/Strip.h"]),
    ("main/notch/model/Bad.h", '#include "main/ui/design/Tokens.h"\n', ["views", "main/ui/design/Tokens.h"]),
    ("main/settings/Bad.cpp", '#include "main/settings/views/Page.h"\n', ["views", "main/settings/views/Page.h"]),
    # a subsystem's views include no other subsystem's views
    ("main/settings/views/Bad.cpp", '#include "main/voice/views/Meter.h"\n', ["views", "main/voice/views"]),
    ("main/notch/geometry/Bad.cpp", "#include <QWidget>\n", ["widgets", "QWidget"]),
    ("main/notch/model/Bad.cpp", "#include <QtWidgets/QLabel>\n", ["widgets", "QtWidgets/QLabel"]),
    ("main/hooks/server/Bad.cpp", '#include "main/settings/Adapter.h"\n', ["layering", "main/hooks", "main/settings"]),
    ("main/common/Bad.h", '#include "../hooks/server/Server.h"\n', ["layering", "main/common", "main/hooks"]),
    ("main/settings/Bad.cpp", '#include "main/hooks/detail/Impl.h"\n', ["internals", "main/hooks/detail/Impl.h"]),
    ("main/settings/Bad.cpp", '#include "main/hooks/server/Server.cpp"\n', ["internals", "Server.cpp"]),
    ("main/hooks/server/Bad.cpp", '#include "tests/support/Wait.h"\n', ["tests", "tests/support/Wait.h"]),
    ("platform/secrets/Bad.cpp", '#include "main/hooks/server/Server.h"\n', ["platform", "main/hooks/server/Server.h"]),
    ("main/common/Bad.cpp", '#include "platform/secrets/SecretStore.h"\n', ["platform", "platform/secrets"]),
    ("main/hooks/server/Bad.cpp", '#include "platform/secrets/fake/FakeSecretStore.h"\n', ["fake", "FakeSecretStore"]),
    ("main/hooks/server/Bad.cpp", "#include <QPushButton>\n", ["widgets", "QPushButton"]),
    ("main/app/Window.cpp", "#include <QtWidgets/QMainWindow>\n", ["widgets", "QtWidgets/QMainWindow"]),
    ("main/settings/Bad.cpp", "#include <X11/Xlib.h>\n", ["x11", "X11/Xlib.h"]),
    ("platform/keys/Bad.cpp", "#include <xcb/xtest.h>\n", ["x11", "xcb/xtest.h"]),
    ("main/hooks/server/Bad.cpp", "#ifdef Q_OS_MACOS\n#endif\n", ["q_os", "Q_OS_MACOS"]),
    ("main/hooks/server/Bad.cpp", "#if 1\n#elif defined(Q_OS_LINUX)\n#endif\n", ["q_os", "Q_OS_LINUX"]),
]


def write_tree(root, files):
    for path, text in files.items():
        full = os.path.join(root, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "w", encoding="utf-8") as out:
            out.write(text)


def run_check(root):
    return subprocess.run([sys.executable, CHECK, "--root", root], capture_output=True, text=True, timeout=30)


class CheckIncludesTest(unittest.TestCase):
    def test_the_clean_tree_passes(self):
        with tempfile.TemporaryDirectory() as root:
            write_tree(root, CLEAN_TREE)
            result = run_check(root)
            self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
            self.assertEqual(len(result.stdout.splitlines()), 1, result.stdout)  # the summary alone

    def test_each_planted_edge_fails_and_is_named(self):
        for path, text, named in PLANTED:
            with self.subTest(path=path, text=text), tempfile.TemporaryDirectory() as root:
                write_tree(root, {**CLEAN_TREE, path: text})
                result = run_check(root)
                self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
                lines = result.stdout.splitlines()
                self.assertEqual(len(lines), 1, result.stdout)
                self.assertTrue(lines[0].startswith(path + ":"), lines[0])
                for word in named:
                    self.assertIn(word, lines[0])


if __name__ == "__main__":
    unittest.main()
