"""Times FoliantConversion side by side with open tools on the same files.

    python bench/bench.py [--quick] [--runs N] [--corpus DIR] [--module-dir DIR]

Every timed run is a separate process, started the same way for every tool:
the command-line tools directly, the Python tools through bench/driver.py.
For each process we record the wall-clock time and the CPU time the process
used (user + system, from wait4). The driver also times the conversion call
inside the process, so the "in-process" figures leave out interpreter
start-up, imports and library initialisation. Each figure is the median of
the runs.

Groups and targets (ratio = their time / our time, from the process figures):
    text       start_pdf_to_txt vs pdftotext (default and -layout)   >= 2x
    images     start_pdf_to_image PNG/JPEG vs pdftoppm, same dpi     >= 1x
    markdown   start_pdf_to_markdown vs pymupdf4llm.to_markdown      >= 5x
    threads    two conversions on two threads vs one after the other >= 1.8x
               throughput (in-process)
    word       start_pdf_to_word vs pdf2docx                          >= 20x
               (and vs mutool convert -F docx, reported), with each
               tool's text F1 through LibreOffice and the structure its
               .docx holds (headings, lists, tables, pictures, frames)
    excel      start_pdf_to_excel vs pdfplumber's extract_tables on  >= 1x
               the same pages (the generated documents and real
               ones from the shared corpus: WARN report, chelsea, nics)
    ppt        start_pdf_to_ppt, with pdftoppm -png at 150 dpi of    (reported)
               the same pages as a yardstick (every slide renders
               its page's art at 150 dpi)

Not in the default groups: --groups ...,excel,ppt. Table agreement with
pdfplumber is bench/tables.py, slide similarity bench/slides.py.

The corpus is made by bench/make_corpus.py when missing. See bench/README.md.
"""

from __future__ import annotations

import argparse
import json
import os
import platform
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass, field
from pathlib import Path
from typing import Callable

HERE = Path(__file__).resolve().parent
DRIVER = HERE / "driver.py"
sys.path.insert(0, str(HERE))

# A tool whose first run takes longer than this is run at most SLOW_RUNS times.
SLOW_SECONDS = 8.0
SLOW_RUNS = 3

# Makes the command line of one run, given a fresh output folder.
CommandMaker = Callable[[Path], list[str]]


@dataclass
class Sample:
    wall: float
    cpu: float
    inner_wall: float | None = None
    inner_cpu: float | None = None


@dataclass
class Result:
    group: str
    document: str
    tool: str
    samples: list[Sample] = field(default_factory=list)

    def median(self, name: str) -> float | None:
        values = [getattr(s, name) for s in self.samples if getattr(s, name) is not None]
        return statistics.median(values) if values else None


@dataclass
class Target:
    group: str
    document: str
    what: str
    ratio_wall: float
    ratio_cpu: float | None
    ratio_inner: float | None  # their process wall / our in-process wall
    goal: float

    @property
    def verdict(self) -> str:
        return "PASS" if self.ratio_wall >= self.goal else "MISS"


