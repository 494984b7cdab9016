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

from interop_test import (HERE, PYTHON, STATION, Failures, backups, cli, dumped, factory_file,
                          file_values, initial, private_env, restore, start_sim, stop, wait_for)


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


def tcp(address, framing):
    return ["--tcp", address, "--framing", framing]


def pymodbus_servers(env, failures):
    for framer in ("mbap", "rtu"):
        with tempfile.TemporaryDirectory() as tmp:
            port, dump = free_port(), os.path.join(tmp, "registers")
            server = subprocess.Popen([PYTHON, os.path.join(HERE, "pymodbus_slave.py"), "tcp",
                                       str(port), framer, str(STATION), dump],
                                      stderr=subprocess.DEVNULL)
            try:
                wait_for(lambda: os.path.exists(dump) and listening(port), 20, "pymodbus")
                link, name = tcp(f"127.0.0.1:{port}", framer), f"pymodbus tcp {framer}"
                held = {496: STATION, 497: 96, 498: 0}  # the link as the server holds it
                backups(env, link, tmp, lambda r: held.get(r, initial(r)), failures, name, 460,
                        (RATE,))
                factory = factory_file(env, tmp, "9600,N,7,2")
                restore(env, link, factory, lambda: dumped(dump), failures, name)
            finally:
                stop(server)


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
        port, link = int(address.split(":")[1]), tcp(address, "mbap")
        try:
            path = os.path.join(tmp, "b.txt")
            rc, _, err = cli(env, link, "backup", path)
            ours = file_values(path)
            theirs = mbpoll_read(port)
            wrong = [r for r, v in ours.items() if r != RATE and theirs.get(r) != v]
            failures.check(rc == 0 and len(ours) >= 480 and not wrong,
                           f"mbpoll reads what velorin-cli backs up: exit {rc}, {len(ours)} "
                           f"values, {len(wrong)} differ {wrong[:5]}")
            p = subprocess.run(["mbpoll", "-m", "tcp", "-a", str(STATION), "-0", "-r", "40", "-p",
                                str(port), "127.0.0.1", "4321"], capture_output=True, text=True,
                               timeout=30)
            rc, out, _ = cli(env, link, "read", "40")
            failures.check(p.returncode == 0 and out.split() == ["40", "4321"],
                           f"mbpoll writes, velorin-cli reads it: {out.strip()}")

            def held():
                values = mbpoll_read(port)
                return [values.get(r, -1) for r in range(563)]
            restore(env, link, factory_file(env, tmp, "9600,N,7,2"), held, failures,
                    "velorin-drive-sim --tcp")
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
                link, name = tcp(f"127.0.0.1:{port}", framing), f"socat bridge {framing}"
                backups(env, link, tmp, lambda r: initial(r) if r < 490 else None, failures,
                        name, 460, (RATE,))
                path = os.path.join(tmp, "after.txt")

                def held():
                    cli(env, link, "backup", path)
                    got = file_values(path)
                    return [got.get(r, -1) for r in range(563)]
                restore(env, link, factory_file(env, tmp, settings), held, failures, name)
            finally:
                stop(bridge, sim)


def main():
    failures = Failures()
    with tempfile.TemporaryDirectory() as home:
        env = private_env(home)
        pymodbus_servers(env, failures)
        mbpoll_against_sim(env, failures)
        socat_bridge(env, failures)
    return failures.report()


if __name__ == "__main__":
    sys.exit(main())
