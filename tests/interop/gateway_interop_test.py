#!/usr/bin/python3
"""velorin-cli and velorin-drive-sim through network gateways, against peers nobody here wrote:

- a pymodbus ModbusTcpServer (Modbus TCP), and a pymodbus TCP server with the RTU framer (a
  pass-through gateway): `velorin-cli --tcp` backs up, in single reads and in blocks, and each
  backup equals the server's registers; a restore leaves them equal to the file;
- mbpoll -m tcp against `velorin-drive-sim --tcp`: what mbpoll reads equals a backup of the
  simulated drive, what it writes the drive holds, and after a restore it reads the file's values;
- a socat bridge, TCP to a pseudo-terminal, in front of the simulated serial drive, as a
  pass-through gateway (RTU and ASCII): backup and restore through it.

    gateway_interop_test.py BUILD_DIR

Every run must succeed: an honest line never fails a job.
"""
import os
import socket
import subprocess
import sys
import tempfile
import time

from interop_test import (CLI, HERE, PYTHON, SIM, STATION, dry_run_writes, dumped, factory_file,
                          file_values, initial, private_env, stop, wait_for)


RATE = 497  # P15.01: a parameter file keeps the rate's place in the list, not the word


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def listening(port):
    """Whether something listens on the port, without connecting (socat would fork for a
    connection, and the child would read the pseudo-terminal for a while after it)."""
    with open("/proc/net/tcp") as f:
        return any(fields[1].endswith(f":{port:04X}") and fields[3] == "0A"
                   for fields in (line.split() for line in f.readlines()[1:]))


def cli(env, address, framing, *args, station=STATION):
    p = subprocess.run([CLI, "--tcp", address, "--framing", framing, "--station", str(station)]
                       + list(args), env=env, capture_output=True, text=True, timeout=600)
    return p.returncode, p.stdout, p.stderr


class Failures(list):
    def check(self, ok, what):
        print(("ok   " if ok else "FAIL ") + what, flush=True)
        if not ok:
            self.append(what)


def backups(env, address, framing, tmp, expected, failures, name):
    """Backups in single reads and in blocks, each compared with `expected(reg)`."""
    for blocks in ([], ["--block-reads"]):
        path = os.path.join(tmp, "backup.txt")
        started = time.monotonic()
        rc, _, err = cli(env, address, framing, *blocks, "backup", path)
        what = f"{name} backup {' '.join(blocks)} ({time.monotonic() - started:.2f} s)"
        if rc != 0:
            failures.check(False, f"{what}: exit {rc}: {err.strip()[-300:]}")
            continue
        # The file holds 0 for the registers it does not keep (monitor values) and the rate
        # (P15.01, register 497) as its place in the list; every other value is the register's.
        got = {r: v for r, v in file_values(path).items() if v != 0 and r != RATE}
        wrong = [r for r, v in got.items() if expected(r) is not None and v != expected(r)]
        failures.check(not wrong and len(got) >= 460,
                       f"{what}: {len(wrong)} wrong of {len(got)} {wrong[:5]}")


def restore(env, address, framing, factory, held, failures, name, *extra):
    """A restore of `factory`; afterwards `held()` must hold every word its dry run lists."""
    rc, out, _ = cli(env, address, framing, "restore", "--dry-run", *extra, factory)
    writes = dry_run_writes(out)
    rc, _, err = cli(env, address, framing, "restore", *extra, factory)
    registers = held()
    wrong = [r for r, v in writes.items() if registers[r] != v]
    failures.check(rc == 0 and len(writes) > 400 and not wrong,
                   f"{name} restore: exit {rc}, {len(writes)} writes, {len(wrong)} differ "
                   f"{wrong[:5]} {err.strip()[-200:] if rc else ''}")


def pymodbus_servers(env, failures):
    for framer in ("mbap", "rtu"):
        with tempfile.TemporaryDirectory() as tmp:
            port, dump = free_port(), os.path.join(tmp, "registers")
            server = subprocess.Popen([PYTHON, os.path.join(HERE, "pymodbus_tcp_slave.py"),
                                       str(port), framer, str(STATION), dump],
                                      stderr=subprocess.DEVNULL)
            try:
                wait_for(lambda: os.path.exists(dump) and listening(port), 20, "pymodbus")
                address, name = f"127.0.0.1:{port}", f"pymodbus tcp {framer}"
                link = {496: STATION, 497: 96, 498: 0}  # as the server holds them
                backups(env, address, framer, tmp, lambda r: link.get(r, initial(r)), failures,
                        name)
                factory = factory_file(env, tmp, "9600,N,7,2")
                restore(env, address, framer, factory, lambda: dumped(dump), failures, name)
            finally:
                stop(server)


