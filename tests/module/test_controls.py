"""Controls and attributes: the module-level defaults and a problem's own."""
import pytest

import korvu


@pytest.fixture(autouse=True)
def _restore_defaults():
    yield
    korvu.setdefaults()
    korvu.controls.kslp_postsolve = 1


def test_module_defaults_reach_later_problems_only():
    earlier = korvu.problem()
    korvu.controls.threads = 5
    korvu.controls.timelimit = 7          # an integer is accepted for a double control
    later = korvu.problem()
    assert later.controls.threads == 5 and later.getControl("timelimit") == 7.0
    assert earlier.controls.threads == 0
    assert korvu.controls.threads == 5
    assert korvu.problem().controls.kslp_postsolve == 1


def test_module_controls_refusals_store_nothing():
    with pytest.raises(korvu.ModelError,
                       match="Cannot set non-numerical value to a floating-point control"):
        korvu.controls.timelimit = "x"
    with pytest.raises(korvu.ModelError, match="Cannot set non-integer value to an integer"):
        korvu.controls.threads = 2.5
    with pytest.raises(korvu.ModelError, match="Cannot set non-string value to a string"):
        korvu.controls.logfile = 3
    with pytest.raises(korvu.InterfaceError, match="Incorrect control name"):
        korvu.controls.no_such_control = 1
    with pytest.raises(korvu.InterfaceError, match="Incorrect control name"):
        korvu.controls.TIMELIMIT = 1.0
    assert korvu.controls.timelimit == korvu.infinity
    assert korvu.problem().controls.threads == 0
    # The module-level dictionary holds the values read at start.
    assert korvu.controls.__dict__["feastol"] == 1e-6
    assert "timelimit" in str(korvu.controls)


def test_problem_controls_and_attributes():
    p = korvu.problem()
    p.controls.presolve = 0
    assert p.getControl("presolve") == 0
    assert p.getControl("presolve", "threads") == {"presolve": 0, "threads": 0}
    assert p.getControl(["presolve"]) == {"presolve": 0}
    assert p.getControl(iter(["threads"])) == {"threads": 0}
    everything = p.getControl()
    assert set(everything) == set(p.controls.__dict__)
    assert p.controls.__dict__ is korvu.problem().controls.__dict__   # the shared table
    with pytest.raises(korvu.InterfaceError, match="Incorrect control name"):
        p.controls.TimeLimit
    with pytest.raises(korvu.InterfaceError, match="Requested value of an unknown control"):
        p.getControl("nope")
    assert not hasattr(p.controls, "__len__")      # special names keep Python's protocol
    with pytest.raises(korvu.ModelError, match="A problem's attribute cannot be set"):
        p.attributes.cols = 3
    with pytest.raises(korvu.InterfaceError, match="Incorrect attribute name"):
        p.attributes.no_such
    assert p.attributes.cols == 0 and p.getAttrib("rows") == 0
    assert p.getAttrib("probname") == "noname"
    attrs = p.getAttrib()
    assert attrs["kslp_nocolumn"] == -1 and "lpstatus" in attrs


def test_set_control_forms():
    p = korvu.problem()
    assert p.setControl({}) is None
    p.setControl("timelimit", 3)
    p.setControl({"presolve": 0, "threads": 2})
    assert (p.controls.timelimit, p.controls.presolve, p.controls.threads) == (3.0, 0, 2)
    with pytest.raises(korvu.ModelError, match="at least one argument"):
        p.setControl()
    with pytest.raises(korvu.ModelError, match="Single argument to setControl must be a dict"):
        p.setControl("timelimit")
    with pytest.raises(korvu.ModelError, match="arguments mismatch"):
        p.setControl("a", 1, 2)
    with pytest.raises(korvu.InterfaceError, match="Incorrect control name"):
        p.setControl("TIMELIMIT", 1.0)
    # Dictionary entries are set in order and setting stops at the first failure.
    with pytest.raises(korvu.ModelError):
        p.setControl({"threads": 4, "presolve": "yes", "randomseed": 9})
    assert p.controls.threads == 4 and p.controls.randomseed == 0
    # A value out of the control's range is the library's refusal, with its text.
    with pytest.raises(korvu.SolverError, match="feastol"):
        p.controls.feastol = -1.0
    assert p.controls.feastol == 1e-6