class Runner:
    def __init__(self, args: argparse.Namespace) -> None:
        self.args = args
        self.env = dict(os.environ)
        if args.module_dir:
            paths = [str(Path(args.module_dir).resolve())] + [p for p in self.env.get("PYTHONPATH", "").split(":") if p]
            self.env["PYTHONPATH"] = ":".join(paths)
        self.scratch = Path(tempfile.mkdtemp(prefix="foli-bench-", dir=args.scratch))
        self.results: list[Result] = []
        self.notes: list[str] = []  # lines a group adds to the report

    def close(self) -> None:
        shutil.rmtree(self.scratch, ignore_errors=True)

    def fresh_folder(self) -> Path:
        folder = Path(tempfile.mkdtemp(dir=self.scratch))
        return folder

    # ------------------------------------------------------------ running

    def run_process(self, command: list[str]) -> tuple[Sample, str]:
        # Output goes to files, not pipes, so that a chatty tool never
        # blocks on a full pipe; wait4 gives the child's own resource use.
        with tempfile.TemporaryFile() as stdout, tempfile.TemporaryFile() as stderr:
            start = time.perf_counter()
            process = subprocess.Popen(command, stdout=stdout, stderr=stderr, env=self.env)
            _, status, usage = os.wait4(process.pid, 0)
            wall = time.perf_counter() - start
            process.returncode = os.waitstatus_to_exitcode(status)
            stdout.seek(0)
            stderr.seek(0)
            out, err = stdout.read().decode(errors="replace"), stderr.read().decode(errors="replace")
        if process.returncode != 0:
            raise RuntimeError(f"{' '.join(command)} failed ({process.returncode}):\n{err}")
        return Sample(wall, usage.ru_utime + usage.ru_stime), out

    def driver_command(self, tool: str, source: Path, target: Path) -> list[str]:
        return [sys.executable, str(DRIVER), tool, str(source), str(target), "--dpi", str(self.args.dpi)]

    def time_tool(self, group: str, document: Path, tool: str, make_command: CommandMaker, inner: bool) -> Result:
        """Runs `make_command(folder)` in fresh output folders and keeps the medians."""
        result = Result(group, document.stem, tool)
        runs = self.args.runs
        warm_up = not self.args.no_warmup
        while len(result.samples) < runs:
            folder = self.fresh_folder()
            sample, stdout = self.run_process(make_command(folder))
            shutil.rmtree(folder, ignore_errors=True)
            if inner:
                report = json.loads(stdout.strip().splitlines()[-1])
                sample.inner_wall, sample.inner_cpu = report["wall"], report["cpu"]
            slow = sample.wall > SLOW_SECONDS
            if slow:
                runs = min(runs, 1 if self.args.quick else SLOW_RUNS)
            print(f"  {group:8} {document.stem:12} {tool:24} {'warm-up' if warm_up and not slow else 'run':7} "
                  f"{sample.wall:8.3f} s", file=sys.stderr, flush=True)
            if warm_up and not slow:
                warm_up = False  # a slow tool keeps its first run rather than repeat it
                continue
            warm_up = False
            result.samples.append(sample)
        self.results.append(result)
        return result

    def driver_maker(self, tool: str, document: Path, suffix: str) -> CommandMaker:
        return lambda folder: self.driver_command(tool, document, folder / f"out{suffix}")

    def ours(self, group: str, document: Path, tool: str, suffix: str) -> Result:
        return self.time_tool(group, document, f"ours {tool}", self.driver_maker(tool, document, suffix), True)

    def command(self, group: str, document: Path, label: str, argv: CommandMaker) -> Result:
        return self.time_tool(group, document, label, argv, False)

    def threads(self, document: Path, kind: str) -> tuple[Result, Result]:
        sequential = Result("threads", document.stem, f"ours {kind}: 2 one after the other")
        parallel = Result("threads", document.stem, f"ours {kind}: 2 on two threads")
        for index in range(self.args.runs + (0 if self.args.no_warmup else 1)):
            folder = self.fresh_folder()
            _, stdout = self.run_process(self.driver_command(f"threads-{kind}", document, folder))
            shutil.rmtree(folder, ignore_errors=True)
            report = json.loads(stdout.strip().splitlines()[-1])
            if index == 0 and not self.args.no_warmup:
                continue
            for result, key in ((sequential, "sequential"), (parallel, "parallel")):
                figures = report[key]
                result.samples.append(Sample(figures["wall"], figures["cpu"], figures["wall"], figures["cpu"]))
            print(f"  threads  {document.stem:12} {kind:22} run {len(parallel.samples)}: "
                  f"{report['sequential']['wall']:.3f} s vs {report['parallel']['wall']:.3f} s",
                  file=sys.stderr, flush=True)
        self.results += [sequential, parallel]
        return sequential, parallel


def ratio(theirs: Result, ours: Result, name: str) -> float | None:
    a, b = theirs.median(name), ours.median(name)
    if a is None or b is None or b <= 0:
        return None
    return a / b


def compare(targets: list[Target], group: str, document: str, what: str, theirs: Result, ours: Result,
            goal: float) -> None:
    wall = ratio(theirs, ours, "wall")
    if wall is None:
        return
    theirs_wall, ours_inner = theirs.median("wall"), ours.median("inner_wall")
    inner = theirs_wall / ours_inner if theirs_wall and ours_inner and group != "threads" else None
    targets.append(Target(group, document, what, wall, ratio(theirs, ours, "cpu"), inner, goal))


# ---------------------------------------------------------------- groups


def tool_command(head: list[str], document: Path, output_name: str) -> CommandMaker:
    """A command-line tool run as `head... document folder/output_name`."""
    return lambda folder: [*head, str(document), str(folder / output_name)]


def text_group(runner: Runner, documents: list[Path], targets: list[Target]) -> None:
    for document in documents:
        ours = runner.ours("text", document, "txt", ".txt")
        plain = runner.command("text", document, "pdftotext", tool_command(["pdftotext"], document, "out.txt"))
        layout = runner.command("text", document, "pdftotext -layout",
                                tool_command(["pdftotext", "-layout"], document, "out.txt"))
        compare(targets, "text", document.stem, "pdftotext / ours", plain, ours, 2.0)
        compare(targets, "text", document.stem, "pdftotext -layout / ours", layout, ours, 2.0)


