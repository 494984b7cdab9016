#!/usr/bin/python3
"""A pymodbus server for the interoperability tests: serial (RTU or ASCII) on a pseudo-terminal,
or over TCP as Modbus TCP or with the RTU framer (a pass-through gateway).

    pymodbus_slave.py DEVICE FRAMER BAUD STATION DUMP      (FRAMER rtu or ascii)
    pymodbus_slave.py tcp PORT FRAMER STATION DUMP         (FRAMER mbap or rtu)

A pseudo-terminal carries 8 bits without parity whatever either side sets: opened at 8,N,1.
Holding registers 0..562 hold initial(r); after every write the table goes to DUMP, one value a
line.
"""
import asyncio
import logging
import os
import sys

from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                ModbusSlaveContext)
from pymodbus.server import StartSerialServer
from pymodbus.server.async_io import ModbusTcpServer
from pymodbus.transaction import ModbusAsciiFramer, ModbusRtuFramer, ModbusSocketFramer

REGISTERS = 563
STATUS = 0x2101  # the drive's status word: 0, stopped (the running check before a write reads it)


def initial(r):
    """A distinct value a register; the rated current P11.14 1000, which a factory file's motor
    currents fit."""
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


def context(block, station):
    return ModbusServerContext(slaves={station: ModbusSlaveContext(hr=block, zero_mode=False)},
                               single=False)


async def serve_tcp(port, framer, station, dump):
    block = DumpingBlock(dump)
    # The drive's link parameters as a factory file at 9600,N,7,2 names them (station, rate /
    # 100, format 0): a restore has no link to move.
    block.setValues(497, [station, 96, 0])
    server = ModbusTcpServer(context(block, station), framer=ModbusRtuFramer if framer == "rtu"
                             else ModbusSocketFramer, address=("127.0.0.1", port),
                             allow_reuse_address=True)
    await server.serve_forever()


def main():
    logging.basicConfig(level=logging.ERROR)
    if sys.argv[1] == "tcp":
        port, framer, station, dump = sys.argv[2:6]
        asyncio.run(serve_tcp(int(port), framer, int(station), dump))
        return
    device, framer, baud, station, dump = sys.argv[1:6]
    StartSerialServer(context=context(DumpingBlock(dump), int(station)),
                      framer=ModbusRtuFramer if framer == "rtu" else ModbusAsciiFramer,
                      port=device, baudrate=int(baud), parity="N", bytesize=8, stopbits=1,
                      timeout=0.005)


if __name__ == "__main__":
    main()
