"""Advertising budget split with diminishing returns: a nonlinear model.

Channel i turns a spend of x_i (in units of 10,000) into expected sales
    r_i * (1 - exp(-x_i / s_i))
which saturates at r_i.  Split a budget B to maximise total sales, spending at
least a floor on the brand channel.  At the optimum every funded channel has
the same marginal return, the dual value of the budget row.
"""
import math

import korvu

channels = ["search", "social", "video", "print"]
reach = [12.0, 9.0, 15.0, 4.0]       # r_i: sales when saturated (units of 10,000)
scale = [3.0, 2.0, 6.0, 2.5]         # s_i: spend at which 63% of r_i is reached
budget = 10.0

x = [korvu.var(lb=0, ub=budget, name=c) for c in channels]
p = korvu.problem(x, name="advertising")
spend = korvu.constraint(korvu.Sum(x) <= budget, name="budget")
p.addConstraint(spend, x[3] >= 0.5)
sales = korvu.Sum(r * (1 - korvu.exp(-v / s)) for v, r, s in zip(x, reach, scale))
p.setObjective(sales, sense=korvu.maximize)
p.controls.outputlog = 0
p.solve()

print(f"status: {p.getProbStatusString()}, expected sales {p.getObjVal():.2f}")
for v, r, s in zip(x, reach, scale):
    xv = p.getSolution(v)
    print(f"  {v.name:7s} spend {xv:6.3f}   marginal return {r / s * math.exp(-xv / s):.4f}")
print(f"budget dual (marginal sales of one more unit of spend): {p.getDual(spend):.4f}")
