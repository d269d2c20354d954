# The acquisition road on the simulated board: boards, formats, every image
# kind, properties reaching the pels, failures, property sets.
import time

import numpy as np
import pytest

import qrnacq
from conftest import FORMAT, exact, grab


def test_boards_and_formats(sim):
    boards = qrnacq.boards()
    assert "sim0" in [b.name for b in boards] and sim.channels == 2
    assert [b.index for b in boards] == list(range(len(boards)))
    assert qrnacq.board(sim.index).name == "sim0" and "sim0" in repr(sim) and sim.id
    names = [f.name for f in qrnacq.formats()]
    assert names == sorted(names) and FORMAT in names
    fmt = qrnacq.format(FORMAT)
    assert (fmt.width, fmt.height, fmt.depth) == (640, 480, 8)
    # Filters as `qacq formats`: a board's formats, and by image format.
    assert fmt in sim.formats() and fmt in sim.formats("rgb32")
    every = qrnacq.formats()
    for imf in {f.image_format for f in every}:
        assert qrnacq.formats(image_format=imf) == [f for f in every if f.image_format == imf]
    assert sim.supports(FORMAT, "3plane")
    # Formats read from camera configuration files are in the catalogue.
    ccf = [f for f in qrnacq.formats() if f.from_ccf]
    assert ccf and ccf[0] in sim.formats()


FLAT = 200
KINDS = [
    ("grey8", (480, 640), np.uint8, FLAT),
    ("raw8", (480, 640), np.uint8, FLAT),
    ("grey16", (480, 640), np.uint16, FLAT * 257),
    ("grey10", (480, 640), np.uint16, FLAT * 257 >> 6),
    ("grey12", (480, 640), np.uint16, FLAT * 257 >> 4),
    ("rgb16", (480, 640), np.uint16, (FLAT >> 3) << 11 | (FLAT >> 2) << 5 | FLAT >> 3),
    ("rgb32", (480, 640, 4), np.uint8, None),
    ("3plane", (3, 480, 640), np.uint8, FLAT),
]


@pytest.mark.parametrize("kind,shape,dtype,value", KINDS)
def test_every_image_kind(sim, kind, shape, dtype, value):
    with sim.fifo(FORMAT, kind) as f:
        exact(f, TestImage="flat", FlatValue=FLAT)
        image, info = grab(f)
        assert not info.failure and info.trigger_num == 1
        assert image.shape == shape and image.dtype == dtype
        if kind == "rgb32":
            assert (image[..., :3] == FLAT).all()
        else:
            assert (image == value).all()
        assert image.base.image_format.short_name == kind


