"""Dot with scipy.sparse matrices: the same results as with the dense matrix, for every
format, shape and empty row or column; refusals; no references or memory kept."""
import gc
import os
import sys

import numpy as np
import pytest

import korvu

sp = pytest.importorskip("scipy.sparse")

FORMATS = ["csr", "csc", "coo", "lil", "dok"]


def canon(e):
    """An element as (constant, linear part, quadratic part), whatever its kind."""
    if isinstance(e, (int, float)):
        return (float(e), {}, {})
    v, c = e.extractLinear()
    lin = {hash(x): k for x, k in zip(v, c)}
    a, b, q = e.extractQuadratic()
    quad = {(hash(x), hash(y)): k for x, y, k in zip(a, b, q)}
    const = korvu.evaluate(e, solution={x: 0.0 for x in list(v) + list(a) + list(b)}) if (v or a) else \
        korvu.evaluate(e, solution={})
    return (const, lin, quad)


def same(r, d):
    r, d = np.asarray(r, dtype=object), np.asarray(d, dtype=object)
    assert r.shape == d.shape
    for x, y in zip(r.ravel(), d.ravel()):
        cx, cy = canon(x), canon(y)
        assert cx[0] == pytest.approx(cy[0]) and cx[1] == pytest.approx(cy[1]) and cx[2] == pytest.approx(cy[2])


def matrix(m, n, seed=0):
    """A matrix with an empty row, an empty column, negative and integral entries."""
    rng = np.random.default_rng(seed)
    A = rng.integers(-3, 4, size=(m, n)).astype(float) * (rng.random((m, n)) < 0.5)
    if m > 1:
        A[1, :] = 0.0
    if n > 2:
        A[:, 2] = 0.0
    return A


@pytest.mark.parametrize("fmt", FORMATS)
def test_sparse_left_and_right_agree_with_dense(fmt):
    A = matrix(5, 7)
    S = sp.csr_matrix(A).asformat(fmt)
    x = korvu.vars(7, name="")
    X = korvu.vars(7, 3, name="")
    T = korvu.vars(2, 7, 4, name="")
    w = korvu.vars(5, name="")
    W = korvu.vars(3, 5, name="")
    e = x + 2.0 * x - 1.0                     # expressions, not only variables
    same(korvu.Dot(S, x), korvu.Dot(A, x))
    same(korvu.Dot(S, X), korvu.Dot(A, X))
    same(korvu.Dot(S, T), korvu.Dot(A, T))
    same(korvu.Dot(S, e), korvu.Dot(A, e))
    same(korvu.Dot(w, S), korvu.Dot(w, A))
    same(korvu.Dot(W, S), korvu.Dot(W, A))
    # A quadratic form through a sparse middle factor.
    Q = matrix(7, 7, seed=3)
    same(korvu.Dot(x, sp.coo_matrix(Q).asformat(fmt), x), korvu.Dot(x, Q, x))


def test_sparse_arrays_duplicates_explicit_zeros_and_empty_shapes():
    x = korvu.vars(4, name="")
    # COO with a repeated entry (added up) and a stored zero (no term).
    S = sp.coo_array((np.array([1.0, 2.0, 0.0, -1.0]), (np.array([0, 0, 1, 2]), np.array([1, 1, 3, 0]))),
                     shape=(3, 4))
    r = korvu.Dot(S, x)
    same(r, korvu.Dot(S.toarray(), x))
    assert r.dtype == korvu.npexpr and canon(r[1]) == (0.0, {}, {})
    # No rows, no columns, no entries at all.
    same(korvu.Dot(sp.csr_array((0, 4)), x), np.zeros(0))
    assert korvu.Dot(sp.csr_array((3, 4)), x).tolist() == [0.0, 0.0, 0.0]
    assert korvu.Dot(korvu.vars(2, 3, name=""), sp.csc_matrix((3, 0))).shape == (2, 0)
    # Integer and boolean data count as numbers.
    same(korvu.Dot(sp.csr_matrix(np.array([[1, 0, 2, 0]], dtype=np.int64)), x), korvu.Dot(np.array([[1.0, 0, 2, 0]]), x))
    same(korvu.Dot(sp.csr_matrix(np.array([[True, False, True, True]])), x), korvu.Dot(np.array([[1.0, 0, 1, 1]]), x))


def test_numbers_only_and_out():
    A = matrix(4, 5)
    S = sp.csc_matrix(A)
    v = np.arange(5.0)
    assert np.allclose(korvu.Dot(S, v), A @ v)
    assert np.allclose(korvu.Dot(S, sp.csr_matrix(A.T)), A @ A.T)
    x = korvu.vars(5, name="")
    out = np.zeros(4, dtype=korvu.npexpr)
    r = korvu.Dot(S, x, out=out)
    assert r is out
    same(out, korvu.Dot(A, x))
    with pytest.raises(korvu.ModelError, match="Output argument set with wrong type"):
        korvu.Dot(S, x, out=np.zeros(4))


def test_refusals():
    x = korvu.vars(5, name="")
    S = sp.csr_matrix(matrix(4, 6))
    with pytest.raises(korvu.ModelError, match="matching sizes"):
        korvu.Dot(S, x)
    with pytest.raises(korvu.ModelError, match="matching sizes"):
        korvu.Dot(korvu.vars(3, name=""), S)
    with pytest.raises(korvu.ModelError, match="second one is a scalar"):
        korvu.Dot(S, np.array(x[0], dtype=korvu.npvar).reshape(()))
    with pytest.raises(korvu.ModelError, match="between NumPy arrays"):
        korvu.Dot(S, [x[0]] * 6)
    with pytest.raises(korvu.ModelError, match="long, double"):
        korvu.Dot(sp.csr_matrix(np.ones((2, 5), dtype=complex)), x)
    # A matrix whose index arrays were edited after construction is refused, not read.
    bad = sp.csr_matrix(np.ones((2, 5)))
    bad.indices[1] = 99
    with pytest.raises(korvu.ModelError, match="malformed"):
        korvu.Dot(bad, x)
    bad = sp.csr_matrix(np.ones((2, 5)))
    bad.indptr[2] = 11
    with pytest.raises(korvu.ModelError, match="malformed"):
        korvu.Dot(bad, x)


def rss_kb():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * 4


def test_array_builds_keep_no_references_or_memory():
    x = korvu.vars(60, name="")
    A = sp.random(40, 60, density=0.2, random_state=1, format="csr")
    Q = sp.random(60, 60, density=0.05, random_state=2, format="coo")
    refs = [sys.getrefcount(v) for v in x[:5]]

    def build():
        p = korvu.problem()
        p.addVariable(x)
        p.addConstraint(korvu.Dot(A, x) <= 1, korvu.Dot(x, A.T.tocsc()) >= -1, 2 * x[:10] - x[10:20] == 0)
        p.setObjective(korvu.Dot(x, Q, x) + korvu.Sum(3.0 * x))
        return p.attributes.rows

    for _ in range(600):  # warm caches and allocator pools
        build()
    gc.collect()
    assert [sys.getrefcount(v) for v in x[:5]] == refs
    blocks, objects, rss = sys.getallocatedblocks(), len(gc.get_objects()), rss_kb()
    for _ in range(300):
        assert build() == 90
    gc.collect()
    assert [sys.getrefcount(v) for v in x[:5]] == refs
    assert sys.getallocatedblocks() - blocks < 200
    assert len(gc.get_objects()) - objects < 50
    if "asan" not in os.environ.get("LD_PRELOAD", ""):  # the sanitizer holds freed memory back
        assert rss_kb() - rss < 2048
