"""Values between Python and the driver's properties, both ways, for every type the interface uses."""

from datetime import date, datetime, time, timedelta, timezone
from decimal import Decimal

import pytest

import tessel

# (property, value set, value read back): the read value's type is checked too.
ROUND_TRIPS = [
    # long, and the byte and word widths at their largest
    ("Timeout", 123456, 123456),
    ("OperationRegister", -2147483648, -2147483648),
    ("ECRDay", 255, 255),
    ("ReceiptNumber", 65535, 65535),
    # double
    ("Quantity", 2.125, 2.125),
    ("BarcodeWeight", -0.5, -0.5),
    # boolean
    ("EKLZNumberValid", True, True),
    ("INNValid", False, False),
    # string: Cyrillic and the punctuation of the register's code page
    ("Text", "Молоко 3,2% «Весёлый молочник» №5", "Молоко 3,2% «Весёлый молочник» №5"),
    ("Barcode", "", ""),
    # currency: exact to 1/10000 at both ends of its range
    ("Price", Decimal("45.50"), Decimal("45.5")),
    ("Summ", Decimal("0.0001"), Decimal("0.0001")),
    ("CashRegister", Decimal("-922337203685477.5808"), Decimal("-922337203685477.5808")),
    ("RecSumm", Decimal("922337203685477.5807"), Decimal("922337203685477.5807")),
    # date
    ("ECRDate", date(2024, 2, 29), datetime(2024, 2, 29)),
    ("ECRSoftDate", datetime(2023, 6, 15), datetime(2023, 6, 15)),
    ("ECRTime", time(13, 45, 7), datetime(1899, 12, 30, 13, 45, 7)),
    # the byte strings: every byte value
    ("DataBlock", bytes(range(256)), bytes(range(256))),
    ("RawData", b"\x00\x02\x98\xff", b"\x00\x02\x98\xff"),
]


@pytest.mark.parametrize("name, value, expected", ROUND_TRIPS)
def test_a_property_of_each_type_round_trips(driver, name, value, expected):
    setattr(driver, name, value)
    read = getattr(driver, name)
    assert read == expected
    assert type(read) is type(expected)


# An aware time is taken as the local time it stands for.
AWARE = datetime(2024, 3, 1, 10, 30, tzinfo=timezone(timedelta(hours=3)))

# (property, value set, value read): Python values of another type than the property's, converted on the way.
CONVERSIONS = [
    ("Price", 45, Decimal("45")),  # int to money
    ("Price", Decimal("0.00005"), Decimal("0.0001")),  # beyond 1/10000: half away from zero
    ("Price", Decimal("-1.23455"), Decimal("-1.2346")),
    ("Price", Decimal("1.23454999"), Decimal("1.2345")),
    ("Price", Decimal("1E+3"), Decimal("1000")),
    ("Quantity", Decimal("1.5"), 1.5),  # money to double
    ("Timeout", 2.0, 2),  # double to long
    ("Timeout", "1500", 1500),  # text to long, as the driver converts it
    ("Text", b"\xcc\xee\xeb\xee\xea\xee", "Молоко"),  # bytes become text one character per byte
    ("DataBlock", "АБ", b"\xc0\xc1"),  # and text becomes bytes under the same code page
    ("DataBlock", bytearray(b"\x01\x02"), b"\x01\x02"),
    ("ECRDate", datetime(2024, 3, 1, 23, 59, 59), datetime(2024, 3, 1)),  # the register keeps the day
    ("ECRTime", AWARE, datetime(1899, 12, 30, AWARE.astimezone().hour, AWARE.astimezone().minute)),
]


@pytest.mark.parametrize("name, value, expected", CONVERSIONS)
def test_other_python_types_convert_to_the_propertys_type(driver, name, value, expected):
    setattr(driver, name, value)
    assert getattr(driver, name) == expected


# (property, value): refused with ComError naming the value as argument 0 and the property unchanged.
REFUSED = [
    ("Timeout", "не число", tessel.DISP_E_TYPEMISMATCH),
    ("Timeout", 2**31, tessel.DISP_E_OVERFLOW),  # beyond a long, refused by the driver
    ("Timeout", 2**64, tessel.DISP_E_OVERFLOW),  # beyond any integer of a VARIANT
    ("Price", Decimal("922337203685477.5808"), tessel.DISP_E_OVERFLOW),
    ("Price", Decimal("-922337203685477.58085"), tessel.DISP_E_OVERFLOW),
    ("Price", Decimal("NaN"), tessel.DISP_E_TYPEMISMATCH),
    ("Price", Decimal("1E+30"), tessel.DISP_E_OVERFLOW),
    ("ECRDate", date(99, 12, 31), tessel.DISP_E_OVERFLOW),  # before the automation date type
    ("ECRDate", "31 февраля", tessel.DISP_E_TYPEMISMATCH),
]


@pytest.mark.parametrize("name, value, code", REFUSED)
def test_a_value_out_of_the_propertys_range_raises_com_error(driver, name, value, code):
    before = getattr(driver, name)
    with pytest.raises(tessel.ComError) as raised:
        setattr(driver, name, value)
    assert raised.value.code == code
    assert raised.value.argument == 0
    assert name in raised.value.text
    assert getattr(driver, name) == before


@pytest.mark.parametrize("value", [[1, 2], {"a": 1}, object(), 1 + 2j])
def test_an_object_without_a_variant_form_raises_type_error(driver, value):
    with pytest.raises(TypeError, match="setting Text failed: .* argument 0"):
        driver.Text = value