def test_colour_kinds_keep_their_components_apart(sim):
    with sim.fifo(FORMAT, "3plane") as f3, sim.fifo(FORMAT, "rgb32") as f32:
        for f in (f3, f32):
            exact(f, TestImage="color")
        planes, _ = grab(f3)
        packed, _ = grab(f32)
    x = np.arange(640)
    red = 255 * x // 639
    assert (planes[0] == red).all() and (planes[2] == 255 - red).all()
    assert (planes[1][:, 0] == 255 * np.arange(480) // 479).all()
    # Packed RGB32 is blue, green, red, alpha in memory.
    assert (packed[..., 2] == planes[0]).all() and (packed[..., 0] == planes[2]).all()


def test_properties_reach_the_image(fifo):
    qrnacq.sim.configure(fifo, TestImage="flat", FlatValue=200)
    base, _ = grab(fifo)
    fifo.exposure = fifo.exposure / 2
    halved, _ = grab(fifo)
    assert (base == 200).all() and (halved == 100).all()
    fifo.exposure = 0.01
    fifo.set_input_lut(255 - np.arange(256, dtype=np.uint8))
    mapped, _ = grab(fifo)
    assert (mapped == 55).all()
    assert (fifo.input_lut(0) == 255 - np.arange(256)).all()


def test_roi_crops_and_strides_follow_the_window(fifo):
    qrnacq.sim.configure(fifo, TestImage="gradient")
    fifo.roi = (10, 20, 100, 50)
    assert fifo.roi == (10, 20, 100, 50) and fifo.actual_roi == (10, 20, 100, 50)
    image, info = grab(fifo, make_local=False)
    assert image.shape == (50, 100) and image.base.offset == (10, 20)
    assert image.strides[0] == image.base.row_bytes and image.strides[1] == 1
    n = info.trigger_num
    y, x = np.mgrid[0:50, 0:100]
    assert (image == (x + 10 + y + 20 + n) % 256).all()


def test_properties_by_name_and_value(fifo):
    fifo.timeout = 2.5
    fifo.strobe_enable = True
    fifo.strobe_pulse_duration = 1e-4
    fifo.strobe_high = False
    fifo.strobe_delay = 1e-3
    fifo.set_contrast(0.25, 0)
    fifo.set_brightness(0.75)
    fifo.hardware_image_pool_size = 8
    assert (fifo.timeout, fifo.strobe_enable, fifo.strobe_pulse_duration, fifo.strobe_high, fifo.strobe_delay) == (
        2.5, True, 1e-4, False, 1e-3)
    assert fifo.contrast(0) == 0.25 and fifo.brightness(fifo.taps - 1) == 0.75
    assert fifo.hardware_image_pool_size == 8 and fifo.default_hardware_image_pool_size == 4
    for name, model in [("semi", "Semi-Automatic"), ("FreeRun", "FreeRun"), ("manual", "Manual")]:
        fifo.trigger_model = name
        assert fifo.trigger_model == model
    fifo.trigger_enable = False
    assert not fifo.trigger_enable
    assert "qcExposureProp" in fifo.supported_properties()
    caps = fifo.capabilities()
    assert caps["strobe_enable"] and caps["max_trigger_delay"] > 0
    assert fifo.is_valid() == (True, [])
    fifo.trigger_model = "Slave"
    ok, problems = fifo.is_valid()
    assert not ok and "slaveTriggerNoMaster" in problems


def test_trigger_and_acquire_info(fifo):
    fifo.trigger_model = "Automatic"
    fifo.set_custom("AppTag", 42)
    qrnacq.sim.fire_input_line(fifo)
    image, info = fifo.complete(timeout=5)
    assert image is not None and info.app_tag == 42 and info.trigger_num == 1 and info.time_stamp >= 0
    fifo.trigger()
    _, info2 = fifo.complete(timeout=5)
    assert info2.trigger_num == 2 and info2.time_stamp > info.time_stamp
    with pytest.raises(qrnacq.errors.qcAcqFifo.StartNotAllowed):
        fifo.trigger_model = "FreeRun"
        fifo.start(1)


FAILURES = ["timeout", "missed", "abnormal", "incomplete", "tooFastEncoder", "invalidRoi", "overrun",
            "otherFifoError", "timingError"]


def test_every_injected_failure_reads_back_by_name(fifo):
    for name in FAILURES:
        qrnacq.sim.inject(fifo, name if name != "abnormal" else "abnormal:7")
        image, info = grab(fifo)
        assert info.failure and info.failure.names == [name], name
        assert name in info.failure
    qrnacq.sim.inject(fifo, "abnormal:7")
    _, info = grab(fifo)
    assert info.failure.code == 7 and repr(info.failure).startswith("<qrnacq.Failure abnormal")
    _, ok = grab(fifo)
    assert not ok.failure and ok.failure.names == []


def test_frames_iterator_starts_and_counts(fifo):
    got = [(image.shape, info.trigger_num) for image, info in fifo.frames(5, timeout=5)]
    assert got == [((480, 640), n) for n in range(1, 6)]
    frames = fifo.frames(timeout=5)
    assert [next(frames)[1].trigger_num for _ in range(3)] == [6, 7, 8]


class Stop(Exception):
    pass


def leave_by_break(frames):
    for _ in frames:
        break


def leave_by_exception(frames):
    with pytest.raises(Stop):
        for _ in frames:
            raise Stop()


@pytest.mark.parametrize("leave", [leave_by_break, leave_by_exception])
def test_a_loop_left_early_stops_what_it_started(fifo, leave):
    fifo.start(1)  # the caller's own acquisition goes too: a FIFO flushes all or nothing
    leave(fifo.frames(100, timeout=5))
    deadline = time.monotonic() + 5
    while fifo.pending and time.monotonic() < deadline:  # a frame being taken ends by itself
        time.sleep(0.001)
    assert (fifo.pending, fifo.completed) == (0, 0)
    image, info = grab(fifo)
    assert image is not None and fifo.pending == 0 and fifo.completed == 0


def test_a_used_up_pool_is_an_error_not_an_endless_wait(fifo):
    fifo.hardware_image_pool_size = 2
    held = []
    with pytest.raises(RuntimeError, match="pool.*make_local"):
        for frame in fifo.frames(5, make_local=False):  # no timeout
            held.append(frame[0])
    assert len(held) == 2 and fifo.pending == 0
    held.clear()
    del frame
    assert sum(image is not None for image, _ in fifo.frames(3, make_local=False)) == 3  # one held at a time


def test_property_set_round_trip_through_bytes(sim, fifo):
    fifo.exposure = 0.004
    fifo.roi = (4, 6, 64, 32)
    fifo.strobe_enable = True
    saved = fifo.save_properties()
    assert isinstance(saved, bytes)
    with sim.fifo(FORMAT, "grey8") as other:
        exact(other, TestImage="flat", FlatValue=200)
        other.restore_properties(saved)
        assert (other.exposure, other.roi, other.strobe_enable) == (0.004, (4, 6, 64, 32), True)
        image, _ = grab(other)
        assert image.shape == (32, 64) and (image == 80).all()  # the restored exposure reached the pels
        with pytest.raises(qrnacq.errors.qcArchive.BadData):
            other.restore_properties(saved[: len(saved) // 2])
