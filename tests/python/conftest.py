"""What the Python module's tests share: the driver registered in a settings folder of the session's own, the
register emulator on a pseudo-terminal as COM1, and a fresh driver object for each test.

ctest gives the built programs in TESSEL_REGSVR, TESSEL_DRIVER_LIBRARY and TESSEL_EMU; run by hand from the
source tree (PYTHONPATH=build/python python3 -m pytest tests/python) the tests take them from build/.
"""

import gc
import os
import queue
import shutil
import subprocess
import sys
import threading
from pathlib import Path

import pytest

import tessel

BUILD = Path(__file__).resolve().parents[2] / "build"
PORT = 1  # the emulator's line, as the driver reaches it
ADDRESS = 2  # the emulator's register
# Generous for a sanitizer build on a loaded machine; only a hung emulator ever reaches it.
WAIT = 20.0

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "examples"))


def built(variable, relative):
    return os.environ.get(variable) or str(BUILD / relative)


class Emulator:
    """TesselEmu as a child: its first line names its terminal, then it takes commands on standard input and
    answers each with lines of its own."""

    def __init__(self, *args):
        self.process = subprocess.Popen(
            [built("TESSEL_EMU", "bin/TesselEmu"), *args],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, encoding="utf-8", bufsize=1)
        self.output = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()
        first = self.line()
        assert first.startswith("PTY /"), first

    def _read(self):
        for line in self.process.stdout:
            self.output.put(line.rstrip("\n"))

    def line(self, timeout=WAIT):
        """The next line the emulator printed; fails the test when none comes in time."""
        try:
            return self.output.get(timeout=timeout)
        except queue.Empty:
            pytest.fail("the emulator printed nothing in time")

    def send(self, command):
        """Starts one command; its output comes through line()."""
        self.process.stdin.write(command + "\n")
        self.process.stdin.flush()

    def command(self, command):
        """Runs one command and returns its first line of output."""
        self.send(command)
        return self.line()

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=WAIT)


@pytest.fixture(scope="session")
def settings(tmp_path_factory):
    """A settings folder with a copy of the driver registered in it: the driver keeps its sequence counters
    beside the registered file, so they stay in step with the session's emulator."""
    folder = tmp_path_factory.mktemp("settings")
    library = folder / "libTesselDrv.so"
    shutil.copy(built("TESSEL_DRIVER_LIBRARY", "lib/libTesselDrv.so"), library)
    os.environ["TESSEL_REGISTRY_DIR"] = str(folder)
    # The port goes to the emulator through the settings, not through a variable of the caller's.
    os.environ.pop(f"TESSEL_COM{PORT}", None)
    subprocess.run([built("TESSEL_REGSVR", "bin/tessel-regsvr"), str(library)], check=True,
                   capture_output=True, timeout=WAIT)
    return folder


@pytest.fixture(scope="session")
def emulator(settings):
    """The register at address 2, recorded as COM1 in the session's settings; it waits up to 3 s for each
    answer of the computer."""
    emulator = Emulator("--address", str(ADDRESS), "--com", str(PORT), "--timeout", "3000")
    yield emulator
    emulator.stop()


@pytest.fixture
def driver(emulator):
    """A driver object of its own for each test, on the emulator's line; released afterwards, so that the
    next test starts with a new engine."""
    d = tessel.Dispatch("Addin.TesselDriver")
    d.PortNumber = PORT
    d.DstAddress = ADDRESS
    d.Timeout = 3000
    yield d
    d.disconnect()
    d.DeviceEnabled = False
    del d
    gc.collect()
