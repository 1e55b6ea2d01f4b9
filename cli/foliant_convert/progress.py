"""Progress of the conversions: a record per file that the conversion
threads update from the library's progress callback, and a display that
the main thread draws from those records.

On a terminal the display shows one bar per running file and one for the
whole run, redrawn in place below the result lines; anywhere else it draws
nothing."""

from __future__ import annotations

import shutil
from typing import TextIO


class FileProgress:
    """Pages done of the pages to convert, for one file. Written by the
    thread that converts it, read by the main thread (each attribute is
    replaced whole, so a reader never sees half an update)."""

    def __init__(self, label: str, estimated_pages: int = 0) -> None:
        self.label = label
        self.done = 0
        self.total = estimated_pages  # the library's count once it reports
        self.running = False
        self.finished = False

    def report(self, done: int, total: int) -> None:
        self.total = total
        self.done = done


BAR_WIDTH = 24


def bar(done: int, total: int) -> str:
    filled = BAR_WIDTH * min(done, total) // total if total > 0 else 0
    return "[" + "#" * filled + "." * (BAR_WIDTH - filled) + "]"


def fit(text: str, width: int) -> str:
    """Cuts a label from the left, so that the file name stays visible."""
    return text if len(text) <= width else "..." + text[len(text) - width + 3 :]


class Display:
    """Writes the result lines; on a terminal, also the bars under them."""

    def __init__(self, files: list[FileProgress], terminal: TextIO | None) -> None:
        self._files = files
        self._terminal = terminal  # None: no bars
        self._drawn: list[str] = []  # what the screen shows below the last result line

    @property
    def shows_bars(self) -> bool:
        return self._terminal is not None

    def line(self, text: str, stream: TextIO) -> None:
        """Prints a result line above the bars."""
        self._erase()
        stream.write(text + "\n")
        stream.flush()
        self.refresh()

    def refresh(self) -> None:
        if self._terminal is None:
            return
        width = max(20, shutil.get_terminal_size().columns - 1)
        # A line that wrapped would take two rows and break the erasing.
        lines = [line[:width] for line in self._lines()]
        if lines == self._drawn:
            return
        self._erase()
        self._terminal.write("".join(line + "\n" for line in lines))
        self._terminal.flush()
        self._drawn = lines

    def close(self) -> None:
        """Leaves the last bar (the run's, or the single file's) in its
        final state."""
        if self._terminal is None:
            return
        self._erase()
        self._terminal.write(self._lines()[-1] + "\n")
        self._terminal.flush()
        self._terminal = None

    def _erase(self) -> None:
        if self._terminal is None or not self._drawn:
            return
        # Up to the first bar line, then clear to the end of the screen.
        self._terminal.write(f"\x1b[{len(self._drawn)}F\x1b[J")
        self._terminal.flush()
        self._drawn = []

    def _lines(self) -> list[str]:
        """A bar per running file and one for the run; a single file has
        its own bar only."""
        if len(self._files) == 1:
            return [self._file_line(self._files[0])]
        lines = [self._file_line(item) for item in self._files if item.running and not item.finished]
        return [*lines, self._overall_line()]

    @staticmethod
    def _file_line(item: FileProgress) -> str:
        total = str(item.total) if item.total > 0 else "?"
        return f"  {fit(item.label, 40):<40} {bar(item.done, item.total)} {item.done}/{total}"

    def _overall_line(self) -> str:
        done = sum(item.done for item in self._files)
        total = sum(max(item.total, item.done) for item in self._files)
        files_done = sum(item.finished for item in self._files)
        return (f"  {'all files':<40} {bar(done, total)} {done}/{total} pages, "
                f"{files_done}/{len(self._files)} files")
