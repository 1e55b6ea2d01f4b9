"""foliant-convert, run as a user runs it: a separate process on generated
documents. Single files in every format, folders and batches with a failing
file, the page count, usage errors, the progress bar on a terminal, and
Ctrl-C during a long conversion."""

from __future__ import annotations

import argparse
import os
import pty
import re
import signal
import subprocess
import sys
import threading
import time
from collections.abc import Sequence
from pathlib import Path

import pytest

import FoliantConversion as fc
from documents import PASSWORD, make_damaged, make_encrypted, make_many_pages, make_simple, make_structured
from foliant_convert import command, options as cli_options

# Every entry point with the output extension that selects it.
EXTENSIONS = {
    "start_pdf_to_word": ".docx",
    "start_pdf_to_excel": ".xlsx",
    "start_pdf_to_ppt": ".pptx",
    "start_pdf_to_html": ".html",
    "start_pdf_to_image": ".png",
    "start_pdf_to_markdown": ".md",
    "start_pdf_to_rtf": ".rtf",
    "start_pdf_to_txt": ".txt",
    "start_pdf_to_json": ".json",
    "start_pdf_to_searchable_pdf": ".pdf",
    "start_pdf_to_ofd": ".ofd",
}


def command_env(**extra: str) -> dict[str, str]:
    env = dict(os.environ)
    # The command runs elsewhere, so a relative PYTHONPATH would not hold.
    env["PYTHONPATH"] = os.pathsep.join(str(Path(p).resolve()) for p in env.get("PYTHONPATH", "").split(os.pathsep) if p)
    env.update(extra)
    return env


def foliant_convert(*arguments: str | Path, cwd: Path) -> subprocess.CompletedProcess[str]:
    return subprocess.run([sys.executable, "-m", "foliant_convert", *map(str, arguments)], cwd=cwd,
                          env=command_env(), capture_output=True, text=True, timeout=600)


def files_under(folder: Path) -> list[str]:
    return sorted(str(path.relative_to(folder)) for path in folder.rglob("*") if path.is_file())


@pytest.fixture(scope="module")
def inputs(tmp_path_factory: pytest.TempPathFactory) -> Path:
    folder = tmp_path_factory.mktemp("inputs")
    make_simple(folder / "simple.pdf")
    make_structured(folder / "structured.pdf")
    make_damaged(folder / "damaged.pdf")
    make_encrypted(folder / "locked.pdf")
    return folder


@pytest.fixture(scope="module")
def long_document(tmp_path_factory: pytest.TempPathFactory) -> Path:
    """Long enough that its images at 300 dpi take far longer to write than
    it takes to interrupt the conversion."""
    path = tmp_path_factory.mktemp("long") / "long.pdf"
    make_many_pages(path, 400)
    return path


# --- single files ---------------------------------------------------------------------------


@pytest.mark.parametrize("entry", list(EXTENSIONS))
def test_each_format_is_chosen_by_the_extension(inputs: Path, tmp_path: Path, entry: str) -> None:
    """The command writes what the entry point writes, and fails as it
    fails: a format this build does not write yet comes back in words."""
    extension = EXTENSIONS[entry]
    reference, out = tmp_path / "reference", tmp_path / "out"
    reference.mkdir()
    options = fc.ConvertOptions()
    options.image_type = fc.ImageType.PNG  # as the extension .png says
    expected = getattr(fc.FOLIConversion, entry)(str(inputs / "simple.pdf"), "", str(reference / f"doc{extension}"),
                                                 options)
    done = foliant_convert(inputs / "simple.pdf", out / f"doc{extension}", cwd=tmp_path)
    if expected == fc.ErrorCode.SUCCESS:
        assert done.returncode == 0, done.stderr
        assert done.stdout.startswith(f"converted  {inputs / 'simple.pdf'} -> {out / f'doc{extension}'} (3 pages)")
        assert files_under(out) == files_under(reference)
    else:
        assert done.returncode == 1
        assert f"{expected.name}: " in done.stderr
        assert not out.exists(), "the output folder the command made is removed again"


def test_text_output_holds_the_pages(inputs: Path, tmp_path: Path) -> None:
    done = foliant_convert(inputs / "simple.pdf", "simple.txt", "--pages", "2-3", cwd=tmp_path)
    assert done.returncode == 0, done.stderr
    text = (tmp_path / "simple.txt").read_text()
    assert "Page 1 heading" not in text and "Page 2 heading" in text and "Page 3 heading" in text
    assert "(2 pages)" in done.stdout


