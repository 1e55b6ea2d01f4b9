"""The library's progress and cancel calls reaching Python: the numbers, the
answers, the thread they come from, exceptions, and callables that change
their own bundle while they run."""

from __future__ import annotations

import gc
import threading
from typing import Any

import pytest

import FoliantConversion as fc
from probe_control import CANCEL, CONVERSIONS, PROGRESS, Probe, cancel, gate, progress


def run(callback: Any, entry: str = "start_pdf_to_txt") -> Any:
    return getattr(fc.FOLIConversion, entry)("a.pdf", "", "b", fc.ConvertOptions(), callback)


class Recorder:
    """A bundle whose callables note what reached them and on which thread."""

    def __init__(self, cancel_answer: Any = False) -> None:
        self.progress: list[tuple[int, int]] = []
        self.cancels = 0
        self.threads: set[int] = set()
        self.cancel_answer = cancel_answer
        self.bundle = fc.ConvertCallback()
        self.bundle.set_progress(self.on_progress)
        self.bundle.set_cancel(self.on_cancel)

    def on_progress(self, current: int, total: int) -> None:
        self.threads.add(threading.get_native_id())
        self.progress.append((current, total))

    def on_cancel(self) -> Any:
        self.threads.add(threading.get_native_id())
        self.cancels += 1
        return self.cancel_answer


@pytest.mark.parametrize("entry", CONVERSIONS)
@pytest.mark.parametrize("current, total", [(1, 3), (0, 0), (7, 2), (-1, 5), (2**31 - 1, -(2**31))])
def test_progress_numbers_reach_python_unchanged(probe: Probe, entry: str, current: int, total: int) -> None:
    recorder = Recorder()
    probe.script(progress(current, total), progress(total, total))
    assert run(recorder.bundle, entry) == fc.ErrorCode.SUCCESS
    assert recorder.progress == [(current, total), (total, total)]
    assert recorder.threads == {threading.get_native_id()}
    steps = probe.only_call().action_list()
    assert [(step.kind, step.function_present) for step in steps] == [(PROGRESS, 1), (PROGRESS, 1)]


class Truthy:
    def __bool__(self) -> bool:
        return True


@pytest.mark.parametrize(
    "answer, expected",
    [(None, 0), (False, 0), (True, 1), (0, 0), (1, 1), (-3, 1), (0.0, 0), (2.5, 1), (Truthy(), 1)],
    ids=["none", "false", "true", "int0", "int1", "negative", "float0", "float", "dunder_bool"],
)
def test_cancel_answers_reach_the_library(probe: Probe, answer: Any, expected: int) -> None:
    recorder = Recorder(cancel_answer=answer)
    probe.script(cancel(), cancel())
    run(recorder.bundle)
    assert recorder.cancels == 2
    assert [(step.kind, step.answer) for step in probe.only_call().action_list()] == [(CANCEL, expected)] * 2


@pytest.mark.parametrize("entry", CONVERSIONS)
@pytest.mark.parametrize("answer", ["yes", [1]], ids=["str", "list"])
def test_unconvertible_cancel_answer_raises_runtime_error(probe: Probe, entry: str, answer: Any) -> None:
    recorder = Recorder(cancel_answer=answer)
    probe.script(cancel(), progress(1, 1))
    with pytest.raises(RuntimeError):
        run(recorder.bundle, entry)
    assert recorder.cancels == 1
    assert recorder.progress == []


def test_calls_from_a_thread_of_the_library_reach_nothing(probe: Probe) -> None:
    recorder = Recorder(cancel_answer=True)
    probe.script(progress(1, 2), cancel(), progress(2, 2), cancel(), own_thread=True)
    assert run(recorder.bundle) == fc.ErrorCode.SUCCESS
    assert recorder.progress == [] and recorder.cancels == 0
    call = probe.only_call()
    steps = call.action_list()
    assert [step.function_present for step in steps] == [1, 1, 1, 1]
    assert [step.answer for step in steps if step.kind == CANCEL] == [0, 0]
    assert {step.thread_id for step in steps} != {call.thread_id}
    assert call.thread_id == threading.get_native_id()
    # The same bundle still works from the converting thread afterwards.
    probe.reset()
    probe.script(progress(3, 4), cancel())
    run(recorder.bundle)
    assert recorder.progress == [(3, 4)] and recorder.cancels == 1


class Failure(Exception):
    pass


@pytest.mark.parametrize("failing", ["progress", "cancel"])
def test_exception_in_a_callable_reaches_the_caller_and_stops_later_calls(probe: Probe, failing: str) -> None:
    heard: list[str] = []

    def on_progress(current: int, total: int) -> None:
        heard.append(f"progress {current}")
        if failing == "progress":
            raise Failure(f"progress failed at {current}")

    def on_cancel() -> bool:
        heard.append("cancel")
        if failing == "cancel":
            raise Failure("cancel failed")
        return False

    callback = fc.ConvertCallback()
    callback.set_progress(on_progress)
    callback.set_cancel(on_cancel)
    first = progress(1, 3) if failing == "progress" else cancel()
    probe.script(first, cancel(), progress(2, 3), cancel())
    with pytest.raises(Failure) as raised:
        run(callback)
    assert type(raised.value) is Failure
    assert str(raised.value) == ("progress failed at 1" if failing == "progress" else "cancel failed")
    assert heard == (["progress 1"] if failing == "progress" else ["cancel"])
    later = probe.only_call().action_list()[1:]
    assert [(step.kind, step.answer) for step in later] == [(CANCEL, 1), (PROGRESS, 0), (CANCEL, 1)]

    # The failure belonged to that conversion only: the next one is heard again.
    heard.clear()
    probe.reset()
    probe.script(cancel())
    if failing == "progress":
        assert run(callback) == fc.ErrorCode.SUCCESS
        assert heard == ["cancel"]
    else:
        with pytest.raises(Failure):
            run(callback)


