#!/usr/bin/python3
"""`velorin-cli --tcp ... backup` over loopback against pymodbus TCP servers, side by side in one
run with a pymodbus TCP client reading the same registers one per request: Modbus TCP and, through
the RTU framer over TCP, a pass-through gateway. Velorin's time is given twice: the whole
program's, from its start to its end (the connection included), and its reads alone, from its
first request to its last reply as its trace times them (the trace's own writing included); the
client's is its reads alone.

    gateway_compare.py BUILD_DIR [ROUNDS]

Prints, per framing, Velorin one register a request (program, reads), pymodbus one register a
request, the ratio of the reads, and Velorin with block reads (program).
"""
import os
import subprocess
import sys
import tempfile
import time

from pymodbus.client import ModbusTcpClient
from pymodbus.transaction import ModbusRtuFramer, ModbusSocketFramer

BUILD = os.path.abspath(sys.argv[1])
ROUNDS = int(sys.argv[2]) if len(sys.argv) > 2 else 5
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "../tests/interop"))
from interop_test import PYTHON, STATION, free_port, listening, private_env, wait_for  # noqa: E402

CLI = os.path.join(BUILD, "src/cli/velorin-cli")


def backup(env, address, framer, path, *extra):
    """The program's time, its reads' time (with --trace; else 0) and its exit status."""
    started = time.monotonic()
    p = subprocess.run([CLI, "--tcp", address, "--framing", framer, "--station", str(STATION),
                        *extra, "backup", path], env=env, capture_output=True, text=True)
    took = time.monotonic() - started
    times = [float(line[1:line.index("]")]) for line in p.stderr.splitlines()
             if line.startswith("[")]
    return took, (times[-1] - times[0] if times else 0.0), p.returncode


def main():
    print("| framing | Velorin s, program (1 a request) | Velorin s, reads | pymodbus s, reads | "
          "ratio of the reads | Velorin s, program (blocks) | failures |")
    print("|---|---|---|---|---|---|---|")
    with tempfile.TemporaryDirectory() as home:
        env = private_env(home)
        for framer in ("mbap", "rtu"):
            with tempfile.TemporaryDirectory() as tmp:
                port, dump = free_port(), os.path.join(tmp, "registers")
                server = subprocess.Popen(
                    [PYTHON, os.path.join(HERE, "../tests/interop/pymodbus_slave.py"), "tcp",
                     str(port), framer, str(STATION), dump], stderr=subprocess.DEVNULL)
                try:
                    wait_for(lambda: os.path.exists(dump) and listening(port), 20, "pymodbus")
                    address = f"127.0.0.1:{port}"
                    # The registers a backup reads, from its trace.
                    p = subprocess.run([CLI, "--tcp", address, "--framing", framer, "--station",
                                        str(STATION), "--trace", "backup",
                                        os.path.join(tmp, "b.txt")], env=env,
                                       capture_output=True, text=True)
                    regs = []
                    for line in p.stderr.splitlines():
                        if " -> " in line and "(read again)" not in line:
                            words = line.split(" -> ")[1].split()
                            at = 8 if framer == "mbap" else 2
                            regs.append(int(words[at] + words[at + 1], 16))
                    client = ModbusTcpClient("127.0.0.1", port=port, timeout=1,
                                             framer=ModbusSocketFramer if framer == "mbap"
                                             else ModbusRtuFramer)
                    ours = reads = theirs = blocks = 0.0
                    failures = 0
                    for _ in range(ROUNDS):
                        took, _, rc = backup(env, address, framer, os.path.join(tmp, "b.txt"))
                        ours += took
                        failures += rc != 0
                        _, took, rc = backup(env, address, framer, os.path.join(tmp, "b.txt"),
                                             "--trace")
                        reads += took
                        failures += rc != 0
                        took, _, rc = backup(env, address, framer, os.path.join(tmp, "c.txt"),
                                             "--block-reads")
                        blocks += took
                        failures += rc != 0
                        client.connect()
                        started = time.monotonic()
                        for reg in regs:
                            failures += client.read_holding_registers(
                                reg, 1, slave=STATION).isError()
                        theirs += time.monotonic() - started
                        client.close()
                    print(f"| {framer} | {ours / ROUNDS:.3f} | {reads / ROUNDS:.3f} | "
                          f"{theirs / ROUNDS:.3f} | {reads / theirs:.2f} | {blocks / ROUNDS:.3f} | "
                          f"{failures} |", flush=True)
                finally:
                    server.terminate()
                    server.wait()


if __name__ == "__main__":
    main()
