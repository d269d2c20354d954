# Library exceptions as Python exceptions, and bad arguments.
import numpy as np
import pytest

import qrnacq
from conftest import FORMAT


def test_library_exceptions_carry_class_number_and_detail(fifo):
    with pytest.raises(qrnacq.errors.qcExposureProp.BadParams) as e:
        fifo.exposure = -1
    err = e.value
    assert isinstance(err, qrnacq.Error)
    assert err.class_name == "qcExposureProp::BadParams" and err.error_number == 0x10000985
    assert err.message == "qcExposureProp::BadParams" and "below" in err.detail and err.detail in str(err)
    assert type(err).__qualname__ == "qcExposureProp.BadParams"
    assert qrnacq.errors.classes["qcAcqFifo::BadParams"] is qrnacq.errors.qcAcqFifo.BadParams
    with pytest.raises(qrnacq.errors.qcVideoFormat.NotFound):
        qrnacq.format("Sony XC75 64x480")
    with pytest.raises(qrnacq.errors.qcBoard.BadParams):
        qrnacq.board(999)


@pytest.mark.parametrize(
    "call,exc",
    [
        (lambda f: f.set_input_lut(np.arange(256, dtype=np.int32)), TypeError),
        (lambda f: f.set_input_lut(np.zeros((16, 16), np.uint8)), ValueError),
        (lambda f: f.set_input_lut(np.zeros(1000, np.uint8)), qrnacq.errors.qc8BitInputLutProp.BadParams),
        (lambda f: setattr(f, "roi", (0, 0, -5, 10)), ValueError),
        (lambda f: f.start(-1), ValueError),
        (lambda f: setattr(f, "trigger_model", "Bogus"), ValueError),
        (lambda f: setattr(f, "on_complete", 5), TypeError),
        (lambda f: f.set_contrast(2.0), qrnacq.errors.qcContrastBrightnessProp.BadParams),
        (lambda f: f.set_custom("Bogus", 1), qrnacq.errors.qcAcqFifo.BadParams),
        (lambda f: f.hardware_image_pool_size.__class__ and setattr(f, "hardware_image_pool_size", 1),
         qrnacq.errors.qcAcqFifo.BadParams),
        (lambda f: f.complete(timeout=-1), ValueError),
        (lambda f: f.restore_properties(b"not an archive"), qrnacq.errors.qcArchive.BadData),
        (lambda f: qrnacq.sim.inject(f, "bogus"), qrnacq.errors.qcAcqFifo.BadParams),
    ],
)
def test_bad_arguments_raise(fifo, call, exc):
    with pytest.raises(exc):
        call(fifo)


@pytest.mark.parametrize(
    "call,exc,name",
    [
        (lambda f: qrnacq.board(None), TypeError, "which"),
        (lambda f: qrnacq.board(1.0), TypeError, "which"),
        (lambda f: qrnacq.formats(5), TypeError, "board"),
        (lambda f: f.complete(timeout="1"), TypeError, "timeout"),
        (lambda f: f.frames("3"), TypeError, "count"),
        (lambda f: f.frames(2**63), ValueError, "count"),
        (lambda f: f.start(1.5), TypeError, "count"),
        (lambda f: f.prepare("soon"), TypeError, "seconds"),
        (lambda f: qrnacq.sim.inject(f, "timeout", channel="0"), TypeError, "channel"),
    ],
)
def test_wrong_argument_types_name_the_argument(fifo, call, exc, name):
    with pytest.raises(exc, match=rf"^{name} "):
        call(fifo)


@pytest.mark.parametrize("name", ["classes", "class_of", "", "qcAcqFifo::", "::BadParams", "a b", "qcX::__dict__"])
def test_class_of_refuses_what_cannot_be_a_class_name(name):
    with pytest.raises(ValueError, match="not the name of a library exception class"):
        qrnacq.errors.class_of(name)
    assert isinstance(qrnacq.errors.classes, dict) and callable(qrnacq.errors.class_of)


def test_class_of_makes_a_class_once():
    made = qrnacq.errors.class_of("qcSomething::NotThrownYet")
    assert made is qrnacq.errors.class_of("qcSomething::NotThrownYet") is qrnacq.errors.qcSomething.NotThrownYet
    assert issubclass(made, qrnacq.Error) and made.__qualname__ == "qcSomething.NotThrownYet"
    assert qrnacq.errors.class_of("qcAcqFifo::BadParams") is qrnacq.errors.qcAcqFifo.BadParams


def test_bad_names(sim):
    with pytest.raises(ValueError, match="unknown image format"):
        sim.fifo(FORMAT, "grey9")
    with pytest.raises(TypeError):
        sim.fifo(42)
    with pytest.raises(ValueError):
        qrnacq.board("nope0")
