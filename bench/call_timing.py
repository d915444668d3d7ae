#!/usr/bin/env python3
"""What a call costs a whole client beyond the line timing the registers require.

Starts the register emulator on a pseudo-terminal and registers the built driver in a settings folder of its
own (removed at the end), then runs the command-line client with 1 and with N+1 GetECRStatus calls, in turn,
several rounds; a call costs the difference over N. The registers require 110 ms a call with Fuel false (the
quiet interval of 100 ms after the last received byte and RTS dropped 10 ms before the write) and 100 ms with
Fuel true; what a call takes beyond that is the driver's and the client's own.

    bench/call_timing.py [--build DIR] [--compare OTHER_BUILD] [--calls N] [--rounds R]

With --compare, the same rounds also run against another build's client and driver (each with its own
emulator and settings folder), interleaved, and the ratio of the two is printed.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

MANDATED_MS = {False: 110.0, True: 100.0}


class Stand:
    """One build's client and driver, its own settings folder and its own emulator."""

    def __init__(self, build):
        self.build = os.path.abspath(build)
        self.bin = os.path.join(self.build, "bin")
        for program in ("tessel", "tessel-regsvr", "TesselEmu"):
            if not os.access(os.path.join(self.bin, program), os.X_OK):
                sys.exit(f"call_timing: {self.bin}/{program} is missing; build it first")
        self.store = tempfile.mkdtemp(prefix="tessel-call-timing-")
        self.env = dict(os.environ, TESSEL_REGISTRY_DIR=self.store)
        self.emulator = None
        try:
            subprocess.run([os.path.join(self.bin, "tessel-regsvr"), os.path.join(self.build, "lib",
                            "libTesselDrv.so")], env=self.env, check=True, stdout=subprocess.DEVNULL)
            self.emulator = subprocess.Popen([os.path.join(self.bin, "TesselEmu"), "--address", "2"],
                                             env=self.env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                             text=True)
            first = self.emulator.stdout.readline().split()
            if len(first) != 2 or first[0] != "PTY":
                raise RuntimeError("the emulator did not start")
            self.env["TESSEL_COM1"] = first[1]
        except BaseException:
            self.close()
            raise

    def run(self, fuel, calls):
        steps = ["set", f"Fuel={int(fuel)}"] + ["call", "GetECRStatus"] * calls
        start = time.perf_counter()
        done = subprocess.run([os.path.join(self.bin, "tessel")] + steps, env=self.env,
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, timeout=120)
        elapsed = (time.perf_counter() - start) * 1000.0
        if done.returncode != 0:
            raise RuntimeError(f"tessel failed ({done.returncode}): {done.stderr.strip()}")
        return elapsed

    def close(self):
        if self.emulator is not None:
            self.emulator.terminate()
            try:
                self.emulator.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.emulator.kill()
                self.emulator.wait()
        shutil.rmtree(self.store, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default="build", help="the build folder (default: build)")
    parser.add_argument("--compare", help="another build folder, timed in the same rounds")
    parser.add_argument("--calls", type=int, default=50, help="the extra calls of the long run (default 50)")
    parser.add_argument("--rounds", type=int, default=5, help="rounds per mode (default 5)")
    args = parser.parse_args()
    if args.calls < 1 or args.rounds < 1:
        parser.error("--calls and --rounds must be at least 1")

    stands = []
    try:
        stands.append(Stand(args.build))
        if args.compare:
            stands.append(Stand(args.compare))
        for fuel in (False, True):
            mandated = MANDATED_MS[fuel]
            per_call = [[] for _ in stands]
            for _ in range(args.rounds):
                for i, stand in enumerate(stands):
                    short = stand.run(fuel, 1)
                    long = stand.run(fuel, args.calls + 1)
                    per_call[i].append((long - short) / args.calls)
            print(f"Fuel={int(fuel)}: the registers require {mandated:.0f} ms a call "
                  f"(median of {args.rounds} rounds of 1 against {args.calls + 1} calls)")
            medians = []
            for stand, values in zip(stands, per_call):
                m = statistics.median(values)
                medians.append(m)
                print(f"  {stand.build}: {m:.2f} ms a call = {m / mandated:.4f} x required; "
                      f"{m - mandated:+.2f} ms beyond it (goal: at most +0.50) "
                      f"[{min(values):.2f} .. {max(values):.2f}]")
            if len(medians) == 2:
                print(f"  time beyond the requirement, {stands[0].build} / {stands[1].build}: "
                      f"{(medians[0] - mandated) / (medians[1] - mandated):.3f}")
    finally:
        for stand in stands:
            stand.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
