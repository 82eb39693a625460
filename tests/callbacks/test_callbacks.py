import gc
import sys

import pytest

import korvu

NODE_KINDS = ["prenode", "optnode", "nodecutoff", "intsol", "newnode", "chgbranchobject", "gapnotify",
              "cutlog", "globallog", "mipthread", "destroymt", "checktime", "preintsol"]


def bound(prob, which, v):
    out = []
    getattr(prob, "get" + which)(out, v, v)
    return out[0]


def counter(counts, kind, result=None):
    def f(prob, data, *args):
        counts[kind] = counts.get(kind, 0) + 1
        return result
    return f


def test_every_search_kind_fires(knapsack):
    p, x = knapsack
    counts = {}
    for k in NODE_KINDS:
        getattr(p, "addcb" + k)(counter(counts, k, (None, None) if k == "preintsol" else None))
    p.solve()
    assert p.getObjVal() == pytest.approx(62)
    assert set(counts) == set(NODE_KINDS)
    assert counts["mipthread"] == counts["destroymt"] == 1
    assert counts["prenode"] == p.attributes.nodes
    assert counts["newnode"] >= 2


def test_infnode_after_optnode_declares_infeasible(knapsack):
    p, x = knapsack
    counts = {}
    p.addcboptnode(lambda prob, data: 1 if prob.attributes.currentnode > 0 else 0)
    p.addcbinfnode(counter(counts, "infnode"))
    p.solve()
    assert counts["infnode"] == p.attributes.nodes - 1


def test_message_and_lp_kinds_fire():
    x = korvu.var(name="x")
    y = korvu.var(name="y")
    p = korvu.problem(x, y, x + 2 * y <= 14, 3 * x - y >= 0, x - y <= 2, name="lp")
    p.setObjective(3 * x + 4 * y, sense=korvu.maximize)
    got = []
    p.addcbmessage(lambda prob, data, msg, typ: got.append((msg, typ)))
    p.solve()
    assert got and all(isinstance(m, str) and isinstance(t, int) for m, t in got)


def test_node_view_answers_for_the_node(knapsack):
    p, x = knapsack
    seen = []

    def opt(prob, data):
        seen.append((prob.attributes.currentnode, prob.attributes.nodedepth, prob.getSolution(x),
                     bound(prob, "lb", x[0]), bound(prob, "ub", x[0])))
    p.addcboptnode(opt)
    p.solve()
    root = seen[0]
    assert root[0] == 0 and root[1] == 0
    assert any(0 < v < 1 for v in root[2])  # the root relaxation is fractional
    assert any(d > 0 for _, d, _, _, _ in seen)


def test_preintsol_rejects_every_candidate(knapsack):
    p, x = knapsack
    p.addcbpreintsol(lambda prob, data, soltype, cutoff: (1, None))
    p.solve()
    assert p.attributes.mipsols == 0
    assert p.getProbStatusString() in ("mip_infeas", "mip_no_sol_found")


def test_preintsol_wrong_result_stops(knapsack, capfd):
    p, x = knapsack
    p.addcbpreintsol(lambda prob, data, soltype, cutoff: 5)
    p.solve()
    assert "PreIntSol callback: must return tuple" in capfd.readouterr().err
    assert p.attributes.stopstatus == 9


def test_chgbranchobject_replaces_branching(knapsack):
    p, x = knapsack
    bounds = []

    def chg(prob, data, bo):
        assert isinstance(bo, korvu.branchobj) and bo.getbranches() >= 1
        if prob.attributes.currentnode == 0:
            return korvu.branchobj(prob, [x[7] <= 0, -x[7] <= -1])
        return None

    def pre(prob, data):
        if prob.attributes.nodedepth == 1:
            bounds.append((bound(prob, "lb", x[7]), bound(prob, "ub", x[7])))
    p.addcbchgbranchobject(chg)
    p.addcbprenode(pre)
    p.solve()
    assert sorted(bounds) == [(0.0, 0.0), (1.0, 1.0)]
    assert p.getObjVal() == pytest.approx(62)


def test_branching_object_stored_at_optnode(knapsack):
    p, x = knapsack
    depth1 = []

    def opt(prob, data):
        if prob.attributes.currentnode == 0:
            bo = korvu.branchobj(prob, [[x[0] <= 0, x[1] <= 0], [x[0] >= 1], [x[1] >= 1, x[0] <= 0]])
            assert bo.store() == 0
            assert bo.getbranches() == 0
    p.addcboptnode(opt)
    p.addcbnewnode(lambda prob, data, parent, node, branch: depth1.append(branch) if parent == 0 else None)
    p.solve()
    assert sorted(depth1) == [0, 1, 2]
    assert p.getObjVal() == pytest.approx(62)


@pytest.mark.parametrize("kind", NODE_KINDS + ["infnode"])
def test_exception_in_each_kind_stops_and_is_raised(knapsack, kind, capfd):
    p, x = knapsack
    calls = []

    def bad(prob, data, *args):
        calls.append(1)
        raise ValueError("from " + kind)
    getattr(p, "addcb" + kind)(bad)
    if kind == "infnode":
        p.addcboptnode(lambda prob, data: 1)
    with pytest.raises(ValueError, match="from " + kind):
        p.solve()
    assert len(calls) == 1
    assert "stopping optimization" in capfd.readouterr().err


