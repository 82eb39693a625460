"""The cut pool, stored bounds and strong branching: outside a solve, and from the
search's node callbacks, where user cuts change what the search proves."""
import pytest

import korvu


def two(cap=5.0, vartype=korvu.integer, ycost=1.0):
    """max x + ycost*y, x + y <= cap, x and y in [0, 3]."""
    p = korvu.problem()
    p.setControl("outputlog", 0)
    p.controls.cutstrategy = 0  # none of the search's own cuts
    x = korvu.var(lb=0, ub=3, vartype=vartype)
    y = korvu.var(lb=0, ub=3, vartype=vartype)
    p.addVariable(x, y)
    p.addConstraint(x + y <= cap)
    p.setObjective(x + ycost * y, sense=korvu.maximize)
    return p, x, y


def test_stored_cuts_are_handles_that_list_read_and_delete():
    p, x, y = two()
    cuts = []
    p.storecuts(1, [1, 2, 3], ["L", "G", "E"], [1.0, 0.5, 2.0], [0, 1, 3, 4], cuts, [x, x, y, y], [1, 2, 1, 1])
    assert len(cuts) == 3 and all(isinstance(c, korvu.poolcut) for c in cuts)
    again = []
    p.storecuts(1, [1], ["L"], [1.0], [0, 1], again, [x], [1.0])
    got = []
    assert p.getcpcutlist(-1, -1, -1.0, 10, got, None) == 3
    assert len(got) == 3
    got, viol = [], []
    assert p.getcpcutlist(-1, -1, -1.0, 2, got, viol) == 3  # the total, though two come back
    assert len(got) == 2 and viol == [0.0, 0.0]
    assert p.getcpcutlist(2, 2, -1.0, 10, None, None) == 2  # types 2 and 3 share bit 2

    t, r, s, c, v, b = [], [], [], [], [], []
    p.getcpcuts(cuts[1:], 10, t, r, s, c, v, b)
    assert t == [2, 3] and r == ["G", "E"] and s == [0, 2, 3]
    assert c[0] is x and c[2] is y and v == [2.0, 1.0, 1.0] and b == [0.5, 2.0]
    s2 = []
    p.getcpcuts(cuts[1:], 1, None, None, s2, c, None, None)
    assert s2 == [0, 2, 3] and len(c) == 1

    p.delcpcuts(1, 1, None)
    assert p.getcpcutlist(-1, -1, -1.0, 10, None, None) == 2
    with pytest.raises(korvu.SolverError):
        p.getcpcuts([cuts[0]], 1, None, None, [], None, None, None)
    with pytest.raises(korvu.ModelError):
        p.delcpcuts(0, -1, [5])


def test_bad_cuts_leave_the_pool_as_it_was():
    p, x, y = two()
    with pytest.raises(korvu.ModelError):  # rhs one short of the rtypes
        p.storecuts(1, [0, 0], ["L", "L"], [1.0], [0, 1, 2], [], [x, y], [1.0, 1.0])
    with pytest.raises(korvu.ModelError):  # the coefficients one short of mstart's end
        p.storecuts(1, [0], ["L"], [1.0], [0, 2], [], [x, y], [1.0])
    with pytest.raises(korvu.SolverError):
        p.storecuts(1, [0], ["Q"], [1.0], [0, 1], [], [x], [1.0])
    assert p.getcpcutlist(-1, -1, -1.0, 10, None, None) == 0


def test_a_stored_cut_holds_in_the_search_mipoptimize_chooses():
    p, x, y = two()
    p.solve()
    assert p.attributes.mipbestobjval == pytest.approx(5)
    p.storecuts(1, [0], ["L"], [1.0], [0, 1], [], [x], [1.0])
    p.solve()
    assert p.attributes.mipstatus == 6
    assert p.attributes.mipbestobjval == pytest.approx(4)
    assert p.getSolution(x) == pytest.approx(1)


