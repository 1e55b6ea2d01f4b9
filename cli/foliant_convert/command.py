"""The foliant-convert command: parses the command line, plans one job per
input file, runs the jobs on a thread pool and reports each result.

Conversions release the interpreter lock, so the pool's threads convert in
parallel. The main thread only waits, draws the progress display and
handles Ctrl-C: it sets the flag that every conversion's cancel callback
reads, waits until the running conversions have stopped (the library then
removes what they had written) and exits with status 130."""

from __future__ import annotations

import argparse
import os
import signal
import sys
import threading
from collections.abc import Iterator, Sequence
from concurrent.futures import FIRST_COMPLETED, Future, ThreadPoolExecutor, wait
from dataclasses import dataclass
from importlib import metadata
from pathlib import Path
from types import FrameType

import FoliantConversion as fc

from . import results
from .formats import IMAGE, Target, formats_help, image_extension, known_names, target_named
from .options import add_option_flags, build_options, option_fields
from .progress import Display, FileProgress

PROG = "foliant-convert"

USAGE = f"""\
{PROG} INPUT.pdf OUTPUT.ext [--format FORMAT] [options]
       {PROG} INPUT... --to FORMAT [--out FOLDER] [--jobs N] [options]
       {PROG} --page-count INPUT...
       {PROG} --version"""

DESCRIPTION = """\
Converts PDF files. INPUT OUTPUT converts one file, into the format that
OUTPUT's extension names (or --format). With --to, every PDF file named and
every PDF file in every folder named is converted into that format, into
--out (made if needed) or beside its input, as <name><extension>."""

EPILOG = f"""\
formats (for --to and --format, or OUTPUT's extension):
{formats_help()}

exit status:
  {results.EXIT_OK}    every file was converted (or counted)
  {results.EXIT_FAILED}    at least one file failed; each failure is on standard error
  {results.EXIT_USAGE}    the command line was wrong; nothing was converted
  {results.EXIT_INTERRUPTED}  interrupted by Ctrl-C: running conversions were cancelled and
       left nothing behind, files not started were skipped
  {results.EXIT_TERMINATED}  the same for SIGTERM

Per-page outputs (images, one HTML file per page, --per-page) are named
<stem>_<page><ext>, in a new folder <stem> beside OUTPUT unless
--no-auto-folder. See docs/options.md for what every option does."""


@dataclass(frozen=True)
class Job:
    source: Path
    target: Path


@dataclass(frozen=True)
class Outcome:
    job: Job
    result: fc.ErrorCode | None  # None: never started
    pages: int = 0
    failure: str = ""  # an error of this command's own, instead of a result

    @property
    def succeeded(self) -> bool:
        return not self.failure and self.result is not None and self.result == fc.ErrorCode.SUCCESS

    @property
    def cancelled(self) -> bool:
        return not self.failure and self.result is not None and self.result == fc.ErrorCode.CANCEL


class UsageError(Exception):
    pass


# ----------------------------------------------------------------- parsing


def positive_int(text: str) -> int:
    try:
        value = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"{text!r} is not a whole number") from None
    if value < 1:
        raise argparse.ArgumentTypeError(f"{text!r} is less than 1")
    return value


def version_text() -> str:
    try:
        version = metadata.version("FoliantConversion")
    except metadata.PackageNotFoundError:
        version = "unknown"
    return f"{PROG} {version} (conversion library {fc.LibraryManager.get_version()})"


