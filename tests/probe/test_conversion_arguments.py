"""What each conversion entry point hands to the library besides the option
record: the three strings, the function called, and the result it returns."""

from __future__ import annotations

import threading
from typing import Any

import pytest

import FoliantConversion as fc
from probe_control import CONVERSIONS, Probe

ERROR_CODES = list(fc.ErrorCode.__members__.values())


def entry_point(name: str) -> Any:
    return getattr(fc.FOLIConversion, name)


@pytest.mark.parametrize("entry", CONVERSIONS)
def test_strings_arrive_utf8_encoded_on_the_calling_thread(probe: Probe, entry: str) -> None:
    file_path = "in/Überblick 文件.pdf"
    output_path = "out/résumé €.out"
    entry_point(entry)(file_path, "pässwört", output_path, fc.ConvertOptions())
    call = probe.only_call()
    assert call.function == CONVERSIONS[entry]
    assert call.text(0) == file_path.encode()
    assert call.text(1) == "pässwört".encode()
    assert call.text(2) == output_path.encode()
    assert call.thread_id == threading.get_native_id()


@pytest.mark.parametrize("kind", [bytes, bytearray])
def test_bytes_paths_arrive_byte_for_byte(probe: Probe, kind: type) -> None:
    raw_in = b"\xff\xfe/raw \x80\xc3(.pdf"
    raw_out = b"/tmp/\xe9t\xe9.txt"
    fc.FOLIConversion.start_pdf_to_txt(kind(raw_in), kind(b"\x01pw\xff"), kind(raw_out), fc.ConvertOptions())
    call = probe.only_call()
    assert (call.text(0), call.text(1), call.text(2)) == (raw_in, b"\x01pw\xff", raw_out)


@pytest.mark.parametrize("entry", CONVERSIONS)
def test_empty_password_is_an_empty_string_not_null(probe: Probe, entry: str) -> None:
    entry_point(entry)("a.pdf", "", "b", fc.ConvertOptions())
    password = probe.only_call().texts[1]
    assert password.is_null == 0
    assert password.length == 0
    assert probe.only_call().text(1) == b""


def test_keyword_arguments_in_any_order(probe: Probe) -> None:
    callback = fc.ConvertCallback()
    callback.set_cancel(lambda: False)
    options = fc.ConvertOptions()
    options.page_ranges = "7"
    fc.FOLIConversion.start_pdf_to_json(callback=callback, options=options, output_path="o.json",
                                        password="pw", file_path="f.pdf")
    call = probe.only_call()
    assert (call.text(0), call.text(1), call.text(2)) == (b"f.pdf", b"pw", b"o.json")
    assert call.option_bytes()[304:306] == b"7\0"
    assert call.callback_bytes() is not None


@pytest.mark.parametrize("entry", CONVERSIONS)
def test_four_positional_arguments_give_a_null_callback_record(probe: Probe, entry: str) -> None:
    entry_point(entry)("a.pdf", "", "b", fc.ConvertOptions())
    assert probe.only_call().callback_bytes() is None


@pytest.mark.parametrize(
    "arguments",
    [
        ("a.pdf", "", "b", None),
        (None, "", "b", fc.ConvertOptions()),
        ("a.pdf", None, "b", fc.ConvertOptions()),
        ("a.pdf", "", "b", fc.ConvertOptions(), "not a callback"),
        ("a.pdf", "", "b"),
    ],
    ids=["none_options", "none_path", "none_password", "bad_callback", "missing_options"],
)
def test_refused_arguments_call_nothing(probe: Probe, arguments: tuple[Any, ...]) -> None:
    with pytest.raises(TypeError):
        fc.FOLIConversion.start_pdf_to_txt(*arguments)
    assert probe.call_count() == 0


@pytest.mark.parametrize("entry", CONVERSIONS)
def test_every_result_number_comes_back_as_its_error_code(probe: Probe, entry: str) -> None:
    for member in ERROR_CODES:
        probe.set_result(member.value)
        result = entry_point(entry)("a.pdf", "", "b", fc.ConvertOptions())
        assert type(result) is fc.ErrorCode
        assert result == member
        assert result is not member
    assert [call.result for call in probe.calls()] == [member.value for member in ERROR_CODES]


@pytest.mark.parametrize("number", [12345, -1, 10, 2**31 - 1])
def test_unknown_result_numbers_come_back_unchanged(probe: Probe, number: int) -> None:
    probe.set_result(number)
    result = fc.FOLIConversion.start_pdf_to_html("a.pdf", "", "b", fc.ConvertOptions())
    assert isinstance(result, fc.ErrorCode)
    assert result.value == number
    assert result.name == "???"
    assert result == fc.ErrorCode(number)
    assert all(result != member for member in ERROR_CODES)


@pytest.mark.parametrize("entry", CONVERSIONS)
@pytest.mark.parametrize("position", [0, 1, 2], ids=["file_path", "password", "output_path"])
@pytest.mark.parametrize("kind", [str, bytes])
def test_text_holding_a_nul_byte_is_invalid_and_calls_nothing(probe: Probe, entry: str, position: int,
                                                             kind: type) -> None:
    """The library reads C strings, which end at the first NUL: the tail
    would be lost silently ("victim.conf\\0.txt" names victim.conf)."""
    arguments: list[Any] = ["in.pdf", "pw", "out.txt"]
    arguments[position] = arguments[position] + "\0.txt"
    if kind is bytes:
        arguments = [text.encode() for text in arguments]
    callback = fc.ConvertCallback()
    callback.set_progress(lambda current, total: None)
    assert entry_point(entry)(*arguments, fc.ConvertOptions(), callback) == fc.ErrorCode.INVALID_ARG
    assert probe.call_count() == 0
