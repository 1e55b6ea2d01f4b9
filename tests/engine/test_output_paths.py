"""Where a conversion may write: temporary files under short names that a
later conversion cleans up after a killed one, any file name the file
system accepts, links written through, devices, pipes and sockets never
replaced, and text that a C string would cut refused."""

from __future__ import annotations

import os
import signal
import socket
import stat
import subprocess
import sys
import time
from pathlib import Path

import pytest

import FoliantConversion as fc
from conversions import FORMATS
from documents import Documents
from reference_tools import regression_file

E = fc.ErrorCode
TEXT_FORMATS = ["txt", "markdown", "html", "json"]


def host_tag() -> str:
    """The library's tag for this machine: FNV-1a of the host name."""
    value = 2166136261
    for byte in socket.gethostname().encode():
        value = ((value ^ byte) * 16777619) & 0xFFFFFFFF
    return f"{value:08x}"


def convert(fmt: str, source: Path, output: Path | str, **fields: object) -> fc.ErrorCode:
    options = fc.ConvertOptions()
    for name, value in fields.items():
        setattr(options, name, value)
    entry, _ = FORMATS[fmt]
    return entry(str(source), "", str(output), options)


def dead_pid() -> int:
    child = subprocess.Popen([sys.executable, "-c", "pass"])
    child.wait()
    return child.pid


@pytest.mark.parametrize("fmt", TEXT_FORMATS)
def test_a_255_byte_file_name_works(fmt: str, docs: Documents, out_dir: Path) -> None:
    extension = FORMATS[fmt][1]
    output = out_dir / ("n" * (255 - len(extension)) + extension)
    assert convert(fmt, docs.simple, output) == E.SUCCESS
    assert [path.name for path in out_dir.iterdir()] == [output.name]
    assert output.stat().st_size > 0


def test_stale_temporary_files_of_dead_processes_are_removed(docs: Documents, out_dir: Path) -> None:
    stale = out_dir / f".foli-{host_tag()}-{dead_pid()}-a1b2c3.tmp"
    running = out_dir / f".foli-{host_tag()}-{os.getppid()}-d4e5f6.tmp"  # its owner still runs
    other_host = out_dir / f".foli-0000beef-{dead_pid()}-g7h8i9.tmp"
    unrelated = out_dir / ".notes.tmp"
    for path in (stale, running, other_host, unrelated):
        path.write_text("partial")
    assert convert("txt", docs.simple, out_dir / "doc.txt") == E.SUCCESS
    assert sorted(path.name for path in out_dir.iterdir()) == sorted(
        ["doc.txt", running.name, other_host.name, unrelated.name])


KILLED = """
import sys
import FoliantConversion as fc
fc.FOLIConversion.start_pdf_to_txt(sys.argv[1], "", sys.argv[2], fc.ConvertOptions())
"""


def test_a_conversion_cleans_up_after_a_killed_one(out_dir: Path) -> None:
    """A process killed while it converts leaves its temporary file; the
    next conversion into the same folder removes it."""
    slow = regression_file("form-fanout-2pow30.pdf")
    output = out_dir / "doc.txt"
    child = subprocess.Popen([sys.executable, "-c", KILLED, str(slow), str(output)],
                             env={**os.environ, "PYTHONPATH": os.pathsep.join(sys.path)})
    try:
        for _ in range(6000):
            if any(out_dir.glob(".foli-*.tmp")) or child.poll() is not None:
                break
            time.sleep(0.005)
    finally:
        child.send_signal(signal.SIGKILL)
        child.wait()
    left = list(out_dir.glob(".foli-*.tmp"))
    if not left:
        pytest.skip("the conversion ended before it could be killed")
    assert convert("txt", slow, output) == E.SUCCESS
    assert [path.name for path in out_dir.iterdir()] == ["doc.txt"]


def make_fifo(path: Path) -> None:
    os.mkfifo(path)


def make_socket(path: Path) -> socket.socket:
    server = socket.socket(socket.AF_UNIX)
    server.bind(str(path))
    return server