def build_parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(prog=PROG, usage=USAGE, description=DESCRIPTION, epilog=EPILOG,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("paths", nargs="*", metavar="PATH", type=Path, help=argparse.SUPPRESS)
    parser.add_argument("--version", action="version", version=version_text())
    parser.add_argument("--page-count", action="store_true", help="print the page count of each input, convert nothing")
    chosen = parser.add_mutually_exclusive_group()
    chosen.add_argument("-t", "--to", metavar="FORMAT", help="convert every input into this format (see below)")
    chosen.add_argument("-f", "--format", metavar="FORMAT", help="format of OUTPUT, whatever its extension")
    parser.add_argument("-o", "--out", type=Path, metavar="FOLDER", help="folder for the outputs of --to")
    parser.add_argument("-r", "--recursive", action="store_true", help="also convert the PDF files in subfolders")
    parser.add_argument("-j", "--jobs", type=positive_int, default=os.process_cpu_count() or 1, metavar="N",
                        help="conversions at the same time (default: the number of processors, %(default)s)")
    parser.add_argument("-p", "--password", default="", help="password of encrypted inputs")
    parser.add_argument("-q", "--quiet", action="store_true", help="print nothing but errors, draw no progress")
    parser.add_argument("-v", "--verbose", action="count", default=0,
                        help="print the library's warnings (-vv: also its info messages)")
    parser.add_argument("--resources", metavar="FOLDER", help="resource folder for the library (default: built in)")
    add_option_flags(parser)
    return parser


# ----------------------------------------------------------------- planning


def pdf_files(folder: Path, recursive: bool) -> list[Path]:
    found = folder.rglob("*") if recursive else folder.glob("*")
    return sorted(path for path in found
                  if path.suffix.lower() == ".pdf" and not path.name.startswith(".") and path.is_file())


def inputs_of(paths: Sequence[Path], recursive: bool) -> Iterator[tuple[Path, Path]]:
    """Each input file with the folder its output path is relative to."""
    for path in paths:
        if path.is_dir():
            files = pdf_files(path, recursive)
            if not files:
                raise UsageError(f"{path}: no PDF files in this folder")
            for file in files:
                yield file, path
        else:
            yield path, path.parent


def output_extension(target: Target, options: fc.ConvertOptions) -> str:
    return image_extension(options.image_type) if target.format == IMAGE else target.format.extension


def plan_batch(paths: Sequence[Path], out: Path | None, recursive: bool, extension: str) -> list[Job]:
    jobs: list[Job] = []
    seen: dict[Path, Path] = {}
    for source, base in inputs_of(paths, recursive):
        relative = source.relative_to(base) if base != source.parent else Path(source.name)
        folder = (out / relative.parent) if out is not None else source.parent
        target = folder / (source.stem + extension)
        key = target.resolve()
        if key == source.resolve():
            raise UsageError(f"{source}: the output would replace the input; name an output folder with --out")
        if key in seen:
            raise UsageError(f"{seen[key]} and {source} would both be converted into {target}")
        seen[key] = source
        jobs.append(Job(source, target))
    return jobs


def single_target(arguments: argparse.Namespace, output: Path) -> Target:
    name = arguments.format or output.suffix
    if not name:
        raise UsageError(f"{output} has no extension: give the output format with --format")
    target = target_named(name)
    if target is None:
        raise UsageError(f"unknown output format {name!r}; known: {known_names()}")
    return target


def batch_target(arguments: argparse.Namespace) -> Target:
    if not arguments.to:
        raise UsageError("--out needs the output format: give it with --to (for example --to md)")
    target = target_named(arguments.to)
    if target is None:
        raise UsageError(f"unknown output format {arguments.to!r}; known: {known_names()}")
    return target


# ----------------------------------------------------------------- output folders


class OutputFolders:
    """Makes the missing folders of output paths, and removes the ones it
    made again when no conversion wrote anything into them. Conversions
    that share a folder keep it: it goes only when the last one is done."""

    def __init__(self) -> None:
        self._lock = threading.Lock()
        self._made: set[Path] = set()
        self._users: dict[Path, int] = {}

    def enter(self, folder: Path) -> None:
        with self._lock:
            missing = [parent for parent in [folder, *folder.parents] if not parent.exists()]
            for parent in reversed(missing):
                try:
                    parent.mkdir()
                    self._made.add(parent)
                except FileExistsError:
                    pass
            self._users[folder] = self._users.get(folder, 0) + 1

    def leave(self, folder: Path) -> None:
        with self._lock:
            self._users[folder] -= 1
            for parent in [folder, *folder.parents]:
                if parent not in self._made or self._users.get(parent, 0) > 0:
                    break
                try:
                    parent.rmdir()  # only succeeds while it is empty
                except OSError:
                    break
                self._made.discard(parent)


# ----------------------------------------------------------------- running


class Runner:
    def __init__(self, target: Target, options: fc.ConvertOptions, password: str, workers: int,
                 quiet: bool, display: Display, progress: dict[Job, FileProgress]) -> None:
        self._start = target.format.start()
        self._options = options
        self._password = password
        self._workers = workers
        self._quiet = quiet
        self._display = display
        self._progress = progress
        self._cancel = threading.Event()  # read by every conversion's cancel callback
        self._folders = OutputFolders()
        self._stopped: int | None = None  # the exit status of the signal that stopped the run
        self._stop_announced = False

    def run(self, jobs: list[Job]) -> tuple[list[Outcome], int | None]:
        """Converts every job; returns the outcomes in job order and the exit
        status of a signal that stopped the run (None if none did)."""
        futures: list[Future[Outcome]] = []
        pool = ThreadPoolExecutor(max_workers=self._workers, thread_name_prefix="convert")
        previous = signal.signal(signal.SIGINT, self._on_signal), signal.signal(signal.SIGTERM, self._on_signal)
        try:
            for job in jobs:
                if self._stopped is not None:
                    break
                futures.append(pool.submit(self._convert, job))
            self._wait(futures)
        finally:
            pool.shutdown(wait=True, cancel_futures=True)
            signal.signal(signal.SIGINT, previous[0])
            signal.signal(signal.SIGTERM, previous[1])
        outcomes = [Outcome(job, None) if future.cancelled() else future.result()
                    for future, job in zip(futures, jobs)]
        outcomes += [Outcome(job, None) for job in jobs[len(futures):]]
        return outcomes, self._stopped

    def _on_signal(self, number: int, frame: FrameType | None) -> None:
        # Runs on the main thread between two of its steps: it only sets
        # flags, which the waiting loop acts on.
        if self._stopped is None:
            self._stopped = results.EXIT_INTERRUPTED if number == signal.SIGINT else results.EXIT_TERMINATED
        self._cancel.set()

    def _wait(self, futures: list[Future[Outcome]]) -> None:
        order = {future: index for index, future in enumerate(futures)}
        pending = set(futures)
        while pending:
            done, pending = wait(pending, timeout=0.1, return_when=FIRST_COMPLETED)
            for future in sorted(done, key=order.__getitem__):
                if not future.cancelled():
                    self._report(future.result())
            if self._stopped is not None and not self._stop_announced:
                self._stop_announced = True
                for future in pending:
                    future.cancel()  # files not started yet never start
                self._display.line(f"{PROG}: stopping: the running conversions are cancelled", sys.stderr)
            self._display.refresh()

    def _convert(self, job: Job) -> Outcome:
        """Runs on a pool thread."""
        progress = self._progress[job]
        if self._cancel.is_set():
            progress.finished = True
            return Outcome(job, None)
        callback = fc.ConvertCallback()
        callback.set_progress(progress.report)
        callback.set_cancel(self._cancel.is_set)
        progress.running = True
        try:
            self._folders.enter(job.target.parent)
            try:
                result = self._start(str(job.source), self._password, str(job.target), self._options, callback)
            finally:
                self._folders.leave(job.target.parent)
        except Exception as error:  # an error of this command's; a failed conversion is a result
            return Outcome(job, None, failure=f"{type(error).__name__}: {error}")
        finally:
            if not self._cancel.is_set():
                progress.total = progress.done  # the run's total counts what this file converted
            progress.finished = True
        return Outcome(job, result, pages=progress.done)

    def _report(self, outcome: Outcome) -> None:
        source, target = outcome.job.source, outcome.job.target
        if outcome.failure:
            self._display.line(f"failed     {source}: {outcome.failure}", sys.stderr)
        elif outcome.result is None:
            return
        elif outcome.succeeded:
            if not self._quiet:
                pages = "page" if outcome.pages == 1 else "pages"
                self._display.line(f"converted  {source} -> {target} ({outcome.pages} {pages})", sys.stdout)
        elif outcome.cancelled:
            self._display.line(f"cancelled  {source}", sys.stderr)
        else:
            self._display.line(f"failed     {source}: {results.describe(outcome.result)}", sys.stderr)


def summary(outcomes: list[Outcome]) -> str:
    converted = sum(outcome.succeeded for outcome in outcomes)
    cancelled = sum(outcome.cancelled for outcome in outcomes)
    skipped = sum(outcome.result is None and not outcome.failure for outcome in outcomes)
    failed = len(outcomes) - converted - cancelled - skipped
    parts = [f"{converted} converted"]
    parts += [f"{count} {label}" for count, label in
              ((failed, "failed"), (cancelled, "cancelled"), (skipped, "not started")) if count]
    return f"{len(outcomes)} files: " + ", ".join(parts)


def convert(jobs: list[Job], target: Target, options: fc.ConvertOptions, arguments: argparse.Namespace) -> int:
    terminal = sys.stderr if (not arguments.quiet and sys.stderr.isatty()
                              and os.environ.get("TERM", "") != "dumb") else None
    progress: dict[Job, FileProgress] = {}
    for job in jobs:
        # The bars need the page counts before the library reports them.
        estimate = fc.LibraryManager.get_page_count(str(job.source), arguments.password) if terminal else 0
        progress[job] = FileProgress(str(job.source), max(estimate, 0))
    display = Display(list(progress.values()), terminal)
    runner = Runner(target, options, arguments.password, arguments.jobs, arguments.quiet, display, progress)
    try:
        outcomes, stopped = runner.run(jobs)
    finally:
        display.close()
    if len(jobs) > 1 and (not arguments.quiet or stopped is not None):
        print(summary(outcomes), file=sys.stdout if all(o.succeeded for o in outcomes) else sys.stderr)
    if stopped is not None:
        return stopped
    return results.EXIT_OK if all(outcome.succeeded for outcome in outcomes) else results.EXIT_FAILED


def count_pages(paths: Sequence[Path], arguments: argparse.Namespace) -> int:
    sources = [source for source, _ in inputs_of(paths, arguments.recursive)]
    bare = len(paths) == 1 and not paths[0].is_dir()
    status = results.EXIT_OK
    for source in sources:
        count = fc.LibraryManager.get_page_count(str(source), arguments.password)
        if count < 0:
            print(f"{source}: {results.describe_page_count(count)}", file=sys.stderr)
            status = results.EXIT_FAILED
        else:
            print(count if bare else f"{source}: {count}")
    return status


def run(arguments: argparse.Namespace) -> int:
    paths: list[Path] = arguments.paths
    if not paths:
        raise UsageError("no input given")
    if arguments.page_count:
        return count_pages(paths, arguments)
    fields = option_fields(arguments)
    if arguments.to or arguments.out is not None:
        target = batch_target(arguments)
        options = build_options(fields, target.image_type)
        jobs = plan_batch(paths, arguments.out, arguments.recursive, output_extension(target, options))
        return convert(jobs, target, options, arguments)
    if len(paths) != 2:
        raise UsageError("name INPUT and OUTPUT, or convert several inputs with --to FORMAT")
    source, output = paths
    if source.is_dir():
        raise UsageError(f"{source} is a folder: convert the files in it with --to FORMAT")
    target = single_target(arguments, output)
    return convert([Job(source, output)], target, build_options(fields, target.image_type), arguments)


def main(argv: Sequence[str] | None = None) -> int:
    parser = build_parser()
    arguments = parser.parse_args(argv)
    fc.LibraryManager.set_logger(arguments.verbose >= 2, arguments.verbose >= 1)
    fc.LibraryManager.initialize(arguments.resources)
    try:
        return run(arguments)
    except KeyboardInterrupt:  # Ctrl-C before any conversion started
        return results.EXIT_INTERRUPTED
    except UsageError as error:
        parser.print_usage(sys.stderr)
        print(f"{PROG}: error: {error}", file=sys.stderr)
        return results.EXIT_USAGE
    finally:
        fc.LibraryManager.release()

