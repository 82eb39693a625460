"""Library errors as Python users see them: the failing call's own text, decodable, without C names."""
import pytest

import korvu


def test_library_texts_do_not_name_c_functions(tmp_path):
    p = korvu.problem(name="texts")
    with pytest.raises(korvu.SolverError) as info:
        p.read(str(tmp_path / "missing.mps"))
    text = str(info.value)
    assert "missing.mps" in text and "KRVU" not in text


def test_undecodable_bytes_in_a_file_reach_python_replaced(tmp_path):
    f = tmp_path / "bad.mps"
    f.write_bytes(b"NAME bad\nROWS\n N obj\n L c1\nCOLUMNS\n x obj 1.0\n x c1 \xff\xfe\nRHS\n rhs c1 4\nENDATA\n")
    p = korvu.problem(name="bytes")
    with pytest.raises(korvu.SolverError) as info:
        p.read(str(f))
    assert "\ufffd" in str(info.value) and "bad.mps:7:" in str(info.value)


def test_a_message_handler_must_be_callable():
    with pytest.raises(korvu.InterfaceError, match="callable"):
        korvu.addcbmsghandler(5, None, 0)
    # Nothing was registered: logging still works.
    p = korvu.problem(name="afterwards")
    p.setControl("timelimit", 7)
    p.dumpcontrols()
    with pytest.raises(korvu.InterfaceError, match="Callback not found"):
        korvu.removecbmsghandler(None, None)


def test_help_of_controls_lists_meaning_and_range():
    doc = type(korvu.controls).__doc__
    line = next(l for l in doc.splitlines() if l.split()[:1] == ["timelimit"])
    assert "[0, " in line and "Time limit" in line
    assert "presolve" in korvu.controls.__doc__
