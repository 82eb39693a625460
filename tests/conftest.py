import os
import pathlib

import pytest

# Public test models live beside the repository; a fresh clone of the
# project alone does not have them, and tests that need them skip.
INSTANCES = pathlib.Path(
    os.environ.get("KORVU_INSTANCES", pathlib.Path(__file__).resolve().parents[2] / "shared" / "instances")
)


@pytest.fixture
def instances_or_none():
    return INSTANCES if INSTANCES.is_dir() else None


@pytest.fixture
def instances():
    if not INSTANCES.is_dir():
        pytest.skip("public test instances are not available")
    return INSTANCES


@pytest.fixture(autouse=True)
def _output_on():
    # Tests that switch library output off must not leak that into others.
    import korvu

    yield
    korvu.setOutputEnabled(True)
