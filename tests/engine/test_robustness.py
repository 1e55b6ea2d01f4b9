"""Inputs built to crash or stall a converter, through every format: each
conversion ends within its work budget, in a child interpreter so that a
crash fails only its own test, and either succeeds with a real output or
fails with a clear result and leaves nothing behind."""

from __future__ import annotations

import json
import os
import subprocess
import sys
from pathlib import Path

import pytest

import FoliantConversion as fc
from engine.conversions import FORMATS
from reference_tools import regression_file

E = fc.ErrorCode

CHILD = """
import json, sys
import FoliantConversion as fc
from pathlib import Path
source, fmt, output, fields = sys.argv[1], sys.argv[2], Path(sys.argv[3]), json.loads(sys.argv[4])
options = fc.ConvertOptions()
for name, value in fields.items():
    setattr(options, name, value)
entry = getattr(fc.FOLIConversion, "start_pdf_to_" + fmt)
result = entry(source, "", str(output), options)
print(json.dumps({"result": int(result),
                  "files": sorted(str(p.relative_to(output.parent)) for p in output.parent.rglob("*"))}))
"""


def convert_in_child(source: Path, fmt: str, out_dir: Path, **fields: object) -> dict[str, object]:
    output = out_dir / ("doc" + FORMATS[fmt][1])
    done = subprocess.run(
        [sys.executable, "-c", CHILD, str(source), fmt, str(output), json.dumps(fields)],
        capture_output=True, text=True, timeout=600,
        env={**os.environ, "PYTHONPATH": os.pathsep.join(sys.path)},
    )
    assert done.returncode == 0, f"the conversion ended with {done.returncode}:\n{done.stderr[-3000:]}"
    record: dict[str, object] = json.loads(done.stdout)
    return record


def assert_clean_outcome(record: dict[str, object]) -> None:
    files = record["files"]
    assert isinstance(files, list)
    if record["result"] == int(E.SUCCESS):
        assert files and not [name for name in files if Path(name).name.startswith(".")], record
    else:
        assert files == [], record


@pytest.mark.parametrize("fmt", sorted(FORMATS))
def test_exponential_form_fanout_stops_at_the_work_budget(fmt: str, out_dir: Path) -> None:
    """30 nested forms, each drawing the next twice: 2^30 leaf draws. The
    page stops drawing at its work budget and converts what it drew."""
    source = regression_file("form-fanout-2pow30.pdf")
    record = convert_in_child(source, fmt, out_dir, image_scaling=0.25)
    assert record["result"] == int(E.SUCCESS)
    assert_clean_outcome(record)
    if fmt == "txt":
        assert "leaf" in (out_dir / "doc.txt").read_text(encoding="utf-8")


def slow_page_callback() -> tuple[fc.ConvertCallback, list[int], list[int]]:
    """A callback that lets the page start and asks to stop at the next
    poll, recording the pages reported done and the polls made."""
    done: list[int] = []
    polls: list[int] = []
    callback = fc.ConvertCallback()
    callback.set_progress(lambda current, total: done.append(current))

    def cancel() -> bool:
        polls.append(len(done))
        return len(polls) > 1

    callback.set_cancel(cancel)
    return callback, done, polls


@pytest.mark.parametrize("fmt", ["txt", "image"])
def test_cancel_reaches_inside_a_long_page(fmt: str, out_dir: Path) -> None:
    """The one page of the fan-out file runs long: the cancel callable is
    asked again while it runs, and its answer stops the page before it is
    done; nothing is written."""
    source = regression_file("form-fanout-2pow30.pdf")
    callback, done, polls = slow_page_callback()
    entry, extension = FORMATS[fmt]
    result = entry(str(source), "", str(out_dir / ("doc" + extension)), fc.ConvertOptions(), callback)
    assert result == E.CANCEL
    assert done == [] and polls == [0, 0]
    assert list(out_dir.iterdir()) == []
