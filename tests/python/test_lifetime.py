# Images without a copy: arrays over the library's pels, their lifetime, and
# pool buffers going back when the arrays go.
import gc
import os
import resource
import weakref

import numpy as np
import pytest

import qrnacq
from conftest import FORMAT, exact, grab


def test_pool_image_is_shared_not_copied_and_read_only(fifo):
    image, _ = grab(fifo, make_local=False)
    owner = image.base
    assert isinstance(owner, qrnacq.Image) and not owner.is_local
    assert image.ctypes.data == owner.address  # the library's pels themselves
    assert np.shares_memory(image, owner.array())
    assert not image.flags.writeable
    with pytest.raises(ValueError):
        image[0, 0] = 1
    local, _ = grab(fifo)  # make_local (the default) moves it into local memory
    assert local.base.is_local and local.flags.writeable


def test_arrays_outlive_the_fifo_and_the_board_list(sim):
    with sim.fifo(FORMAT, "3plane") as f:
        exact(f, TestImage="flat", FlatValue=90)
        planes, _ = grab(f, make_local=False)
        grey = [img for img, _ in f.frames(3, timeout=5, make_local=False)]
    del f
    gc.collect()
    qrnacq.boards()
    assert (planes == 90).all() and planes.shape == (3, 480, 640)
    assert all(g.shape == (3, 480, 640) for g in grey)
    # One array over the three planes of the pool buffer (no copy).
    assert planes.base.address == planes.ctypes.data


def test_pool_exhaustion_and_recovery(fifo):
    fifo.hardware_image_pool_size = 2
    held = [grab(fifo, make_local=False)[0] for _ in range(2)]
    # Both pool buffers are held by arrays: a started acquisition waits.
    fifo.start(1)
    image, info = fifo.complete(timeout=0.3, make_local=False)
    assert image is None and "timeout" in info.failure
    # Dropping one array gives its buffer back; the waiting acquisition runs.
    del held[0]
    gc.collect()
    image, info = fifo.complete(timeout=5, make_local=False)
    assert image is not None and not info.failure


def test_closed_fifo_refuses_calls(sim):
    f = sim.fifo(FORMAT)
    f.close()
    assert f.closed and "closed" in repr(f)
    with pytest.raises(ValueError, match="closed"):
        f.start(1)
    f.close()  # twice is fine


def test_a_fifo_held_by_its_own_callbacks_is_collected(sim):
    class Grabber:
        def __init__(self):
            self.fifo = sim.fifo(FORMAT)
            self.fifo.on_complete = self.handle
            self.fifo.on_overrun = self.handle
            self.fifo.on_light = lambda address, me=self: None
            self.fifo.start(1)

        def handle(self, info):
            pass

    gc.collect()
    threads = len(os.listdir("/proc/self/task"))
    grabbers = [Grabber() for _ in range(5)]
    fifos = [weakref.ref(g.fifo) for g in grabbers]
    assert len(os.listdir("/proc/self/task")) > threads
    del grabbers
    gc.collect()
    assert [f() for f in fifos] == [None] * 5
    assert len(os.listdir("/proc/self/task")) == threads  # the driver's threads were joined


@pytest.mark.parametrize("kind", ["grey8", "rgb32", "3plane"])
def test_local_copies_take_the_same_memory_again(sim, kind):
    # Each array goes before the next completion: its memory is used again
    # instead of fresh pages that fault in at every frame.
    with sim.fifo(FORMAT, kind) as f:
        exact(f, TestImage="color")  # the same pels in every frame
        pool_image, _ = grab(f, make_local=False)
        pool_copy = pool_image.copy()
        del pool_image
        for _ in range(3):
            grab(f)
        addresses = set()
        before = resource.getrusage(resource.RUSAGE_SELF).ru_minflt
        for _ in range(30):
            image, _ = grab(f)
            assert image.base.is_local and image.flags.writeable and image.shape == pool_copy.shape
            addresses.add(image.base.address)
            del image
        faults = resource.getrusage(resource.RUSAGE_SELF).ru_minflt - before
        image, _ = grab(f)
        assert (image == pool_copy).all()
    # A copy of 640x480 grey is 75 pages, 300 for RGB32.
    assert len(addresses) == 1 and faults < 30 * 10, (len(addresses), faults)
