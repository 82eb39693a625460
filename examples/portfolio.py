"""Mean-variance portfolio: the least risky portfolio with a required return.

Minimise the variance x'Cx of the portfolio's return subject to the budget
(weights sum to one), a minimum expected return, and at most 40% in one asset.
"""
import numpy as np

import korvu

assets = ["bonds", "equity_eu", "equity_us", "emerging", "gold"]
mean = np.array([0.030, 0.065, 0.075, 0.095, 0.040])
vol = np.array([0.05, 0.16, 0.15, 0.24, 0.14])
corr = np.array([
    [1.00, 0.10, 0.05, 0.00, 0.20],
    [0.10, 1.00, 0.75, 0.60, 0.05],
    [0.05, 0.75, 1.00, 0.55, 0.00],
    [0.00, 0.60, 0.55, 1.00, 0.10],
    [0.20, 0.05, 0.00, 0.10, 1.00],
])
cov = corr * np.outer(vol, vol)
target = 0.06

x = [korvu.var(lb=0, ub=0.4, name=a) for a in assets]
p = korvu.problem(x, name="portfolio")
p.addConstraint(korvu.Sum(x) == 1)
p.addConstraint(korvu.Sum(mean[i] * x[i] for i in range(len(x))) >= target)
p.setObjective(korvu.Sum(cov[i, j] * x[i] * x[j] for i in range(len(x)) for j in range(len(x))))
p.controls.outputlog = 0
p.solve()

weights = p.getSolution(x)
print(f"status: {p.getProbStatusString()}   variance: {p.getObjVal():.6f}"
      f"   volatility: {p.getObjVal() ** 0.5:.4f}")
for a, w in zip(assets, weights):
    print(f"  {a:<10} {w:7.2%}")
print(f"  expected return {float(mean @ np.array(weights)):.2%}")
