"""A short fixed-seed run of the file fuzzer: mutated files never crash or hang, and what reads round-trips."""
import os
import pathlib
import subprocess
import sys

import korvu

TOOLS = pathlib.Path(__file__).resolve().parents[2] / "tools"


def test_mutated_files_read_safely_and_round_trip(tmp_path, instances_or_none):
    seeds = []
    if instances_or_none is None:
        # Without the public instances, models of our own are the seeds.
        x = korvu.vars(4, name="v")
        p = korvu.problem(x, korvu.constraint(x[0] + 2 * x[1] - x[3] <= 4, name="c"),
                          korvu.constraint(x[1] + x[2] >= 1, name="d"), name="seed")
        p.setObjective(korvu.Sum(x) + x[0] * x[0])
        for name in ("seed.mps", "seed.lp"):
            p.write(str(tmp_path / name))
            seeds.append(str(tmp_path / name))
    env = dict(os.environ, PYTHONPATH=os.path.dirname(os.path.dirname(korvu.__file__)))
    r = subprocess.run([sys.executable, str(TOOLS / "fuzz_files.py"), "--seed", "7", "--count", "400",
                        "--seconds", "120", *seeds], capture_output=True, text=True, env=env)
    assert r.returncode == 0, r.stdout + r.stderr
    assert "0 faults" in r.stdout
