"""Module frame: constants, exceptions, types, library lifecycle and output."""
import subprocess
import sys
import textwrap

import numpy as np
import pytest

import korvu

CONSTANTS = {
    "continuous": 0, "binary": 1, "integer": 2, "semicontinuous": 3, "semiinteger": 4,
    "partiallyinteger": 5, "minimize": 1, "maximize": -1, "leq": 1, "geq": 2, "eq": 3,
    "range": 4, "solinfo_absprimalinfeas": 0, "solinfo_relprimalinfeas": 1,
    "solinfo_absdualinfeas": 2, "solinfo_reldualinfeas": 3, "solinfo_maxmipfractional": 4,
    "basis_nonbasic_lower": 0, "basis_basic": 1, "basis_nonbasic_upper": 2,
    "basis_superbasic": 3, "lp_unstarted": 0, "lp_optimal": 1, "lp_infeas": 2, "lp_cutoff": 3,
    "lp_unfinished": 4, "lp_unbounded": 5, "lp_cutoff_in_dual": 6, "lp_unsolved": 7,
    "lp_nonconvex": 8, "mip_not_loaded": 0, "mip_lp_not_optimal": 1, "mip_lp_optimal": 2,
    "mip_no_sol_found": 3, "mip_solution": 4, "mip_infeas": 5, "mip_optimal": 6,
    "mip_unbounded": 7, "nlp_unstarted": 0, "nlp_solution": 1, "nlp_locally_optimal": 1,
    "nlp_globally_optimal": 2, "nlp_locally_infeasible": 3, "nlp_infeasible": 4,
    "nlp_unbounded": 5, "nlp_unfinished": 6, "stop_timelimit": 1, "stop_ctrlc": 2,
    "stop_nodelimit": 3, "stop_iterlimit": 4, "stop_mipgap": 5, "stop_sollimit": 6,
    "stop_user": 9, "type_notdefined": 0, "type_int": 1, "type_int64": 2, "type_double": 3,
    "type_string": 4, "colinfo_value": 1, "colinfo_rdj": 2, "colinfo_deltaindex": 3,
    "colinfo_delta": 4, "colinfo_deltadj": 5, "colinfo_updaterow": 6, "colinfo_sb": 7,
    "colinfo_sbdual": 8, "rowinfo_slack": 1, "rowinfo_dual": 2, "rowinfo_numpenaltyerrors": 3,
    "rowinfo_maxpenaltyerror": 4, "rowinfo_totalpenaltyerror": 5,
    "rowinfo_currentpenaltyerror": 6, "rowinfo_currentpenaltyfactor": 7,
    "rowinfo_penaltycolumnplus": 8, "rowinfo_penaltycolumnplusvalue": 9,
    "rowinfo_penaltycolumnplusdj": 10, "rowinfo_penaltycolumnminus": 11,
    "rowinfo_penaltycolumnminusvalue": 12, "rowinfo_penaltycolumnminusdj": 13,
    "msset_initialvalues": 0, "msset_initialfiltered": 6, "msset_solvers": 1,
    "msset_slp_basic": 2, "msset_slp_extended": 3, "msset_ipm_basic": 4,
    "msset_ipm_extended": 5, "gencons_max": 0, "gencons_min": 1, "gencons_and": 2,
    "gencons_or": 3, "gencons_abs": 4,
}


def test_constants_have_their_values_and_types():
    assert len(CONSTANTS) + 1 == 92  # with infinity
    for name, value in CONSTANTS.items():
        got = getattr(korvu, name)
        assert got == value and type(got) is int, name
    assert korvu.infinity == 1e20 and type(korvu.infinity) is float


def test_registered_and_hidden_names():
    for name in ("var", "sos", "constraint", "problem", "poolcut", "controls",
                 "ModelError", "InterfaceError", "SolverError"):
        assert hasattr(korvu, name), name
    for name in ("expression", "linterm", "quadterm", "nonlinear", "control", "attribute"):
        assert not hasattr(korvu, name), name
    for exc in (korvu.ModelError, korvu.InterfaceError, korvu.SolverError):
        assert issubclass(exc, Exception)
    assert korvu.ModelError.__module__ == "korvu"


def test_help_texts_have_sections():
    for fn in (korvu.getversion, korvu.setOutputEnabled, korvu.addcbmsghandler,
               korvu.getlasterror, korvu.problem.getControl):
        doc = fn.__doc__
        assert "Purpose:" in doc and "Synopsis:" in doc and "Example:" in doc, fn


def test_version_banner_and_modes():
    assert korvu.getversion().count(".") == 2
    assert "libkrvu" in korvu.getbanner()
    korvu.setcheckedmode(1)  # only True itself switches checks on
    assert korvu.getcheckedmode() is False
    korvu.setcheckedmode(True)
    assert korvu.getcheckedmode() is True
    assert korvu.setarchconsistency(0) is None
    assert korvu.setarchconsistency(None) is None
    assert korvu.getlasterror()[0] in (0, *range(1, 10))


