"""The library's lifecycle under threads: concurrent conversions give the
same output as sequential ones; initialize, release and set_logger called
from another thread never disturb a running conversion; the library works
before any initialize and after a release; and the log goes to standard
error with its prefix only when switched on, MuPDF's own messages included."""

from __future__ import annotations

import os
import subprocess
import sys
import textwrap
import threading
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

import pytest

import FoliantConversion as fc
from conversions import FORMATS
from documents import Documents

C = fc.FOLIConversion
LM = fc.LibraryManager
LOG_PREFIX = "[foliconversion] "

DOCUMENTS = ["structured", "images", "ruled_table", "links", "outline", "truncated", "columns"]

Job = tuple[str, str]  # (document, format)
JOBS: list[Job] = [(document, fmt) for document in DOCUMENTS for fmt in FORMATS]


def tree(folder: Path) -> dict[str, bytes | None]:
    return {
        str(path.relative_to(folder)): None if path.is_dir() else path.read_bytes()
        for path in sorted(folder.rglob("*"))
    }


def run_job(docs: Documents, job: Job, folder: Path) -> tuple[fc.ErrorCode, dict[str, bytes | None]]:
    """Converts one document into a folder of its own and returns the
    result and everything written."""
    document, fmt = job
    entry, extension = FORMATS[fmt]
    folder.mkdir(parents=True)
    options = fc.ConvertOptions()
    options.image_scaling = 0.5
    result = entry(str(getattr(docs, document)), "", str(folder / ("doc" + extension)), options)
    return result, tree(folder)


@pytest.fixture(scope="module")
def reference(docs: Documents, tmp_path_factory: pytest.TempPathFactory) -> dict[Job, dict[str, bytes | None]]:
    """Every job's output, converted one at a time."""
    root = tmp_path_factory.mktemp("reference")
    outputs = {}
    for index, job in enumerate(JOBS):
        result, files = run_job(docs, job, root / str(index))
        assert result == fc.ErrorCode.SUCCESS, job
        assert any(content for content in files.values()), job
        outputs[job] = files
    return outputs


def run_concurrently(docs: Documents, root: Path, rounds: int) -> list[tuple[Job, fc.ErrorCode, dict[str, bytes | None]]]:
    work = [(job, root / f"{round_}-{index}") for round_ in range(rounds) for index, job in enumerate(JOBS)]
    with ThreadPoolExecutor(max_workers=4) as pool:
        results = list(pool.map(lambda item: run_job(docs, item[0], item[1]), work))
    return [(job, result, files) for (job, _), (result, files) in zip(work, results)]


def test_concurrent_conversions_match_sequential_ones(
    docs: Documents, reference: dict[Job, dict[str, bytes | None]], tmp_path: Path
) -> None:
    for job, result, files in run_concurrently(docs, tmp_path, rounds=2):
        assert result == fc.ErrorCode.SUCCESS, job
        assert files == reference[job], job


class Churn(threading.Thread):
    """Calls initialize, release, set_logger and get_page_count in a loop
    until told to stop."""

    def __init__(self, docs: Documents, resource_folder: Path) -> None:
        super().__init__()
        self.docs = docs
        self.resource_folder = str(resource_folder)
        self.stop = threading.Event()
        self.rounds = 0
        self.page_counts: set[int] = set()

    def run(self) -> None:
        while not self.stop.is_set():
            LM.release()
            LM.initialize(None)  # type: ignore[arg-type]
            LM.set_logger(False, True)
            self.page_counts.add(LM.get_page_count(str(self.docs.simple), ""))
            LM.release()
            LM.release()
            LM.initialize(self.resource_folder)
            LM.set_logger(False, False)
            LM.initialize(self.resource_folder)
            self.rounds += 1


def test_lifecycle_calls_from_another_thread_do_not_disturb_conversions(
    docs: Documents, reference: dict[Job, dict[str, bytes | None]], tmp_path: Path
) -> None:
    churn = Churn(docs, tmp_path)
    churn.start()
    try:
        outcomes = run_concurrently(docs, tmp_path / "out", rounds=2)
    finally:
        churn.stop.set()
        churn.join()
        LM.set_logger(False, False)
    assert churn.rounds > 0
    assert churn.page_counts == {3}
    for job, result, files in outcomes:
        assert result == fc.ErrorCode.SUCCESS, job
        assert files == reference[job], job


def test_release_then_convert_starts_afresh(
    docs: Documents, reference: dict[Job, dict[str, bytes | None]], tmp_path: Path
) -> None:
    job = ("structured", "markdown")
    LM.release()
    LM.release()
    assert run_job(docs, job, tmp_path / "after-release") == (fc.ErrorCode.SUCCESS, reference[job])
    assert LM.get_page_count(str(docs.structured), "") == 1
    LM.initialize(str(tmp_path))
    LM.release()
    assert run_job(docs, job, tmp_path / "after-initialize-release") == (fc.ErrorCode.SUCCESS, reference[job])


