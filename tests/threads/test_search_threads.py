"""The library's branch-and-bound on two node workers: the same optima as on one, callbacks on the
workers' threads, and an exception from any worker's callback ending the solve."""
import itertools
import threading

import numpy as np
import pytest

import korvu


def multi_knapsack(seed, n=24, m=3, threads=2):
    """A knapsack with a few capacity rows whose tree has many nodes (no cuts, no heuristics)."""
    rng = np.random.default_rng(seed)
    w = rng.integers(5, 40, (m, n))
    v = rng.integers(5, 60, n)
    x = [korvu.var(vartype=korvu.binary) for _ in range(n)]
    rows = [korvu.Sum(int(w[i, j]) * x[j] for j in range(n)) <= int(w[i].sum() // 3) for i in range(m)]
    p = korvu.problem(x, rows, name=f"mk{seed}")
    p.setObjective(korvu.Sum(int(v[j]) * x[j] for j in range(n)), sense=korvu.maximize)
    p.controls.outputlog = 0
    p.controls.mipsolver = 1
    p.controls.cutstrategy = 0
    p.controls.heureffort = 0
    p.controls.threads = threads
    return p, x, w, v


def best_by_enumeration(w, v):
    n = len(v)
    cap = w.sum(axis=1) // 3
    best = 0
    for bits in itertools.product((0, 1), repeat=n):
        b = np.array(bits)
        if (w @ b <= cap).all():
            best = max(best, int(v @ b))
    return best


def test_two_workers_reach_the_optimum_of_one():
    for seed in range(6):
        objs = []
        for threads in (1, 2):
            p, x, w, v = multi_knapsack(seed, threads=threads)
            p.mipoptimize()
            assert p.attributes.mipstatus == korvu.mip_optimal
            sol = np.array(p.getSolution(x))
            assert (w @ sol <= w.sum(axis=1) // 3 + 1e-6).all()
            objs.append(p.attributes.mipbestobjval)
        assert objs[0] == pytest.approx(objs[1]), seed


def test_small_models_agree_with_enumeration_on_two_workers():
    for seed in range(10, 14):
        p, x, w, v = multi_knapsack(seed, n=12, m=2)
        p.mipoptimize()
        assert p.attributes.mipbestobjval == pytest.approx(best_by_enumeration(w, v)), seed


def test_each_worker_gets_mipthread_and_destroymt_on_its_own_thread():
    p, x, w, v = multi_knapsack(1)
    started, ended, node_threads = [], [], set()
    lock = threading.Lock()

    def mipthread(prob, data, threadprob):
        with lock:
            started.append(threading.get_ident())

    def destroymt(prob, data):
        with lock:
            ended.append(threading.get_ident())

    def optnode(prob, data):
        node_threads.add(threading.get_ident())
        # The view answers for the worker's node.
        assert prob.attributes.nodedepth >= 0
        return 0

    p.addcbmipthread(mipthread)
    p.addcbdestroymt(destroymt)
    p.addcboptnode(optnode)
    p.mipoptimize()
    assert p.attributes.mipstatus == korvu.mip_optimal
    assert p.attributes.nodes > 10  # the tree outlived the root, so both workers ran
    assert len(started) == len(ended) == 2
    assert len(set(started)) == 2 and sorted(started) == sorted(ended)
    assert node_threads <= set(started)


@pytest.mark.parametrize("kind", ["optnode", "prenode", "newnode", "intsol"])
def test_an_exception_on_either_worker_stops_the_solve(kind, capfd):
    p, x, w, v = multi_knapsack(2)
    calls = []
    main = threading.get_ident()

    def bad(prob, data, *args):
        calls.append(threading.get_ident())
        # Raise from the second worker's thread where the kind comes often
        # enough to reach it; incumbents are few, so the first one raises.
        if kind == "intsol" or len(calls) > 30 or (calls[-1] != main and len(calls) > 3):
            raise ValueError("from " + kind)
        return None

    getattr(p, "addcb" + kind)(bad)
    with pytest.raises(ValueError, match="from " + kind):
        p.mipoptimize()
    assert "stopping optimization" in capfd.readouterr().err
    assert p.attributes.mipstatus != korvu.mip_optimal or len(calls) <= 31
    # The problem solves again afterwards.
    getattr(p, "removecb" + kind)()
    p.mipoptimize()
    assert p.attributes.mipstatus == korvu.mip_optimal


def test_node_limit_and_stop_hold_across_workers():
    p, x, w, v = multi_knapsack(3)
    p.controls.nodelimit = 20
    p.mipoptimize()
    # Workers stop at the limit; a node each may be in progress when it is reached.
    assert 20 <= p.attributes.nodes <= 22
    assert p.attributes.stopstatus != 0
    stops = []
    p.controls.nodelimit = 10 ** 9

    def opt(prob, data):
        stops.append(1)
        if len(stops) == 15:
            prob.interrupt(korvu.stop_user)
        return 0
    p.addcboptnode(opt)
    p.mipoptimize()
    assert p.attributes.stopstatus == korvu.stop_user
    assert len(stops) < 40


def test_a_user_cut_added_on_one_worker_binds_every_worker():
    added = 0
    for seed in range(4):
        p, x, w, v = multi_knapsack(seed, threads=1)
        p.mipoptimize()
        j = next(k for k, s in enumerate(p.getSolution(x)) if s > 0.5)  # in the optimum
        p, x, w, v = multi_knapsack(seed)
        main = threading.get_ident()
        done = []

        def opt(prob, data):
            if not done and threading.get_ident() != main:
                prob.addcuts([0], ["L"], [0.0], [0, 1], [x[j]], [1.0])  # x[j] <= 0
                done.append(1)
            return 0
        after = []  # x[j] of the incumbents found once the cut was in

        def intsol(prob, data):
            if done:
                after.append(prob.getSolution(x[j]))
        p.addcboptnode(opt)
        p.addcbintsol(intsol)
        p.mipoptimize()
        if done:
            added += 1
            # An incumbent found before the cut came may break it (the cut is the user's word
            # for the whole problem, as on one worker); none found after it does.
            assert all(s == pytest.approx(0) for s in after), seed
    assert added
