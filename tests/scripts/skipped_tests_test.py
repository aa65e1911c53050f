#!/usr/bin/env python3
"""Runs CTest over a scratch project whose tests skip every way the suite's do, and expects scripts/skipped-tests to
name each with its reason, and nothing that passed."""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
LISTER = os.path.join(ROOT, "scripts", "skipped-tests")

PROJECT = """cmake_minimum_required(VERSION 3.20)
project(skips NONE)
enable_testing()
add_test(NAME by_return_code COMMAND sh -c "echo 'soak: skipped, tmux is not installed'; exit 77")
set_tests_properties(by_return_code PROPERTIES SKIP_RETURN_CODE 77)
add_test(NAME Suite.ByGoogleTest COMMAND sh -c "printf '%s\\\\n' '[ RUN      ] Suite.ByGoogleTest' \
'Suite.cpp:12: Skipped' 'the test desktop is not running' '' '[  SKIPPED ] Suite.ByGoogleTest (0 ms)'")
add_test(NAME Suite.ByGoogleTestAsCTestSees COMMAND sh -c "printf '%s\\\\n' '[ RUN      ] Suite.ByGoogleTestAsCTestSees' \
'Suite.cpp:30: Skipped' 'it needs root' '[  SKIPPED ] Suite.ByGoogleTestAsCTestSees (0 ms)' \
'[  SKIPPED ] 1 test, listed below:' '[  SKIPPED ] Suite.ByGoogleTestAsCTestSees'")
# As the suite's discovered GoogleTest cases are: CTest itself reports them skipped.
set_tests_properties(Suite.ByGoogleTestAsCTestSees PROPERTIES SKIP_REGULAR_EXPRESSION "\\\\[  SKIPPED \\\\]")
add_test(NAME passes COMMAND sh -c "echo '[       OK ] Suite.Passes (3 ms)'; exit 0")
set_tests_properties(passes PROPERTIES SKIP_RETURN_CODE 77)
"""


class SkippedTestsTest(unittest.TestCase):
    def test_lists_every_way_a_test_skips_with_its_reason(self):
        if shutil.which("cmake") is None or shutil.which("ctest") is None:
            self.fail("cmake and ctest are needed to run a scratch project")
        with tempfile.TemporaryDirectory() as scratch:
            with open(os.path.join(scratch, "CMakeLists.txt"), "w") as f:
                f.write(PROJECT)
            build = os.path.join(scratch, "build")
            subprocess.run(["cmake", "-S", scratch, "-B", build], check=True, capture_output=True)
            report = os.path.join(build, "report.xml")
            subprocess.run(["ctest", "--output-junit", report], cwd=build, capture_output=True)
            log = os.path.join(build, "Testing", "Temporary", "LastTest.log")
            listed = subprocess.run([sys.executable, LISTER, log, report], capture_output=True, text=True)

        self.assertEqual(listed.returncode, 0, listed.stderr)
        self.assertEqual(listed.stdout.splitlines(), [
            "skipped tests: 3",
            "  Suite.ByGoogleTest: the test desktop is not running",
            "  Suite.ByGoogleTestAsCTestSees: it needs root",
            "  by_return_code: soak: skipped, tmux is not installed",
        ])


if __name__ == "__main__":
    unittest.main()
