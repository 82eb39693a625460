"""The two models of the model-building benchmark in korvu's array style: arrays of
variables from korvu.vars, NumPy and scipy.sparse coefficient matrices with korvu.Dot,
element-wise operators on arrays, and whole arrays of constraints registered at once.

Each function builds the model into the problem p and gives the same rows, columns
and coefficients, in the same order, as the scalar-loop text of build_model_models.py
(tests/arrays/test_array_models.py compares the two through the library's queries).
"""


def fac_lin(n, korvu, np, sp, p):
    """fac-lin(n): G = F = n facility location, linear variant (a MIP)."""
    G = F = n
    M = 2 * 1.414
    INF = korvu.infinity
    shape = (G + 1, G + 1, F)
    y = korvu.vars(F, 2, name="", lb=0, ub=1)
    s = korvu.vars(*shape, name="", lb=0, ub=INF)
    z = korvu.vars(*shape, name="", vartype=korvu.binary)
    r1 = korvu.vars(*shape, name="", lb=-INF, ub=INF)
    r2 = korvu.vars(*shape, name="", lb=-INF, ub=INF)
    d = korvu.var(name="", lb=-INF, ub=INF)
    # Columns point by point, as a loop over the points would make them.
    p.addVariable(y, np.stack([s, z, r1, r2], axis=-1), d)
    p.setObjective(d)
    grid = np.arange(G + 1) / G
    assign = korvu.Dot(z, np.ones(F)) == 1
    dist = s - d - M * (1 - z) == 0
    r1def = r1 - grid[:, None, None] + y[:, 0] == 0
    r2def = r2 - grid[None, :, None] + y[:, 1] == 0
    cone = s - r1 - r2 >= 0
    p.addConstraint(assign, np.stack([dist, r1def, r2def, cone], axis=-1))


def lqcp(N, korvu, np, sp, p):
    """lqcp(N): the boundary-controlled heat equation with a quadratic objective (a QP)."""
    dx = 1 / N
    T = 1.58
    dt = T / N
    h2 = dx ** 2
    a = 0.001
    y = korvu.vars(N + 1, N + 1, name="", lb=0, ub=1)
    u = korvu.vars(N + 1, name="", lb=-1, ub=1)
    p.addVariable(y, u)
    jj = np.arange(N + 1)
    yt = 0.5 * (1 - (jj * dx) ** 2)
    w = np.where((jj == 0) | (jj == N), 1.0, 2.0)
    uw = np.where(jj == N, 0.25, np.where(jj == 0, 0.0, 0.5))
    p.setObjective((dx / 4) * (korvu.Sum(w * (y[N] - yt) ** 2) + a * dt * korvu.Sum(uw * u ** 2)))
    # The heat equation on the inner points: a six-point stencil as a sparse matrix
    # over the flattened grid.
    i, j = np.meshgrid(np.arange(N), np.arange(1, N), indexing="ij")
    i, j = i.ravel(), j.ravel()
    at = (N + 1) * i + j
    c = -0.5 / h2
    cols = np.stack([at - 1, at, at + 1, at + N, at + N + 1, at + N + 2], axis=1)
    vals = np.array([c, -1 / dt + 1 / h2, c, c, 1 / dt + 1 / h2, c])
    rows = np.repeat(np.arange(len(at)), 6)
    A = sp.coo_array((np.tile(vals, len(at)), (rows, cols.ravel())), shape=(len(at), (N + 1) ** 2))
    pde = korvu.Dot(A, y.ravel()) == 0
    init = y[0] == 0
    inner = y[1:N]
    left = inner[:, 2] - 4 * inner[:, 1] + 3 * inner[:, 0] == 0
    right = (inner[:, N - 2] - 4 * inner[:, N - 1] + 3 * inner[:, N]
             - 2 * dx * (u[1:N] - inner[:, N]) == 0)
    p.addConstraint(pde, init, np.stack([left, right], axis=-1))


MODELS = {"fac-lin": fac_lin, "lqcp": lqcp}
