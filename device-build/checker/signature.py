"""The embedded code signature of one image, checked by the device model's verifier (duskwell-device
verify-signature, on device-build/macho/CodeSignature.cpp), the one reading of signatures the model
and the build share: a SHA-1 code directory and a SHA-256 alternate with the build's identifier,
covering everything before the signature, every page hash recomputed. Tool: DUSKWELL_DEVICE in the
environment, else build/duskwell-device."""

import os
import subprocess

from .image import ToolError

DEVICE = os.environ.get("DUSKWELL_DEVICE",
                        os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "build", "duskwell-device"))


def check_signature(problems, where, path, identifier):
    """The verifier's problems with the thin image at `path`, each named by `where`."""
    try:
        done = subprocess.run([DEVICE, "verify-signature", "--dylib", path, "--identifier", identifier],
                              capture_output=True, text=True)
    except FileNotFoundError:
        raise ToolError(f"{DEVICE} not found (the device model verifies signatures: make build)")
    if done.returncode == 0:
        return
    # Its refusal: a heading, then one indented "ARCH slice: PROBLEM" line per problem.
    details = [line.strip().partition(" slice: ")[2] for line in done.stderr.splitlines() if line.startswith("  ")]
    if done.returncode == 1 and all(details) and details:
        problems.extend(f"{where}: {detail}" for detail in details)
        return
    message = done.stderr.strip().removeprefix(f"duskwell-device: {path}: ")
    if done.returncode != 1:
        raise ToolError(f"duskwell-device verify-signature failed (exit {done.returncode}): {message}")
    problems.append(f"{where}: {message}")
