#!/usr/bin/python3
"""Runs one scenario and compares its trace with the expected one beside it.

usage: trace_test.py DUSKWELL_TRACE SCENARIO.json WIDTH [--write]

WIDTH is f64 or f32: SCENARIO.f32.trace, where present, holds what 32-bit colour components print;
otherwise SCENARIO.trace serves both. --write stores the trace as the expected one instead.

Every trace is also held to the pool rule: each `pool push` is ended by a `pool pop` at its own
level, and no pool of the library encloses an implementation reached through a slot or a message of
a host or UIKit implementation (what those autorelease belongs to the caller's pool).
"""
import difflib
import os
import subprocess
import sys


def pool_faults(trace):
    faults = []
    open_pools = []  # the indentation of each pool in place
    for number, line in enumerate(trace.splitlines(), 1):
        body = line.lstrip(" ")
        level = len(line) - len(body)
        if open_pools and level < open_pools[-1]:
            faults.append("line %d: the event that opened the pool at level %d ended without its pop"
                          % (number, open_pools[-1] // 2))
            open_pools.clear()
        if body == "pool push":
            open_pools.append(level)
        elif body == "pool pop":
            if not open_pools or open_pools[-1] != level:
                faults.append("line %d: pool pop without a pool push at its level" % number)
            else:
                open_pools.pop()
        elif open_pools and body.split(" ", 1)[0] in ("impl", "msg", "super", "call"):
            faults.append("line %d: inside a pool of the library: %s" % (number, body))
    if open_pools:
        faults.append("end of trace: %d pool(s) never popped" % len(open_pools))
    return faults


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
    faults = pool_faults(run.stdout)
    if faults:
        print("%s: the trace breaks the pool rule:" % scenario)
        print("\n".join("  " + fault for fault in faults))
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
