#!/usr/bin/python3
"""A pymodbus TCP server for the gateway interoperability tests: Modbus TCP (ModbusTcpServer with
its socket framer), or the RTU framer over TCP as a pass-through gateway speaks it.

    pymodbus_tcp_slave.py PORT FRAMER STATION DUMP

FRAMER is mbap or rtu. The registers start and are dumped as pymodbus_slave.py's are.
"""
import asyncio
import logging
import sys

from pymodbus.datastore import ModbusServerContext, ModbusSlaveContext
from pymodbus.server.async_io import ModbusTcpServer
from pymodbus.transaction import ModbusRtuFramer, ModbusSocketFramer

from pymodbus_slave import DumpingBlock


async def serve(port, framer, station, dump):
    block = DumpingBlock(dump)
    # The drive's link parameters as a factory file at 9600,N,7,2 names them (station, rate /
    # 100, format 0): a restore has no link to move. The master's register r is address r + 1.
    block.setValues(497, [station, 96, 0])
    store = ModbusSlaveContext(hr=block, zero_mode=False)
    context = ModbusServerContext(slaves={station: store}, single=False)
    server = ModbusTcpServer(context, framer=ModbusRtuFramer if framer == "rtu" else
                             ModbusSocketFramer, address=("127.0.0.1", port),
                             allow_reuse_address=True)
    await server.serve_forever()


def main():
    port, framer, station, dump = sys.argv[1:5]
    logging.basicConfig(level=logging.ERROR)
    asyncio.run(serve(int(port), framer, int(station), dump))


if __name__ == "__main__":
    main()
