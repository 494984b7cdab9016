#!/usr/bin/python3
"""`velorin-cli backup` against a pymodbus serial server on a socat pair, side by side with a
pymodbus client reading the same registers one at a time, in alternating rounds: Velorin's time
over pymodbus's.

    pymodbus_compare.py BUILD_DIR [ROUNDS] [SETTINGS ...]

Velorin's time is the whole program's, from its start to its end; the client's is its reads
alone.
"""
import os
import subprocess
import sys
import tempfile
import time

from pymodbus.client import ModbusSerialClient
from pymodbus.transaction import ModbusAsciiFramer, ModbusRtuFramer

BUILD = os.path.abspath(sys.argv[1])
ROUNDS = int(sys.argv[2]) if len(sys.argv) > 2 else 3
SETTINGS = sys.argv[3:] or ["9600,N,8,1", "115200,N,8,1", "9600,N,7,2", "115200,E,7,1"]
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../tests/interop"))
from interop_test import STATION, Peer, private_env  # noqa: E402

CLI = os.path.join(BUILD, "src/cli/velorin-cli")


def main():
    print("| settings | Velorin s | pymodbus s | ratio | Velorin failures | pymodbus failures |")
    print("|---|---|---|---|---|---|")
    with tempfile.TemporaryDirectory() as home:
        env = private_env(home)
        for settings in SETTINGS:
            framer = "rtu" if settings.split(",")[2] == "8" else "ascii"
            with tempfile.TemporaryDirectory() as tmp:
                peer = Peer(tmp, "pymodbus", framer, settings)
                try:
                    # The registers a backup reads, from its trace.
                    p = subprocess.run([CLI, "--port", peer.device, "--settings", settings,
                                        "--station", str(STATION), "--trace", "backup",
                                        os.path.join(tmp, "b.txt")], env=env,
                                       capture_output=True, text=True)
                    regs = []
                    for line in p.stderr.splitlines():
                        if " -> " in line and "(read again)" not in line:
                            words = line.split(" -> ")[1].split()
                            if framer == "rtu":
                                regs.append(int(words[2] + words[3], 16))
                            else:
                                regs.append(int(words[0][5:9], 16))
                    client = ModbusSerialClient(
                        port=peer.device,
                        framer=ModbusRtuFramer if framer == "rtu" else ModbusAsciiFramer,
                        baudrate=int(settings.split(",")[0]), timeout=0.1)
                    ours = theirs = 0.0
                    our_failures = their_failures = 0
                    for _ in range(ROUNDS):
                        started = time.monotonic()
                        rc = subprocess.run([CLI, "--port", peer.device, "--settings", settings,
                                             "--station", str(STATION), "backup",
                                             os.path.join(tmp, "b.txt")], env=env,
                                            capture_output=True).returncode
                        ours += time.monotonic() - started
                        our_failures += rc != 0
                        client.connect()
                        started = time.monotonic()
                        failed = 0
                        for reg in regs:
                            failed += client.read_holding_registers(reg, 1, slave=STATION).isError()
                        theirs += time.monotonic() - started
                        client.close()
                        their_failures += failed > 0
                    print(f"| {settings} | {ours / ROUNDS:.2f} | {theirs / ROUNDS:.2f} | "
                          f"{ours / theirs:.2f} | {our_failures} of {ROUNDS} | "
                          f"{their_failures} of {ROUNDS} |", flush=True)
                finally:
                    peer.close()


if __name__ == "__main__":
    main()
