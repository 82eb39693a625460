"""Multistart: jobs with their own start values and controls, the presets, the
best result written back, the job objects handed to the callbacks, workers."""
import math
import sys
import threading

import pytest

import korvu


def wavy():
    """Many local minima on [-5, 5]: the global one near -0.51, and a run from 4
    stops in the valley near 3.58."""
    x = korvu.var(name="x", lb=-5, ub=5)
    p = korvu.problem(x)
    p.controls.outputlog = 0
    p.setObjective(0.1 * x ** 2 + korvu.sin(3 * x))
    p.chgvar(x, initvalue=4.0)
    return p, x


GLOBAL = min(0.1 * t * t + math.sin(3 * t) for t in (-5 + k * 1e-5 for k in range(1_000_001)))


def starts(n):
    return [-5 + 10 * (k + 0.5) / n for k in range(n)]


def test_multistart_finds_the_global_minimum_a_single_run_misses():
    p, x = wavy()
    p.solve()
    assert p.getObjVal() > GLOBAL + 0.5
    jobs = [object() for _ in range(20)]
    for k, (start, job) in enumerate(zip(starts(20), jobs)):
        p.msaddjob(f"start {k}", [x], [start], {}, job)
    winners, ended = [], []
    lock = threading.Lock()

    def on_end(prob, data, job, description):
        with lock:
            ended.append(jobs.index(job))
        return 0

    p.setcbmsjobend(on_end)
    p.setcbmswinner(lambda prob, data, job, description: winners.append((job, description)))
    p.controls.threads = 2
    p.solve()
    assert p.getObjVal() == pytest.approx(GLOBAL, abs=1e-7)
    assert p.getSolution(x) == pytest.approx(-0.5123, abs=1e-3)
    assert p.attributes.kslp_nlpstatus == 1
    assert sorted(ended) == list(range(20))
    assert len(winners) == 1
    job, description = winners[0]
    assert description == f"start {jobs.index(job)}"


def test_jobs_run_with_their_own_controls_and_start_values():
    p, x = wavy()
    seen, ended = {}, {}
    lock = threading.Lock()

    # The view's nonlinear members read the job's working copy.
    def on_start(prob, data, job, description):
        with lock:
            seen[description] = prob.getvar(x)[5]
        return 1 if description == "skipped" else 0

    def on_end(prob, data, job, description):
        sol = []
        prob.getslpsol(sol)
        with lock:
            ended[description] = sol[0]
        return 0

    p.setcbmsjobstart(on_start)
    p.setcbmsjobend(on_end)
    # One short step from 1.0: the job's own iteration limit and trust region hold it there.
    p.msaddjob("a", [x], [1.0], {"kslp_trustradius": 1e-3, "KSLP_MAXITER": 1}, None)
    p.msaddjob("skipped", None, None, {}, None)
    p.msaddjob("b", [x], [-1.0], {}, None)
    p.solve()
    assert seen["a"] == 1.0 and seen["b"] == -1.0 and seen["skipped"] == 4.0
    assert "skipped" not in ended
    assert ended["a"] == pytest.approx(1.0, abs=3e-3)
    assert ended["b"] == pytest.approx(-0.5123, abs=1e-3)
    assert p.getSolution(x) == pytest.approx(-0.5123, abs=1e-3)
    # The user's own controls stay as they were.
    assert p.controls.kslp_maxiter != 1


def test_presets_queue_their_jobs_and_msclear_releases_the_objects():
    p, x = wavy()
    job = object()
    before = sys.getrefcount(job)
    p.msaddpreset("random", korvu.msset_initialvalues, 12, job)
    p.msaddpreset("filtered", korvu.msset_initialfiltered, 3, job)
    p.msaddpreset("slp", korvu.msset_slp_basic, 4, job)
    p.msaddcustompreset("custom", korvu.msset_slp_extended, 5, [x], [-0.3], {"kslp_penalty": 5.0}, job)
    assert sys.getrefcount(job) == before + 24
    names = []
    p.setcbmsjobend(lambda prob, data, j, description: names.append(description))
    p.solve()
    assert p.getObjVal() == pytest.approx(GLOBAL, abs=1e-6)
    assert len(names) == 24 and "random 1" in names and "custom 5" in names
    # Jobs stay queued until cleared: a second solve runs them again.
    p.solve()
    assert len(names) == 48
    p.msclear()
    assert sys.getrefcount(job) == before
    names.clear()
    p.solve()
    assert names == []
    assert p.getObjVal() > GLOBAL + 0.5


def test_refused_jobs_leave_the_queue_as_it_was():
    p, x = wavy()
    job = object()
    cases = [
        (("a", None, None, [], job), "Incorrect argument 'control' in msaddcustompreset/msaddjob: must be a dictionary"),
        (("a", None, None, {1: 2}, job),
         r"Incorrect key in parameter 'control' \(all keys must be strings\) of msaddcustompreset/msaddjob"),
        (("a", None, None, {"nosuch": 2}, job), "Unknown control nosuch in msaddcustompreset/msaddjob"),
        (("a", None, None, {"kslp_ipm_outputfile": "f"}, job),
         "Only integer and double controls allowed in msaddcustompreset/msaddjob"),
        ((3, None, None, {}, job), "Incorrect arguments in msaddjob"),
        (("a", [x], [1.0, 2.0], {}, job), None),
    ]
    before = sys.getrefcount(job)
    for args, message in cases:
        with pytest.raises((korvu.InterfaceError, korvu.ModelError), match=message):
            p.msaddjob(*args)
    with pytest.raises(korvu.InterfaceError, match="Incorrect arguments in msaddpreset"):
        p.msaddpreset("a", 1.5, 3, job)
    with pytest.raises(korvu.SolverError, match="preset"):
        p.msaddpreset("a", 17, 3, job)
    with pytest.raises(korvu.InterfaceError, match="Incorrect arguments in msaddcustompreset"):
        p.msaddcustompreset("a", 0, "3", None, None, {}, job)
    assert sys.getrefcount(job) == before
    ran = []
    p.setcbmsjobstart(lambda *a: ran.append(1))
    p.solve()
    assert ran == []


def test_an_exception_in_a_job_callback_on_a_worker_stops_the_solve():
    p, x = wavy()
    for k, start in enumerate(starts(8)):
        p.msaddjob(f"s{k}", [x], [start], {}, None)
    p.controls.threads = 2

    def on_end(prob, data, job, description):
        if description == "s3":
            raise RuntimeError("job s3 failed")
        return 0

    p.setcbmsjobend(on_end)
    with pytest.raises(RuntimeError, match="job s3 failed"):
        p.solve()
    # The problem is usable again afterwards.
    p.setcbmsjobend(lambda *a: 0)
    p.solve()
    assert p.getObjVal() == pytest.approx(GLOBAL, abs=1e-6)


def test_one_and_two_workers_keep_the_same_best_result():
    results = []
    for threads in (1, 2):
        p, x = wavy()
        for k, start in enumerate(starts(10)):
            p.msaddjob(f"s{k}", [x], [start], {}, None)
        p.controls.threads = threads
        p.solve()
        results.append((p.getObjVal(), p.getSolution(x)))
    assert results[0] == pytest.approx(results[1], abs=1e-9)