def start_sim(args):
    sim = subprocess.Popen([SIM, "--no-stdin"] + args, stdout=subprocess.PIPE, text=True)
    return sim, sim.stdout.readline().split()[0]


def mbpoll_read(port):
    """Every register as mbpoll reads it, 30 a request."""
    values = {}
    for first in range(0, 563, 30):
        p = subprocess.run(["mbpoll", "-m", "tcp", "-a", str(STATION), "-0", "-r", str(first),
                            "-c", str(min(30, 563 - first)), "-1", "-p", str(port), "127.0.0.1"],
                           capture_output=True, text=True, timeout=30)
        for line in p.stdout.splitlines():
            if line.startswith("["):
                reg, value = line.split(":")
                values[int(reg.strip("[]"))] = int(value.split()[0]) & 0xFFFF
    return values


def mbpoll_against_sim(env, failures):
    with tempfile.TemporaryDirectory() as tmp:
        sim, address = start_sim(["--tcp", "0", "--station", str(STATION)])
        port = int(address.split(":")[1])
        try:
            path = os.path.join(tmp, "b.txt")
            rc, _, err = cli(env, address, "mbap", "backup", path)
            ours = file_values(path)
            theirs = mbpoll_read(port)
            wrong = [r for r, v in ours.items() if r != RATE and theirs.get(r) != v]
            failures.check(rc == 0 and len(ours) >= 480 and not wrong,
                           f"mbpoll reads what velorin-cli backs up: exit {rc}, {len(ours)} "
                           f"values, {len(wrong)} differ {wrong[:5]}")
            p = subprocess.run(["mbpoll", "-m", "tcp", "-a", str(STATION), "-0", "-r", "40", "-p",
                                str(port), "127.0.0.1", "4321"], capture_output=True, text=True,
                               timeout=30)
            rc, out, _ = cli(env, address, "mbap", "read", "40")
            failures.check(p.returncode == 0 and out.split() == ["40", "4321"],
                           f"mbpoll writes, velorin-cli reads it: {out.strip()}")
            factory = factory_file(env, tmp, "9600,N,7,2")

            def held():
                values = mbpoll_read(port)
                return [values.get(r, -1) for r in range(563)]
            restore(env, address, "mbap", factory, held, failures, "velorin-drive-sim --tcp")
        finally:
            stop(sim)


def socat_bridge(env, failures):
    for framing, settings, stop_bits in (("rtu", "9600,N,8,1", 0), ("ascii", "9600,N,7,2", 1)):
        with tempfile.TemporaryDirectory() as tmp:
            sim, device = start_sim(["--station", str(STATION), "--settings", settings]
                                    + [a for r in range(490) for a in ("--set",
                                                                       f"{r}={initial(r)}")])
            port = free_port()
            bridge = subprocess.Popen(
                ["socat", "-t", "0", f"TCP-LISTEN:{port},bind=127.0.0.1,reuseaddr,fork",
                 f"FILE:{device},raw,echo=0,b9600,cstopb={stop_bits}"],
                stderr=subprocess.DEVNULL)
            try:
                wait_for(lambda: listening(port), 10, "socat's bridge")
                address, name = f"127.0.0.1:{port}", f"socat bridge {framing}"
                backups(env, address, framing, tmp,
                        lambda r: initial(r) if r < 490 else None, failures, name)
                factory = factory_file(env, tmp, settings)
                path = os.path.join(tmp, "after.txt")

                def held():
                    cli(env, address, framing, "backup", path)
                    got = file_values(path)
                    return [got.get(r, -1) for r in range(563)]
                restore(env, address, framing, factory, held, failures, name)
            finally:
                stop(bridge, sim)


def main():
    failures = Failures()
    with tempfile.TemporaryDirectory() as home:
        env = private_env(home)
        pymodbus_servers(env, failures)
        mbpoll_against_sim(env, failures)
        socat_bridge(env, failures)
    for f in failures:
        print("FAILED:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
