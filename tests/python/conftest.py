import os
import subprocess

import pytest

LAB = os.environ.get("BROWNIAN_LAB", "brownian-lab")


def lab(*args, cwd=None):
    """Runs brownian-lab; returns (exit status, its message without the program's name)."""
    done = subprocess.run([LAB, *map(str, args)], cwd=cwd, capture_output=True, text=True)
    first = done.stderr.splitlines()[0] if done.stderr else ""
    return done.returncode, first.removeprefix("brownian-lab: ").removesuffix("; nothing written")


@pytest.fixture
def run_lab():
    return lab
