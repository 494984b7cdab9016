#!/usr/bin/python3
"""A pymodbus serial server (RTU or ASCII) for the interoperability tests.

    pymodbus_slave.py DEVICE FRAMER BAUD STATION DUMP

A pseudo-terminal carries 8 bits without parity whatever either side sets (and pyserial may not
set anything else on one), so the server opens it at 8,N,1 and only the rate is the line's.

Holding registers 0..562 start at distinct values (register r holds (r * 7919 + 12345) mod
65536, but the rated current P11.14, register 382, holds 1000 so that the motor currents of a
factory file pass the write's checks); after every write the whole table goes to DUMP, one value a line, so the test can compare
it with what the master wrote.
"""
import logging
import os
import sys

from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                ModbusSlaveContext)
from pymodbus.server import StartSerialServer
from pymodbus.transaction import ModbusAsciiFramer, ModbusRtuFramer

REGISTERS = 563
STATUS = 0x2101  # the drive's status word: 0, stopped (the running check before a write reads it)


def initial(r):
    return 1000 if r == 382 else (r * 7919 + 12345) % 65536


class DumpingBlock(ModbusSequentialDataBlock):
    def __init__(self, dump):
        # The master's register r is the block's address r + 1 (the context adds 1).
        super().__init__(1, [initial(r) for r in range(REGISTERS)] + [0] * (STATUS + 1 - REGISTERS))
        self.dump = dump
        self.write_dump()

    def write_dump(self):
        with open(self.dump + ".tmp", "w") as f:
            f.write("\n".join(str(v) for v in self.values[:REGISTERS]) + "\n")
        os.replace(self.dump + ".tmp", self.dump)

    def setValues(self, address, values):
        super().setValues(address, values)
        self.write_dump()


def main():
    device, framer, baud, station, dump = sys.argv[1:6]
    logging.basicConfig(level=logging.ERROR)
    store = ModbusSlaveContext(hr=DumpingBlock(dump), zero_mode=False)
    context = ModbusServerContext(slaves={int(station): store}, single=False)
    StartSerialServer(context=context,
                      framer=ModbusRtuFramer if framer == "rtu" else ModbusAsciiFramer,
                      port=device, baudrate=int(baud), parity="N", bytesize=8, stopbits=1,
                      timeout=0.005)


if __name__ == "__main__":
    main()
