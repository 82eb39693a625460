"""Expression-building benchmark: korvu against a float loop and peer modelling libraries.

Run:  PYTHONPATH=build/<dir>/pkg python bench/algebra.py [--sizes 10000,100000,1000000] [--repeat 3]

Every library runs in a subprocess of its own (peers that are not installed are
skipped).  For each case the script prints seconds, nanoseconds per term and the
ratio to korvu; for korvu it also prints the object size of a variable and the
memory an expression of N distinct linear entries takes per entry.
"""
import argparse
import gc
import json
import random
import subprocess
import sys
import time

PRODUCT_N = 1000
MERGE_DISTINCT = 100


def best_of(repeat, fn):
    """Best time of `repeat` runs, or None when the library cannot do the case."""
    best = float("inf")
    for _ in range(repeat):
        gc.collect()
        t = time.perf_counter()
        try:
            fn()
        except Exception as exc:  # a peer without this operation
            print(f"# unsupported: {exc}", file=sys.stderr)
            return None
        best = min(best, time.perf_counter() - t)
    return best


def heap_bytes():
    """Bytes the C heap has handed out (glibc), small blocks and mapped ones."""
    import ctypes

    class MallInfo2(ctypes.Structure):
        _fields_ = [(n, ctypes.c_size_t) for n in
                    ("arena", "ordblks", "smblks", "hblks", "hblkhd", "usmblks", "fsmblks", "uordblks",
                     "fordblks", "keepcost")]

    libc = ctypes.CDLL("libc.so.6")
    libc.mallinfo2.restype = MallInfo2
    info = libc.mallinfo2()
    return info.uordblks + info.hblkhd


# ---- per-library builders: make(n) -> variables, and the cases

def lib_float():
    def make(n):
        return [random.random() for _ in range(n)]

    def sum_iadd(x, c):
        e = 0.0
        for i in range(len(x)):
            e += c[i] * x[i]
        return e

    def product(a, b):
        sa = sum(a)
        sb = sum(b)
        return sa * sb

    return dict(make=make, sum_iadd=sum_iadd, sum_fresh=sum_iadd, sum_vars=lambda x: sum_iadd(x, [1.0] * len(x)),
                merge=sum_iadd, product=product, version="python " + sys.version.split()[0])


def lib_korvu():
    import korvu

    def make(n):
        return [korvu.var() for _ in range(n)]

    def sum_iadd(x, c):
        e = x[0] - x[0] + 0 * x[0] + (x[0] + 1) * 0  # an empty expression
        for i in range(len(x)):
            e += c[i] * x[i]
        return e

    def sum_fresh(x, c):
        e = 0
        for i in range(len(x)):
            e += c[i] * x[i]
        return e

    def sum_vars(x):
        e = 0
        for v in x:
            e += v
        return e

    def product(a, b):
        sa = sum_vars(a)
        sb = sum_vars(b)
        return sa * sb

    def memory(n):
        x = make(n)
        c = [1.0 + random.random() for _ in range(n)]
        import tracemalloc

        gc.collect()
        tracemalloc.start()
        before = heap_bytes()
        e = sum_fresh(x, c)
        gc.collect()
        after = heap_bytes() + tracemalloc.get_traced_memory()[0]
        tracemalloc.stop()
        del e
        return (after - before) / n

    extra = {"var_size": sys.getsizeof(korvu.var()), "object_header": object.__basicsize__, "memory": memory}
    return dict(make=make, sum_iadd=sum_iadd, sum_fresh=sum_fresh, sum_vars=sum_vars, merge=sum_fresh,
                product=product, version="korvu", **extra)


def lib_pyoptinterface():
    import pyoptinterface as poi
    from importlib.metadata import version

    def make(n):
        return [poi.VariableIndex(i) for i in range(n)]

    def sum_iadd(x, c):
        e = poi.ExprBuilder()
        for i in range(len(x)):
            e += c[i] * x[i]
        return e

    def sum_fresh(x, c):
        return poi.quicksum(c[i] * x[i] for i in range(len(x)))

    def sum_vars(x):
        return poi.quicksum(x)

    def product(a, b):
        return poi.quicksum(a) * poi.quicksum(b)

    return dict(make=make, sum_iadd=sum_iadd, sum_fresh=sum_fresh, sum_vars=sum_vars, merge=sum_iadd,
                product=product, version="pyoptinterface " + version("pyoptinterface"))


def lib_gurobipy():
    import gurobipy as gp

    env = gp.Env(params={"OutputFlag": 0})
    model = gp.Model(env=env)

    def make(n):
        v = model.addVars(n).values()
        return list(v)

    def sum_iadd(x, c):
        e = gp.LinExpr()
        for i in range(len(x)):
            e += c[i] * x[i]
        return e

    def sum_fresh(x, c):
        return gp.quicksum(c[i] * x[i] for i in range(len(x)))

    def sum_vars(x):
        return gp.quicksum(x)

    def product(a, b):
        return gp.quicksum(a) * gp.quicksum(b)

    return dict(make=make, sum_iadd=sum_iadd, sum_fresh=sum_fresh, sum_vars=sum_vars, merge=sum_iadd,
                product=product, version="gurobipy " + gp.__version__)


