"""Late binding by name: methods and their results, English and Russian names, the member list, refusals."""

import pytest

import tessel

# (English name, Russian name): a value set under one is read under the other.
NAMES = [
    ("Timeout", "Таймаут"),
    ("ECRMode", "РежимККМ"),
    ("Text", "Текст"),
    ("Price", "Цена"),
    ("ECRDate", "ДатаККМ"),
    ("DataBlock", "БлокДанных"),
]

# Values that the driver keeps as they are set, by English name.
SAMPLES = {"Timeout": 2500, "ECRMode": 4, "Text": "Чек", "Price": 12, "ECRDate": None, "DataBlock": b"\x81"}


@pytest.mark.parametrize("english, russian", NAMES)
def test_russian_and_english_names_reach_the_same_member(driver, english, russian):
    value = SAMPLES[english]
    if value is None:
        value = getattr(driver, english)
    setattr(driver, russian, value)
    assert getattr(driver, english) == value
    assert getattr(driver, russian) == getattr(driver, english)
    # Any case, as the driver compares names.
    assert getattr(driver, english.lower()) == value


# (properties set first, method, result, ResultDescription)
CALLS = [
    ({}, "GetECRStatus", 0, "Ошибок нет"),
    ({}, "ПолучитьСостояниеККМ", 0, "Ошибок нет"),
    ({"TableNumber": 99}, "GetTableStruct", 130, "Неверный номер таблицы"),  # the register's own error
    ({"PortNumber": 7}, "GetECRStatus", -3,
     "Порт недоступен: COM7 = /nonexistent/tty (TESSEL_COM7)"),  # COM7 leads nowhere, and it says so
]


@pytest.mark.parametrize("setup, method, result, description", CALLS)
def test_a_method_yields_its_result_code_and_leaves_the_description(
        driver, monkeypatch, setup, method, result, description):
    monkeypatch.setenv("TESSEL_COM7", "/nonexistent/tty")
    for name, value in setup.items():
        setattr(driver, name, value)
    assert getattr(driver, method)() == result
    assert driver.ResultCode == result
    assert driver.ResultDescription == description


def test_a_method_is_a_callable_of_its_object(driver):
    status = driver.GetECRStatus
    assert "GetECRStatus" in repr(status)
    assert status() == 0
    # AboutBox yields nothing; without the dialogs module its failure is in ResultCode.
    assert driver.AboutBox() is None


def test_dir_lists_the_members_from_the_type_information(driver):
    names = dir(driver)
    assert {"GetECRStatus", "ECRModeDescription", "CommandExecuteFlag", "РежимККМ", "ПолучитьСостояниеККМ",
            "connect", "disconnect"} <= set(names)
    # Every name listed is one the object resolves.
    for name in names:
        if name not in ("connect", "disconnect") and not name.startswith("Show"):
            getattr(driver, name)


# (what is done, the ComError's code, its argument index)
REFUSALS = [
    (lambda d: d.NoSuchMember, tessel.DISP_E_UNKNOWNNAME, None),
    (lambda d: setattr(d, "НетТакого", 1), tessel.DISP_E_UNKNOWNNAME, None),
    (lambda d: setattr(d, "ResultCode", 1), tessel.DISP_E_MEMBERNOTFOUND, None),  # read-only
    (lambda d: setattr(d, "GetECRStatus", 1), tessel.DISP_E_MEMBERNOTFOUND, None),  # a method
    (lambda d: d.GetECRStatus(1), tessel.DISP_E_BADPARAMCOUNT, None),  # methods take no arguments
]


@pytest.mark.parametrize("action, code, argument", REFUSALS)
def test_a_refused_call_raises_com_error(driver, action, code, argument):
    with pytest.raises(tessel.ComError) as raised:
        action(driver)
    assert raised.value.code == code
    assert raised.value.argument == argument
    assert str(raised.value) == raised.value.text


def test_an_unknown_name_is_an_attribute_error_too(driver):
    assert not hasattr(driver, "NoSuchMember")
    assert getattr(driver, "NoSuchMember", "default") == "default"
    with pytest.raises(AttributeError):
        driver.__no_such_protocol__


def test_an_unregistered_progid_names_the_failure(settings):
    with pytest.raises(tessel.ComError) as raised:
        tessel.Dispatch("Addin.NoSuchDriver")
    assert "Addin.NoSuchDriver" in raised.value.text
    assert raised.value.code < 0
