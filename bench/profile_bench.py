#!/usr/bin/python3
"""`velorin-cli backup` and `restore` of every page against velorin-drive-sim under the answer
profiles of real lines, at 9600 and 115200 in RTU and ASCII: the time and the requests of each.

    profile_bench.py BUILD_DIR [SETTINGS ...]

The drive holds its factory values with a rated current (P11.14) and P15.03 that pass the write's
checks, so the restore writes every parameter of its own backup. Requests are counted from
`--trace` (one "->" line a request).
"""
import os
import subprocess
import sys
import tempfile
import time

BUILD = os.path.abspath(sys.argv[1])
CLI = os.path.join(BUILD, "src/cli/velorin-cli")
SIM = os.path.join(BUILD, "tools/drive-sim/velorin-drive-sim")
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../tests/interop"))
from interop_test import private_env  # noqa: E402

SETTINGS = sys.argv[2:] or ["9600,N,8,1", "115200,N,8,1", "9600,N,7,2", "115200,E,7,1"]
PROFILES = [
    ("no wire time", []),
    ("wire time", ["--wire-time"]),
    ("answers 0-20 ms", ["--wire-time", "--answer-ms", "0-20"]),
    ("usb:16", ["--wire-time", "--answer-profile", "usb:16"]),
    ("loop:10", ["--wire-time", "--answer-profile", "loop:10"]),
    ("pause:10:60", ["--wire-time", "--answer-profile", "pause:10:60"]),
]


def run(env, device, settings, *args):
    started = time.monotonic()
    p = subprocess.run([CLI, "--port", device, "--settings", settings, "--trace"] + list(args),
                       env=env, capture_output=True, text=True, timeout=900)
    took = time.monotonic() - started
    requests = sum(1 for line in p.stderr.splitlines() if " -> " in line)
    return p.returncode, took, requests


def main():
    print("| settings | profile | backup s | backup requests | restore s | restore requests |")
    print("|---|---|---|---|---|---|")
    with tempfile.TemporaryDirectory() as home:
        env = private_env(home)
        for settings in SETTINGS:
            for name, options in PROFILES:
                sim = subprocess.Popen([SIM, "--settings", settings, "--no-stdin", "--set",
                                        "382=1000", "--set", "499=10", "--seed", "7"] + options,
                                       stdout=subprocess.PIPE, text=True)
                try:
                    device = sim.stdout.readline().split()[0]
                    path = os.path.join(home, "backup.txt")
                    b = run(env, device, settings, "backup", path)
                    r = run(env, device, settings, "restore", path) if b[0] == 0 else (-1, 0, 0)
                    cell = lambda o: f"{o[1]:.1f}" if o[0] == 0 else f"exit {o[0]} ({o[1]:.1f})"
                    print(f"| {settings} | {name} | {cell(b)} | {b[2]} | {cell(r)} | {r[2]} |",
                          flush=True)
                finally:
                    sim.terminate()
                    sim.wait()


if __name__ == "__main__":
    main()