def test_failing_progress_without_cancel_callable_still_stops_the_library(probe: Probe) -> None:
    heard: list[int] = []

    def on_progress(current: int, total: int) -> None:
        heard.append(current)
        raise Failure("no cancel callable")

    callback = fc.ConvertCallback()
    callback.set_progress(on_progress)
    probe.script(cancel(), progress(1, 2), cancel(), progress(2, 2))
    with pytest.raises(Failure, match="no cancel callable"):
        run(callback)
    assert heard == [1]
    steps = probe.only_call().action_list()
    # Before the failure the record had no cancel function; after it, the
    # library's poll is answered true.
    assert [(step.kind, step.function_present, step.answer) for step in steps] == [
        (CANCEL, 0, 0), (PROGRESS, 1, 0), (CANCEL, 1, 1), (PROGRESS, 1, 0)]
    # The next conversion gets the bundle's own record again: no cancel function.
    probe.reset()
    callback.set_progress(lambda current, total: heard.append(current))
    run(callback)
    record = probe.only_call().callback_bytes()
    assert record is not None and record[8:16] == bytes(8) and record[16:24] != bytes(8)


class SelfChanging:
    """Callables that change their own bundle from inside a call and are
    referenced by nothing but that bundle."""

    def __init__(self, log: list[str], name: str, action: Any) -> None:
        self.log = log
        self.name = name
        self.action = action

    def __call__(self, *args: int) -> bool:
        self.action()
        gc.collect()
        # Still running after the bundle dropped its reference to us.
        self.log.append(f"{self.name}{args}")
        return False


def test_reset_from_inside_the_progress_callable(probe: Probe) -> None:
    log: list[str] = []
    callback = fc.ConvertCallback()
    callback.set_progress(SelfChanging(log, "progress", lambda: callback.reset()))
    callback.set_cancel(SelfChanging(log, "cancel", lambda: None))
    probe.script(progress(1, 2), progress(2, 2), cancel())
    assert run(callback) == fc.ErrorCode.SUCCESS
    assert log == ["progress(1, 2)"]
    # After reset() the record's fields are null, so the library calls nothing.
    assert [step.function_present for step in probe.only_call().action_list()] == [1, 0, 0]


def test_set_progress_from_inside_the_progress_callable(probe: Probe) -> None:
    log: list[str] = []
    callback = fc.ConvertCallback()
    replacement = SelfChanging(log, "second", lambda: None)
    callback.set_progress(SelfChanging(log, "first", lambda: callback.set_progress(replacement)))
    probe.script(progress(1, 3), progress(2, 3), progress(3, 3))
    run(callback)
    assert log == ["first(1, 3)", "second(2, 3)", "second(3, 3)"]


def test_set_cancel_from_inside_the_cancel_callable(probe: Probe) -> None:
    log: list[str] = []
    callback = fc.ConvertCallback()
    callback.set_cancel(SelfChanging(log, "first", lambda: callback.set_cancel(lambda: True)))
    probe.script(cancel(), cancel())
    run(callback)
    assert log == ["first()"]
    assert [step.answer for step in probe.only_call().action_list()] == [0, 1]


def test_set_cancel_none_from_inside_progress_disarms_later_polls(probe: Probe) -> None:
    log: list[str] = []
    callback = fc.ConvertCallback()
    callback.set_cancel(lambda: True)
    callback.set_progress(SelfChanging(log, "progress", lambda: callback.set_cancel(None)))
    probe.script(cancel(), progress(1, 1), cancel())
    run(callback)
    steps = probe.only_call().action_list()
    # The field stays set, but no callable is stored: the answer is false.
    assert [(step.function_present, step.answer) for step in steps] == [(1, 1), (1, 0), (1, 0)]
    assert log == ["progress(1, 1)"]


def test_one_bundle_used_by_two_threads_at_once(probe: Probe) -> None:
    recorder = Recorder(cancel_answer=0)
    probe.script(progress(1, 2), gate(), cancel(), progress(2, 2))
    results: dict[int, Any] = {}

    def convert() -> None:
        results[threading.get_native_id()] = run(recorder.bundle)

    workers = [threading.Thread(target=convert) for _ in range(2)]
    for worker in workers:
        worker.start()
    both_inside = probe.wait_at_gate(2)
    probe.open_gate(2)
    for worker in workers:
        worker.join()
    assert both_inside, "the two conversions did not run at the same time"
    assert set(results) == {worker.native_id for worker in workers}
    assert all(result == fc.ErrorCode.SUCCESS for result in results.values())
    assert sorted(recorder.progress) == [(1, 2), (1, 2), (2, 2), (2, 2)]
    assert recorder.cancels == 2
    assert recorder.threads == set(results)
    calls = probe.calls()
    assert {call.thread_id for call in calls} == set(results)
    assert calls[0].callback_bytes() == calls[1].callback_bytes() is not None
    for call in calls:
        assert [step.answer for step in call.action_list()] == [0, 1, 0, 0]
