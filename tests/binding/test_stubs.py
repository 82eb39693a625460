"""The type stubs are generated from korvu itself and agree with it."""
import os
import pathlib
import subprocess
import sys

import pytest

import korvu

TOOLS = pathlib.Path(__file__).resolve().parents[2] / "tools"


def run(*args):
    env = dict(os.environ, PYTHONPATH=os.path.dirname(os.path.dirname(korvu.__file__)))
    return subprocess.run([sys.executable, *args], capture_output=True, text=True, env=env, cwd=TOOLS.parent.parent)


def test_stubs_are_up_to_date():
    r = run(str(TOOLS / "gen_stubs.py"), "--check")
    assert r.returncode == 0, r.stderr


def test_stubs_match_the_runtime():
    pytest.importorskip("mypy")
    r = run("-m", "mypy.stubtest", "korvu")
    assert r.returncode == 0, r.stdout + r.stderr
