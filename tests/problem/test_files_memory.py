"""Reading, copying, deleting and resetting leave no references or memory behind."""
import gc
import os
import sys

import pytest

import korvu


def rss_kb():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * 4


def cycle(path):
    p = korvu.problem()
    p.read(path)
    q = p.copy()
    q.delVariable([0, 2, "X04"])
    q.delConstraint(first=0, last=3)
    q.getVariable([1, 2])
    p.solve()
    p.getSolution(p.getVariable()[:5], flatten=True)
    p.getDual()
    p.reset()
    q.reset()


def test_cycles_leave_memory_flat(instances):
    korvu.setOutputEnabled(False)
    path = str(instances / "afiro.mps")
    for _ in range(60):  # warm caches and allocator pools
        cycle(path)
    gc.collect()
    blocks = sys.getallocatedblocks()
    objects = len(gc.get_objects())
    rss = rss_kb()
    for _ in range(200):
        cycle(path)
    gc.collect()
    assert sys.getallocatedblocks() - blocks < 200
    assert len(gc.get_objects()) - objects < 50
    if "asan" not in os.environ.get("LD_PRELOAD", ""):  # the sanitizer holds freed memory back
        assert rss_kb() - rss < 1024


def test_objects_are_released_with_the_problem(instances):
    korvu.setOutputEnabled(False)
    p = korvu.problem()
    p.read(str(instances / "afiro.mps"))
    v = p.getVariable(0)
    base = sys.getrefcount(v)
    q = p.copy()
    assert sys.getrefcount(v) == base + 1
    q.delVariable(v)
    assert sys.getrefcount(v) == base
    del q
    p.reset()
    assert sys.getrefcount(v) == base - 1