def image_group(runner: Runner, documents: list[Path], targets: list[Target]) -> None:
    dpi = str(runner.args.dpi)
    for document in documents:
        for kind, flags in (("png", ["-png"]), ("jpeg", ["-jpeg", "-jpegopt", "quality=90"])):
            ours = runner.ours("images", document, kind, "." + kind)
            theirs = runner.command("images", document, f"pdftoppm -{kind}",
                                    tool_command(["pdftoppm", "-r", dpi, *flags], document, "page"))
            compare(targets, "images", document.stem, f"pdftoppm -{kind} / ours {kind}", theirs, ours, 1.0)


def markdown_group(runner: Runner, documents: list[Path], targets: list[Target]) -> None:
    for document in documents:
        ours = runner.ours("markdown", document, "markdown", ".md")
        for tool in ("pymupdf4llm", "pymupdf4llm-legacy"):
            theirs = runner.time_tool("markdown", document, tool, runner.driver_maker(tool, document, ".md"), True)
            compare(targets, "markdown", document.stem, f"{tool} / ours", theirs, ours, 5.0)


def word_group(runner: Runner, documents: list[Path], targets: list[Target]) -> None:
    for document in documents:
        ours = runner.ours("word", document, "docx", ".docx")
        pdf2docx = runner.time_tool("word", document, "pdf2docx", runner.driver_maker("pdf2docx", document, ".docx"),
                                    True)
        mutool = runner.command("word", document, "mutool convert -F docx",
                                lambda folder: ["mutool", "convert", "-F", "docx", "-o", str(folder / "out.docx"),
                                                str(document)])
        compare(targets, "word", document.stem, "pdf2docx / ours", pdf2docx, ours, 20.0)
        compare(targets, "word", document.stem, "mutool -F docx / ours", mutool, ours, 1.0)
    from word_fidelity import report_word_fidelity

    report_word_fidelity(runner, documents)


def excel_group(runner: Runner, documents: list[Path], targets: list[Target]) -> None:
    """Our Excel conversion against pdfplumber's table extraction of the
    same pages (informative: pdfplumber finds the ruled tables only)."""
    for document in documents:
        ours = runner.ours("excel", document, "xlsx", ".xlsx")
        theirs = runner.time_tool("excel", document, "pdfplumber", runner.driver_maker("pdfplumber", document, ".csv"),
                                  True)
        compare(targets, "excel", document.stem, "pdfplumber tables / ours xlsx", theirs, ours, 1.0)


def ppt_group(runner: Runner, documents: list[Path], targets: list[Target]) -> None:
    """PowerPoint timing, with pdftoppm rendering the same pages at the
    slides' picture resolution as a yardstick (every slide renders its
    page's art)."""
    for document in documents:
        ours = runner.ours("ppt", document, "pptx", ".pptx")
        render = runner.command("ppt", document, "pdftoppm -png -r 150",
                                tool_command(["pdftoppm", "-r", "150", "-png"], document, "page"))
        compare(targets, "ppt", document.stem, "pdftoppm -png / ours pptx", render, ours, 1.0)


def thread_group(runner: Runner, documents: list[Path], targets: list[Target]) -> None:
    for document in documents:
        for kind in ("txt", "markdown"):
            sequential, parallel = runner.threads(document, kind)
            compare(targets, "threads", document.stem, f"{kind}: sequential / two threads", sequential, parallel, 1.8)


# ---------------------------------------------------------------- report


def fmt(value: float | None, width: int = 8, unit: str = "") -> str:
    return f"{value:{width}.3f}{unit}" if value is not None else " " * (width - 1) + "-"


def machine_lines(env: dict[str, str]) -> list[str]:
    cores = os.cpu_count()
    usable = len(os.sched_getaffinity(0)) if hasattr(os, "sched_getaffinity") else cores
    load = " ".join(f"{x:.2f}" for x in os.getloadavg())
    module = subprocess.run([sys.executable, "-c", "import FoliantConversion as f; print(f.__file__)"],
                            capture_output=True, text=True, env=env).stdout.strip()
    poppler = subprocess.run(["pdftotext", "-v"], capture_output=True, text=True).stderr.splitlines()
    return [
        f"machine: {platform.machine()}, {cores} cores ({usable} usable), load average {load} (1/5/15 min)",
        f"python:  {platform.python_version()}  module: {module or 'NOT FOUND'}",
        f"poppler: {poppler[0] if poppler else '?'}",
    ]