def test_cuts_added_at_a_node_are_listed_mapped_and_deleted():
    p, x, y = two()
    seen = {}

    def opt(prob, data):
        n = len(seen)
        listed = []
        prob.getcutlist(-1, -1, 10, listed)
        if n == 0:
            seen["before"] = len(listed)
            prob.addcuts([7], ["L"], [1.0], [0, 1], [x], [1.0])
        elif n == 1:
            seen["after"] = listed
            rows = []
            prob.getcutmap(listed, rows)
            seen["map"] = rows
            seen["slack"] = prob.getcutslack(listed[0])
            if data:
                prob.delcuts(0, -1, -1, -1.0, None)  # binding, so its row is not basic: it stays
                kept = []
                prob.getcutlist(-1, -1, 10, kept)
                seen["kept"] = len(kept)
                prob.delcuts(1, -1, -1, -1.0, None)
                left = []
                prob.getcutlist(-1, -1, 10, left)
                seen["left"] = left
                prob.delcpcuts(7, 1, listed)
        return 0

    p.addcboptnode(opt, False)
    p.solve()
    assert seen["before"] == 0
    assert len(seen["after"]) == 1 and isinstance(seen["after"][0], korvu.poolcut)
    assert seen["map"] == [1]  # the row after the model's one
    assert seen["slack"] == pytest.approx(0, abs=1e-7)
    assert p.attributes.mipbestobjval == pytest.approx(4)
    assert p.getcpcutlist(7, 1, -1.0, 10, None, None) == 1

    p, x, y = two()
    seen.clear()
    p.addcboptnode(opt, True)
    p.solve()
    assert seen["kept"] == 1 and seen["left"] == []
    assert p.attributes.mipbestobjval == pytest.approx(5)
    assert p.getcpcutlist(-1, -1, -1.0, 10, None, None) == 0


def test_loadcuts_brings_stored_cuts_into_the_node():
    p, x, y = two()
    stored = []
    p.storecuts(1, [0, 0], ["L", "L"], [3.0, 3.0], [0, 1, 2], stored, [x, y], [1.0, 1.0])
    counts = []

    def opt(prob, data):
        listed = []
        prob.getcutlist(-1, -1, 10, listed)
        counts.append(len(listed))
        if len(counts) == 1:
            prob.loadcuts(0, -1, None)
        return 0

    p.addcboptnode(opt)
    p.solve()
    # Slack at the root, they are out of it until loaded; then both are in.
    assert counts[:2] == [0, 2]


def test_node_members_outside_a_node_and_wrong_arguments():
    p, x, y = two()
    with pytest.raises(korvu.InterfaceError, match="getcutslack must be provided a single cut as the only argument"):
        p.getcutslack(5)
    with pytest.raises(korvu.SolverError, match="node callbacks only"):
        p.getcutlist(-1, -1, 10, [])
    with pytest.raises(korvu.SolverError, match="node callbacks only"):
        p.addcuts([0], ["L"], [1.0], [0, 1], [x], [1.0])
    b = p.storebounds([x], ["U"], [3.0])
    assert type(b).__name__ == "generic"  # korvu.generic is not a module attribute
    with pytest.raises(korvu.SolverError):
        p.setbranchbounds(b)  # not inside an optnode callback
    with pytest.raises(korvu.InterfaceError):
        p.setbranchbounds(5)


def test_stored_bounds_branch_the_root():
    p, x, y = two(cap=4.5, ycost=1.1)
    p.controls.heureffort = 0
    down = p.storebounds([x], ["U"], [1.0])
    up = p.storebounds([x], ["L"], [2.0])
    cut = []
    p.storecuts(1, [0], ["L"], [1.5], [0, 1], cut, [y], [1.0])
    children = []

    def opt(prob, data):
        if prob.attributes.currentnode == 0 and not children:
            children.append(None)
            prob.setbranchbounds(down)
            prob.setbranchbounds(up)
            prob.setbranchcuts(cut)
        return 0

    p.addcboptnode(opt)
    p.addcbnewnode(lambda prob, data, parent, node, branch: children.append(parent))
    p.solve()
    assert children.count(0) == 2
    assert p.attributes.mipbestobjval == pytest.approx(4.1)


def test_strongbranch_probes_the_relaxation():
    p, x, y = two(cap=4.5, vartype=korvu.continuous)
    obj, st = [], []
    p.strongbranch([y, y, x], ["U", "L", "B"], [1.0, 2.0, 5.0], 100, obj, st)
    assert obj[:2] == pytest.approx([4.0, 4.5])
    assert st == [1, 1, 2]  # optimal, optimal, infeasible
    with pytest.raises(korvu.ModelError):
        p.strongbranch([y, y], ["U"], [1.0, 2.0], 100, [], [])


def test_strongbranchcb_calls_back_per_probe_and_passes_exceptions_on():
    p, x, y = two(cap=4.5, vartype=korvu.continuous)
    calls = []

    def probe(prob, context, index):
        calls.append((context, index, prob.getSolution(y)))
        return 1 if index == 1 else 0

    obj, st = [], []
    p.strongbranchcb([y, x, x], ["U", "U", "U"], [1.0, 2.0, 0.0], 100, obj, st, probe, "ctx")
    assert [c[:2] for c in calls] == [("ctx", 0), ("ctx", 1)]
    assert calls[0][2] == pytest.approx(1.0)
    assert st[2] == 0  # skipped

    def fails(prob, context, index):
        raise ValueError("probe failed")

    with pytest.raises(ValueError, match="probe failed"):
        p.strongbranchcb([y], ["U"], [1.0], 100, [], [], fails, None)
    # A later solve is not stopped by the interrupt the failure made.
    p.solve()
    assert p.attributes.lpstatus == 1


