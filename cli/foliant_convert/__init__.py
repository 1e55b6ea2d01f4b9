"""foliant-convert: converts PDF files from the command line with the
FoliantConversion module, one file or many on a thread pool.

Run `foliant-convert --help`, or see docs/options.md for what each option
does in each output format."""

from __future__ import annotations

__all__ = ["main"]

from .command import main
