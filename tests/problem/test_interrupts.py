"""Ctrl-C during solves on several threads that end in any order."""
import gc
import os
import signal
import threading

import numpy as np
import pytest

import korvu


def random_lp(seed, m=150, n=300):
    rng = np.random.default_rng(seed)
    x = korvu.vars(n, name="")
    p = korvu.problem(x, korvu.Dot(rng.uniform(0, 1, (m, n)), x) <= rng.uniform(50, 100, m), name=f"lp{seed}")
    p.setObjective(korvu.Dot(rng.uniform(1, 2, n), x), sense=korvu.maximize)
    p.controls.presolve = 0
    p.controls.lpalgorithm = 3  # primal simplex: many iterations, each polls the interrupt
    return p


@pytest.mark.skipif(not hasattr(signal, "SIGINT"), reason="needs SIGINT")
def test_interrupt_reaches_the_run_still_going_after_another_ended():
    # The first run to start ends first; the key must then still reach the
    # second, and never the first problem, which is gone by then.
    first, second = random_lp(1), random_lp(2)
    waits = {"first": threading.Event(), "second": threading.Event()}
    entered = {"first": threading.Event(), "second": threading.Event()}

    def handler(obj, data, thread, text, *rest):
        who = threading.current_thread().name
        if who in waits and not entered[who].is_set():
            entered[who].set()
            waits[who].wait(10)

    def solve(p):
        p.solve()

    korvu.addcbmsghandler(handler, None, 0)
    try:
        t1 = threading.Thread(target=solve, args=(first,), name="first")
        t1.start()
        assert entered["first"].wait(10)
        t2 = threading.Thread(target=solve, args=(second,), name="second")
        t2.start()
        assert entered["second"].wait(10)
        waits["first"].set()
        t1.join(30)
        del first
        gc.collect()
        os.kill(os.getpid(), signal.SIGINT)
        waits["second"].set()
        t2.join(30)
    finally:
        for w in waits.values():
            w.set()
        korvu.removecbmsghandler(None, None)
    assert second.attributes.stopstatus == korvu.stop_ctrlc
