"""Capacitated facility location: open facilities and serve every customer.

Minimise the fixed cost of the facilities opened plus the cost of shipping
each customer's demand; a customer can only be served by an open facility,
and a facility ships no more than its capacity.
"""
import korvu

facilities = ["Berlin", "Lyon", "Milan", "Porto"]
fixed_cost = {"Berlin": 420.0, "Lyon": 380.0, "Milan": 400.0, "Porto": 300.0}
capacity = {"Berlin": 120.0, "Lyon": 90.0, "Milan": 110.0, "Porto": 70.0}
customers = ["c1", "c2", "c3", "c4", "c5", "c6"]
demand = {"c1": 30.0, "c2": 25.0, "c3": 40.0, "c4": 35.0, "c5": 20.0, "c6": 45.0}
unit_cost = {  # shipping cost per unit, facility -> customer
    "Berlin": [2.0, 3.5, 4.0, 6.0, 5.5, 7.0],
    "Lyon": [4.5, 2.5, 3.0, 4.0, 6.0, 5.0],
    "Milan": [5.0, 4.0, 2.0, 3.0, 3.5, 4.5],
    "Porto": [7.5, 6.5, 5.5, 3.5, 2.0, 2.5],
}

open_ = {f: korvu.var(vartype=korvu.binary, name=f"open_{f}") for f in facilities}
ship = {(f, c): korvu.var(lb=0, name=f"ship_{f}_{c}") for f in facilities for c in customers}

p = korvu.problem(name="facility_location")
p.addVariable(open_, ship)
p.addConstraint(korvu.Sum(ship[f, c] for f in facilities) == demand[c] for c in customers)
p.addConstraint(korvu.Sum(ship[f, c] for c in customers) <= capacity[f] * open_[f]
                for f in facilities)
p.setObjective(korvu.Sum(fixed_cost[f] * open_[f] for f in facilities)
               + korvu.Sum(unit_cost[f][j] * ship[f, c]
                           for f in facilities for j, c in enumerate(customers)))
p.controls.outputlog = 0
p.solve()

print(f"status: {p.getProbStatusString()}   total cost: {p.getObjVal():.2f}")
for f in facilities:
    if p.getSolution(open_[f]) > 0.5:
        served = {c: round(p.getSolution(ship[f, c]), 1) for c in customers
                  if p.getSolution(ship[f, c]) > 1e-6}
        print(f"  {f:<7} open, ships {served}")
