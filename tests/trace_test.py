#!/usr/bin/env python3
"""Runs one scenario and compares its trace with the expected one beside it.

usage: trace_test.py DUSKWELL_TRACE SCENARIO.json WIDTH [--write]

WIDTH is f64 or f32: SCENARIO.f32.trace, where present, holds what 32-bit colour components print;
otherwise SCENARIO.trace serves both. --write stores the trace as the expected one instead.
"""
import difflib
import os
import subprocess
import sys


def main():
    runner, scenario, width = sys.argv[1:4]
    write = "--write" in sys.argv[4:]
    stem = scenario[: -len(".json")]
    expected_path = stem + "." + width + ".trace"
    if not os.path.exists(expected_path):
        expected_path = stem + ".trace"
    run = subprocess.run([runner, scenario], capture_output=True, text=True)
    if run.returncode != 0:
        sys.stderr.write(run.stderr)
        print("%s: duskwell-trace exited with %d" % (scenario, run.returncode))
        return 1
    if write:
        with open(expected_path, "w") as out:
            out.write(run.stdout)
        return 0
    try:
        with open(expected_path) as expected_file:
            expected = expected_file.read()
    except OSError as error:
        print("%s: no expected trace: %s" % (scenario, error))
        return 1
    if run.stdout == expected:
        return 0
    sys.stdout.writelines(difflib.unified_diff(expected.splitlines(True), run.stdout.splitlines(True),
                                               expected_path, "trace of " + os.path.basename(scenario)))
    return 1


if __name__ == "__main__":
    sys.exit(main())
