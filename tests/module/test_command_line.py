"""python -m korvu: bad arguments give one line and status 2; the output says why a run stopped."""
import os
import subprocess
import sys

import korvu
import pytest

MODEL = """NAME small
ROWS
 N obj
 L c1
COLUMNS
 x obj -1.0 c1 1.0
 y obj -2.0 c1 1.0
RHS
 rhs c1 4.0
BOUNDS
 UP bnd y 3.0
ENDATA
"""


def run(*args, **kw):
    env = dict(os.environ, PYTHONPATH=os.path.dirname(os.path.dirname(korvu.__file__)))
    return subprocess.run([sys.executable, "-m", "korvu", *args], capture_output=True, text=True, env=env, **kw)


@pytest.fixture
def model(tmp_path):
    f = tmp_path / "small.mps"
    f.write_text(MODEL)
    return str(f)


@pytest.mark.parametrize("setting,says", [("presolve=abc", "takes an integer"), ("presolve", "NAME=VALUE"),
                                          ("nosuchcontrol=1", "unknown control"), ("timelimit=-5", "timelimit"),
                                          ("=3", "NAME=VALUE")])
def test_bad_controls_give_one_line_and_status_2(model, setting, says):
    r = run("--quiet", "--control", setting, model)
    assert r.returncode == 2
    lines = r.stderr.strip().splitlines()
    assert len(lines) == 1 and says in lines[0] and "Traceback" not in r.stderr


def test_a_good_run_and_a_control(model):
    r = run("--quiet", "--control", "presolve=0", "--control", "feastol=1e-7", model)
    assert r.returncode == 0, r.stderr
    assert "status: lp_optimal" in r.stdout and "objective: -7" in r.stdout


def test_info_lists_each_control_with_its_meaning_and_survives_a_closed_pipe():
    r = run("--info")
    assert r.returncode == 0
    line = next(l for l in r.stdout.splitlines() if l.split()[:1] == ["presolve"])
    assert "[0, 1]" in line and "presolve" in line.lower()
    head = subprocess.run(f"{sys.executable} -m korvu --info | head -2", shell=True, capture_output=True,
                          text=True, env=dict(os.environ, PYTHONPATH=os.path.dirname(os.path.dirname(korvu.__file__))))
    assert "Error" not in head.stderr and len(head.stdout.splitlines()) == 2


def test_an_early_stop_is_reported(model):
    r = run("--quiet", "--control", "iterlimit=0", "--control", "presolve=0", model)
    assert "stopped early: iteration limit" in r.stdout


def test_logfile_is_written_while_outputlog_is_off(tmp_path, model):
    log = tmp_path / "run.log"
    r = run("--quiet", "--control", f"logfile={log}", model)
    assert r.returncode == 0 and r.stdout.count("\n") < 10
    assert log.read_text().strip(), "the log file stayed empty"
