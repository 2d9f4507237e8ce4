"""Runs a test module's tests side by side: each test drives the tool in processes of its own, so the
tests of a module wait on those processes, not on one another. Every test still runs once, in a
fresh instance of its class, and a failure anywhere fails the run. The tests of a class with class
fixtures (setUpClass) run together, in order, inside those fixtures."""

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


def _has_class_fixtures(cls):
    return any(name in vars(klass) for klass in cls.__mro__ if klass is not unittest.TestCase
               for name in ("setUpClass", "tearDownClass"))


def _units(tests):
    """Each test alone, but all tests of a class with class fixtures as one unit."""
    units, shared = [], {}
    for test in tests:
        cls = type(test)
        if _has_class_fixtures(cls):
            if cls not in shared:
                shared[cls] = unittest.TestSuite()
                units.append(shared[cls])
            shared[cls].addTest(test)
        else:
            units.append(unittest.TestSuite([test]))
    return units


def _run(unit):
    stream = io.StringIO()
    result = unittest.TextTestRunner(stream=stream, verbosity=0).run(unit)
    return result, stream.getvalue()


def _report(result, output):
    """Each failing test by name with its traceback, then whatever else the runner printed. The
    names come from the result: a suite releases its tests once it has run them."""
    kinds = (("FAIL", result.failures), ("ERROR", result.errors))
    for kind, problems in kinds:
        for test, traceback in problems:
            print(f"{kind}: {test.id()}\n{traceback}", flush=True)
    for test in result.unexpectedSuccesses:
        print(f"UNEXPECTED SUCCESS: {test.id()}", flush=True)
    if output.strip():
        print(output, flush=True)


def main(module_name="__main__"):
    """Runs the named tests given on the command line, or every test of the module."""
    loader = unittest.TestLoader()
    module = sys.modules[module_name]
    names = sys.argv[1:]
    suite = loader.loadTestsFromNames(names, module) if names else loader.loadTestsFromModule(module)
    tests = list(_tests(suite))
    units = _units(tests)
    with ThreadPoolExecutor(max_workers=max(2, os.cpu_count() or 2)) as pool:
        outcomes = list(pool.map(_run, units))
    failed = 0
    for result, output in outcomes:
        problems = len(result.failures) + len(result.errors) + len(result.unexpectedSuccesses)
        if result.wasSuccessful():
            continue
        failed += problems or 1
        _report(result, output)
    print(f"{len(tests)} tests, {failed} failed")
    sys.exit(1 if failed or not tests else 0)
