"""Command line: solve a model file, or describe the installation.

    python -m korvu model.mps            read, solve, print status, objective, values
    python -m korvu model.lp --timelimit 60 --quiet
    python -m korvu --info               version, banner and every control
"""
import argparse
import sys


_STOPS = {1: "time limit", 2: "interrupted (Ctrl-C)", 3: "node limit", 4: "iteration limit",
          5: "MIP gap reached", 6: "solution limit", 9: "stopped by the user"}


class _Usage(Exception):
    """A command-line argument that cannot be used (exit status 2)."""


def _info(korvu):
    print(f"korvu {korvu.__version__}: {korvu.getbanner()}")
    print(type(korvu.controls).__doc__)


def _set_control(korvu, p, setting):
    name, eq, text = setting.partition("=")
    name = name.strip().lower()
    if not eq or not name:
        raise _Usage(f"--control {setting!r}: expected NAME=VALUE")
    try:
        current = p.getControl(name)
    except (korvu.ModelError, korvu.InterfaceError, korvu.SolverError) as e:
        raise _Usage(f"--control {setting!r}: {e}") from None
    try:
        value = type(current)(text) if not isinstance(current, int) else int(text, 0)
    except ValueError:
        kind = {int: "an integer", float: "a number"}.get(type(current), "a text")
        raise _Usage(f"--control {setting!r}: {name} takes {kind}, not {text!r}") from None
    try:
        p.setControl(name, value)
    except (korvu.ModelError, korvu.InterfaceError, korvu.SolverError) as e:
        raise _Usage(f"--control {setting!r}: {e}") from None


def _solve(korvu, args):
    p = korvu.problem()
    if args.quiet:
        p.controls.outputlog = 0
    for setting in args.control or []:
        _set_control(korvu, p, setting)
    if args.timelimit is not None:
        p.controls.timelimit = args.timelimit
    p.read(args.file)
    p.solve()
    a = p.attributes
    print(f"problem {p.name()}: {a.rows} rows, {a.cols} columns, {a.elems} nonzeros")
    status = p.getProbStatusString()
    stop = a.stopstatus
    print(f"status: {status}" + (f" (stopped early: {_STOPS.get(stop, stop)})" if stop else ""))
    if status in ("lp_optimal", "mip_optimal", "mip_solution", "lp_unfinished"):
        print(f"objective: {p.getObjVal():.10g}")
        x = p.getSolution()
        nonzero = [(v, val) for v, val in zip(p.getVariable(), x) if abs(val) > 1e-9]
        shown = nonzero[: args.values]
        print(f"{len(nonzero)} nonzero values" + (f", the first {len(shown)}:" if shown else ""))
        for v, val in shown:
            print(f"  {str(v):<20} {val:.10g}")
    if stop == 2:
        return 130
    return 0 if status not in ("lp_infeas", "mip_infeas", "lp_unbounded", "mip_unbounded") else 1


def main(argv=None):
    parser = argparse.ArgumentParser(prog="korvu", description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("file", nargs="?", help="an MPS or LP file (optionally .gz)")
    parser.add_argument("--info", action="store_true",
                        help="print the library's version, banner and controls")
    parser.add_argument("--timelimit", type=float, help="time limit in seconds")
    parser.add_argument("--control", action="append", metavar="NAME=VALUE",
                        help="set a control (repeatable)")
    parser.add_argument("--values", type=int, default=10, help="nonzero values to print")
    parser.add_argument("--quiet", action="store_true", help="no solver log")
    args = parser.parse_args(argv)
    import korvu

    try:
        if args.info:
            _info(korvu)
            return 0
        if not args.file:
            parser.print_help()
            return 2
        return _solve(korvu, args)
    except _Usage as e:
        print(f"korvu: {e}", file=sys.stderr)
        return 2
    except BrokenPipeError:
        # The reader went away (korvu --info | head): nothing more to say.
        import os
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return 0
    except (korvu.ModelError, korvu.InterfaceError, korvu.SolverError, OSError) as e:
        print(f"korvu: {e}", file=sys.stderr)
        return 2


if __name__ == "__main__":
    sys.exit(main())
