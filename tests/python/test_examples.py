# The examples run to the end.
import os
import pathlib
import subprocess
import sys

import pytest

import qrnacq

EXAMPLES = sorted((pathlib.Path(__file__).resolve().parents[2] / "examples" / "python").glob("*.py"))


@pytest.mark.parametrize("script", EXAMPLES, ids=[p.stem for p in EXAMPLES])
def test_example_runs(script, tmp_path):
    env = dict(os.environ, PYTHONPATH=str(pathlib.Path(qrnacq.__file__).parent))
    r = subprocess.run([sys.executable, str(script)], cwd=tmp_path, env=env, capture_output=True, text=True,
                       timeout=60)
    assert r.returncode == 0, r.stderr
    assert r.stdout.strip()
