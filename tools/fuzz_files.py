"""Mutates problem files and reads them back: no crash, no hang, and every model
that reads writes back to files (free MPS, fixed MPS, LP) that read to the same
model.

    python tools/fuzz_files.py [--seconds 60] [--count N] [--seed S] [--keep DIR] [files ...]

Seeds are the given files, or the public instances beside the repository,
plus the files korvu writes from them.  Mutants are read by a worker process:
one that dies or stops answering is a crash or a hang, and the mutant is kept.
Prints a summary line; exits 1 when anything was found.
"""
import argparse
import os
import pathlib
import random
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = pathlib.Path(__file__).resolve().parents[1]
INSTANCES = pathlib.Path(os.environ.get("KORVU_INSTANCES", ROOT.parent / "shared" / "instances"))

WORKER = r'''
import sys, os
import korvu
korvu.setOutputEnabled(False)

def model(p):
    n, m = p.attributes.cols, p.attributes.rows
    lb, ub, obj, types, rhs, rng, ct, start, cols, vals = ([] for _ in range(10))
    if n:
        p.getlb(lb); p.getub(ub); p.getobj(obj, 0, n - 1); p.getcoltype(ct, 0, n - 1)
    if m:
        p.getrowtype(types, 0, m - 1); p.getrhs(rhs, 0, m - 1); p.getrhsrange(rng, 0, m - 1)
        p.getrows(start, cols, vals, 10 ** 8, 0, m - 1)
        cols = [p.getIndex(c) for c in cols]
    rows = [sorted(zip(cols[start[i]:start[i + 1]], vals[start[i]:start[i + 1]])) for i in range(m)]
    return (n, m, lb, ub, obj, ct, types, rhs, rng, rows, p.getnamelist(2) if n else [], p.getnamelist(1) if m else [])

def same_names(back, first):
    # An unnamed row or column has its default name (R7, C3); where a named
    # one has that name too, the writer gives the unnamed one R7_1.
    if back == first:
        return True
    if len(back) != len(first):
        return False
    for a, b in zip(back, first):
        if a != b and not (a.startswith(b + "_") and first.count(b) > 1):
            return False
    return True

def same(a, b):
    return a[:10] == b[:10] and same_names(a[10], b[10]) and same_names(a[11], b[11])

for line in sys.stdin:
    path, flag = line.rstrip("\n").rsplit(" ", 1)
    p = korvu.problem()
    p.controls.outputlog = 0
    try:
        p.read(path, "" if flag == "-" else flag)
    except (korvu.SolverError, korvu.ModelError, korvu.InterfaceError):
        print("refused", flush=True)
        continue
    first = model(p)
    verdict = "read"
    for suffix, wflags in ((".mps", ""), (".mps", "p"), (".lp", "l")):
        out = path + ".again" + suffix
        try:
            p.write(out, wflags)
        except (korvu.SolverError, korvu.ModelError):
            continue  # a model the format cannot hold is refused with a reason
        q = korvu.problem()
        q.controls.outputlog = 0
        try:
            q.read(out)
        except korvu.SolverError as e:
            verdict = f"unreadable {wflags or 'mps'}: {e}"
            break
        finally:
            pass
        if not same(model(q), first):
            a, b = model(q), first
            diff = [k for k in range(len(a)) if a[k] != b[k]]
            verdict = f"changed {wflags or 'mps'} (parts {diff})"
            break
    for suffix in (".mps", ".lp"):
        try:
            os.unlink(path + ".again" + suffix)
        except OSError:
            pass
    print(verdict, flush=True)
'''

NUMBERS = ["0", "-0", "1e400", "-1e400", "1e30", "-1e30", "inf", "-inf", "nan", "1e-400", "7", "-3.5", "1D3",
           "9999999999999999999999", "0x1p3", "", "abc"]


def seeds(paths, workdir):
    files = [pathlib.Path(p) for p in paths] or sorted(
        f for f in INSTANCES.glob("*") if f.suffix in (".mps", ".lp") and f.stat().st_size < 2_000_000)
    out = [f for f in files if f.exists()]
    import korvu
    korvu.setOutputEnabled(False)
    for f in list(out):
        p = korvu.problem()
        p.controls.outputlog = 0
        try:
            p.read(str(f))
        except korvu.SolverError:
            continue
        for suffix, flags in ((".mps", ""), (".mps", "p"), (".lp", "l")):
            w = workdir / f"{f.stem}.written{flags}{suffix}"
            try:
                p.write(str(w), flags)
                out.append(w)
            except (korvu.SolverError, korvu.ModelError):
                pass
    return out