def test_free_then_new_start():
    korvu.free()
    korvu.free()  # a stop when stopped is harmless
    p = korvu.problem()
    assert p.getAttrib("cols") == 0
    korvu.init()
    korvu.init()  # forced starts do not register the output twice
    assert korvu.getversion()


def test_output_switch(capfd):
    assert korvu.getOutputEnabled() is True
    with pytest.raises(korvu.ModelError, match="should be True or False"):
        korvu.setOutputEnabled("yes")
    assert korvu.getOutputEnabled() is True
    korvu.setOutputEnabled(np.int32(0))
    assert korvu.getOutputEnabled() is False
    p = korvu.problem()
    p.setControl("timelimit", 5)
    capfd.readouterr()
    korvu.setOutputEnabled(True)
    korvu.setOutputEnabled(np.bool_(True))
    assert korvu.getOutputEnabled() is True


def _run(code):
    """Runs code in a fresh interpreter and returns its standard output."""
    proc = subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True,
                          text=True, timeout=120)
    assert proc.returncode == 0, proc.stderr
    return proc.stdout


def test_long_problem_message_reaches_stdout_whole():
    # A 2,500-character string control is echoed by dumpcontrols through the
    # problem printer, which writes in pieces of 1,000 characters.
    out = _run("""
        import korvu
        p = korvu.problem()
        p.setControl('logfile', 'x' * 2500)
        p.dumpcontrols()
    """)
    line = [l for l in out.splitlines() if l.startswith("logfile")][0]
    assert line == "logfile = " + "x" * 2500


def test_message_handler_receives_and_is_removed():
    seen = []

    def handler(obj, data, thread, text, typ, number):
        seen.append((type(obj).__name__, data, text, typ))

    p = korvu.problem()
    p.setControl("timelimit", 7)
    korvu.addcbmsghandler(handler, "tag", 0)
    try:
        p.dumpcontrols()
    finally:
        korvu.removecbmsghandler(handler, None)
    assert ("krvuobject", "tag", "timelimit = 7", 1) in seen
    seen.clear()
    p.dumpcontrols()
    assert seen == []
    with pytest.raises(korvu.InterfaceError, match="Callback not found"):
        korvu.removecbmsghandler(handler, None)
    with pytest.raises(korvu.InterfaceError, match="three arguments"):
        korvu.addcbmsghandler(handler, None)
    with pytest.raises(korvu.InterfaceError, match="two arguments"):
        korvu.removecbmsghandler(handler)


def test_message_handler_exception_surfaces():
    def handler(*args):
        raise KeyError("from handler")

    p = korvu.problem()
    p.setControl("timelimit", 7)
    korvu.addcbmsghandler(handler, None, 0)
    try:
        with pytest.raises(KeyError, match="from handler"):
            p.dumpcontrols()
    finally:
        korvu.removecbmsghandler(None, None)


def test_default_control_helpers():
    assert korvu.setdefaultcontrol("no_such_control") is None
    assert korvu.setdefaultcontrol(["unhashable"]) is None
    korvu.controls.threads = 2
    korvu.setdefaultcontrol("threads")
    assert korvu.problem().controls.threads == 0
    korvu.controls.threads = 2
    korvu.setdefaults()
    assert korvu.problem().controls.threads == 0
    # setdefaults forgets the nonlinear postsolve default too
    assert korvu.problem().getControl("kslp_postsolve") == 0
    korvu.controls.kslp_postsolve = 1
    assert korvu.problem().getControl("kslp_postsolve") == 1


def test_import_is_fast():
    out = _run("""
        import time
        t = time.perf_counter()
        import korvu
        print(time.perf_counter() - t)
    """)
    assert float(out) < 2.0  # a generous bound; the figure is reported by the benchmark


def test_failed_start_raises_and_leaves_the_count(tmp_path):
    # A malformed site defaults file makes the library refuse to start: import
    # still works (the tables are filled at the first successful start), a
    # problem raises InterfaceError, and a repaired file lets the next start work.
    bad = tmp_path / "bad.txt"
    bad.write_text("threads = many\n")
    good = tmp_path / "good.txt"
    good.write_text("threads = 3\n")
    out = _run(f"""
        import os
        os.environ["KRVU_DEFAULTS"] = {str(bad)!r}
        import korvu
        for _ in range(2):
            try:
                korvu.problem()
            except korvu.InterfaceError as e:
                print("refused:", e)
        os.environ["KRVU_DEFAULTS"] = {str(good)!r}
        p = korvu.problem()
        print("threads", p.controls.threads, len(p.getControl()) > 20)
        korvu.free()
        q = korvu.problem()
        print("again", q.controls.threads)
    """)
    lines = out.splitlines()
    assert lines[0].startswith("refused:") and "bad.txt:1:" in lines[0]
    assert lines[1].startswith("refused:")
    assert lines[2] == "threads 3 True"
    assert lines[3] == "again 3"