def test_format_overrides_the_extension(inputs: Path, tmp_path: Path) -> None:
    done = foliant_convert(inputs / "simple.pdf", "simple.data", "--format", "markdown", cwd=tmp_path)
    assert done.returncode == 0, done.stderr
    assert (tmp_path / "simple.data").read_text().startswith("# Page 1 heading")


@pytest.mark.parametrize(
    ("arguments", "pages"),
    [
        (["doc.jpg"], ["doc/doc_1.jpg", "doc/doc_2.jpg", "doc/doc_3.jpg"]),
        (["doc.tif", "--pages", "2"], ["doc/doc_2.tiff"]),
        (["doc.webp", "--pages", "1", "--no-auto-folder"], ["doc_1.webp"]),
        (["doc.jpg", "--image-type", "png", "--pages", "3"], ["doc/doc_3.png"]),
        (["doc.txt", "--per-page"], ["doc/doc_1.txt", "doc/doc_2.txt", "doc/doc_3.txt"]),
    ],
    ids=["jpg", "tif", "no-auto-folder", "image-type", "per-page"],
)
def test_per_page_outputs(inputs: Path, tmp_path: Path, arguments: list[str], pages: list[str]) -> None:
    out = tmp_path / "out"
    out.mkdir()
    done = foliant_convert(inputs / "simple.pdf", *arguments, cwd=out)
    assert done.returncode == 0, done.stderr
    assert files_under(out) == pages


def test_password(inputs: Path, tmp_path: Path) -> None:
    refused = foliant_convert(inputs / "locked.pdf", "locked.txt", cwd=tmp_path)
    assert refused.returncode == 1
    assert "PDF_PASSWORD_ERROR: the document is encrypted: give its password with --password" in refused.stderr
    opened = foliant_convert(inputs / "locked.pdf", "locked.txt", "--password", PASSWORD, cwd=tmp_path)
    assert opened.returncode == 0, opened.stderr
    assert (tmp_path / "locked.txt").read_text().strip()


def test_a_bad_page_range_is_explained(inputs: Path, tmp_path: Path) -> None:
    done = foliant_convert(inputs / "simple.pdf", "out.md", "--pages", "2-9", cwd=tmp_path)
    assert done.returncode == 1
    assert "INVALID_ARG: an option or the output path is invalid: check --pages" in done.stderr
    assert files_under(tmp_path) == []


# --- batches --------------------------------------------------------------------------------


def test_a_folder_with_several_jobs(inputs: Path, tmp_path: Path) -> None:
    folder = tmp_path / "docs"
    (folder / "sub").mkdir(parents=True)
    for name in ("a.pdf", "b.PDF", "sub/c.pdf"):
        make_simple(folder / name, pages=2)
    (folder / "notes.txt").write_text("not a PDF")
    done = foliant_convert(folder, "--to", "md", "--out", "converted", "--jobs", "2", cwd=tmp_path)
    assert done.returncode == 0, done.stderr
    assert files_under(tmp_path / "converted") == ["a.md", "b.md"]
    lines = done.stdout.splitlines()
    assert sorted(lines[:-1]) == [f"converted  {folder / 'a.pdf'} -> converted/a.md (2 pages)",
                                  f"converted  {folder / 'b.PDF'} -> converted/b.md (2 pages)"]
    assert lines[-1] == "2 files: 2 converted"
    assert "\x1b[" not in done.stderr, "no progress bar when standard error is no terminal"

    recursive = foliant_convert(folder, "--to", "txt", "--out", "all", "-r", cwd=tmp_path)
    assert recursive.returncode == 0, recursive.stderr
    assert files_under(tmp_path / "all") == ["a.txt", "b.txt", "sub/c.txt"]


def test_outputs_beside_their_inputs(tmp_path: Path) -> None:
    for name in ("one.pdf", "two.pdf"):
        make_simple(tmp_path / name, pages=1)
    done = foliant_convert("one.pdf", "two.pdf", "--to", "json", "--quiet", cwd=tmp_path)
    assert done.returncode == 0, done.stderr
    assert done.stdout == ""
    assert files_under(tmp_path) == ["one.json", "one.pdf", "two.json", "two.pdf"]


