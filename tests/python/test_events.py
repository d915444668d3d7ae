"""The driver's events in Python: the register's requests answered by the example back office through asyncio
and through tessel.pump, handlers that raise, the event thread, and Python threads during an exchange."""

import asyncio
import gc
import logging
import re
import threading
import time
import weakref
from decimal import Decimal

import pytest

import tessel
from answer_requests import NO_SUCH_GOODS, BackOffice, serve
from conftest import WAIT

# Requests as the register sends them: type 1, sign 0, quantity 1.000, then the article code as five bytes
# (81h) or the operator and the barcode's text (82h).
QUANTITY = "E8 03 00 00 00"
BY_CODE = "81 01 00 " + QUANTITY + " {:02X} 00 00 00 00 01"
BY_BARCODE = "82 01 00 " + QUANTITY + " 01 {}"


def barcode(text):
    return BY_BARCODE.format(" ".join(f"{ord(c):02X}" for c in text))


ANSWER = re.compile(r'^LINE \d+ ADDR \d+ OP ([0-9A-F]{2})h ANSWER (-?\d+) "[^"]*"(.*)$')
FIELD = re.compile(r'(\w+)=("(?:[^"\\]|\\.)*"|\S+)')


def decoded(line):
    """(opcode, result, {name: text}) of one line of the emulator's sale."""
    match = ANSWER.match(line)
    assert match, line
    return int(match[1], 16), int(match[2]), dict(FIELD.findall(match[3]))


def shown_as(value, text):
    """Whether the emulator's text of a field is the value the back office set."""
    if isinstance(value, str):
        return text == '"' + value.replace("\\", "\\\\").replace('"', '\\"') + '"'
    if isinstance(value, Decimal):
        return Decimal(text) == value
    if isinstance(value, float):
        return float(text) == value
    return int(text) == value


def pump_until_output(emulator):
    """Pumps the driver's events, as a simple script does, until the emulator prints; returns its line."""
    deadline = time.monotonic() + WAIT
    while emulator.output.empty():
        assert time.monotonic() < deadline, "the emulator printed nothing in time"
        tessel.pump(0.1)
    return emulator.line()


def test_the_sale_is_answered_through_asyncio_as_the_back_office_sent_it(driver, emulator):
    back_office = BackOffice(driver)
    driver.DeviceEnabled = True

    def sale_lines():
        # The sale's lines come when it ends; "help" marks the end of them.
        emulator.send("sale")
        emulator.send("help")
        lines = []
        while not (line := emulator.line()).startswith("send ADDR HEX"):
            lines.append(line)
        return lines

    async def run():
        loop = asyncio.get_running_loop()
        stop = loop.create_future()
        serving = asyncio.ensure_future(serve(driver, back_office, stop))
        await asyncio.sleep(0)  # connected and watching the queue
        lines = await asyncio.wait_for(loop.run_in_executor(None, sale_lines), WAIT)
        stop.set_result(None)
        await serving
        return lines

    received = [decoded(line) for line in asyncio.run(run())]
    assert len(received) == len(back_office.answers)
    assert {0x81, 0x82} <= {opcode for opcode, _, _ in back_office.answers}
    for (opcode, result, fields), (shown_opcode, shown_result, shown) in zip(back_office.answers, received):
        assert (shown_opcode, shown_result) == (opcode, result)
        assert set(shown) == set(fields), f"{opcode:02X}h"
        for name, value in fields.items():
            assert shown_as(value, shown[name]), f"{opcode:02X}h {name}: {value!r} shown as {shown[name]}"


# (request, its opcode, the answer's result): goods from the example's table, and goods it does not have.
REQUESTS = [
    (BY_CODE.format(123), 0x81, 0),
    (BY_CODE.format(99), 0x81, NO_SUCH_GOODS),
    (barcode("4601234567893"), 0x82, 0),
    (barcode("2000000000015"), 0x82, NO_SUCH_GOODS),
]


