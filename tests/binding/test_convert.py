"""Argument conversion, seen through the methods that use it."""
import numpy as np
import pytest

import korvu


@pytest.fixture(autouse=True)
def _quiet():
    korvu.setOutputEnabled(False)


def wide(n):
    x = [korvu.var(name="v%d" % j) for j in range(n)]
    p = korvu.problem()
    p.addVariable(x)
    p.addConstraint(korvu.constraint(x[0] + x[-1] >= 1, name="row0"))
    return p, x


def test_iterators_grow_past_their_first_block():
    p, x = wide(600)
    # 300 items cross the first block of 256; the survivors are renumbered
    p.delVariable(j for j in range(0, 600, 2))
    assert p.getVariable() == x[1::2]
    assert p.getIndex(x[599]) == 299
    p.delVariable(iter(x[1:600:2]))
    assert p.getVariable() == []


def test_sequences_of_mixed_addressing():
    p, x = wide(6)
    p.delVariable((x[5], np.int64(0), "v2", True))  # bool is an int: column 1
    assert p.getVariable() == [x[3], x[4]]
    p2, y = wide(4)
    p2.delVariable(np.array([0, 3], dtype=np.int64))
    assert p2.getVariable() == y[1:3]
    p3, z = wide(4)
    p3.delVariable(np.array([z[1], z[2]], dtype=object))
    assert p3.getVariable() == [z[0], z[3]]


def test_refusals_name_what_is_wrong():
    p, x = wide(4)
    q, y = wide(2)
    with pytest.raises(korvu.ModelError, match="^Variable v1 not in problem$"):
        p.delVariable([x[0], y[1]])  # a variable of another problem
    with pytest.raises(korvu.ModelError, match="^Invalid variable object 0$"):
        p.delVariable(np.array([0, 3], dtype=np.int16))  # neither intc nor int_
    with pytest.raises(korvu.ModelError, match="No variable named 'row0'"):
        p.delVariable(["row0"])  # a row name where a column is expected
    with pytest.raises(UnicodeEncodeError):
        p.delVariable(["v\u00e9"])
    with pytest.raises(OverflowError):
        p.delVariable([2**70])
    for big in (2**32, [2**32 + 1], np.array([2**33])):  # not column 0 or 1
        with pytest.raises(OverflowError):
            p.delVariable(big)
    with pytest.raises(korvu.ModelError, match="^Invalid sequence of objects$"):
        p.delVariable({0, 1})
    with pytest.raises(korvu.ModelError, match="^Invalid variable object"):
        p.delVariable(np.array([[0, 1]], dtype=np.int64))  # rows of a matrix are not indices
    with pytest.raises(korvu.ModelError, match="^Invalid variable object"):
        p.delVariable(np.array([0, 1], dtype=np.uint32))
    p.delVariable(np.array([], dtype=np.int64))
    assert p.getVariable() == x and [p.getIndex(v) for v in x] == [0, 1, 2, 3]


@pytest.mark.skipif(not hasattr(korvu.problem, "chgobj"), reason="library wrappers not built yet")
def test_agreed_counts():
    p, x = wide(3)
    with pytest.raises(korvu.ModelError, match="^Mismatched lengths in arguments: expected 3, found 2$"):
        p.chgobj([0, 1, 2], [1.0, 2.0])
    with pytest.raises(korvu.ModelError, match="expected 2, found 3"):
        p.chgobj([x[0], x[1]], (v for v in [1.0, 2.0, 3.0]))
    p.chgobj(iter([0, 2]), [4.0, 5.0])
    p.chgobj([], [])


@pytest.mark.skipif(not hasattr(korvu.problem, "getlb"), reason="library wrappers not built yet")
def test_output_lists_are_filled_in_place():
    p, x = wide(3)
    out = list(range(10))
    keep = out
    p.getlb(out)
    assert out is keep and out == [0.0, 0.0, 0.0]
    out.clear()
    p.getlb(out, 0, 1)
    assert out == [0.0, 0.0]
