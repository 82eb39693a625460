"""Command line: `python -m korvu --info` describes the installation."""
import argparse
import sys


def _info(korvu):
    print(f"korvu {korvu.__version__}: {korvu.getbanner()}")
    controls = korvu.controls.__dict__
    width = max(len(n) for n in controls)
    print(f"{len(controls)} controls (name, default):")
    for name in sorted(controls):
        print(f"  {name:<{width}}  {controls[name]!r}")


def main(argv=None):
    parser = argparse.ArgumentParser(prog="korvu", description=__doc__)
    parser.add_argument("--info", action="store_true",
                        help="print the library's version, banner and controls")
    args = parser.parse_args(argv)
    import korvu

    if args.info:
        _info(korvu)
        return 0
    parser.print_help()
    return 0


if __name__ == "__main__":
    sys.exit(main())
