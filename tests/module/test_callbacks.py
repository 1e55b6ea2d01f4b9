"""ConvertCallback: its shape, and its set and reset semantics as a real
conversion shows them."""

from __future__ import annotations

import gc
import threading
import weakref
from pathlib import Path

import FoliantConversion as fc
import pytest

from documents import Documents

from .support import Recorder, bundle, convert_txt, docstring_of, signature_of

CB = "FoliantConversion.ConvertCallback"
METHODS = [
    ("set_progress",
     f"set_progress(self: {CB}, progress: collections.abc.Callable[[int, int], None]) -> None",
     "Sets a callback function to track the progress of conversion. The callback receives "
     "(current_page, total_page)."),
    ("set_cancel", f"set_cancel(self: {CB}, cancel: collections.abc.Callable[[], bool]) -> None",
     "Sets a callback function for cancellation check. Return True to cancel the conversion."),
    ("reset", f"reset(self: {CB}) -> None", "Resets all callbacks to None."),
]
ALL_PAGES = [(1, 3), (2, 3), (3, 3)]


class Watched:
    """A callable object whose lifetime a test can watch."""

    def __init__(self, answer: object = None) -> None:
        self.answer = answer
        self.calls = 0

    def __call__(self, *args: int) -> object:
        self.calls += 1
        return self.answer


# --- shape -----------------------------------------------------------------------------


def test_class_docstring() -> None:
    assert fc.ConvertCallback.__doc__ == (
        "Callback bundle for conversion progress and cancellation. Each instance maintains its own callback state."
    )


def test_constructor() -> None:
    assert fc.ConvertCallback.__init__.__doc__ == f"__init__(self: {CB}) -> None\n\nDefault constructor\n"
    with pytest.raises(TypeError):
        fc.ConvertCallback(print)


def test_members_in_order() -> None:
    own = [name for name in vars(fc.ConvertCallback) if not name.startswith("_")]
    assert own == [name for name, _, _ in METHODS]


@pytest.mark.parametrize(("name", "signature", "doc"), METHODS, ids=[name for name, _, _ in METHODS])
def test_signature_and_docstring(name: str, signature: str, doc: str) -> None:
    method = getattr(fc.ConvertCallback, name)
    assert signature_of(method) == signature
    assert docstring_of(method) == doc


def test_no_attributes_of_its_own() -> None:
    callback = fc.ConvertCallback()
    assert not hasattr(callback, "__dict__")
    with pytest.raises(AttributeError):
        callback.progress = print  # type: ignore[attr-defined]
    assert callback != fc.ConvertCallback()


@pytest.mark.parametrize("value", [5, "print", b"x", [print], object()], ids=repr)
@pytest.mark.parametrize("method", ["set_progress", "set_cancel"])
def test_non_callables_are_refused(method: str, value: object, docs: Documents, out_dir: Path) -> None:
    recorder = Recorder()
    callback = bundle(progress=recorder)
    with pytest.raises(TypeError):
        getattr(callback, method)(value)
    # The bundle stays as it was: the progress callable still runs.
    assert convert_txt(docs.simple, out_dir / "out.txt", callback) == fc.ErrorCode.SUCCESS
    assert recorder.calls == ALL_PAGES


# --- set and reset as a conversion shows them --------------------------------------------


def test_keyword_arguments(docs: Documents, out_dir: Path) -> None:
    recorder = Recorder()
    callback = fc.ConvertCallback()
    callback.set_progress(progress=recorder)
    callback.set_cancel(cancel=lambda: False)
    assert convert_txt(docs.simple, out_dir / "out.txt", callback) == fc.ErrorCode.SUCCESS
    assert recorder.calls == ALL_PAGES


def test_set_progress_replaces_the_callable(docs: Documents, out_dir: Path) -> None:
    first, second = Recorder(), Recorder()
    callback = bundle(progress=first)
    callback.set_progress(second)
    assert convert_txt(docs.simple, out_dir / "out.txt", callback) == fc.ErrorCode.SUCCESS
    assert first.calls == [] and second.calls == ALL_PAGES


def test_set_progress_none_disarms(docs: Documents, out_dir: Path) -> None:
    recorder = Recorder()
    callback = bundle(progress=recorder)
    callback.set_progress(None)  # type: ignore[arg-type]
    assert convert_txt(docs.simple, out_dir / "out.txt", callback) == fc.ErrorCode.SUCCESS
    assert recorder.calls == []