def test_references_stay_flat(knapsack):
    p, x = knapsack
    data = object()

    def f(prob, d):
        assert d is data
    p.addcboptnode(f, data)
    p.addcbprenode(f, data)
    p.solve()  # warm up
    before = (sys.getrefcount(data), sys.getrefcount(f), sys.getrefcount(p), sys.getrefcount(x[0]))
    for _ in range(120):
        p.solve()  # each solve calls the callbacks ~10 times: over 1,000 calls
    gc.collect()
    assert (sys.getrefcount(data), sys.getrefcount(f), sys.getrefcount(p), sys.getrefcount(x[0])) == before


def test_model_changes_inside_a_callback_are_refused(knapsack):
    p, x = knapsack
    errors = []

    def opt(prob, data):
        for change in (lambda: prob.chgbounds([x[0]], ["U"], [0]), lambda: p.addVariable(korvu.var()),
                       lambda: prob.solve(), lambda: p.delVariable(x[1])):
            try:
                change()
            except (korvu.SolverError, korvu.InterfaceError, korvu.ModelError) as e:
                errors.append(str(e))
    p.addcboptnode(opt)
    p.solve()
    assert errors and all("callback" in e or "solved" in e for e in errors)
    assert p.attributes.cols == 8
    assert p.getObjVal() == pytest.approx(62)


def test_registration_and_removal_rules(knapsack):
    p, x = knapsack
    f = lambda prob, data: None
    with pytest.raises(korvu.InterfaceError, match="Cannot remove callback from an empty set"):
        p.removecbintsol(f)
    p.removecbintsol()
    d1, d2 = object(), object()
    p.addcbintsol(f, d1)
    p.addcbintsol(f, d2, 3)
    p.removecbintsol(f, d1)
    with pytest.raises(korvu.InterfaceError, match="Callback not found"):
        p.removecbintsol(f, d1)
    p.removecbintsol()
    with pytest.raises(korvu.InterfaceError, match="Cannot remove callback from an empty set"):
        p.removecbintsol(f)
    with pytest.raises(korvu.InterfaceError, match="Cannot add callback"):
        p.addcbintsol(3)
    with pytest.raises(korvu.InterfaceError, match="Cannot remove callback"):
        p.removecbintsol(3)


def test_priorities_order_calls(knapsack):
    p, x = knapsack
    order = []
    p.addcbprenode(lambda prob, data: order.append("low"), None, 1)
    p.addcbprenode(lambda prob, data: order.append("high"), None, 5)
    p.controls.nodelimit = 1
    p.solve()
    assert order[:2] == ["high", "low"]


def test_copy_and_copycallbacks(knapsack):
    p, x = knapsack
    counts = {}
    p.addcbprenode(counter(counts, "pre"))
    q = p.copy()
    q.solve()
    assert counts["pre"] >= 1
    r = korvu.problem()
    r.copycallbacks(p)
    with pytest.raises(korvu.InterfaceError, match="copycallbacks"):
        r.copycallbacks(3)


def test_registering_a_node_kind_makes_automatic_choose_the_search(knapsack):
    p, x = knapsack
    p.controls.mipsolver = 0
    seen = []
    p.addcbprenode(lambda prob, data: seen.append(1))
    p.solve()
    assert seen


def test_deleting_the_problem_inside_a_callback_does_not_crash(knapsack):
    p, x = knapsack
    holder = {"p": p}

    def opt(prob, data):
        holder.pop("p", None)
    p.addcboptnode(opt)
    del p
    holder["p"].solve()


INSTANCES = __import__("pathlib").Path("/work/shared/instances")


@pytest.mark.skipif(not (INSTANCES / "afiro.mps").exists(), reason="public instances absent")
@pytest.mark.parametrize("flags, kinds", [("d", ["lplog", "checktime"]), ("b", ["bariteration", "barlog", "checktime"])])
def test_engine_lp_kinds_fire(flags, kinds):
    p = korvu.problem()
    p.read(str(INSTANCES / "afiro.mps"))
    p.controls.outputlog = 0
    counts = {}
    for k in kinds:
        getattr(p, "addcb" + k)(counter(counts, k))
    p.solve(flags)
    assert p.getProbStatusString() == "lp_optimal"
    assert set(counts) == set(kinds)


@pytest.mark.skipif(not (INSTANCES / "afiro.mps").exists(), reason="public instances absent")
def test_lplog_result_stops_the_lp():
    p = korvu.problem()
    p.read(str(INSTANCES / "afiro.mps"))
    p.controls.outputlog = 0
    p.addcblplog(lambda prob, data: 1)
    p.solve("d")
    assert p.attributes.stopstatus == 9


def test_usersolnotify_reports_the_start(knapsack):
    p, x = knapsack
    got = []
    p.addcbusersolnotify(lambda prob, data, name, status: got.append((name, status)))
    p.addmipsol([1, 1, 1, 0, 0, 0, 0, 0], None, "mine")
    p.solve()
    assert got == [("mine", 0)]


def test_gapnotify_targets_are_written_back(knapsack):
    p, x = knapsack
    calls = []

    def gap(prob, data):
        calls.append(1)
        return (0.5, None, None, None) if len(calls) == 1 else None
    p.addcbgapnotify(gap)
    p.solve()
    assert len(calls) >= 2  # the relative-gap target of 0.5 was reached after the first call


def test_gapnotify_wrong_result_stops(knapsack, capfd):
    p, x = knapsack
    p.addcbgapnotify(lambda prob, data: (1, 2))
    p.solve()
    assert "GapNotify callback: must return tuple of four" in capfd.readouterr().err
    assert p.attributes.stopstatus == 9