def test_a_failing_file_in_a_batch(inputs: Path, tmp_path: Path) -> None:
    sources = [inputs / "simple.pdf", inputs / "damaged.pdf", inputs / "locked.pdf", inputs / "missing.pdf",
               inputs / "structured.pdf"]
    done = foliant_convert(*sources, "--to", "html", "--out", "out", cwd=tmp_path)
    assert done.returncode == 1
    assert files_under(tmp_path / "out") == ["simple.html", "structured.html"]
    assert f"converted  {inputs / 'simple.pdf'} -> out/simple.html (3 pages)" in done.stdout
    failures = sorted(line for line in done.stderr.splitlines() if line.startswith("failed"))
    assert failures == [
        f"failed     {inputs / 'damaged.pdf'}: PDF_FORMAT_ERROR: the file is not a PDF document that can be read, "
        "or it is damaged",
        f"failed     {inputs / 'locked.pdf'}: PDF_PASSWORD_ERROR: the document is encrypted: give its password with "
        "--password (or the one given is wrong)",
        f"failed     {inputs / 'missing.pdf'}: FILE_ERROR: the input file cannot be found or opened",
    ]
    assert done.stderr.splitlines()[-1] == "5 files: 2 converted, 3 failed"


def test_page_count(inputs: Path, tmp_path: Path) -> None:
    single = foliant_convert("--page-count", inputs / "simple.pdf", cwd=tmp_path)
    assert (single.returncode, single.stdout) == (0, "3\n")
    several = foliant_convert("--page-count", inputs / "structured.pdf", inputs / "locked.pdf",
                              "--password", PASSWORD, cwd=tmp_path)
    assert several.returncode == 0, several.stderr
    assert several.stdout.splitlines() == [f"{inputs / 'structured.pdf'}: 1", f"{inputs / 'locked.pdf'}: 1"]
    failing = foliant_convert("--page-count", inputs / "damaged.pdf", inputs / "locked.pdf", cwd=tmp_path)
    assert failing.returncode == 1
    # get_page_count answers minus the ErrorCode number; the command names it.
    assert failing.stderr.splitlines() == [
        f"{inputs / 'damaged.pdf'}: PDF_FORMAT_ERROR: the file is not a PDF document that can be read, or it is damaged",
        f"{inputs / 'locked.pdf'}: PDF_PASSWORD_ERROR: the document is encrypted: give its password with --password "
        "(or the one given is wrong)",
    ]


def test_version(tmp_path: Path) -> None:
    done = foliant_convert("--version", cwd=tmp_path)
    assert done.returncode == 0
    assert re.fullmatch(r"foliant-convert \S+ \(conversion library (\S+)\)\n", done.stdout)
    assert done.stdout.endswith(f"(conversion library {fc.LibraryManager.get_version()})\n")


@pytest.mark.parametrize(
    ("arguments", "message"),
    [
        ([], "no input given"),
        (["simple.pdf", "out.xyz"], "unknown output format '.xyz'"),
        (["simple.pdf", "out"], "out has no extension: give the output format with --format"),
        (["simple.pdf", "structured.pdf", "damaged.pdf"], "name INPUT and OUTPUT, or convert several inputs with --to"),
        (["simple.pdf", "--format", "md"], "name INPUT and OUTPUT"),
        (["simple.pdf", "out.txt", "--format", "nothing"], "unknown output format 'nothing'"),
        (["simple.pdf", "--to", "md", "--format", "txt"], "not allowed with argument"),
        (["simple.pdf", "--out", "converted"], "--out needs the output format: give it with --to"),
        ([".", "out.md"], ". is a folder: convert the files in it with --to"),
        (["simple.pdf", "out.txt", "--lang", "eng,klingon"], "unknown OCR language 'klingon'"),
        (["simple.pdf", "out.html", "--layout", "grid"], "'grid' is not one of: box, flow"),
        (["simple.pdf", "out.png", "--dpi", "0"], "'0' is not a positive number"),
        (["simple.pdf", "out.png", "--dpi", "72", "--scale", "2"], "not allowed with argument"),
        (["simple.pdf", "--to", "pdf"], "the output would replace the input"),
        (["simple.pdf", "simple.pdf", "--to", "txt", "--out", "o"], "would both be converted into o/simple.txt"),
    ],
    ids=["nothing", "extension", "no-extension", "three-paths", "format-without-output", "format", "to-and-format",
         "out-without-to", "folder-to-file", "language", "layout", "dpi", "scale-and-dpi", "replace-input",
         "same-output"],
)
def test_usage_errors(inputs: Path, arguments: list[str], message: str) -> None:
    before = files_under(inputs)
    done = foliant_convert(*arguments, cwd=inputs)
    assert done.returncode == 2
    assert message in done.stderr
    assert files_under(inputs) == before


