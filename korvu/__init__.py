"""korvu: mathematical optimization modelling for Python.

Build LP, MIP, QP and nonlinear models with ordinary operators and NumPy
arrays, solve them, and read solutions, duals and statistics.
"""
import ctypes as _ctypes
import os as _os


def _preload_engine():
    # The extension finds the engine through its run path when installed
    # beside the highsbox package; an in-tree build may not, so load the
    # engine's library first by its full path.
    try:
        import highsbox
    except ImportError:
        return
    lib = _os.path.join(highsbox.highs_lib_dir(), "libhighs.so")
    if _os.path.exists(lib):
        try:
            _ctypes.CDLL(lib, mode=_ctypes.RTLD_LOCAL)
        except OSError:
            pass


_preload_engine()

from korvu.korvulib import *  # noqa: E402,F401,F403
from korvu import korvulib as _korvulib  # noqa: E402

__version__ = "0.1.0"

# Names that `import *` does not carry (they start with no underscore but
# the extension registers them as plain attributes anyway).
controls = _korvulib.controls
ModelError = _korvulib.ModelError
InterfaceError = _korvulib.InterfaceError
SolverError = _korvulib.SolverError
