"""LibraryManager: the arguments each static method hands to the library,
and the results it gives back."""

from __future__ import annotations

from typing import Any

import pytest

import FoliantConversion as fc
from probe_control import (GET_PAGE_COUNT, GET_VERSION, INITIALIZE, RELEASE, RELEASE_DOCUMENT_AI_MODEL,
                           SET_DOCUMENT_AI_MODEL, SET_DOCUMENT_AI_MODEL_COUNT, SET_LOGGER, Probe)

LM = fc.LibraryManager


@pytest.mark.parametrize(
    "call, expected",
    [
        (lambda: LM.set_logger(True, False), (1, 0)),
        (lambda: LM.set_logger(False, True), (0, 1)),
        (lambda: LM.set_logger(enable_warning=False, enable_info=True), (1, 0)),
        (lambda: LM.set_logger(enable_warning=True, enable_info=False), (0, 1)),
        (lambda: LM.set_logger(1, None), (1, 0)),
    ],
    ids=["true_false", "false_true", "keywords_reversed", "keywords_reversed_2", "truth_values"],
)
def test_set_logger_switches_arrive_in_order(probe: Probe, call: Any, expected: tuple[int, int]) -> None:
    call()
    recorded = probe.only_call()
    assert recorded.function == SET_LOGGER
    assert tuple(recorded.bool_args) == expected


@pytest.mark.parametrize(
    "call, gpu_id",
    [
        (lambda: LM.set_document_ai_model("model.bin"), -1),
        (lambda: LM.set_document_ai_model("model.bin", gpu_id=0), 0),
        (lambda: LM.set_document_ai_model("model.bin", 3), 3),
        (lambda: LM.set_document_ai_model(gpu_id=2**31 - 1, file_path="model.bin"), 2**31 - 1),
    ],
    ids=["default", "keyword_zero", "positional", "keywords_reversed_max"],
)
def test_set_document_ai_model_arguments(probe: Probe, call: Any, gpu_id: int) -> None:
    call()
    recorded = probe.only_call()
    assert recorded.function == SET_DOCUMENT_AI_MODEL
    assert recorded.text(0) == b"model.bin"
    assert recorded.int_args[0] == gpu_id


@pytest.mark.parametrize(
    "call",
    [lambda: LM.set_document_ai_model_count(2, 1),
     lambda: LM.set_document_ai_model_count(table_model_count=1, layout_model_count=2)],
    ids=["positional", "keywords_reversed"],
)
def test_set_document_ai_model_count_arguments_in_order(probe: Probe, call: Any) -> None:
    call()
    recorded = probe.only_call()
    assert recorded.function == SET_DOCUMENT_AI_MODEL_COUNT
    assert tuple(recorded.int_args) == (2, 1)


@pytest.mark.parametrize(
    "value, arrives",
    [(None, None), ("", b""), ("res/Ressourcen-ü", "res/Ressourcen-ü".encode()), (b"\xffres", b"\xffres"),
     (bytearray(b"ba"), b"ba")],
    ids=["none_is_null", "empty", "utf8", "bytes", "bytearray"],
)
def test_initialize_text(probe: Probe, value: Any, arrives: bytes | None) -> None:
    assert LM.initialize(value) is None
    recorded = probe.only_call()
    assert recorded.function == INITIALIZE
    assert recorded.text(0) == arrives


@pytest.mark.parametrize(
    "password, arrives",
    [("", b""), (None, None), ("geheim", b"geheim"), (b"\x00x", b"")],
    ids=["empty_is_empty", "none_is_null", "text", "leading_nul"],
)
def test_get_page_count_password(probe: Probe, password: Any, arrives: bytes | None) -> None:
    LM.get_page_count("doc.pdf", password)
    recorded = probe.only_call()
    assert recorded.function == GET_PAGE_COUNT
    assert recorded.text(0) == b"doc.pdf"
    assert recorded.text(1) == arrives