# --- options --------------------------------------------------------------------------------

E, C = fc.OCRLanguage.ENGLISH, fc.OCRLanguage.CHINESE
FLAG_CASES: list[tuple[list[str], dict[str, object]]] = [
    (["--no-ai-layout"], {"enable_ai_layout": False}),
    (["--no-images"], {"contain_image": False}),
    (["--no-page-background"], {"contain_page_background_image": False}),
    (["--no-json-tables"], {"json_contain_table": False}),
    (["--no-annotations"], {"contain_annotation": False}),
    (["--excel-all-content"], {"excel_all_content": True}),
    (["--csv"], {"excel_csv_format": True}),
    (["--ocr"], {"enable_ocr": True}),
    (["--transparent-text"], {"transparent_text": True}),
    (["--no-txt-tables"], {"txt_table_format": False}),
    (["--image-path-enhance"], {"image_path_enhance": True}),
    (["--formula-to-image"], {"formula_to_image": True}),
    (["--no-auto-folder"], {"auto_create_folder": False}),
    (["--per-page"], {"output_document_per_page": True}),
    (["--scale", "2.5"], {"image_scaling": 2.5}),
    (["--dpi", "144"], {"image_scaling": 2.0}),
    (["--layout", "box"], {"page_layout_mode": fc.PageLayoutMode.BOX}),
    (["--excel-worksheet", "page"], {"excel_worksheet_option": fc.ExcelWorksheetOption.FOR_PAGE}),
    (["--excel-worksheet", "FOR_DOCUMENT"], {"excel_worksheet_option": fc.ExcelWorksheetOption.FOR_DOCUMENT}),
    (["--html", "multiple-page-with-bookmark"], {"html_option": fc.HtmlOption.MULTIPLE_PAGE_WITH_BOOKMARK}),
    (["--html", "single-bookmark"], {"html_option": fc.HtmlOption.SINGLE_PAGE_WITH_BOOKMARK}),
    (["--ocr-mode", "scan-page"], {"ocr_option": fc.OCROption.SCAN_PAGE}),
    (["--color", "binary"], {"image_color_mode": fc.ImageColorMode.BINARY}),
    (["--image-type", "jp2"], {"image_type": fc.ImageType.JPEG2000}),
    (["--font", "Georgia"], {"font_name": "Georgia"}),
    (["--pages", "1-3,5"], {"page_ranges": "1-3,5"}),
    (["--lang", "eng,chi_sim"], {"languages": [E, C]}),
    (["--lang", "english, Chinese_Tra,AUTO"], {"languages": [E, fc.OCRLanguage.CHINESE_TRA, fc.OCRLanguage.AUTO]}),
    (["--images", "--ocr", "--no-ocr"], {"contain_image": True, "enable_ocr": False}),
]


def parsed_options(arguments: Sequence[str]) -> fc.ConvertOptions:
    parsed = command.build_parser().parse_args(["in.pdf", "out.txt", *arguments])
    assert isinstance(parsed, argparse.Namespace)
    return cli_options.build_options(cli_options.option_fields(parsed))


def fields_of(options: fc.ConvertOptions) -> dict[str, object]:
    return {name: getattr(options, name) for name, value in vars(fc.ConvertOptions).items() if isinstance(value, property)}


@pytest.mark.parametrize(("arguments", "changed"), FLAG_CASES, ids=[" ".join(case[0]) for case in FLAG_CASES])
def test_flags_set_their_fields_only(arguments: list[str], changed: dict[str, object]) -> None:
    expected = fields_of(fc.ConvertOptions()) | changed
    assert fields_of(parsed_options(arguments)) == expected


def test_every_field_has_a_flag() -> None:
    covered = {name for _, changed in FLAG_CASES for name in changed}
    assert covered == set(fields_of(fc.ConvertOptions()))


def test_every_entry_point_has_a_format() -> None:
    entries = {name for name in vars(fc.FOLIConversion) if name.startswith("start_pdf_to_")}
    assert entries == set(EXTENSIONS)
    for entry, extension in EXTENSIONS.items():
        target = command.target_named(extension)
        assert target is not None and target.format.entry_point == entry, extension


