# The process's environment, set before qrnacq is first imported: the build
# tree's drivers, no registry store (one simulated board with its defaults),
# Aravis's in-process fake camera as board gige0, and a directory of camera
# configuration files of our own.
import os
import pathlib
import shutil
import tempfile

import pytest

_SOURCE = pathlib.Path(os.environ.get("QRN_TEST_SOURCE_DIR", pathlib.Path(__file__).resolve().parents[2]))
_CCF_DIR = pathlib.Path(tempfile.mkdtemp(prefix="qrnpy-ccf-"))
shutil.copy(_SOURCE / "examples" / "ccf" / "northlake_cl4_areascan.ccf", _CCF_DIR)

os.environ["QUORIN_REGISTRY_FILE"] = str(_CCF_DIR / "no-such-registry.reg")
os.environ["QUORIN_GIGE_CAMERAS"] = "fake"
os.environ["QUORIN_SYSTEM_PATH"] = str(_CCF_DIR)
os.environ.pop("QUORIN_PATH", None)
os.environ.pop("QUORIN_DISALLOW_CCF_READING", None)

import numpy as np  # noqa: E402
import qrnacq  # noqa: E402

FORMAT = "Sony XC75 640x480"


@pytest.fixture(scope="session")
def source_dir():
    return _SOURCE


@pytest.fixture(scope="session")
def ccf_dir():
    return _CCF_DIR


@pytest.fixture(scope="session")
def sim():
    return qrnacq.board("sim0")


@pytest.fixture
def fifo(sim):
    """A grey FIFO on the simulated board, frames as fast as asked, identity lookup table,
    contrast 0: 8-bit pels are the test image's values."""
    with sim.fifo(FORMAT, "grey8") as f:
        exact(f)
        yield f


def exact(f, **items):
    qrnacq.sim.configure(f, **{"FramePeriod": 0, **items})
    f.set_contrast(0)
    if f.lut_entries:
        f.set_input_lut(np.arange(256, dtype=np.uint8))


def grab(f, timeout=5.0, **kw):
    f.start(1)
    image, info = f.complete(timeout=timeout, **kw)
    return image, info