def mutate(data, rnd):
    lines = data.split(b"\n")
    for _ in range(rnd.randint(1, 4)):
        kind = rnd.randrange(7)
        if not lines:
            break
        i = rnd.randrange(len(lines))
        if kind == 0:  # a token becomes an unusual number or text
            toks = lines[i].split()
            if toks:
                toks[rnd.randrange(len(toks))] = rnd.choice(NUMBERS).encode()
                lines[i] = b" ".join(toks)
        elif kind == 1:
            del lines[i]
        elif kind == 2:
            lines.insert(i, lines[rnd.randrange(len(lines))])
        elif kind == 3:  # random bytes
            b = bytearray(lines[i])
            for _ in range(rnd.randint(1, 3)):
                b.insert(rnd.randint(0, len(b)), rnd.randrange(256))
            lines[i] = bytes(b)
        elif kind == 4:  # truncation
            lines = lines[: i + 1]
            lines[-1] = lines[-1][: rnd.randint(0, len(lines[-1]))]
        elif kind == 5:  # a name becomes odd
            toks = lines[i].split()
            if toks:
                toks[0] = rnd.choice([b"001", b"x y", b"-", b"[", b"e1", b"inf", b"N" * 300, b"\xff"])
                lines[i] = b" ".join(toks)
        else:  # swap two lines
            j = rnd.randrange(len(lines))
            lines[i], lines[j] = lines[j], lines[i]
    return b"\n".join(lines)


class Worker:
    def __init__(self, cwd):
        # Away from the source tree, whose korvu/ folder has no compiled module.
        env = dict(os.environ)
        if env.get("PYTHONPATH"):
            env["PYTHONPATH"] = os.pathsep.join(os.path.abspath(p) for p in env["PYTHONPATH"].split(os.pathsep))
        self.proc = subprocess.Popen([sys.executable, "-c", WORKER], stdin=subprocess.PIPE, stdout=subprocess.PIPE, cwd=cwd,
                                     stderr=subprocess.PIPE if os.environ.get("KORVU_FUZZ_DEBUG") else subprocess.DEVNULL, text=True, env=env)

    def ask(self, path, flag, timeout):
        import select
        self.proc.stdin.write(f"{path} {flag}\n")
        self.proc.stdin.flush()
        ready, _, _ = select.select([self.proc.stdout], [], [], timeout)
        if not ready:
            self.proc.kill()
            return "hang"
        line = self.proc.stdout.readline()
        if not line:
            return f"crash (exit {self.proc.wait()})"
        return line.strip()

    def close(self):
        if self.proc.poll() is None:
            self.proc.stdin.close()
            self.proc.wait(10)


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("files", nargs="*")
    ap.add_argument("--seconds", type=float, default=60)
    ap.add_argument("--count", type=int, default=0, help="stop after this many mutants (0: the time decides)")
    ap.add_argument("--seed", type=int, default=None)
    ap.add_argument("--timeout", type=float, default=20, help="seconds a read may take")
    ap.add_argument("--keep", type=pathlib.Path, default=None, help="folder for the mutants that found something")
    args = ap.parse_args(argv)
    rnd = random.Random(args.seed)
    work = pathlib.Path(tempfile.mkdtemp(prefix="krvufuzz"))
    counts = {"refused": 0, "read": 0}
    found = []
    try:
        pool = seeds(args.files, work)
        if not pool:
            print("no seed files")
            return 0
        worker = Worker(work)
        end = time.time() + args.seconds
        n = 0
        while time.time() < end and (not args.count or n < args.count):
            seed = rnd.choice(pool)
            data = mutate(seed.read_bytes(), rnd)
            suffix = seed.suffix
            path = work / f"m{n}{suffix}"
            path.write_bytes(data)
            flag = "l" if suffix == ".lp" else "m"
            verdict = worker.ask(str(path), flag, args.timeout)
            n += 1
            if verdict in counts:
                counts[verdict] += 1
            else:
                found.append((verdict, seed.name, path))
                if args.keep:
                    args.keep.mkdir(parents=True, exist_ok=True)
                    shutil.copy(path, args.keep / path.name)
                if verdict == "hang" or verdict.startswith("crash"):
                    worker = Worker(work)
            path.unlink()
        worker.close()
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print(f"{n} mutants: {counts['read']} read and round-tripped, {counts['refused']} refused, {len(found)} faults")
    for verdict, seed, path in found[:20]:
        print(f"  {verdict}  (from {seed}; {path.name})")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
