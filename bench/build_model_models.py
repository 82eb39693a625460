"""The two models of the model-building benchmark, written once in the scalar-loop
style a user writes: one variable and one constraint at a time, built with operators.

Every library runs the same text through a small adapter `api` that gives it:
  api.var(lb, ub, binary=False)   a new variable, registered with the model at once
  api.con(c)                      register one constraint made with ==, <= or >=
  api.sum(iterable)               the library's summation (quicksum, lpSum, ...)
  api.sq(e)                       e ** 2 (the library's square of an expression)
  api.minimize(e)                 set the objective
  api.INF                         the library's infinity
`expected_size` gives the rows, columns, nonzeros and quadratic diagonal entries
each library must reach (duplicate variables merged), for the check in the table.
"""


def fac_lin(n, api):
    """fac-lin(n): G = F = n, the linear variant (a linear row in place of the cone)."""
    G = F = n
    M = 2 * 1.414
    INF = api.INF
    y = {}
    for f in range(1, F + 1):
        for k in (1, 2):
            y[f, k] = api.var(0, 1)
    s, z, r = {}, {}, {}
    for i in range(G + 1):
        for j in range(G + 1):
            for f in range(1, F + 1):
                s[i, j, f] = api.var(0, INF)
                z[i, j, f] = api.var(0, 1, binary=True)
                r[i, j, f, 1] = api.var(-INF, INF)
                r[i, j, f, 2] = api.var(-INF, INF)
    d = api.var(-INF, INF)
    api.minimize(d)
    for i in range(G + 1):
        for j in range(G + 1):
            api.con(api.sum(z[i, j, f] for f in range(1, F + 1)) == 1)
    for i in range(G + 1):
        for j in range(G + 1):
            for f in range(1, F + 1):
                api.con(s[i, j, f] - d - M * (1 - z[i, j, f]) == 0)
                api.con(r[i, j, f, 1] - i / G + y[f, 1] == 0)
                api.con(r[i, j, f, 2] - j / G + y[f, 2] == 0)
                api.con(s[i, j, f] - r[i, j, f, 1] - r[i, j, f, 2] >= 0)


def lqcp(N, api):
    """lqcp(N): the boundary-controlled heat equation with a quadratic objective."""
    dx = 1 / N
    T = 1.58
    dt = T / N
    h2 = dx ** 2
    a = 0.001
    y = {}
    for i in range(N + 1):
        for j in range(N + 1):
            y[i, j] = api.var(0, 1)
    u = {}
    for i in range(N + 1):
        u[i] = api.var(-1, 1)
    yt = [0.5 * (1 - (j * dx) ** 2) for j in range(N + 1)]
    api.minimize((dx / 4) * (api.sq(y[N, 0] - yt[0])
                             + 2 * api.sum(api.sq(y[N, j] - yt[j]) for j in range(1, N))
                             + api.sq(y[N, N] - yt[N])
                             + a * dt * (0.5 * api.sum(api.sq(u[i]) for i in range(1, N))
                                         + 0.25 * api.sq(u[N]))))
    for i in range(N):
        for j in range(1, N):
            api.con((y[i + 1, j] - y[i, j]) / dt
                    - 0.5 * (y[i, j - 1] - 2 * y[i, j] + y[i, j + 1]
                             + y[i + 1, j - 1] - 2 * y[i + 1, j] + y[i + 1, j + 1]) / h2 == 0)
    for j in range(N + 1):
        api.con(y[0, j] == 0)
    for i in range(1, N):
        api.con(y[i, 2] - 4 * y[i, 1] + 3 * y[i, 0] == 0)
        api.con(y[i, N - 2] - 4 * y[i, N - 1] + 3 * y[i, N] - 2 * dx * (u[i] - y[i, N]) == 0)


MODELS = {"fac-lin": fac_lin, "lqcp": lqcp}
DEFAULT_SIZES = {"fac-lin": [25, 50], "lqcp": [500, 1000]}
QUICK_SIZES = {"fac-lin": [4], "lqcp": [20]}


def expected_size(model, n):
    """(rows, columns, nonzeros, quadratic diagonal entries) of the model."""
    if model == "fac-lin":
        p = (n + 1) ** 2 * n
        return (n + 1) ** 2 + 4 * p, 2 * n + 4 * p + 1, 11 * p, 0
    rows = n * (n - 1) + (n + 1) + 2 * (n - 1)
    return rows, (n + 1) ** 2 + n + 1, 6 * n * (n - 1) + (n + 1) + 7 * (n - 1), 2 * n + 1


def tiny_hessian_entries(model, n, small=1e-9):
    """Quadratic diagonal entries (of x'Qx/2) below HiGHS's small_matrix_value, which
    HiGHS drops when it takes the Hessian: those of u[i] in lqcp for large N."""
    if model != "lqcp":
        return 0
    dx, dt, a = 1 / n, 1.58 / n, 0.001
    q_mid, q_end = 2 * (dx / 4) * a * dt * 0.5, 2 * (dx / 4) * a * dt * 0.25
    return (n - 1) * (abs(q_mid) < small) + (abs(q_end) < small)
