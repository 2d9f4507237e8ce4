"""Runs a test module's tests side by side: each test drives the tool in processes of its own, so the
tests of a module wait on those processes, not on one another. Every test still runs once, in a
fresh instance of its class, and a failure anywhere fails the run."""

import io
import os
import sys
import unittest
from concurrent.futures import ThreadPoolExecutor


def _tests(suite):
    for item in suite:
        if isinstance(item, unittest.TestSuite):
            yield from _tests(item)
        else:
            yield item


def _run(test):
    stream = io.StringIO()
    result = unittest.TextTestRunner(stream=stream, verbosity=0).run(test)
    return result, stream.getvalue()


def main(module_name="__main__"):
    """Runs the named tests given on the command line, or every test of the module."""
    loader = unittest.TestLoader()
    module = sys.modules[module_name]
    names = sys.argv[1:]
    suite = loader.loadTestsFromNames(names, module) if names else loader.loadTestsFromModule(module)
    tests = list(_tests(suite))
    with ThreadPoolExecutor(max_workers=max(2, os.cpu_count() or 2)) as pool:
        outcomes = list(pool.map(_run, tests))
    failed = 0
    for test, (result, output) in zip(tests, outcomes):
        problems = result.failures + result.errors
        if problems or not result.wasSuccessful():
            failed += 1
            print(f"FAIL {test.id()}\n{output}", flush=True)
    print(f"{len(tests) - failed} passed, {failed} failed")
    sys.exit(1 if failed or not tests else 0)
