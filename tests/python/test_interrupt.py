# Waits without a limit answer Ctrl-C and Python's signal handlers; waits
# with a limit keep their meaning.
import os
import pathlib
import signal
import subprocess
import sys
import textwrap
import time

import pytest

import qrnacq
from conftest import FORMAT

# The child: an Automatic-trigger FIFO on the simulated board that never gets
# a trigger, so that the wait named by WAIT never ends by itself.  It prints
# "waiting" just before the wait, and "interrupted <exception>" after it; then
# shows that the FIFO still works (nothing was taken or started by the
# interrupted wait).
CHILD = textwrap.dedent("""
    import signal, sys, time
    import qrnacq

    class Usr1(Exception):
        pass

    def on_usr1(signum, frame):
        raise Usr1()

    signal.signal(signal.SIGUSR1, on_usr1)
    sim = [b for b in qrnacq.boards() if b.name == "sim0"][0]
    with sim.fifo(sys.argv[1], "grey8") as fifo:
        qrnacq.sim.set(fifo, "FramePeriod", 0)
        fifo.trigger_model = "Automatic"
        print("waiting", flush=True)
        try:
            WAIT
            print("returned", flush=True)
        except (KeyboardInterrupt, Usr1) as e:
            print("interrupted", type(e).__name__, flush=True)
        print("pending", fifo.pending, "completed", fifo.completed, flush=True)
        fifo.trigger()
        image, info = fifo.complete(timeout=5)
        print("then", image is not None, info.trigger_num, flush=True)
""")

WAITS = [
    ("complete", "fifo.complete()", signal.SIGINT, "KeyboardInterrupt"),
    ("frames", "for _ in fifo.frames(): pass", signal.SIGINT, "KeyboardInterrupt"),
    ("handler", "fifo.complete(timeout=3600)", signal.SIGUSR1, "Usr1"),
]


@pytest.mark.parametrize("wait,signum,raised", [w[1:] for w in WAITS], ids=[w[0] for w in WAITS])
def test_a_long_wait_answers_signals(wait, signum, raised):
    env = dict(os.environ, PYTHONPATH=str(pathlib.Path(qrnacq.__file__).parent), QUORIN_GIGE_CAMERAS="")
    child = subprocess.Popen([sys.executable, "-c", CHILD.replace("WAIT", wait), FORMAT], env=env,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        assert child.stdout.readline() == "waiting\n", child.stderr.read()
        time.sleep(0.3)  # inside the wait by now
        sent = time.monotonic()
        child.send_signal(signum)
        out, err = child.communicate(timeout=10)
        took = time.monotonic() - sent
    finally:
        if child.poll() is None:
            child.kill()
            child.communicate()
    assert child.returncode == 0, err
    assert out.splitlines() == [f"interrupted {raised}", "pending 0 completed 0", "then True 1"], err
    assert took < 10


def test_a_limited_wait_runs_out_as_before(fifo):
    fifo.trigger_model = "Automatic"
    for timeout in (0, 0.05, 0.35):
        t0 = time.monotonic()
        image, info = fifo.complete(timeout=timeout)
        took = time.monotonic() - t0
        assert image is None and info.failure.names == ["timeout"] and info.trigger_num == 0
        # The whole timeout, not a part of it; and not far past it.
        assert timeout <= took < timeout + 2
    fifo.trigger()
    image, info = fifo.complete(timeout=1)
    assert image is not None and info.trigger_num == 1


def test_auto_start_starts_one_acquisition_in_a_long_wait(fifo):
    fifo.trigger_model = "Semi-Automatic"  # started acquisitions wait for a trigger
    image, info = fifo.complete(timeout=0.45, auto_start=True)
    assert image is None and "timeout" in info.failure
    assert (fifo.pending, fifo.completed) == (1, 0)
    fifo.trigger()
    image, info = fifo.complete(timeout=5, auto_start=True)
    assert image is not None and info.trigger_num == 1
    assert (fifo.pending, fifo.completed) == (0, 0)


# A started acquisition that times out (the FIFO's own timeout) ends a longer
# wait with its record, whether it times out within the first moments of the
# wait or later; started before the wait or by it (auto_start).
@pytest.mark.parametrize("fifo_timeout", [0.02, 0.3])
@pytest.mark.parametrize("auto_start", [False, True])
def test_a_started_acquisition_timing_out_ends_a_long_wait(fifo, fifo_timeout, auto_start):
    fifo.trigger_model = "Semi-Automatic"
    fifo.timeout = fifo_timeout
    if not auto_start:
        fifo.start(1)
    t0 = time.monotonic()
    image, info = fifo.complete(timeout=30, auto_start=auto_start)
    took = time.monotonic() - t0
    assert image is None and "timeout" in info.failure
    assert took < 10, "the acquisition's timeout was taken for the end of a part of the wait"
    assert (fifo.pending, fifo.completed) == (0, 0)


def test_a_frame_dropped_by_flush_does_not_end_a_long_wait(fifo):
    # The frame being read out when flush() drops it still counts as pending
    # for a while; its going is no record.
    qrnacq.sim.set(fifo, "FramePeriod", 0.3)
    fifo.trigger_model = "Automatic"
    fifo.trigger()
    time.sleep(0.05)
    fifo.flush()
    t0 = time.monotonic()
    image, info = fifo.complete(timeout=0.8)
    assert image is None and info.failure.names == ["timeout"]
    assert time.monotonic() - t0 >= 0.8