def test_set_cancel_none_disarms(docs: Documents, out_dir: Path) -> None:
    callback = bundle(cancel=lambda: True)
    callback.set_cancel(None)  # type: ignore[arg-type]
    assert convert_txt(docs.simple, out_dir / "out.txt", callback) == fc.ErrorCode.SUCCESS


def test_reset_forgets_both_callables(docs: Documents, out_dir: Path) -> None:
    recorder = Recorder()
    callback = bundle(progress=recorder, cancel=lambda: True)
    assert convert_txt(docs.simple, out_dir / "first.txt", callback) == fc.ErrorCode.CANCEL
    callback.reset()
    assert convert_txt(docs.simple, out_dir / "second.txt", callback) == fc.ErrorCode.SUCCESS
    assert recorder.calls == []
    # A reset bundle can be armed again.
    callback.set_progress(recorder)
    assert convert_txt(docs.simple, out_dir / "third.txt", callback) == fc.ErrorCode.SUCCESS
    assert recorder.calls == ALL_PAGES


def test_only_a_cancel_callable(docs: Documents, out_dir: Path) -> None:
    asked = Watched(answer=False)
    callback = bundle(cancel=asked)
    assert convert_txt(docs.simple, out_dir / "out.txt", callback) == fc.ErrorCode.SUCCESS
    assert asked.calls >= 1


def test_unarmed_bundle_runs_like_no_bundle(docs: Documents, out_dir: Path) -> None:
    assert convert_txt(docs.simple, out_dir / "a.txt", fc.ConvertCallback()) == fc.ErrorCode.SUCCESS
    assert convert_txt(docs.simple, out_dir / "b.txt", None) == fc.ErrorCode.SUCCESS
    assert (out_dir / "a.txt").read_bytes() == (out_dir / "b.txt").read_bytes()


# --- what a cancel answer means ------------------------------------------------------------


class Answer:
    def __init__(self, truth: bool) -> None:
        self.truth = truth

    def __bool__(self) -> bool:
        return self.truth


@pytest.mark.parametrize(
    ("answer", "expected"),
    [(True, fc.ErrorCode.CANCEL), (False, fc.ErrorCode.SUCCESS), (None, fc.ErrorCode.SUCCESS),
     (1, fc.ErrorCode.CANCEL), (0, fc.ErrorCode.SUCCESS), (0.5, fc.ErrorCode.CANCEL),
     (Answer(True), fc.ErrorCode.CANCEL), (Answer(False), fc.ErrorCode.SUCCESS)],
    ids=repr,
)
def test_cancel_answer_truth(answer: object, expected: fc.ErrorCode, docs: Documents, out_dir: Path) -> None:
    output = out_dir / "out.txt"
    assert convert_txt(docs.simple, output, bundle(cancel=Watched(answer))) == expected
    assert output.exists() == (expected == fc.ErrorCode.SUCCESS)


@pytest.mark.parametrize("answer", ["yes", [True], object()], ids=repr)
def test_cancel_answer_without_truth_value_raises(answer: object, docs: Documents, out_dir: Path) -> None:
    with pytest.raises(RuntimeError):
        convert_txt(docs.simple, out_dir / "out.txt", bundle(cancel=Watched(answer)))
    assert list(out_dir.iterdir()) == []


# --- lifetime of the stored callables -------------------------------------------------------


def test_bundle_keeps_its_callables_alive(docs: Documents, out_dir: Path) -> None:
    progress, cancel = Watched(), Watched(answer=False)
    watch_progress, watch_cancel = weakref.ref(progress), weakref.ref(cancel)
    callback = bundle(progress=progress, cancel=cancel)
    del progress, cancel
    gc.collect()
    assert watch_progress() is not None and watch_cancel() is not None
    assert convert_txt(docs.simple, out_dir / "out.txt", callback) == fc.ErrorCode.SUCCESS
    assert watch_progress().calls == 3  # type: ignore[union-attr]


@pytest.mark.parametrize("release", ["reset", "replace", "none", "delete"])
def test_bundle_releases_its_callables(release: str) -> None:
    progress, cancel = Watched(), Watched()
    watches = [weakref.ref(progress), weakref.ref(cancel)]
    callback = bundle(progress=progress, cancel=cancel)
    del progress, cancel
    if release == "reset":
        callback.reset()
    elif release == "replace":
        callback.set_progress(print)
        callback.set_cancel(bool)
    elif release == "none":
        callback.set_progress(None)  # type: ignore[arg-type]
        callback.set_cancel(None)  # type: ignore[arg-type]
    else:
        del callback
    gc.collect()
    assert [watch() for watch in watches] == [None, None]