def test_a_valid_cut_from_optnode_proves_optimality_at_the_root():
    # max x + 1.01 y, 2x + 2y <= 5: the relaxation stops at 2.525; x + y <= 2
    # holds for every integer point and closes the root.
    def solve(with_cut):
        p, x, y = two(cap=2.5, ycost=1.01)
        p.controls.nodelimit = 1

        def opt(prob, data):
            if with_cut and prob.getcpcutlist(-1, -1, -1.0, 0, None, None) == 0:
                prob.addcuts([0], ["L"], [2.0], [0, 2], [x, y], [1.0, 1.0])
            return 0

        p.addcboptnode(opt)
        p.solve()
        return p

    p = solve(True)
    assert p.attributes.mipstatus == 6
    assert p.attributes.mipbestobjval == pytest.approx(2.02)
    assert solve(False).attributes.mipstatus != 6


def test_strongbranch_at_a_node_leaves_the_search_exact():
    p, x, y = two(cap=4.5, ycost=1.1)
    p.controls.heureffort = 0
    probes = []

    def opt(prob, data):
        if prob.attributes.currentnode == 0 and not probes:
            obj, st = [], []
            prob.strongbranch([x, x], ["U", "L"], [1.0, 2.0], 50, obj, st)
            sol = []
            prob.strongbranchcb([x], ["U"], [1.0], 50, [], [], lambda q, c, k: sol.append(q.getSolution(x)), None)
            probes.append((obj, st, sol))
        return 0

    p.addcboptnode(opt)
    p.solve()
    obj, st, sol = probes[0]
    # The root is x = 1.5, y = 3 (4.8): x <= 1 costs 0.5, x >= 2 moves y down.
    assert st == [1, 1]
    assert obj == pytest.approx([4.3, 4.75])
    assert sol == pytest.approx([1.0])
    assert p.attributes.mipstatus == 6
    assert p.attributes.mipbestobjval == pytest.approx(4.3)


def test_getcutlist_fills_at_most_size_handles():
    p, x, y = two()
    p.storecuts(1, [0, 0, 0], ["L", "L", "L"], [3.0, 3.0, 6.0], [0, 1, 2, 4], [], [x, y, x, y], [1.0] * 4)
    sizes = []

    def opt(prob, data):
        if not sizes:
            prob.loadcuts(0, -1, None)
            for size in (10, 2):
                got = []
                prob.getcutlist(-1, -1, size, got)
                sizes.append(len(got))
        return 0

    p.addcboptnode(opt)
    p.solve()
    assert sizes == [3, 2]


def test_a_branching_object_brings_its_pool_cuts_into_its_child():
    p, x, y = two(cap=4.5, ycost=1.1)
    p.controls.heureffort = 0
    slack = []
    # y <= 3 never breaks, so only the branch puts it into a relaxation.
    p.storecuts(1, [0], ["L"], [3.0], [0, 1], slack, [y], [1.0])
    counts = []

    def opt(prob, data):
        listed = []
        prob.getcutlist(-1, -1, 10, listed)
        counts.append(len(listed))
        if prob.attributes.currentnode == 0 and len(counts) == 1:
            bo = korvu.branchobj(prob, [x <= 1, x >= 2])
            bo.addcuts(1, slack)
            with pytest.raises(korvu.SolverError, match="not a cut"):
                bo.addcuts(0, [korvu.poolcut()])
            assert bo.validate() == 0
            assert bo.store() == 0
        return 0

    p.addcboptnode(opt)
    p.solve()
    assert counts[0] == 0 and 1 in counts
    assert p.attributes.mipbestobjval == pytest.approx(4.3)


def test_repeated_members_keep_reference_counts():
    import gc
    import sys

    p, x, y = two(cap=4.5, vartype=korvu.continuous)
    ctx = object()

    def probe(prob, context, index):
        return 0

    def rounds():
        cuts = []
        p.storecuts(0, [0], ["L"], [3.0], [0, 1], cuts, [x], [1.0])
        p.getcpcutlist(-1, -1, -1.0, 10, [], [])
        p.getcpcuts(cuts, 10, [], [], [], [], [], [])
        p.delcpcuts(-1, -1, cuts)
        p.strongbranchcb([y, x], ["U", "U"], [1.0, 2.0], 100, [], [], probe, ctx)

    rounds()
    before = (sys.getrefcount(ctx), sys.getrefcount(probe), sys.getrefcount(p), sys.getrefcount(x))
    for _ in range(200):
        rounds()
    gc.collect()
    assert (sys.getrefcount(ctx), sys.getrefcount(probe), sys.getrefcount(p), sys.getrefcount(x)) == before
    assert p.getcpcutlist(-1, -1, -1.0, 10, None, None) == 0