@pytest.mark.parametrize("count", [0, 12, -3, -(2**31), 2**31 - 1])
def test_get_page_count_returns_the_number_unchanged(probe: Probe, count: int) -> None:
    probe.set_page_count(count)
    result = LM.get_page_count(file_path="doc.pdf", password=None)
    assert type(result) is int
    assert result == count
    assert probe.only_call().result == count


def test_set_document_ai_model_success_is_a_new_error_code(probe: Probe) -> None:
    probe.set_ai_model_result(0)
    result = LM.set_document_ai_model("m")
    assert result == fc.ErrorCode.SUCCESS
    assert result is not fc.ErrorCode.SUCCESS
    assert type(result) is fc.ErrorCode


@pytest.mark.parametrize("number", [82, 1, 100, 12345, -7])
def test_set_document_ai_model_returns_any_number_as_error_code(probe: Probe, number: int) -> None:
    probe.set_ai_model_result(number)
    result = LM.set_document_ai_model("m", -1)
    assert isinstance(result, fc.ErrorCode)
    assert result.value == number
    assert result == fc.ErrorCode(number)
    known = {member.value: name for name, member in fc.ErrorCode.__members__.items()}
    assert result.name == known.get(number, "???")


@pytest.mark.parametrize(
    "text, expected",
    [(b"", ""), (b"1.2.3", "1.2.3"), (b"v" * 31, "v" * 31), ("Version ü 2".encode(), "Version ü 2")],
    ids=["empty", "short", "31_bytes", "utf8"],
)
def test_get_version_returns_the_written_text(probe: Probe, text: bytes, expected: str) -> None:
    probe.set_version(text)
    assert LM.get_version() == expected
    assert probe.only_call().function == GET_VERSION


def test_get_version_with_nothing_written_is_empty(probe: Probe) -> None:
    # The module clears its buffer, so a library that writes nothing gives "".
    probe.set_version(b"ignored", write=False)
    assert LM.get_version() == ""


@pytest.mark.parametrize("text", [b"\xff\xfe", b"1.0-\xc3", b"ok\x80"])
def test_get_version_that_is_not_utf8_raises(probe: Probe, text: bytes) -> None:
    probe.set_version(text)
    with pytest.raises(UnicodeDecodeError):
        LM.get_version()
    assert probe.call_count() == 1


def test_calls_reach_the_library_once_each_in_order(probe: Probe) -> None:
    LM.initialize("res")
    LM.set_logger(True, False)
    LM.get_version()
    LM.get_page_count("a.pdf", "pw")
    LM.set_document_ai_model("m", 1)
    LM.set_document_ai_model_count(4, 5)
    LM.release_document_ai_model()
    LM.release()
    assert [call.function for call in probe.calls()] == [
        INITIALIZE, SET_LOGGER, GET_VERSION, GET_PAGE_COUNT, SET_DOCUMENT_AI_MODEL, SET_DOCUMENT_AI_MODEL_COUNT,
        RELEASE_DOCUMENT_AI_MODEL, RELEASE]


@pytest.mark.parametrize(
    "call",
    [
        lambda: LM.set_document_ai_model("m", 2.0),
        lambda: LM.set_document_ai_model("m", 2**31),
        lambda: LM.set_document_ai_model_count(-(2**31) - 1, 1),
        lambda: LM.set_document_ai_model_count(1, "2"),
        lambda: LM.set_logger("yes", True),
        lambda: LM.get_page_count("a.pdf"),
        lambda: LM.initialize(3),
        lambda: LM(),
    ],
    ids=["float_gpu", "gpu_too_big", "count_too_small", "count_str", "logger_str", "missing_password",
         "int_path", "constructor"],
)
def test_refused_arguments_call_nothing(probe: Probe, call: Any) -> None:
    with pytest.raises(TypeError):
        call()
    assert probe.call_count() == 0
