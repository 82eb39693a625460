"""The floor of the model-building benchmark: the same two models made as NumPy arrays
(row-wise CSR, vectorised) and given to HiGHS in one call (highspy's passModel).

`arrays(model, n)` returns a dict of the arrays; `run(model, n, clock)` times making
them ("build"), passModel ("transfer") and the run with time limit 0 ("solve").
"""
import numpy as np


def _csr(blocks, ncol):
    """Stack row blocks, each (index matrix rows x k, value matrix rows x k, lower, upper)."""
    starts, idx, val, lo, up = [np.zeros(1, dtype=np.int64)], [], [], [], []
    nnz = 0
    for cols, vals, rl, ru in blocks:
        m, k = cols.shape
        starts.append(nnz + k * np.arange(1, m + 1, dtype=np.int64))
        nnz += m * k
        idx.append(cols.ravel())
        val.append(np.broadcast_to(vals, cols.shape).ravel())
        lo.append(np.broadcast_to(rl, (m,)))
        up.append(np.broadcast_to(ru, (m,)))
    return (np.concatenate(starts).astype(np.int32), np.concatenate(idx).astype(np.int32),
            np.concatenate(val).astype(np.float64), np.concatenate(lo).astype(np.float64),
            np.concatenate(up).astype(np.float64))


def fac_lin_arrays(n, inf):
    G = F = n
    M = 2 * 1.414
    P = (G + 1) ** 2 * F
    ncol = 2 * F + 4 * P + 1
    ys, s0, z0, r10, r20, d = 0, 2 * F, 2 * F + P, 2 * F + 2 * P, 2 * F + 3 * P, 2 * F + 4 * P
    lower = np.zeros(ncol)
    upper = np.full(ncol, inf)
    upper[ys:s0] = 1.0
    upper[z0:r10] = 1.0
    lower[r10:d + 1] = -inf
    cost = np.zeros(ncol)
    cost[d] = 1.0
    integrality = np.zeros(ncol, dtype=np.int32)
    integrality[z0:r10] = 1
    p = np.arange(P)
    ii, jj, ff = p // ((G + 1) * F), (p // F) % (G + 1), p % F  # point (i, j, f - 1)
    q = np.arange((G + 1) ** 2)
    one = np.ones(1)
    blocks = [
        (z0 + q[:, None] * F + np.arange(F)[None, :], one, 1.0, 1.0),                # sum_f z = 1
        (np.stack([s0 + p, np.full(P, d), z0 + p], 1), np.array([1.0, -1.0, M]), M, M),
        (np.stack([r10 + p, ys + 2 * ff], 1), np.array([1.0, 1.0]), ii / G, ii / G),
        (np.stack([r20 + p, ys + 2 * ff + 1], 1), np.array([1.0, 1.0]), jj / G, jj / G),
        (np.stack([s0 + p, r10 + p, r20 + p], 1), np.array([1.0, -1.0, -1.0]), 0.0, inf),
    ]
    start, index, value, rlo, rup = _csr(blocks, ncol)
    return dict(ncol=ncol, cost=cost, lower=lower, upper=upper, integrality=integrality, start=start,
                index=index, value=value, rlo=rlo, rup=rup, offset=0.0, q=None)


def lqcp_arrays(N, inf):
    dx = 1 / N
    T = 1.58
    dt = T / N
    h2 = dx ** 2
    a = 0.001
    ncol = (N + 1) ** 2 + N + 1
    u0 = (N + 1) ** 2
    lower = np.zeros(ncol)
    upper = np.ones(ncol)
    lower[u0:] = -1.0
    i, j = np.meshgrid(np.arange(N), np.arange(1, N), indexing="ij")
    i, j = i.ravel(), j.ravel()
    Y = lambda a_, b_: a_ * (N + 1) + b_  # noqa: E731
    c = -0.5 / h2
    pde = (np.stack([Y(i, j - 1), Y(i, j), Y(i, j + 1), Y(i + 1, j - 1), Y(i + 1, j), Y(i + 1, j + 1)], 1),
           np.array([c, -1 / dt + 1 / h2, c, c, 1 / dt + 1 / h2, c]), 0.0, 0.0)
    jj = np.arange(N + 1)
    ii = np.arange(1, N)
    blocks = [
        pde,
        (Y(0, jj)[:, None], np.ones(1), 0.0, 0.0),
        (np.stack([Y(ii, 2), Y(ii, 1), Y(ii, 0)], 1), np.array([1.0, -4.0, 3.0]), 0.0, 0.0),
        (np.stack([Y(ii, N - 2), Y(ii, N - 1), Y(ii, N), u0 + ii], 1),
         np.array([1.0, -4.0, 3.0 + 2 * dx, -2 * dx]), 0.0, 0.0),
    ]
    start, index, value, rlo, rup = _csr(blocks, ncol)
    # (dx/4) [sum_j w_j (y[N,j] - yt_j)^2 + a dt (0.5 sum u_i^2 + 0.25 u_N^2)] = c'x + x'Qx/2 + offset
    yt = 0.5 * (1 - (jj * dx) ** 2)
    w = np.full(N + 1, 2.0)
    w[0] = w[N] = 1.0
    cost = np.zeros(ncol)
    cost[Y(N, jj)] = -2 * (dx / 4) * w * yt
    offset = float(np.sum((dx / 4) * w * yt ** 2))
    qdiag = np.zeros(ncol)
    qdiag[Y(N, jj)] = 2 * (dx / 4) * w
    qdiag[u0 + ii] = 2 * (dx / 4) * a * dt * 0.5
    qdiag[u0 + N] = 2 * (dx / 4) * a * dt * 0.25
    qcols = np.flatnonzero(qdiag)
    qstart = np.zeros(ncol + 1, dtype=np.int32)
    qstart[1:] = np.cumsum(qdiag != 0)
    return dict(ncol=ncol, cost=cost, lower=lower, upper=upper, integrality=np.zeros(ncol, dtype=np.int32),
                start=start, index=index, value=value, rlo=rlo, rup=rup, offset=offset,
                q=(qstart, qcols.astype(np.int32), qdiag[qcols]))


def imports():
    import highspy  # noqa: F401
    from importlib.metadata import version
    return "highspy " + version("highspy") + " (passModel, NumPy arrays)"


def run(model, n, clock):
    import highspy

    h = highspy.Highs()
    h.silent()
    h.setOptionValue("time_limit", 0.0)
    h.setOptionValue("presolve", "off")
    inf = highspy.kHighsInf
    clock.start()
    A = (fac_lin_arrays if model == "fac-lin" else lqcp_arrays)(n, inf)
    clock.lap("build")
    ncol, nrow, nnz = A["ncol"], len(A["rlo"]), len(A["index"])
    if A["q"] is None:
        h.passModel(ncol, nrow, nnz, 2, 1, A["offset"], A["cost"], A["lower"], A["upper"], A["rlo"], A["rup"],
                    A["start"][:-1], A["index"], A["value"], A["integrality"])
    else:
        qs, qi, qv = A["q"]
        h.passModel(ncol, nrow, nnz, len(qi), 2, 1, 1, A["offset"], A["cost"], A["lower"], A["upper"],
                    A["rlo"], A["rup"], A["start"][:-1], A["index"], A["value"], qs[:-1], qi, qv,
                    A["integrality"])
    clock.lap("transfer")
    h.run()
    clock.lap("solve")
    from build_model_peers import highs_size
    return highs_size(h)
