#!/usr/bin/python3
"""The Python module against its C++ peer, in the same run.

A Python loop completes frames from the simulated board ("FramePeriod" 0,
manual trigger, four acquisitions started ahead, one start per completion)
exactly as bench/python_peer.cpp does in C++, for 640x480 and 2048x2048 grey
frames, with and without the move into local memory (make_local).  Both sides
run 5 repetitions; the figures are medians.  Reported: frames per second of
each (wall time), their ratio (Python / C++), and the binding's cost per
completion: the completing thread's CPU time per completion, Python minus
C++, in microseconds (CPU time of that one thread: the simulator's rendering
on its own thread is in neither, and other work on a shared machine moves it
far less than wall time).

    cmake --preset bench && cmake --build build/bench --target qrnacq_python bench_python_peer
    /usr/bin/python3 bench/python_fifo.py build/bench
"""
import json
import os
import statistics
import subprocess
import sys
import time

BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/bench")
os.environ.setdefault("QUORIN_DRIVER_DIR", os.path.join(BUILD, "drivers", "plugins"))
os.environ.setdefault("QUORIN_REGISTRY_FILE", os.path.join(BUILD, "no-such-registry.reg"))
os.environ["QUORIN_GIGE_CAMERAS"] = ""
sys.path.insert(0, os.path.join(BUILD, "python"))
import qrnacq  # noqa: E402

FORMATS = ["Sony XC75 640x480", "Basler L103 2048x2048"]
REPS = 5
AHEAD = 4


def python_loop(fmt, make_local, seconds=0.5):
    """Microseconds per completion, wall and thread CPU (medians of REPS timed runs)."""
    board = qrnacq.board("sim0")
    per, cpu = [], []
    with board.fifo(fmt, "grey8") as fifo:
        qrnacq.sim.set(fifo, "FramePeriod", 0)
        fifo.start(AHEAD)
        start, complete = fifo.start, fifo.complete
        for _ in range(REPS):
            n, t0, c0 = 0, time.perf_counter(), time.thread_time()
            while True:
                for _ in range(50):
                    start(1)
                    image, info = complete(5.0, make_local)
                    if image is None or info.failure:
                        raise RuntimeError(f"a completion failed: {info.failure!r}")
                n += 50
                elapsed = time.perf_counter() - t0
                if elapsed >= seconds:
                    break
            per.append(elapsed / n * 1e6)
            cpu.append((time.thread_time() - c0) / n * 1e6)
        del image
        fifo.flush()
    return statistics.median(per), statistics.median(cpu)


def cpp_peer():
    exe = os.path.join(BUILD, "bench", "bench_python_peer")
    out = subprocess.run([exe, "--benchmark_repetitions=%d" % REPS, "--benchmark_report_aggregates_only=true",
                          "--benchmark_format=json"], check=True, capture_output=True, text=True).stdout
    medians = {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("aggregate_name") == "median":
            # BM_PeerLoop/format:0/local:1/min_time:0.500/real_time_median
            parts = dict(p.split(":") for p in b["run_name"].split("/")[1:] if ":" in p)
            medians[(int(parts["format"]), int(parts["local"]))] = (b["real_time"], b["cpu_time"])  # us
    return medians


def main():
    cpp = cpp_peer()
    py = {(f, local): python_loop(FORMATS[f], bool(local)) for f in (0, 1) for local in (1, 0)}
    cpp_after = cpp_peer()  # the peer again: the machine's drift shows
    print(f"{'case':<40}{'C++ fps':>9}{'Python fps':>11}{'ratio':>7}{'C++ cpu us':>11}{'Py cpu us':>10}"
          f"{'overhead us':>12}")
    for (f, local), (py_us, py_cpu) in py.items():
        cpp_us = statistics.median([cpp[(f, local)][0], cpp_after[(f, local)][0]])
        cpp_cpu = statistics.median([cpp[(f, local)][1], cpp_after[(f, local)][1]])
        name = f"{FORMATS[f]} make_local={bool(local)}"
        print(f"{name:<40}{1e6 / cpp_us:>9.0f}{1e6 / py_us:>11.0f}{cpp_us / py_us:>7.2f}{cpp_cpu:>11.2f}"
              f"{py_cpu:>10.2f}{py_cpu - cpp_cpu:>12.2f}")


if __name__ == "__main__":
    main()
