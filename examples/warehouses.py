"""Warehouse sizing with congestion: a mixed-integer nonlinear model.

Opening warehouse i (binary y_i) costs f_i; running it at throughput x_i costs
c_i * x_i^1.3 (each further unit costs more), and x_i is 0 when it is closed
and between a minimum m_i and a maximum M_i when open.  Customers need a total
demand D.  The library's branch-and-bound decides which warehouses to open, a
nonlinear solve at each node shares the demand among them; the model is
convex once the binaries are relaxed, so the bound it reports is exact.
"""
import korvu

names = ["north", "east", "south", "west"]
fixed = [140.0, 155.0, 135.0, 160.0]  # f_i: cost of opening
run = [0.30, 0.22, 0.35, 0.20]         # c_i: cost of throughput x^1.3
least, most = 20.0, 120.0              # m_i, M_i
demand = 150.0

y = [korvu.var(vartype=korvu.binary, name="open_" + n) for n in names]
x = [korvu.var(lb=0, ub=most, name="load_" + n) for n in names]
p = korvu.problem(y, x, name="warehouses")
for yi, xi in zip(y, x):
    p.addConstraint(xi <= most * yi, xi >= least * yi)
p.addConstraint(korvu.Sum(x) >= demand)
p.setObjective(korvu.Sum(f * yi + c * xi ** 1.3 for f, c, yi, xi in zip(fixed, run, y, x)))
p.controls.outputlog = 0
p.solve()

print(f"status: {p.getProbStatusString()}, cost {p.getObjVal():.2f}, "
      f"{p.attributes.nodes} nodes, best bound {p.attributes.bestbound:.2f}")
for n, yi, xi in zip(names, y, x):
    if p.getSolution(yi) > 0.5:
        print(f"  {n:6s} load {p.getSolution(xi):7.2f}")
