"""A transportation model in korvu's array style: arrays of variables, coefficient
matrices (NumPy and scipy.sparse) applied with korvu.Dot, element-wise operators, and
whole arrays of constraints registered in one call.

Run:  python3 examples/array_style.py
"""
import numpy as np
import scipy.sparse as sp

import korvu

rng = np.random.default_rng(7)
plants, markets = 20, 60
supply = rng.uniform(50, 100, plants)
demand = rng.uniform(10, 30, markets) * supply.sum() / (30 * markets)
cost = rng.uniform(1, 10, (plants, markets))

p = korvu.problem(name="transport")
# name="" keeps the default names (made only when asked for): the fast way for large arrays.
ship = korvu.vars(plants, markets, name="", lb=0)
p.addVariable(ship)

# Row sums with a dense matrix, column sums with a sparse one over the flattened array.
flat = ship.ravel()
by_market = sp.kron(np.ones((1, plants)), sp.identity(markets), format="csr")
p.addConstraint(korvu.Dot(ship, np.ones(markets)) <= supply,   # one constraint per plant
                korvu.Dot(by_market, flat) >= demand)           # one per market

# Element-wise products and a sum give the objective.
p.setObjective(korvu.Sum(cost * ship))
p.controls.outputlog = 0
p.solve()
amounts = np.array(p.getSolution(flat)).reshape(plants, markets)
print(p.getProbStatusString(), round(p.getObjVal(), 3))
print("shipped", round(amounts.sum(), 3), "of demand", round(demand.sum(), 3))
