# Aravis's in-process fake camera as board gige0 (no network).
import time

import numpy as np
import pytest

import qrnacq
from conftest import FORMAT


@pytest.fixture(scope="module")
def camera():
    boards = [b for b in qrnacq.boards() if b.name == "gige0"]
    if not boards:
        pytest.skip("the camera driver is not built (no Aravis)")
    return boards[0]


def test_features_read_write_and_command(camera, sim):
    assert qrnacq.gige.is_camera(camera) and not qrnacq.gige.is_camera(sim)
    assert qrnacq.gige.camera_model(camera) == "Aravis Fake" and qrnacq.gige.camera_error(camera) == ""
    features = {f.name: f for f in qrnacq.gige.features(camera)}
    assert features["PixelFormat"].type == "Enumeration" and features["TriggerSoftware"].type == "Command"
    before = float(qrnacq.gige.get(camera, "ExposureTimeAbs"))
    qrnacq.gige.set(camera, "ExposureTimeAbs", before / 2)
    assert float(qrnacq.gige.get(camera, "ExposureTimeAbs")) == before / 2
    qrnacq.gige.set(camera, "ExposureTimeAbs", before)
    qrnacq.gige.execute(camera, "TriggerSoftware")
    with pytest.raises(qrnacq.errors.qcAcqFifo.BadParams):
        qrnacq.gige.get(camera, "NoSuchFeature")
    with pytest.raises(TypeError):
        qrnacq.gige.features(sim)


def test_grab_grey_and_colour(camera):
    assert "Aravis Fake 2048x2048" in [f.name for f in camera.formats()]
    with camera.fifo(FORMAT, "grey8") as f:
        images = [(image, info) for image, info in f.frames(3, timeout=5, make_local=False)]
    # The stream buffers outlive their FIFO.
    for image, info in images:
        assert not info.failure and image.shape == (480, 640) and not image.flags.writeable
        assert int(image.astype(np.uint32).sum()) >= 0 and not image.base.is_local
    assert images[1][1].trigger_num == images[0][1].trigger_num + 1
    assert images[0][0].ctypes.data == images[0][0].base.address  # the stream buffer itself
    with camera.fifo(FORMAT, "rgb32") as f:
        image, info = next(f.frames(1, timeout=5))
    assert not info.failure and image.shape == (480, 640, 4) and image.dtype == np.uint8


# A started acquisition that times out gives a record that reads like a
# completion whose wait ran out (no trigger number, time stamp or tag): it
# still ends a longer wait, which runs in parts to answer Ctrl-C.
@pytest.mark.parametrize("fifo_timeout", [0.05, 0.25])
@pytest.mark.parametrize("auto_start", [False, True])
def test_a_started_acquisition_timing_out_ends_a_long_wait(camera, fifo_timeout, auto_start):
    with camera.fifo(FORMAT, "grey8") as f:
        f.trigger_model = "Manual"
        f.trigger_enable = False  # the camera's frames are not taken
        f.timeout = fifo_timeout
        if not auto_start:
            f.start(1)
        t0 = time.monotonic()
        image, info = f.complete(timeout=30, auto_start=auto_start)
        took = time.monotonic() - t0
        assert image is None and info.failure.names == ["timeout"] and info.trigger_num == 0
        assert took < 10 and (f.pending, f.completed) == (0, 0)
