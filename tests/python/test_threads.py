# Blocking calls release the GIL; callbacks call into Python safely.
import sys
import threading
import time

import pytest

import qrnacq
from conftest import FORMAT, exact

PERIOD = 0.02
FRAMES = 15


def run(fifo):
    for image, info in fifo.frames(FRAMES, timeout=5):
        assert image is not None and not info.failure


def test_two_fifos_on_two_threads_run_in_parallel(sim):
    with sim.fifo(FORMAT) as a, sim.fifo(FORMAT) as b:
        for f in (a, b):
            exact(f, FramePeriod=PERIOD)
        t0 = time.perf_counter()
        run(a)
        one = time.perf_counter() - t0
        threads = [threading.Thread(target=run, args=(f,)) for f in (a, b)]
        t0 = time.perf_counter()
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        two = time.perf_counter() - t0
    # Serialised by the GIL, two would take twice one's time.
    assert one >= FRAMES * PERIOD * 0.9
    assert two < one * 1.5, (one, two)


def test_callbacks_run_with_the_gil_and_their_exceptions_are_reported(fifo, monkeypatch):
    seen, reported = [], []
    monkeypatch.setattr(sys, "unraisablehook", lambda u: reported.append(u.exc_value))
    done = threading.Event()

    def on_complete(info):
        seen.append(info.trigger_num)
        if info.trigger_num == 2:
            raise RuntimeError("boom in a callback")
        if info.trigger_num == 4:
            done.set()

    fifo.on_complete = on_complete
    assert fifo.on_complete is on_complete
    list(fifo.frames(4, timeout=5))
    assert done.wait(5)
    assert seen == [1, 2, 3, 4]
    assert len(reported) == 1 and "boom" in str(reported[0])
    fifo.on_complete = None


def test_overrun_callback_and_fifo_closed_while_called(sim):
    overruns = []
    with sim.fifo(FORMAT) as f:
        exact(f)
        f.on_overrun = lambda info: overruns.append(info.failure.names)
        f.on_move_part = lambda info: time.sleep(0.001)
        qrnacq.sim.inject(f, "overrun")
        list(f.frames(3, timeout=5))
        deadline = time.monotonic() + 5
        while not overruns and time.monotonic() < deadline:
            time.sleep(0.01)
        # Closed while callbacks may still run: no deadlock, no crash.
        f.trigger_model = "FreeRun"
        time.sleep(0.05)
    assert overruns and "overrun" in overruns[0]


def test_close_refused_while_another_thread_completes(fifo):
    result = []
    t = threading.Thread(target=lambda: result.append(fifo.complete(timeout=0.5)))
    t.start()
    time.sleep(0.1)
    try:
        with pytest.raises(RuntimeError, match="another thread"):
            fifo.close()
    finally:
        t.join()
    assert result and result[0][0] is None and "timeout" in result[0][1].failure
    fifo.close()


def prepare_and_watch(fifo):
    """(prepare's time on a thread, the longest this thread stood still meanwhile)."""
    took = []

    def prepare():
        t0 = time.perf_counter()
        assert fifo.prepare(30)[0]
        took.append(time.perf_counter() - t0)

    t = threading.Thread(target=prepare)
    longest, last = 0.0, time.perf_counter()
    t.start()
    while t.is_alive():
        now = time.perf_counter()
        longest, last = max(longest, now - last), now
    t.join()
    assert took
    return took[0], longest


def test_prepare_lets_other_threads_run(sim):
    # A pool of 16 images of 4 MB takes a while to make ready: Python's other
    # threads run meanwhile (holding the GIL, it would stop this one for the
    # whole time; a loaded machine may stop it for a while too, hence three
    # tries).
    runs = []
    for _ in range(3):
        with sim.fifo("Basler L103 2048x2048", "grey8") as f:
            f.hardware_image_pool_size = 16
            took, longest = prepare_and_watch(f)
        runs.append((took, longest))
        if longest < took / 2:
            break
    else:
        pytest.fail(f"prepare held this thread up for most of its time: {runs}")
