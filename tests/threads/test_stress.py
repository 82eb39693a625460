"""Solves on several threads with message handlers coming and going, and runs that must stop."""
import os
import signal
import threading

import numpy as np
import pytest

import korvu


def lp(seed, m=60, n=120):
    rng = np.random.default_rng(seed)
    x = korvu.vars(n, name="")
    p = korvu.problem(x, korvu.Dot(rng.uniform(0, 1, (m, n)), x) <= rng.uniform(5, 10, m), name=f"lp{seed}")
    p.setObjective(korvu.Dot(rng.uniform(1, 2, n), x), sense=korvu.maximize)
    return p


def test_handlers_added_and_removed_while_other_threads_solve():
    problems = [lp(s) for s in range(4)]
    stop = threading.Event()

    def solver(p):
        while not stop.is_set():
            p.chgobj([0], [1.5])  # a change forces a new solve each round
            p.solve()

    seen = []
    def handler(obj, data, thread, text, *rest):
        seen.append(len(text))

    threads = [threading.Thread(target=solver, args=(p,)) for p in problems]
    for p in problems:
        p.controls.outputlog = 1
    korvu.setOutputEnabled(False)
    for t in threads:
        t.start()
    try:
        for _ in range(300):
            korvu.addcbmsghandler(handler, None, 0)
            korvu.removecbmsghandler(handler, None)
    finally:
        stop.set()
        for t in threads:
            t.join(60)
    assert not any(t.is_alive() for t in threads)


def test_a_handler_that_raises_fails_read_and_write(tmp_path):
    x = korvu.var(name="x")
    p = korvu.problem(x, x <= 3, name="raising")
    p.setObjective(x)
    f = tmp_path / "m.lp"
    p.write(str(f))

    def handler(*args):
        raise RuntimeError("from the handler")

    korvu.addcbmsghandler(handler, None, 0)
    try:
        q = korvu.problem(name="reader")
        with pytest.raises(RuntimeError, match="from the handler"):
            q.read(str(f))
        # The model was read all the same: the objects match the library.
        assert [str(v) for v in q.getVariable()] == ["x"] and q.attributes.cols == 1
    finally:
        korvu.removecbmsghandler(None, None)


def test_reading_a_pipe_that_another_thread_fills(tmp_path):
    fifo = tmp_path / "model.lp"
    os.mkfifo(fifo)
    text = "minimize\n obj: x + y\nsubject to\n c1: x + y >= 2\nend\n"

    def writer():
        with open(fifo, "w") as f:
            f.write(text)

    t = threading.Thread(target=writer)
    t.start()
    p = korvu.problem(name="pipe")
    p.read(str(fifo), "l")  # the writer needs the interpreter while read waits for it
    t.join(10)
    assert p.attributes.rows == 1 and p.attributes.cols == 2


@pytest.mark.skipif(not hasattr(signal, "SIGINT"), reason="needs SIGINT")
def test_ctrl_c_stops_a_quadratic_solve():
    # A dense convex quadratic objective the engine's quadratic solver needs
    # minutes for; the key must stop it, and the problem must stay usable.
    n = 1000
    rng = np.random.default_rng(0)
    x = korvu.vars(n, name="", lb=-10, ub=10)
    p = korvu.problem(x, korvu.Dot(rng.uniform(-1, 1, (n // 2, n)), x) <= 1, name="qp")
    m = rng.uniform(-1, 1, (n, n))
    p.setObjective(korvu.Dot(x, m.T @ m / n + 0.01 * np.eye(n), x) + korvu.Dot(rng.uniform(-1, 1, n), x))
    p.controls.outputlog = 0
    timer = threading.Timer(0.5, lambda: os.kill(os.getpid(), signal.SIGINT))
    timer.start()
    p.solve()
    timer.join()
    assert p.attributes.stopstatus == korvu.stop_ctrlc and p.getProbStatusString() == "lp_unfinished"
    # A small change and a time limit: the problem solves again with a new engine.
    p.controls.timelimit = 0.5
    p.solve()
    assert p.attributes.stopstatus in (0, korvu.stop_timelimit)


def long_qp(n=800):
    rng = np.random.default_rng(1)
    x = korvu.vars(n, name="", lb=-10, ub=10)
    p = korvu.problem(x, korvu.Dot(rng.uniform(-1, 1, (n // 2, n)), x) <= 1, name="busy")
    m = rng.uniform(-1, 1, (n, n))
    p.setObjective(korvu.Dot(x, m.T @ m / n + 0.01 * np.eye(n), x) + korvu.Dot(rng.uniform(-1, 1, n), x))
    p.controls.outputlog = 0
    return p, x


def test_a_problem_being_solved_refuses_changes_from_other_threads(tmp_path):
    p, x = long_qp()
    started = threading.Event()
    korvu.addcbmsghandler(lambda *a: started.set(), None, 0)
    p.controls.outputlog = 1
    korvu.setOutputEnabled(False)
    t = threading.Thread(target=p.solve)
    try:
        t.start()
        assert started.wait(30)
        # Changes, a second solve, files and queries of the solution wait for the run's end...
        for attempt in (lambda: p.addVariable(korvu.var()), lambda: p.setObjective(x[0]), lambda: p.solve(),
                        lambda: p.reset(),
                        lambda: p.delVariable(0), lambda: p.chgobj([0], [1.0]), lambda: p.getlb([]),
                        lambda: p.write(str(tmp_path / "m.lp")), lambda: p.getSolution()):
            with pytest.raises(korvu.InterfaceError, match="another thread"):
                attempt()
        # ...while its attributes and controls can be read, and it can be interrupted.
        assert p.attributes.cols == 800 and p.getAttrib("rows") == 400 and p.controls.presolve in (0, 1)
        p.interrupt(korvu.stop_user)
    finally:
        korvu.removecbmsghandler(None, None)
        p.interrupt(korvu.stop_user)  # whatever happened above, the run ends
        t.join(60)
    assert not t.is_alive()
    assert p.attributes.stopstatus == korvu.stop_user
    p.addVariable(korvu.var())  # the problem is free again
    assert p.attributes.cols == 801