@pytest.mark.parametrize("request_hex, opcode, result", REQUESTS)
def test_a_request_is_answered_while_a_script_pumps(driver, emulator, request_hex, opcode, result):
    replaced = []
    back_office = BackOffice(driver)
    driver.DeviceEnabled = True
    driver.connect(replaced.append)
    driver.connect(back_office)  # replaces the first handler
    emulator.send("send 2 " + request_hex)
    assert pump_until_output(emulator).startswith(f"ANSWER {result} ")
    assert [(o, r) for o, r, _ in back_office.answers] == [(opcode, result)]
    assert replaced == []


@pytest.mark.parametrize("error", [ValueError("no goods today"), KeyboardInterrupt()])
def test_a_raising_handler_leaves_the_pump_working(driver, emulator, caplog, error):
    back_office = BackOffice(driver)

    def answer_then_raise(command_id):
        back_office.OnCommand(command_id)
        raise error

    driver.DeviceEnabled = True
    driver.connect(answer_then_raise)
    for _ in range(2):
        emulator.send("send 2 " + BY_CODE.format(123))
        if isinstance(error, Exception):
            # Logged with its traceback; the pump returns as usual.
            assert pump_until_output(emulator).startswith("ANSWER 0 ")
        else:
            # Not an Exception: it ends the pump once the delivery is over, as Ctrl-C would.
            with pytest.raises(KeyboardInterrupt):
                pump_until_output(emulator)
            assert emulator.line().startswith("ANSWER 0 ")
    assert len(back_office.answers) == 2
    logged = [r for r in caplog.records if r.name == "tessel" and r.levelno == logging.ERROR]
    assert len(logged) == (2 if isinstance(error, Exception) else 0)
    assert all(r.exc_info[1] is error for r in logged)


def test_other_threads_run_and_wait_their_turn_during_a_slow_exchange(driver, emulator):
    assert emulator.command("delay 800").startswith("OK")
    longest_pause = 0.0
    stop = threading.Event()
    other_call_ended = []

    def spin():
        # Pure Python: it runs only while no thread holds the interpreter lock for long.
        nonlocal longest_pause
        last = time.monotonic()
        while not stop.is_set():
            now = time.monotonic()
            longest_pause = max(longest_pause, now - last)
            last = now

    def call_meanwhile():
        time.sleep(0.2)
        driver.Version  # waits for the exchange: the driver takes one call at a time
        other_call_ended.append(time.monotonic())

    threads = [threading.Thread(target=spin), threading.Thread(target=call_meanwhile)]
    try:
        for thread in threads:
            thread.start()
        start = time.monotonic()
        assert driver.GetECRStatus() == 0
        end = time.monotonic()
    finally:
        stop.set()
        for thread in threads:
            thread.join(WAIT)
        emulator.command("clear")
    assert end - start >= 0.7
    assert longest_pause < 0.4
    # The other call came 0.2 s into the exchange and ended only with it.
    assert other_call_ended and other_call_ended[0] - start >= 0.7


def test_only_the_event_thread_pumps_while_objects_live(driver):
    outcome = []

    def pump_elsewhere():
        try:
            tessel.pump(0)
        except RuntimeError as error:
            outcome.append(error)

    thread = threading.Thread(target=pump_elsewhere)
    thread.start()
    thread.join(WAIT)
    assert "created the first driver object" in str(outcome[0])
    assert tessel.pump(0) == 0  # here it may


def test_a_handler_must_be_callable_or_have_on_command(driver):
    with pytest.raises(TypeError, match="OnCommand"):
        driver.connect(42)


def test_a_driver_held_only_by_its_handler_is_collected(emulator):
    d = tessel.Dispatch("Addin.TesselDriver")
    d.connect(BackOffice(d))
    released = weakref.ref(d)
    del d
    gc.collect()
    assert released() is None
