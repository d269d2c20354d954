# What makes the module feel like Python: docstrings, reprs and a type stub
# that names everything the module has.
import ast
import inspect
import pathlib
import shutil
import subprocess
import sys

import pytest

import qrnacq

SOURCE = pathlib.Path(__file__).resolve().parents[2]
STUBS = SOURCE / "python" / "stubs" / "qrnacq-stubs"


def public(obj):
    return [n for n in dir(obj) if not n.startswith("_")]


def stub_names(path):
    tree = ast.parse(path.read_text())
    names, members = set(), {}
    for node in tree.body:
        if isinstance(node, (ast.FunctionDef, ast.ClassDef)):
            names.add(node.name)
        elif isinstance(node, ast.AnnAssign):
            names.add(node.target.id)
        elif isinstance(node, ast.ImportFrom):
            names.update(a.asname or a.name for a in node.names)
        if isinstance(node, ast.ClassDef):
            members[node.name] = {n.name if not isinstance(n, ast.AnnAssign) else n.target.id
                                  for n in node.body if isinstance(n, (ast.FunctionDef, ast.AnnAssign))}
    return names, members


def test_stub_declares_every_public_name():
    names, members = stub_names(STUBS / "__init__.pyi")
    assert set(public(qrnacq)) - names == set()
    for cls in ("Fifo", "Board", "VideoFormat", "Image", "AcquireInfo", "Failure", "CdbFile", "CdbRecord",
                "BayerConverter"):
        assert set(public(getattr(qrnacq, cls))) - members[cls] == set(), cls
    for sub in ("ccf", "gige", "sim"):
        sub_names, _ = stub_names(STUBS / f"{sub}.pyi")
        assert set(public(getattr(qrnacq, sub))) - sub_names == set(), sub


def test_every_public_function_and_class_has_a_docstring():
    undocumented = []
    for space in (qrnacq, qrnacq.ccf, qrnacq.gige, qrnacq.sim):
        for name in public(space):
            obj = getattr(space, name)
            if inspect.isclass(obj) and issubclass(obj, qrnacq.Error):
                continue
            if not (obj.__doc__ or "").strip():
                undocumented.append(f"{space.__name__}.{name}")
            if inspect.isclass(obj) and True:
                for member in public(obj):
                    if member == "value" and issubclass(obj, qrnacq.ImageFormat):
                        continue
                    if not (getattr(obj, member).__doc__ or "").strip():
                        undocumented.append(f"{name}.{member}")
    assert undocumented == []
    assert "complete" in qrnacq.Fifo.complete.__doc__


def test_reprs_say_what_an_object_is(fifo):
    assert repr(fifo).startswith('<qrnacq.Fifo "Sony XC75 640x480" grey8, trigger Manual')
    assert repr(qrnacq.format("Sony XC75 640x480")) == '<qrnacq.VideoFormat "Sony XC75 640x480" 640x480 grey8>'
    image, info = next(fifo.frames(1, timeout=5))
    assert repr(image.base) == "<qrnacq.Image grey8 640x480>" and repr(info).startswith("<qrnacq.AcquireInfo trigger 1")
    assert str(qrnacq.ImageFormat.ThreePlane) == "ImageFormat.ThreePlane"


def test_stubs_and_examples_pass_mypy(tmp_path):
    pytest.importorskip("mypy", reason="mypy checks the stubs (Debian: mypy)")
    # The stubs as the package qrnacq, as a type checker finds them installed.
    package = tmp_path / "stubs" / "qrnacq"
    shutil.copytree(STUBS, package)
    examples = sorted(str(p) for p in (SOURCE / "examples" / "python").glob("*.py"))
    r = subprocess.run([sys.executable, "-m", "mypy", "--no-incremental", "--cache-dir", str(tmp_path / "cache"),
                        str(package), *examples], env={"MYPYPATH": str(package.parent), "PATH": "/usr/bin:/bin"},
                       cwd=tmp_path, capture_output=True, text=True, timeout=240)
    assert r.returncode == 0, r.stdout + r.stderr
