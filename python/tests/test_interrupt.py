# Ctrl-C during a long run: the run stops between pixels and KeyboardInterrupt reaches Python; the module stays usable.
# SPDX-License-Identifier: BSD-3-Clause
import os
import pathlib
import signal
import threading
import time

import numpy as np
import pytest

import tem

EXAMPLES = pathlib.Path(os.environ.get("TEM_EXAMPLES", "examples"))


def test_sigint_stops_a_full_run_with_keyboard_interrupt():
    inp = tem.read_input(str(EXAMPLES / "si-111"))
    sim = tem.Simulation(inp, threads=2)
    # A full run (method 0) takes many seconds on two threads; the signal comes after half a second.
    timer = threading.Timer(0.5, lambda: os.kill(os.getpid(), signal.SIGINT))
    start = time.monotonic()
    timer.start()
    with pytest.raises(KeyboardInterrupt):
        sim.run(method=0)
    stopped = time.monotonic() - start
    timer.join()
    assert stopped < 3.0, "the run went on for %.1f s after the signal" % stopped
    # The simulation is still usable, and the interrupted run left nothing behind.
    pattern = sim.run(method=2)
    assert np.isfinite(pattern.intensities).all()


def test_other_threads_run_while_the_engine_computes():
    inp = tem.read_input(str(EXAMPLES / "si-111"))
    sim = tem.Simulation(inp, threads=1)
    ticks = []
    stop = threading.Event()

    def tick():
        while not stop.is_set():
            ticks.append(time.monotonic())
            time.sleep(0.01)

    t = threading.Thread(target=tick)
    t.start()
    start = time.monotonic()
    sim.run(method=2)
    elapsed = time.monotonic() - start
    stop.set()
    t.join()
    # With the interpreter lock held for the whole run the ticker would stall.
    during = [x for x in ticks if start < x < start + elapsed]
    assert len(during) >= 0.3 * elapsed / 0.01