# --- the terminal ---------------------------------------------------------------------------


def run_on_a_terminal(arguments: Sequence[str | Path], cwd: Path) -> tuple[int, str, str]:
    """Runs the command with its standard error on a pseudo-terminal;
    returns the exit status, standard output and what the terminal got."""
    controller, terminal = pty.openpty()
    process = subprocess.Popen([sys.executable, "-m", "foliant_convert", *map(str, arguments)], cwd=cwd,
                               env=command_env(TERM="xterm", COLUMNS="120"), stdout=subprocess.PIPE,
                               stderr=terminal, text=True)
    os.close(terminal)
    received = bytearray()

    def drain() -> None:
        while True:
            try:
                chunk = os.read(controller, 4096)
            except OSError:  # the terminal's other side closed
                return
            if not chunk:
                return
            received.extend(chunk)

    reader = threading.Thread(target=drain)
    reader.start()
    stdout, _ = process.communicate(timeout=600)
    reader.join(timeout=60)
    os.close(controller)
    return process.returncode, stdout, received.decode(errors="replace")


def test_progress_bars_on_a_terminal(inputs: Path, tmp_path: Path) -> None:
    status, stdout, screen = run_on_a_terminal([inputs / "simple.pdf", "single.txt"], tmp_path)
    assert status == 0, screen
    assert re.search(r"simple\.pdf +\[#{24}\] 3/3\r?\n$", screen), screen
    assert stdout.startswith("converted  ")

    status, stdout, screen = run_on_a_terminal(
        [inputs / "simple.pdf", inputs / "structured.pdf", "--to", "md", "--out", "out"], tmp_path)
    assert status == 0, screen
    assert re.search(r"all files +\[#{24}\] 4/4 pages, 2/2 files\r?\n$", screen), screen
    assert stdout.splitlines()[-1] == "2 files: 2 converted"

    status, stdout, screen = run_on_a_terminal([inputs / "simple.pdf", "quiet.txt", "--quiet"], tmp_path)
    assert (status, stdout, screen) == (0, "", "")


# --- Ctrl-C ---------------------------------------------------------------------------------


def wait_for_entry(folder: Path, process: subprocess.Popen[str]) -> None:
    """Waits until the conversion has written into `folder`: then it runs.
    Fails only if the command ends or nothing appears in ten minutes."""
    deadline = time.monotonic() + 600
    while not (folder.exists() and any(folder.iterdir())):
        assert process.poll() is None, process.communicate()
        assert time.monotonic() < deadline, "the conversion never started writing"
        time.sleep(0.02)


@pytest.mark.parametrize("batch", [False, True], ids=["single", "batch"])
def test_ctrl_c_cancels_and_leaves_nothing(inputs: Path, long_document: Path, tmp_path: Path, batch: bool) -> None:
    out = tmp_path / "out"
    if batch:
        arguments = [long_document, inputs / "simple.pdf", "--to", "png", "--out", out, "--jobs", "1"]
    else:
        arguments = [long_document, out / "long.png"]
    process = subprocess.Popen([sys.executable, "-m", "foliant_convert", *map(str, arguments), "--dpi", "300"],
                               cwd=tmp_path, env=command_env(), stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               text=True)
    wait_for_entry(out, process)
    process.send_signal(signal.SIGINT)
    stdout, stderr = process.communicate(timeout=600)
    assert process.returncode == 130, stderr
    assert not out.exists(), files_under(out)  # nor a temporary file, nor a folder made for the pages
    assert "stopping: the running conversions are cancelled" in stderr
    assert f"cancelled  {long_document}" in stderr
    assert "Traceback" not in stderr
    if batch:
        assert stderr.splitlines()[-1] == "2 files: 0 converted, 1 cancelled, 1 not started"
    assert stdout == ""


@pytest.mark.external
def test_the_command_package_passes_mypy_strict(tmp_path: Path) -> None:
    # The sources, not the installed copy: mypy given a folder inside
    # site-packages takes site-packages for a source root and stops.
    package = Path(__file__).resolve().parents[2] / "cli" / "foliant_convert"
    done = subprocess.run([sys.executable, "-m", "mypy", "--strict", "--no-incremental", "--config-file", "",
                           "--cache-dir", str(tmp_path / "cache"), str(package)],
                          cwd=tmp_path, env=command_env(), capture_output=True, text=True, timeout=300)
    assert done.returncode == 0, done.stdout + done.stderr