def run_python(script: str, *args: str) -> subprocess.CompletedProcess[str]:
    """Runs `script` in a fresh interpreter that imports the module under
    test, so that nothing earlier in this process has touched the library."""
    return subprocess.run(
        [sys.executable, "-c", textwrap.dedent(script), *args],
        capture_output=True,
        text=True,
        env={**os.environ, "PYTHONPATH": os.pathsep.join(sys.path)},
        timeout=300,
    )


def test_works_before_any_initialize(docs: Documents, out_dir: Path) -> None:
    done = run_python(
        """
        import sys
        import FoliantConversion as fc
        source, output = sys.argv[1], sys.argv[2]
        print(fc.LibraryManager.get_page_count(source, ""))
        print(int(fc.FOLIConversion.start_pdf_to_txt(source, "", output, fc.ConvertOptions())))
        """,
        str(docs.simple),
        str(out_dir / "doc.txt"),
    )
    assert done.returncode == 0, done.stderr
    assert done.stdout.split() == ["3", str(int(fc.ErrorCode.SUCCESS))]
    text = (out_dir / "doc.txt").read_text(encoding="utf-8")
    assert all(f"Page {number} heading" in text for number in (1, 2, 3))


def test_converting_before_initialize_in_a_fresh_process_on_threads(docs: Documents, out_dir: Path) -> None:
    """The built-in state is made on first use; several threads making that
    first use at once must agree on one."""
    done = run_python(
        """
        import sys, threading
        import FoliantConversion as fc
        source, folder = sys.argv[1], sys.argv[2]
        results = []
        def work(index):
            results.append(fc.FOLIConversion.start_pdf_to_txt(source, "", f"{folder}/doc{index}.txt",
                                                              fc.ConvertOptions()))
        threads = [threading.Thread(target=work, args=(index,)) for index in range(6)]
        for thread in threads: thread.start()
        for thread in threads: thread.join()
        print(sum(result == fc.ErrorCode.SUCCESS for result in results))
        """,
        str(docs.simple),
        str(out_dir),
    )
    assert done.returncode == 0, done.stderr
    assert done.stdout.split() == ["6"]
    texts = {path.read_bytes() for path in out_dir.glob("doc*.txt")}
    assert len(texts) == 1 and b"Page 3 heading" in texts.pop()


LOG_SCRIPT = """
    import os, sys
    import FoliantConversion as fc
    info, warning, truncated, damaged, folder = sys.argv[1] == "1", sys.argv[2] == "1", *sys.argv[3:]
    fc.LibraryManager.set_logger(info, warning)
    fc.FOLIConversion.start_pdf_to_txt(truncated, "", folder + "/a.txt", fc.ConvertOptions())
    fc.FOLIConversion.start_pdf_to_json(damaged, "", folder + "/b.json", fc.ConvertOptions())
    fc.LibraryManager.get_page_count(truncated, "")
    fc.LibraryManager.set_logger(False, False)
    os.write(2, b"--silenced--\\n")
    fc.FOLIConversion.start_pdf_to_html(truncated, "", folder + "/c.html", fc.ConvertOptions())
    fc.FOLIConversion.start_pdf_to_markdown(damaged, "", folder + "/d.md", fc.ConvertOptions())
    fc.LibraryManager.get_page_count(damaged, "")
    for image_type in (fc.ImageType.GIF, fc.ImageType.TIFF, fc.ImageType.JPEG2000, fc.ImageType.WEBP):
        options = fc.ConvertOptions()
        options.image_type = image_type
        options.image_scaling = 0.5
        fc.FOLIConversion.start_pdf_to_image(truncated, "", f"{folder}/e{int(image_type)}.png", options)
    """


@pytest.mark.parametrize(("info", "warning"), [(True, True), (True, False), (False, True), (False, False)])
def test_log_goes_to_stderr_with_prefix_only_when_on(
    info: bool, warning: bool, docs: Documents, out_dir: Path
) -> None:
    done = run_python(
        LOG_SCRIPT, str(int(info)), str(int(warning)), str(docs.truncated), str(docs.damaged), str(out_dir)
    )
    assert done.returncode == 0, done.stderr
    logged, marker, after = done.stderr.partition("--silenced--\n")
    assert marker, done.stderr
    assert after == ""  # switched off: nothing at all, MuPDF's warnings included
    lines = logged.splitlines()
    assert all(line.startswith(LOG_PREFIX) for line in lines), lines
    levels = {line[len(LOG_PREFIX):].split(":", 1)[0] for line in lines}
    assert levels == {level for level, on in (("info", info), ("warning", warning)) if on}
    # The repair of the truncated file is MuPDF's own warning, routed through the log.
    assert any(line.startswith(LOG_PREFIX + "warning: mupdf:") for line in lines) == warning
    assert any("truncated.pdf" in line for line in lines) == info
