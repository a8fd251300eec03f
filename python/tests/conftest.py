"""Shared fixtures: the C++ reference helper and a sample floor plan."""

import json
import os
import subprocess

import numpy as np
import pytest


def _helper_path():
    path = os.environ.get("QUORVANE_PY_REFERENCE", "")
    if path and os.access(path, os.X_OK):
        return path
    # Run from a build tree without CTest: the helper sits beside the module.
    import quorvane_nav2

    beside = os.path.join(os.path.dirname(quorvane_nav2.__file__), "quorvane_py_reference")
    return beside if os.access(beside, os.X_OK) else None


@pytest.fixture(scope="session")
def cpp():
    """Runs the library's C++ API on a JSON request; returns the JSON answer."""
    helper = _helper_path()
    if helper is None:
        pytest.skip("quorvane_py_reference not built (QUORVANE_PY_REFERENCE unset)")

    def run(request):
        done = subprocess.run(
            [helper], input=json.dumps(request), capture_output=True, text=True, check=True
        )
        return json.loads(done.stdout)

    return run


def write_raw(image, path):
    np.ascontiguousarray(image, dtype=np.uint8).tofile(path)
    return {"path": str(path), "rows": image.shape[0], "cols": image.shape[1]}


@pytest.fixture(scope="session")
def plan(cpp, tmp_path_factory):
    """A 400 x 300 sample floor plan, walls at 17 degrees, drawn by the C++ generator."""
    path = tmp_path_factory.mktemp("plan") / "plan.raw"
    cpp({"sample": {"width": 400, "height": 300, "angle": 17.0, "seed": 3, "out": str(path)}})
    return np.fromfile(path, dtype=np.uint8).reshape(300, 400)