# --- callables that change their own bundle ---------------------------------------------------


def test_progress_callable_resets_its_own_bundle(docs: Documents, out_dir: Path) -> None:
    seen: list[tuple[int, int]] = []
    callback = fc.ConvertCallback()

    def reset_self(current: int, total: int) -> None:
        seen.append((current, total))
        callback.reset()
        gc.collect()

    callback.set_progress(reset_self)
    del reset_self
    assert convert_txt(docs.simple, out_dir / "out.txt", callback) == fc.ErrorCode.SUCCESS
    assert seen == [(1, 3)]
    assert (out_dir / "out.txt").is_file()


def test_progress_callable_replaces_itself(docs: Documents, out_dir: Path) -> None:
    later = Recorder()
    callback = fc.ConvertCallback()

    def hand_over(current: int, total: int) -> None:
        callback.set_progress(later)
        gc.collect()

    callback.set_progress(hand_over)
    del hand_over
    assert convert_txt(docs.simple, out_dir / "out.txt", callback) == fc.ErrorCode.SUCCESS
    assert later.calls == [(2, 3), (3, 3)]


def test_cancel_callable_resets_its_own_bundle(docs: Documents, out_dir: Path) -> None:
    asked: list[int] = []
    callback = fc.ConvertCallback()

    def reset_self() -> bool:
        asked.append(1)
        callback.reset()
        gc.collect()
        return False

    callback.set_cancel(reset_self)
    del reset_self
    assert convert_txt(docs.simple, out_dir / "out.txt", callback) == fc.ErrorCode.SUCCESS
    assert asked == [1]


# --- the thread's current bundle ----------------------------------------------------------------


def test_conversion_started_inside_a_callable_takes_over(docs: Documents, out_dir: Path) -> None:
    """A conversion started from a callable makes its own bundle the thread's
    current one; the outer conversion's later reports go there, and nowhere
    once that bundle is gone."""
    outer_calls: list[tuple[int, int]] = []
    inner = Recorder()
    holder: dict[str, fc.ConvertCallback] = {"inner": bundle(progress=inner)}

    def outer_progress(current: int, total: int) -> None:
        outer_calls.append((current, total))
        if current == 1:
            result = convert_txt(docs.outline, out_dir / "inner.txt", holder["inner"])
            assert result == fc.ErrorCode.SUCCESS

    outer = bundle(progress=outer_progress)
    assert convert_txt(docs.simple, out_dir / "outer.txt", outer) == fc.ErrorCode.SUCCESS
    assert outer_calls == [(1, 3)]
    assert inner.calls == [(1, 3), (2, 3), (3, 3), (2, 3), (3, 3)]

    # Dropping the bundle that is current clears the thread's pointer: the
    # outer conversion's later reports then reach nobody.
    outer_calls.clear()
    inner.calls.clear()

    def outer_then_drop(current: int, total: int) -> None:
        outer_calls.append((current, total))
        if current == 1:
            convert_txt(docs.outline, out_dir / "inner2.txt", holder.pop("inner"))
            gc.collect()

    holder["inner"] = bundle(progress=inner)
    assert convert_txt(docs.simple, out_dir / "outer2.txt", bundle(progress=outer_then_drop)) == fc.ErrorCode.SUCCESS
    assert outer_calls == [(1, 3)]
    assert inner.calls == ALL_PAGES


def test_one_bundle_shared_by_two_threads(docs: Documents, out_dir: Path) -> None:
    lock = threading.Lock()
    calls: dict[int, list[tuple[int, int]]] = {}

    def progress(current: int, total: int) -> None:
        with lock:
            calls.setdefault(threading.get_ident(), []).append((current, total))

    shared = bundle(progress=progress)
    results: list[fc.ErrorCode] = []

    def run(name: str) -> None:
        for round_number in range(5):
            results.append(convert_txt(docs.simple, out_dir / f"{name}-{round_number}.txt", shared))

    threads = [threading.Thread(target=run, args=(name,)) for name in ("a", "b")]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert results == [fc.ErrorCode.SUCCESS] * 10
    assert sorted(len(pages) for pages in calls.values()) == [15, 15]
    for pages in calls.values():
        assert pages == ALL_PAGES * 5
