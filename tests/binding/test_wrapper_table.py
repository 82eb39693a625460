"""The wrapper members of korvu.problem agree with the table they are made from."""
import inspect
import subprocess
import sys

import pytest

import korvu

TABLE = korvu.korvulib._wrapper_table()
SECTIONS = ("Purpose:", "Synopsis:", "Example:", "Further information:")


@pytest.mark.parametrize("name,args,result,tuple_format", TABLE, ids=[row[0] for row in TABLE])
def test_signature_and_help_follow_the_row(name, args, result, tuple_format):
    method = getattr(korvu.problem, name)
    params = list(inspect.signature(method).parameters.values())[1:]  # without self
    assert [p.name for p in params] == [a[0] for a in args]
    for p, (arg, kind, code, optional) in zip(params, args):
        assert (p.default is None) == optional, arg
        assert p.kind is inspect.Parameter.POSITIONAL_OR_KEYWORD
    doc = method.__doc__
    assert all(s in doc for s in SECTIONS), name
    if args:
        assert "Arguments:" in doc and all(f"  {a[0]}: " in doc for a in args)
    # Output lists say how long they become, by attribute name where there is one.
    for arg, kind, code, optional in args:
        if kind == "out" and "attributes." in doc.split(f"  {arg}: ")[1].split("\n")[0]:
            assert "problem.attributes." in doc


def test_rows_are_unique_and_the_parse_refusals_are_the_interpreters():
    names = [row[0] for row in TABLE]
    assert len(names) == len(set(names))
    p = korvu.problem()
    with pytest.raises(TypeError, match="at most 2 arguments"):
        p.chgobj([0], [1.0], [2])
    with pytest.raises(TypeError, match="unexpected keyword argument 'objx'"):
        p.chgobj(mindex=[0], objx=[1.0])
    with pytest.raises(TypeError, match="given by name"):
        p.chgobj([0], mindex=[0])
    with pytest.raises(TypeError, match="missing required argument 'obj'"):
        p.chgobj([0])


def test_the_engine_library_is_not_shared_with_other_modules():
    # Another extension carrying its own copy of the engine must keep working
    # beside korvu, whichever is imported first.
    pytest.importorskip("highspy")
    code = """
import {first}, {second}
import highspy, korvu
h = highspy.Highs(); h.setOptionValue('output_flag', False)
x = h.addVariable(lb=0, ub=4); h.maximize(x)
v = korvu.var(ub=3); p = korvu.problem(v); p.setObjective(v, sense=korvu.maximize); p.controls.outputlog = 0; p.solve()
print(h.getInfo().objective_function_value, p.getObjVal())
"""
    for first, second in (("korvu", "highspy"), ("highspy", "korvu")):
        r = subprocess.run([sys.executable, "-c", code.format(first=first, second=second)], capture_output=True,
                           text=True)
        assert r.returncode == 0, r.stderr
        assert r.stdout.split()[-2:] == ["4.0", "3.0"]