@pytest.mark.parametrize("fmt", sorted(FORMATS))
@pytest.mark.parametrize("kind", ["fifo", "socket"])
def test_a_pipe_or_socket_is_never_replaced(fmt: str, kind: str, docs: Documents, out_dir: Path) -> None:
    # Images go straight into the output's folder, where the first page's
    # file is the special one.
    target = out_dir / ("doc_1.png" if fmt == "image" else "doc" + FORMATS[fmt][1])
    keep = make_socket(target) if kind == "socket" else make_fifo(target)
    try:
        result = convert(fmt, docs.simple, out_dir / ("doc" + FORMATS[fmt][1]), auto_create_folder=False,
                         image_type=fc.ImageType.PNG)
        assert result == E.IO_ERROR
        mode = target.lstat().st_mode
        assert stat.S_ISSOCK(mode) if kind == "socket" else stat.S_ISFIFO(mode)
        assert [path.name for path in out_dir.iterdir()] == [target.name]
    finally:
        if keep is not None:
            keep.close()


@pytest.mark.skipif(not os.path.exists("/dev/null"), reason="no /dev/null")
def test_dev_null_is_never_replaced(docs: Documents) -> None:
    assert convert("txt", docs.simple, "/dev/null") == E.IO_ERROR
    assert stat.S_ISCHR(os.stat("/dev/null").st_mode)
    assert not [name for name in os.listdir("/dev") if name.startswith(".foli-")]


@pytest.mark.parametrize("fmt", TEXT_FORMATS)
def test_an_output_link_is_written_through_and_stays(fmt: str, docs: Documents, out_dir: Path) -> None:
    extension = FORMATS[fmt][1]
    target = out_dir / "real" / ("target" + extension)
    target.parent.mkdir()
    target.write_text("old content")
    middle = out_dir / ("middle" + extension)
    middle.symlink_to(Path("real") / target.name)  # a relative link
    link = out_dir / ("doc" + extension)
    link.symlink_to(middle)
    assert convert(fmt, docs.simple, link) == E.SUCCESS
    assert link.is_symlink() and os.readlink(link) == str(middle)
    assert middle.is_symlink()
    assert target.is_file() and not target.is_symlink()
    assert target.read_text(encoding="utf-8") != "old content"
    assert sorted(path.name for path in target.parent.iterdir()) == [target.name]


def test_a_dangling_output_link_creates_its_target(docs: Documents, out_dir: Path) -> None:
    link = out_dir / "doc.txt"
    link.symlink_to("made.txt")
    assert convert("txt", docs.simple, link) == E.SUCCESS
    assert link.is_symlink() and (out_dir / "made.txt").is_file()


@pytest.mark.parametrize("position", [0, 1, 2], ids=["file_path", "password", "output_path"])
def test_text_cut_by_a_nul_byte_is_invalid_and_writes_nothing(position: int, docs: Documents, out_dir: Path) -> None:
    victim = out_dir / "victim.conf"
    victim.write_text("keep me")
    arguments = [str(docs.simple), "", str(victim)]
    arguments[position] += "\0.txt"
    assert fc.FOLIConversion.start_pdf_to_txt(*arguments, fc.ConvertOptions()) == E.INVALID_ARG
    assert victim.read_text() == "keep me"
    assert [path.name for path in out_dir.iterdir()] == ["victim.conf"]


OUT_OF_RANGE = {
    "page_layout_mode": lambda value: fc.PageLayoutMode(value),
    "html_option": lambda value: fc.HtmlOption(value),
    "ocr_option": lambda value: fc.OCROption(value),
    "excel_worksheet_option": lambda value: fc.ExcelWorksheetOption(value),
    "image_color_mode": lambda value: fc.ImageColorMode(value),
    "image_type": lambda value: fc.ImageType(value),
    "languages": lambda value: [fc.OCRLanguage.ENGLISH, fc.OCRLanguage(value)],
}


@pytest.mark.parametrize("fmt", ["txt", "image"])
@pytest.mark.parametrize("field", sorted(OUT_OF_RANGE))
@pytest.mark.parametrize("value", [-1, 99, 999])
def test_every_enumeration_out_of_range_is_invalid(fmt: str, field: str, value: int, docs: Documents,
                                                    out_dir: Path) -> None:
    assert convert(fmt, docs.simple, out_dir / ("doc" + FORMATS[fmt][1]), **{field: OUT_OF_RANGE[field](value)}) \
        == E.INVALID_ARG
    assert list(out_dir.iterdir()) == []
