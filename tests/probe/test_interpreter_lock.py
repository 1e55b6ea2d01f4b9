"""The interpreter lock: released for the whole library call of a conversion,
held for every LibraryManager call."""

from __future__ import annotations

import threading
from collections.abc import Callable
from typing import Any

import pytest

import FoliantConversion as fc
from probe_control import (CONVERSIONS, GET_PAGE_COUNT, GET_VERSION, INITIALIZE, RELEASE,
                           RELEASE_DOCUMENT_AI_MODEL, SET_DOCUMENT_AI_MODEL, SET_DOCUMENT_AI_MODEL_COUNT,
                           SET_LOGGER, Probe, gate, progress)


@pytest.fixture(autouse=True)
def lock_check(probe: Probe) -> None:
    assert probe.lock_check_available(), "the probe cannot see the interpreter's lock check"


@pytest.mark.parametrize("entry", CONVERSIONS)
def test_other_python_threads_run_while_the_library_works(probe: Probe, entry: str) -> None:
    probe.script(gate())
    probe.set_gate_timeout(10000)
    seen: dict[str, Any] = {}

    def meanwhile() -> None:
        seen["reached"] = probe.wait_at_gate(1, 10000)
        # Plain Python work: only possible if the converting thread let go of the lock.
        seen["work"] = sum(i * i for i in range(1000))
        seen["calls_so_far"] = probe.call_count()
        probe.open_gate()

    helper = threading.Thread(target=meanwhile)
    helper.start()
    result = getattr(fc.FOLIConversion, entry)("a.pdf", "", "b", fc.ConvertOptions())
    helper.join()
    assert seen == {"reached": True, "work": 332833500, "calls_so_far": 1}
    call = probe.only_call()
    assert result == fc.ErrorCode.SUCCESS
    assert call.lock_held == 0
    assert call.thread_id == threading.get_native_id()
    assert [(step.answer, step.lock_held) for step in call.action_list()] == [(1, 0)], "gate timed out"


def test_lock_is_taken_only_for_the_python_call(probe: Probe) -> None:
    held_in_callable: list[int] = []
    callback = fc.ConvertCallback()
    callback.set_progress(lambda current, total: held_in_callable.append(current))
    probe.script(progress(1, 2), progress(2, 2))
    fc.FOLIConversion.start_pdf_to_markdown("a.pdf", "", "b", fc.ConvertOptions(), callback)
    assert held_in_callable == [1, 2]
    steps = probe.only_call().action_list()
    assert [step.lock_held for step in steps] == [0, 0]
    assert {step.thread_id for step in steps} == {threading.get_native_id()}


MANAGER_CALLS: list[tuple[str, int, Callable[[], Any]]] = [
    ("initialize", INITIALIZE, lambda: fc.LibraryManager.initialize("res")),
    ("release", RELEASE, lambda: fc.LibraryManager.release()),
    ("release_document_ai_model", RELEASE_DOCUMENT_AI_MODEL, lambda: fc.LibraryManager.release_document_ai_model()),
    ("set_logger", SET_LOGGER, lambda: fc.LibraryManager.set_logger(True, True)),
    ("get_version", GET_VERSION, lambda: fc.LibraryManager.get_version()),
    ("get_page_count", GET_PAGE_COUNT, lambda: fc.LibraryManager.get_page_count("a.pdf", "")),
    ("set_document_ai_model", SET_DOCUMENT_AI_MODEL, lambda: fc.LibraryManager.set_document_ai_model("m")),
    ("set_document_ai_model_count", SET_DOCUMENT_AI_MODEL_COUNT,
     lambda: fc.LibraryManager.set_document_ai_model_count(1, 1)),
]


@pytest.mark.parametrize("function, call", [m[1:] for m in MANAGER_CALLS], ids=[m[0] for m in MANAGER_CALLS])
def test_library_manager_keeps_the_lock_on_the_calling_thread(probe: Probe, function: int,
                                                              call: Callable[[], Any]) -> None:
    call()
    recorded = probe.only_call()
    assert recorded.function == function
    assert recorded.lock_held == 1
    assert recorded.thread_id == threading.get_native_id()


def test_library_manager_from_another_thread_runs_there_with_the_lock(probe: Probe) -> None:
    worker = threading.Thread(target=lambda: fc.LibraryManager.set_logger(False, True))
    worker.start()
    worker.join()
    recorded = probe.only_call()
    assert recorded.thread_id == worker.native_id != threading.get_native_id()
    assert recorded.lock_held == 1
