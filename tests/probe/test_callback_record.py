"""The 24-byte callback record the library receives, and which callback
bundle the library's calls reach."""

from __future__ import annotations

import struct
from collections.abc import Callable
from typing import Any

import pytest

import FoliantConversion as fc
from probe_control import CONVERSIONS, Probe, cancel, progress


def fields(record: bytes) -> tuple[int, int, int]:
    """reserved, cancel_func, progress_func."""
    values = struct.unpack("<3Q", record)
    return int(values[0]), int(values[1]), int(values[2])


def handed_record(probe: Probe, callback: Any, entry: str = "start_pdf_to_txt") -> bytes | None:
    probe.reset()
    getattr(fc.FOLIConversion, entry)("a.pdf", "", "b", fc.ConvertOptions(), callback)
    return probe.only_call().callback_bytes()


def fresh() -> Any:
    return fc.ConvertCallback()


def reset_after_both() -> Any:
    callback = fc.ConvertCallback()
    callback.set_progress(lambda current, total: None)
    callback.set_cancel(lambda: False)
    callback.reset()
    return callback


def progress_none_only() -> Any:
    callback = fc.ConvertCallback()
    callback.set_progress(None)
    return callback


def both_none() -> Any:
    callback = fc.ConvertCallback()
    callback.set_progress(None)
    callback.set_cancel(None)
    return callback


def emptied_again() -> Any:
    callback = fc.ConvertCallback()
    callback.set_cancel(lambda: True)
    callback.set_cancel(None)
    return callback


UNARMED: list[Callable[[], Any]] = [lambda: None, fresh, reset_after_both, progress_none_only, both_none,
                                    emptied_again]


@pytest.mark.parametrize("entry", CONVERSIONS)
@pytest.mark.parametrize("make", UNARMED,
                         ids=["none", "fresh", "reset", "set_progress_none", "both_none", "cancel_set_then_none"])
def test_no_callable_gives_a_null_record(probe: Probe, entry: str, make: Callable[[], Any]) -> None:
    assert handed_record(probe, make(), entry) is None


@pytest.mark.parametrize("entry", CONVERSIONS)
def test_only_cancel_set_hands_over_cancel_alone(probe: Probe, entry: str) -> None:
    callback = fc.ConvertCallback()
    callback.set_cancel(lambda: False)
    record = handed_record(probe, callback, entry)
    assert record is not None and len(record) == 24
    reserved, cancel_func, progress_func = fields(record)
    assert reserved == 0
    assert cancel_func != 0
    assert progress_func == 0


def test_only_progress_set_hands_over_progress_alone(probe: Probe) -> None:
    callback = fc.ConvertCallback()
    callback.set_progress(lambda current, total: None)
    record = handed_record(probe, callback)
    assert record is not None
    reserved, cancel_func, progress_func = fields(record)
    assert (reserved, cancel_func) == (0, 0)
    assert progress_func != 0


def test_function_fields_say_whether_set_was_called(probe: Probe) -> None:
    # Armed by the cancel callable; set_progress(None) still fills its field.
    callback = fc.ConvertCallback()
    callback.set_cancel(lambda: False)
    callback.set_progress(None)
    record = handed_record(probe, callback)
    assert record is not None
    reserved, cancel_func, progress_func = fields(record)
    assert reserved == 0 and cancel_func != 0 and progress_func != 0


def test_function_pointers_are_the_same_for_every_instance_and_call(probe: Probe) -> None:
    seen = set()
    for _ in range(2):
        callback = fc.ConvertCallback()
        callback.set_progress(lambda current, total: None)
        callback.set_cancel(lambda: False)
        for entry in ("start_pdf_to_word", "start_pdf_to_ofd"):
            record = handed_record(probe, callback, entry)
            assert record is not None
            seen.add(record)
    assert len(seen) == 1
    reserved, cancel_func, progress_func = fields(seen.pop())
    assert reserved == 0 and cancel_func != 0 and progress_func != 0 and cancel_func != progress_func


def test_reset_between_conversions_empties_the_record(probe: Probe) -> None:
    callback = fc.ConvertCallback()
    callback.set_progress(lambda current, total: None)
    assert handed_record(probe, callback) is not None
    callback.reset()
    assert handed_record(probe, callback) is None
    callback.set_cancel(lambda: False)
    record = handed_record(probe, callback)
    assert record is not None and fields(record)[2] == 0


def noting(heard: list[Any], entry: Any, answer: bool) -> Callable[[], bool]:
    """A cancel callable that notes each call and gives `answer`."""

    def on_cancel() -> bool:
        heard.append(entry)
        return answer

    return on_cancel


def test_a_later_conversion_without_callback_reaches_nothing_of_the_earlier_one(probe: Probe) -> None:
    heard: list[tuple[str, Any]] = []
    first = fc.ConvertCallback()
    first.set_progress(lambda current, total: heard.append(("progress", (current, total))))
    first.set_cancel(noting(heard, ("cancel", None), True))
    probe.script(progress(1, 2), cancel())
    fc.FOLIConversion.start_pdf_to_txt("a.pdf", "", "b", fc.ConvertOptions(), first)
    assert heard == [("progress", (1, 2)), ("cancel", None)]

    heard.clear()
    probe.reset()
    probe.script(progress(5, 6), cancel())
    fc.FOLIConversion.start_pdf_to_txt("a.pdf", "", "b", fc.ConvertOptions())
    fc.FOLIConversion.start_pdf_to_txt("a.pdf", "", "b", fc.ConvertOptions(), None)
    fc.FOLIConversion.start_pdf_to_txt("a.pdf", "", "b", fc.ConvertOptions(), fc.ConvertCallback())
    assert heard == []
    for call in probe.calls():
        assert call.callback_bytes() is None
        assert [step.function_present for step in call.action_list()] == [0, 0]


def test_a_second_armed_instance_replaces_the_first(probe: Probe) -> None:
    heard: list[str] = []
    first = fc.ConvertCallback()
    first.set_progress(lambda current, total: heard.append("first progress"))
    first.set_cancel(noting(heard, "first cancel", True))
    second = fc.ConvertCallback()
    second.set_cancel(noting(heard, "second cancel", False))
    probe.script(progress(1, 1), cancel())
    fc.FOLIConversion.start_pdf_to_txt("a.pdf", "", "b", fc.ConvertOptions(), first)
    fc.FOLIConversion.start_pdf_to_txt("a.pdf", "", "b", fc.ConvertOptions(), second)
    fc.FOLIConversion.start_pdf_to_txt("a.pdf", "", "b", fc.ConvertOptions(), first)
    assert heard == ["first progress", "first cancel", "second cancel", "first progress", "first cancel"]
    answers = [[step.answer for step in call.action_list()] for call in probe.calls()]
    assert answers == [[0, 1], [0, 0], [0, 1]]
    # The second instance handed over no progress function, so that step was skipped.
    assert [step.function_present for step in probe.calls()[1].action_list()] == [0, 1]
