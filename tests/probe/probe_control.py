"""ctypes face of the probe library: the recorded-call layout, mirrored field
for field from probe_library.cpp, and a small wrapper around its probe_*
control functions."""

from __future__ import annotations

import ctypes
from dataclasses import dataclass
from pathlib import Path

TEXT_CAPACITY = 1024
MAX_LANGUAGES = 64
MAX_ACTIONS = 32
OPTION_RECORD_SIZE = 568
CALLBACK_RECORD_SIZE = 24

# Function numbers recorded by the probe, in its own numbering.
CONVERSIONS = {
    "start_pdf_to_word": 0,
    "start_pdf_to_excel": 1,
    "start_pdf_to_ppt": 2,
    "start_pdf_to_html": 3,
    "start_pdf_to_image": 4,
    "start_pdf_to_markdown": 5,
    "start_pdf_to_rtf": 6,
    "start_pdf_to_txt": 7,
    "start_pdf_to_json": 8,
    "start_pdf_to_searchable_pdf": 9,
    "start_pdf_to_ofd": 10,
}
INITIALIZE = 11
RELEASE = 12
RELEASE_DOCUMENT_AI_MODEL = 13
SET_LOGGER = 14
GET_VERSION = 15
GET_PAGE_COUNT = 16
SET_DOCUMENT_AI_MODEL = 17
SET_DOCUMENT_AI_MODEL_COUNT = 18

PROGRESS = 1
CANCEL = 2
GATE = 3


class ProbeText(ctypes.Structure):
    _fields_ = [
        ("is_null", ctypes.c_int32),
        ("length", ctypes.c_int32),
        ("data", ctypes.c_uint8 * TEXT_CAPACITY),
    ]

    def value(self) -> bytes | None:
        """The text as handed over, or None for a null pointer."""
        if self.is_null:
            return None
        assert self.length <= TEXT_CAPACITY, "text longer than the probe keeps"
        return bytes(self.data[: self.length])


class ProbeAction(ctypes.Structure):
    _fields_ = [
        ("kind", ctypes.c_int32),
        ("thread_id", ctypes.c_int32),
        ("function_present", ctypes.c_int32),
        ("answer", ctypes.c_int32),
        ("lock_held", ctypes.c_int32),
    ]


class ProbeCall(ctypes.Structure):
    _fields_ = [
        ("function", ctypes.c_int32),
        ("thread_id", ctypes.c_int32),
        ("lock_held", ctypes.c_int32),
        ("result", ctypes.c_int32),
        ("texts", ProbeText * 3),
        ("bool_args", ctypes.c_int32 * 2),
        ("int_args", ctypes.c_int32 * 2),
        ("option", ctypes.c_uint8 * OPTION_RECORD_SIZE),
        ("languages_null", ctypes.c_int32),
        ("languages_copied", ctypes.c_int32),
        ("languages", ctypes.c_int32 * MAX_LANGUAGES),
        ("callback_null", ctypes.c_int32),
        ("callback", ctypes.c_uint8 * CALLBACK_RECORD_SIZE),
        ("action_count", ctypes.c_int32),
        ("actions", ProbeAction * MAX_ACTIONS),
    ]

    def text(self, index: int) -> bytes | None:
        text: ProbeText = self.texts[index]
        return text.value()

    def option_bytes(self) -> bytes:
        return bytes(self.option)

    def callback_bytes(self) -> bytes | None:
        """The 24 bytes of the callback record, or None for a null record."""
        return None if self.callback_null else bytes(self.callback)

    def language_values(self) -> list[int] | None:
        """The language array as handed over, or None for a null pointer."""
        if self.languages_null:
            return None
        return list(self.languages[: self.languages_copied])

    def action_list(self) -> list[ProbeAction]:
        return list(self.actions[: self.action_count])


@dataclass(frozen=True)
class Step:
    kind: int
    first: int = 0
    second: int = 0


def progress(current: int, total: int) -> Step:
    return Step(PROGRESS, current, total)


def cancel() -> Step:
    return Step(CANCEL)


def gate() -> Step:
    return Step(GATE)


class Probe:
    """The loaded probe library and the controls the tests use."""

    def __init__(self, path: Path) -> None:
        self.path = path
        self.lib = ctypes.CDLL(str(path))
        lib = self.lib
        lib.probe_get_call.argtypes = [ctypes.c_int, ctypes.POINTER(ProbeCall)]
        lib.probe_set_version.argtypes = [ctypes.c_char_p, ctypes.c_int, ctypes.c_int]
        lib.probe_script_add.argtypes = [ctypes.c_int, ctypes.c_int, ctypes.c_int]
        for name in ("probe_set_result", "probe_set_page_count", "probe_set_ai_model_result",
                     "probe_script_on_own_thread", "probe_gate_open", "probe_gate_set_timeout"):
            getattr(lib, name).argtypes = [ctypes.c_int]
        lib.probe_gate_wait_for_waiters.argtypes = [ctypes.c_int, ctypes.c_int]
        if lib.probe_record_size() != ctypes.sizeof(ProbeCall):
            raise RuntimeError("ProbeCall in probe_control.py does not match probe_library.cpp")

    def reset(self) -> None:
        self.lib.probe_reset()

    def call_count(self) -> int:
        return int(self.lib.probe_call_count())

    def call(self, index: int) -> ProbeCall:
        record = ProbeCall()
        if self.lib.probe_get_call(index, ctypes.byref(record)) != 0:
            raise IndexError(f"the probe recorded no call {index}")
        return record

    def calls(self) -> list[ProbeCall]:
        return [self.call(i) for i in range(self.call_count())]

    def only_call(self) -> ProbeCall:
        calls = self.calls()
        assert len(calls) == 1, f"expected exactly one call, the probe saw {len(calls)}"
        return calls[0]

    def lock_check_available(self) -> bool:
        return bool(self.lib.probe_lock_check_available())

    def set_result(self, result: int) -> None:
        self.lib.probe_set_result(result)

    def set_page_count(self, count: int) -> None:
        self.lib.probe_set_page_count(count)

    def set_ai_model_result(self, result: int) -> None:
        self.lib.probe_set_ai_model_result(result)

    def set_version(self, text: bytes, write: bool = True) -> None:
        if self.lib.probe_set_version(text, len(text), int(write)) != 0:
            raise ValueError("version text does not fit the caller's buffer")

    def script(self, *steps: Step, own_thread: bool = False) -> None:
        """Steps every following conversion runs, in order."""
        self.lib.probe_script_clear()
        for step in steps:
            if self.lib.probe_script_add(step.kind, step.first, step.second) != 0:
                raise ValueError(f"the probe refused step {step}")
        self.lib.probe_script_on_own_thread(int(own_thread))

    def open_gate(self, count: int = 1) -> None:
        self.lib.probe_gate_open(count)

    def set_gate_timeout(self, milliseconds: int) -> None:
        self.lib.probe_gate_set_timeout(milliseconds)

    def wait_at_gate(self, count: int, timeout_ms: int = 20000) -> bool:
        """Blocks (without the interpreter lock) until `count` conversions
        wait at the gate; False if that did not happen in time."""
        return bool(self.lib.probe_gate_wait_for_waiters(count, timeout_ms))