def print_report(runner: Runner, targets: list[Target], before: list[str]) -> None:
    print()
    for line in before:
        print(line)
    print(f"after:   load average {' '.join(f'{x:.2f}' for x in os.getloadavg())}")
    print(f"runs: median of {runner.args.runs} (slow tools at most {SLOW_RUNS}), dpi {runner.args.dpi}")
    print()
    header = (f"{'group':8} {'document':12} {'tool':36} {'n':>2} {'wall s':>8} {'cpu s':>8} "
              f"{'in wall':>8} {'in cpu':>8} {'start s':>8}")
    print(header)
    print("-" * len(header))
    for r in runner.results:
        wall, cpu, inner_wall, inner_cpu = (r.median(n) for n in ("wall", "cpu", "inner_wall", "inner_cpu"))
        startup = wall - inner_wall if wall is not None and inner_wall is not None and r.group != "threads" else None
        print(f"{r.group:8} {r.document:12} {r.tool:36} {len(r.samples):2} {fmt(wall)} {fmt(cpu)} "
              f"{fmt(inner_wall)} {fmt(inner_cpu)} {fmt(startup)}")
    print()
    print("targets: ratio = their time / our time, process against process; the wall-clock ratio decides.")
    print("         cpu: the same for CPU time; in-proc: their process against our conversion call alone")
    for t in targets:
        cpu_ratio = f"{t.ratio_cpu:6.2f}x" if t.ratio_cpu is not None else "      -"
        inner_ratio = f"{t.ratio_inner:6.2f}x" if t.ratio_inner is not None else "      -"
        print(f"  {t.verdict}  {t.group:8} {t.document:12} {t.what:40} wall {t.ratio_wall:6.2f}x  "
              f"cpu {cpu_ratio}  in-proc {inner_ratio}  goal >= {t.goal:g}x")
    if runner.notes:
        print()
        for line in runner.notes:
            print(line)
    load = os.getloadavg()[0]
    usable = len(os.sched_getaffinity(0)) if hasattr(os, "sched_getaffinity") else (os.cpu_count() or 1)
    if load > usable / 2:
        print(f"\nnote: the load average ({load:.2f}) shows other work on this {usable}-core machine; "
              "wall-clock figures (and the thread figures most) are noisy, cpu figures less so.")


# Real documents full of tables, from the shared corpus when it is there.
TABLE_CORPUS = ["WARN-Report-for-7-1-2015-to-03-25-2016.pdf", "chelsea_pdta.pdf", "nics-background-checks-2015-11.pdf"]


def table_corpus() -> list[Path]:
    sys.path.insert(0, str(HERE.parent / "tests"))
    from reference_tools import corpus_dir

    folder = corpus_dir()
    return [folder / name for name in TABLE_CORPUS if (folder / name).is_file()] if folder else []


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--quick", action="store_true", help="smaller documents and fewer runs")
    parser.add_argument("--runs", type=int, default=None, help="timed runs per tool and document (default 5, quick 3)")
    parser.add_argument("--corpus", type=Path, default=HERE.parent / "build" / "bench", help="corpus folder")
    parser.add_argument("--module-dir", help="folder holding the FoliantConversion module (put on PYTHONPATH)")
    parser.add_argument("--scratch", default=None, help="folder for output files (default: system temp)")
    parser.add_argument("--dpi", type=int, default=150, help="resolution of the image benchmarks")
    parser.add_argument("--groups", default="text,images,markdown,threads,word", help="comma-separated groups to run")
    parser.add_argument("--no-warmup", action="store_true", help="do not run each tool once before timing")
    args = parser.parse_args()
    if args.runs is None:
        args.runs = 3 if args.quick else 5

    from make_corpus import build_corpus

    build_corpus(args.corpus, quick=args.quick, verbose=True)
    corpus = args.corpus
    text_docs = [corpus / "text-20.pdf", corpus / "text-100.pdf"] + ([] if args.quick else [corpus / "text-500.pdf"])
    image_docs = [corpus / "graphics-20.pdf", corpus / "text-20.pdf"]
    markdown_docs = [corpus / "text-20.pdf"] + ([] if args.quick else [corpus / "text-100.pdf"])
    thread_docs = [corpus / "text-100.pdf"]
    word_docs = [corpus / "text-20.pdf"] + ([] if args.quick else [corpus / "text-100.pdf"])
    excel_docs = [corpus / "text-20.pdf"] + ([] if args.quick else [corpus / "text-100.pdf"]) + table_corpus()
    ppt_docs = [corpus / "text-20.pdf", corpus / "graphics-20.pdf"]
    for path in {*text_docs, *image_docs, *markdown_docs, *word_docs, *excel_docs, *ppt_docs}:
        path.read_bytes()  # into the page cache before anything is timed

    runner = Runner(args)
    before = machine_lines(runner.env)
    print("\n".join(before), file=sys.stderr)
    targets: list[Target] = []
    groups = {"text": (text_group, text_docs), "images": (image_group, image_docs),
              "markdown": (markdown_group, markdown_docs), "threads": (thread_group, thread_docs),
              "word": (word_group, word_docs), "excel": (excel_group, excel_docs), "ppt": (ppt_group, ppt_docs)}
    try:
        for name in args.groups.split(","):
            run_group, documents = groups[name.strip()]
            run_group(runner, documents, targets)
        print_report(runner, targets, before)
    finally:
        runner.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