def lib_highspy():
    import highspy
    from importlib.metadata import version

    h = highspy.Highs()
    h.silent()

    def make(n):
        arr = h.addVariables(n)
        return [arr[i] for i in range(n)]

    def sum_iadd(x, c):
        e = highspy.highs.highs_linear_expression()
        for i in range(len(x)):
            e += c[i] * x[i]
        return e

    def sum_fresh(x, c):
        return h.qsum([c[i] * x[i] for i in range(len(x))])

    def sum_vars(x):
        return h.qsum(x)

    def product(a, b):
        return h.qsum(a) * h.qsum(b)

    return dict(make=make, sum_iadd=sum_iadd, sum_fresh=sum_fresh, sum_vars=sum_vars, merge=sum_iadd,
                product=product, version="highspy " + version("highspy"))


LIBS = {"float": lib_float, "korvu": lib_korvu, "pyoptinterface": lib_pyoptinterface, "gurobipy": lib_gurobipy,
        "highspy": lib_highspy}
CASES = ["sum_iadd", "sum_fresh", "sum_vars", "merge"]


def run_child(name, sizes, repeat):
    random.seed(1)
    lib = LIBS[name]()
    out = {"version": lib["version"], "times": {}}
    for n in sizes:
        reps = repeat if n <= 100000 else 1
        x = lib["make"](n)
        c = [1.0 + random.random() for _ in range(n)]
        out["times"][f"sum_iadd/{n}"] = best_of(reps, lambda: lib["sum_iadd"](x, c))
        out["times"][f"sum_fresh/{n}"] = best_of(reps, lambda: lib["sum_fresh"](x, c))
        out["times"][f"sum_vars/{n}"] = best_of(reps, lambda: lib["sum_vars"](x))
        xm = [x[i % MERGE_DISTINCT] for i in range(n)]
        out["times"][f"merge/{n}"] = best_of(reps, lambda: lib["merge"](xm, c))
        del x, xm
    a = lib["make"](PRODUCT_N)
    b = lib["make"](PRODUCT_N)
    out["times"][f"product/{PRODUCT_N}"] = best_of(repeat, lambda: lib["product"](a, b))
    out["times"][f"square/{PRODUCT_N}"] = best_of(repeat, lambda: lib["product"](a, a))
    if "memory" in lib:
        out["var_size"] = lib["var_size"]
        out["object_header"] = lib["object_header"]
        out["bytes_per_entry"] = lib["memory"](max(sizes))
    print(json.dumps(out))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--sizes", default="10000,100000,1000000")
    ap.add_argument("--repeat", type=int, default=3)
    ap.add_argument("--child")
    args = ap.parse_args()
    sizes = [int(s) for s in args.sizes.split(",")]
    if args.child:
        run_child(args.child, sizes, args.repeat)
        return
    results = {}
    for name in LIBS:
        proc = subprocess.run([sys.executable, __file__, "--child", name, "--sizes", args.sizes,
                               "--repeat", str(args.repeat)], capture_output=True, text=True)
        if proc.returncode != 0:
            last = (proc.stderr.strip().splitlines() or ["?"])[-1]
            print(f"# {name}: skipped ({last})")
            continue
        results[name] = json.loads(proc.stdout.strip().splitlines()[-1])
    k = results["korvu"]
    print("# versions: " + ", ".join(r["version"] for r in results.values()))
    print(f"# sys.getsizeof(korvu.var()) = {k['var_size']} (object header {k['object_header']} + 8)")
    print(f"# expression of {max(sizes)} distinct linear entries: {k['bytes_per_entry']:.1f} bytes per entry")
    names = list(results)
    print("%-16s" % "case" + "".join("%16s" % n for n in names) + "   ns/term (korvu)   worst peer/korvu")
    for key in k["times"]:
        case, n = key.split("/")
        n = int(n)
        terms = n * n if case in ("product", "square") else n
        row = "%-16s" % key
        for name in names:
            t = results[name]["times"].get(key)
            row += "%16s" % ("-" if t is None else f"{t:.4f}s")
        peers = [results[p]["times"][key] / k["times"][key] for p in names
                 if p not in ("korvu", "float") and results[p]["times"].get(key)]
        row += "%18.1f" % (k["times"][key] / terms * 1e9)
        row += "   " + (f"{min(peers):.2f}x" if peers else "-")
        if "float" in results and results["float"]["times"].get(key):
            row += f"   (float loop: korvu {k['times'][key] / results['float']['times'][key]:.2f}x)"
        print(row)


if __name__ == "__main__":
    main()
