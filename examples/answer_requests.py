#!/usr/bin/env python3
"""A back office for a cash register: answers the register's requests for goods from a table.

During a sale the register asks the computer for the goods behind an article code (request 81h) or a barcode
(request 82h); this script answers from GOODS, refuses codes it does not know with the register's own error
52 ("Отсутствует внутренний товар"), and accepts the register's other requests of a sale: no discounts,
payment in cash, tax sums left to the register.

    build/bin/tessel-regsvr build/lib/libTesselDrv.so        # once: registers the driver
    PYTHONPATH=build/python python3 examples/answer_requests.py --port 1 --seconds 60

The driver's events come on the thread that created the driver object, while that thread pumps its queue;
here an asyncio loop watches the queue's descriptor (loop.add_reader) and delivers them.
"""

import argparse
import asyncio
import signal
import sys
from dataclasses import dataclass
from decimal import Decimal

import tessel


@dataclass(frozen=True)
class Goods:
    name: str
    price: Decimal
    section: int = 1
    taxes: tuple = (1, 0, 0, 0)  # the tax groups 1 to 4 that apply


# What the shop sells: article codes (81h) and barcodes (82h) alike.
GOODS = {
    "123": Goods("Молоко 3,2% 1 л", Decimal("45.50")),
    "124": Goods("Кефир 1% 0,9 л", Decimal("52.30")),
    "4601234567893": Goods("Хлеб бородинский", Decimal("38.90"), section=2),
}

NO_SUCH_GOODS = 52  # the register's "Отсутствует внутренний товар"
REQUEST = 0  # CommandType of a request; 1 is an answer


class BackOffice:
    """Answers every request the register sends through the driver object `driver`.

    `answers` keeps what was sent, one (opcode, result, fields) a request, in the order sent.
    """

    def __init__(self, driver, goods=GOODS):
        self.driver = driver
        self.goods = goods
        self.answers = []

    # The driver's IDriverEvents.Command(CommandID), as d.connect(back_office) delivers it.
    def OnCommand(self, command_id):
        d = self.driver
        d.CommandID = command_id
        if d.GetCommandParams() != 0:
            return
        try:
            if d.CommandType == REQUEST:
                self.answer(d.CommandCode)
        finally:
            # Every command is handled once; keeping it would only grow the driver's list.
            d.CommandID = command_id
            d.DeleteCommand()

    def fields_for(self, opcode):
        """The answer to the request just read: its result code and the properties that carry it."""
        d = self.driver
        if opcode in (0x81, 0x82):
            goods = self.goods.get(d.Code if opcode == 0x81 else d.Barcode)
            if goods is None:
                return NO_SUCH_GOODS, {}
            fields = {"Text": goods.name, "Price": goods.price, "Section": goods.section}
            fields.update({f"Tax{i}": group for i, group in enumerate(goods.taxes, start=1)})
            if opcode == 0x82:
                fields.update(BarcodeType=0, BarcodeWeight=0.0)
            return 0, fields
        if opcode in (0x84, 0x85, 0x86):  # discounts by code, by card, on the receipt: none
            return 0, {"Text": "", "Summ": Decimal(0)}
        if opcode == 0x88:  # how the receipt is paid: all of it in cash
            return 0, {"PayType": 0, "Summ": d.RecSumm}
        if opcode == 0x90:  # receipt closed: the register keeps its own tax sums
            return 0, {f"TaxSumm{i}": Decimal(0) for i in range(1, 5)}
        return 0, {}  # reported, nothing to add

    def answer(self, opcode):
        d = self.driver
        result, fields = self.fields_for(opcode)
        # The answer goes back to the register that asked, from this computer's own address.
        d.CommandType = 1
        d.CommandDstAddress, d.CommandSrcAddress = d.CommandSrcAddress, d.SrcAddress
        d.CommandResultCode = result
        for name, value in fields.items():
            setattr(d, name, value)
        d.SendCommand()
        self.answers.append((opcode, result, fields))


async def serve(driver, back_office, stop):
    """Delivers the driver's events to `back_office` until the future `stop` is done."""
    loop = asyncio.get_running_loop()
    driver.connect(back_office)
    loop.add_reader(tessel.queue_fd(), tessel.dispatch_pending)
    try:
        await stop
    finally:
        loop.remove_reader(tessel.queue_fd())
        driver.disconnect()


async def main(args):
    d = tessel.Dispatch("Addin.TesselDriver")
    d.PortNumber = args.port
    if args.address is not None:
        d.DstAddress = args.address
    d.DeviceEnabled = True  # the port listens from now on
    if d.ResultCode != 0:
        print(f"COM{args.port}: ({d.ResultCode}) {d.ResultDescription}", file=sys.stderr)
        return 1
    loop = asyncio.get_running_loop()
    stop = loop.create_future()
    for sig in (signal.SIGINT, signal.SIGTERM):
        loop.add_signal_handler(sig, lambda: stop.done() or stop.set_result(None))
    if args.seconds:
        loop.call_later(args.seconds, lambda: stop.done() or stop.set_result(None))
    back_office = BackOffice(d)
    print(f"Answering the register on COM{args.port}; Ctrl-C ends", flush=True)
    await serve(d, back_office, stop)
    for opcode, result, fields in back_office.answers:
        shown = " ".join(f"{name}={value}" for name, value in fields.items())
        print(f"{opcode:02X}h answered {result} {shown}".rstrip())
    d.DeviceEnabled = False
    return 0


if __name__ == "__main__":
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, default=1, help="the register's COM port number (default 1)")
    parser.add_argument("--address", type=int, help="the register's network address (default: as set)")
    parser.add_argument("--seconds", type=float, default=0, help="stop after this long (default: at Ctrl-C)")
    sys.exit(asyncio.run(main(parser.parse_args())))
