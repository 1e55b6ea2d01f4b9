"""Mutation harness: structural mutations of real PDF files, each converted
to text, Markdown, HTML, JSON and page images in a child interpreter with a
time limit per conversion and a memory cap, as a user's program would run
them. It reports crashes, stalls, memory-cap hits, results and what the
conversions left behind, keeps every input that crashed, stalled or broke
the output contract in the findings folder, and exits with 1 if there was
any.

The inputs are mutations of the real-world corpus (reference_tools.corpus_dir)
when it is there, and of the generated test and hostile documents in any
case. A fixed seed makes a round repeatable: the same inputs in the same
order.

Usage: python engine/fuzz/mutate.py [--inputs 1500] [--seed 1] [--jobs 2]
           [--timeout 60] [--memory-mb 3072] [--work build/mutate]
           [--formats-per-input 8]
The module under test is the one the interpreter imports (PYTHONPATH).
"""

from __future__ import annotations

import argparse
import collections
import inspect
import json
import os
import random
import re
import resource
import selectors
import shutil
import subprocess
import sys
import time
from collections.abc import Callable
from dataclasses import dataclass, field
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parents[1] / "tests"))

FORMATS = [("txt", ".txt"), ("markdown", ".md"), ("html", ".html"), ("json", ".json"), ("image", ".png"),
           ("word", ".docx"), ("rtf", ".rtf"), ("ofd", ".ofd")]
MAX_BASE_BYTES = 1 << 20  # larger corpus files only slow a round down
PAGES_CONVERTED = 3
HUGE_NUMBERS = [b"2147483647", b"4294967296", b"99999999", b"-1", b"0", b"65535", b"1e38", b"-2147483648"]

Mutation = Callable[[bytes, random.Random], bytes]


# --- mutations ---------------------------------------------------------------------------------


def spans(data: bytes, pattern: bytes) -> list[re.Match[bytes]]:
    return list(re.finditer(pattern, data))


def replace_at(data: bytes, match: re.Match[bytes], group: int, new: bytes) -> bytes:
    return data[: match.start(group)] + new + data[match.end(group):]


def flip_bytes(data: bytes, rng: random.Random) -> bytes:
    out = bytearray(data)
    for _ in range(rng.randint(1, 32)):
        out[rng.randrange(len(out))] = rng.randrange(256)
    return bytes(out)


def truncate(data: bytes, rng: random.Random) -> bytes:
    return data[: rng.randint(len(data) // 10, len(data) - 1)]


def break_xref(data: bytes, rng: random.Random) -> bytes:
    entries = spans(data, rb"(\d{10}) (\d{5}) ([nf])")
    choice = rng.randrange(3)
    if entries and choice == 0:
        for match in rng.sample(entries, min(len(entries), rng.randint(1, 8))):
            data = replace_at(data, match, 1, b"%010d" % rng.randrange(len(data) * 2))
        return data
    start = spans(data, rb"startxref\s+(\d+)")
    if start and choice == 1:
        return replace_at(data, start[-1], 1, b"%d" % rng.randrange(len(data)))
    return data.replace(b"xref", b"xrfe", rng.randint(1, 3))


def break_trailer(data: bytes, rng: random.Random) -> bytes:
    choice = rng.randrange(4)
    if choice == 0:
        return data.replace(b"/Root", b"/Roop")
    if choice == 1:
        return data.replace(b"trailer", b"", 1)
    if choice == 2:
        sizes = spans(data, rb"/Size\s+(\d+)")
        return replace_at(data, sizes[-1], 1, rng.choice(HUGE_NUMBERS)) if sizes else data
    return re.sub(rb"/Prev\s+\d+", b"/Prev %d" % rng.randrange(len(data)), data)


def wrong_length(data: bytes, rng: random.Random) -> bytes:
    lengths = spans(data, rb"/Length\s+(\d+)(?!\s+\d+\s+R)")
    for match in sorted(rng.sample(lengths, min(len(lengths), rng.randint(1, 4))), key=lambda m: -m.start()):
        value = int(match.group(1))
        new = rng.choice([0, value // 2, value + rng.randint(1, 64), value * 100, 2**31 - 1])
        data = replace_at(data, match, 1, b"%d" % new)
    return data


def renumber_objects(data: bytes, rng: random.Random) -> bytes:
    headers = spans(data, rb"(\d+) (\d+) obj")
    for match in sorted(rng.sample(headers, min(len(headers), rng.randint(1, 6))), key=lambda m: -m.start()):
        number = rng.choice([b"0", b"1", b"8388607", b"2147483647", headers[rng.randrange(len(headers))].group(1)])
        data = data[: match.start()] + number + b" " + rng.choice([b"0", b"65535", b"7"]) + b" obj" + data[match.end():]
    return data


def huge_sizes(data: bytes, rng: random.Random) -> bytes:
    keys = rb"/(Width|Height|Count|Size|BitsPerComponent|Columns|Rows|N|Length|Predictor|Colors|First|Rotate|UserUnit)"
    fields = spans(data, keys + rb"\s+(-?\d+(?:\.\d+)?)")
    for match in sorted(rng.sample(fields, min(len(fields), rng.randint(1, 4))), key=lambda m: -m.start()):
        data = replace_at(data, match, 2, rng.choice(HUGE_NUMBERS))
    boxes = spans(data, rb"/(MediaBox|CropBox|BBox)\s*\[([^\]]*)\]")
    if boxes and rng.random() < 0.5:
        match = rng.choice(boxes)
        data = replace_at(data, match, 2, b"0 0 %s %s" % (rng.choice(HUGE_NUMBERS), rng.choice(HUGE_NUMBERS)))
    return data


def deep_nesting(data: bytes, rng: random.Random) -> bytes:
    dicts = spans(data, rb"<<")
    if not dicts:
        return data
    depth = rng.choice([100, 250, 251, 1000, 100000])
    opener, closer = rng.choice([(b"[", b"]"), (b"<</A ", b">>")])
    match = rng.choice(dicts)
    return data[: match.end()] + b" /Deep " + opener * depth + closer * depth + b" " + data[match.end():]


def recursive_references(data: bytes, rng: random.Random) -> bytes:
    """Points references inside an object at the object itself or at the
    document's first objects (catalog, page tree)."""
    objects = spans(data, rb"(\d+) 0 obj(.*?)endobj")
    if not objects:
        objects = spans(data, rb"(\d+) \d+ obj(.*?)endobj")
    for match in rng.sample(objects, min(len(objects), rng.randint(1, 4))):
        references = spans(match.group(2), rb"(\d+) 0 R")
        if not references:
            continue
        target = rng.choice([match.group(1), b"1", b"2", b"3"])
        body = re.sub(rb"\d+ 0 R", target + b" 0 R", match.group(2), count=rng.randint(1, 3))
        data = data.replace(match.group(0), match.group(1) + b" 0 obj" + body + b"endobj", 1)
    return data


def bad_fonts(data: bytes, rng: random.Random) -> bytes:
    choice = rng.randrange(3)
    if choice == 0:
        return re.sub(rb"/Subtype\s*/(Type1|TrueType|Type0|Type3|CIDFontType[02])",
                      lambda m: b"/Subtype /" + rng.choice([b"Type1", b"TrueType", b"Type3", b"Type0", b"Bogus"]), data)
    if choice == 1:
        return re.sub(rb"/FirstChar\s+\d+", b"/FirstChar %d" % rng.choice([-5, 255, 65535, 2**31 - 1]), data)
    streams = spans(data, rb"stream\r?\n(.{64,}?)endstream")
    if not streams:
        return data
    match = rng.choice(streams)
    body = bytearray(match.group(1))
    for _ in range(rng.randint(1, 64)):
        body[rng.randrange(len(body))] = rng.randrange(256)
    return replace_at(data, match, 1, bytes(body))


def bad_functions(data: bytes, rng: random.Random) -> bytes:
    data = re.sub(rb"/FunctionType\s+\d", lambda m: b"/FunctionType %d" % rng.choice([0, 1, 2, 3, 4, 7]), data)
    return re.sub(rb"/(Domain|Range|Encode|Bounds)\s*\[[^\]]*\]", lambda m: m.group(0)[:-1] + b" 1e38 -1e38]", data)


MUTATIONS: dict[str, Mutation] = {
    "flip_bytes": flip_bytes,
    "truncate": truncate,
    "break_xref": break_xref,
    "break_trailer": break_trailer,
    "wrong_length": wrong_length,
    "renumber_objects": renumber_objects,
    "huge_sizes": huge_sizes,
    "deep_nesting": deep_nesting,
    "recursive_references": recursive_references,
    "bad_fonts": bad_fonts,
    "bad_functions": bad_functions,
}


# --- base documents ------------------------------------------------------------------------------


def generated_bases(folder: Path, rng: random.Random) -> list[Path]:
    """Every generated test document, and the hostile ones at sizes drawn
    from `rng` (fan-out and nesting past the library's bounds included)."""
    import documents
    import hostile_documents

    made = []
    for module in (documents, hostile_documents):
        for name, function in sorted(inspect.getmembers(module, inspect.isfunction)):
            if not name.startswith("make_") or function.__module__ != module.__name__:
                continue
            parameters = list(inspect.signature(function).parameters.values())
            required = [p for p in parameters if p.default is p.empty]
            path = folder / f"{module.__name__}-{name[5:]}.pdf"
            try:
                if len(required) == 1 and len(parameters) == 2 and isinstance(parameters[1].default, int):
                    default = parameters[1].default
                    function(path, rng.choice([max(1, default // 8), default, default * 4]))
                elif len(required) == 1:
                    function(path)
                elif name == "make_many_pages":
                    function(path, 4)
                else:
                    continue
            except Exception as error:  # a generator that needs more than a path
                print(f"skipping {name}: {error}", file=sys.stderr)
                continue
            if path.is_file() and path.stat().st_size <= MAX_BASE_BYTES:
                made.append(path)
    return made


def corpus_bases() -> list[Path]:
    from reference_tools import corpus_dir

    folder = corpus_dir()
    if folder is None:
        return []
    return sorted(p for p in folder.glob("*.pdf") if p.stat().st_size <= MAX_BASE_BYTES)


@dataclass
class Input:
    index: int
    path: Path
    base: str
    mutations: list[str]


def make_inputs(count: int, seed: int, folder: Path) -> list[Input]:
    rng = random.Random(seed)
    (folder / "bases").mkdir(parents=True, exist_ok=True)
    bases = corpus_bases() + generated_bases(folder / "bases", rng)
    contents = {path: path.read_bytes() for path in bases}
    inputs = []
    names = sorted(MUTATIONS)
    for index in range(count):
        base = bases[index % len(bases)] if index < len(bases) else rng.choice(bases)
        data = contents[base]
        chosen = [rng.choice(names) for _ in range(rng.choice([1, 1, 1, 2, 3]))]
        for name in chosen:
            if data:
                data = MUTATIONS[name](data, rng)
        path = folder / "inputs" / f"{index:05d}.pdf"
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
        inputs.append(Input(index, path, base.name, chosen))
    return inputs


# --- the child: converts a list of inputs, one line per step ------------------------------------


def child_main(out_root: Path, memory_mb: int, formats_per_input: int) -> int:
    limit = memory_mb << 20
    resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
    import FoliantConversion as fc

    for line in sys.stdin:
        index, path = line.split(" ", 1)
        path = path.strip()
        pages = fc.LibraryManager.get_page_count(path, "")
        options = fc.ConvertOptions()
        options.image_scaling = 0.3
        options.image_type = fc.ImageType.PNG
        options.page_ranges = f"1-{min(pages, PAGES_CONVERTED)}" if pages > 1 else ""
        # With fewer formats than all, each input takes the next ones in turn.
        start = int(index) * formats_per_input
        chosen = [FORMATS[(start + k) % len(FORMATS)] for k in range(min(formats_per_input, len(FORMATS)))]
        for fmt, extension in chosen:
            folder = out_root / fmt
            if folder.exists():
                shutil.rmtree(folder)
            folder.mkdir(parents=True)
            print(f"begin {index} {fmt}", flush=True)
            started = time.monotonic()
            result = getattr(fc.FOLIConversion, "start_pdf_to_" + fmt)(path, "", str(folder / ("doc" + extension)),
                                                                        options)
            seconds = time.monotonic() - started
            files = [str(p.relative_to(folder)) for p in folder.rglob("*")]
            print("done " + json.dumps({"index": int(index), "format": fmt, "result": int(result), "pages": pages,
                                        "seconds": round(seconds, 3), "files": files}), flush=True)
        print(f"finished {index}", flush=True)
    return 0


# --- the parent ----------------------------------------------------------------------------------


@dataclass
class Summary:
    inputs: int = 0
    conversions: int = 0
    results: collections.Counter[str] = field(default_factory=collections.Counter)
    crashes: list[dict[str, object]] = field(default_factory=list)
    stalls: list[dict[str, object]] = field(default_factory=list)
    memory_cap_hits: int = 0
    contract_breaks: list[dict[str, object]] = field(default_factory=list)
    slowest: list[tuple[float, int, str]] = field(default_factory=list)


def check_contract(record: dict[str, object]) -> str | None:
    files = [str(name) for name in record["files"]]  # type: ignore[union-attr]
    if record["result"] == 0:
        if not files:
            return "success without output"
        if [name for name in files if Path(name).name.startswith(".")]:
            return "a temporary file survived"
    elif files:
        return "a failed conversion left files"
    return None


class Worker:
    """One child interpreter working through a queue of inputs."""

    def __init__(self, number: int, queue: list[Input], args: argparse.Namespace) -> None:
        self.number = number
        self.queue = queue
        self.args = args
        self.process: subprocess.Popen[str] | None = None
        self.current: tuple[int, str] | None = None
        self.deadline = 0.0

    def start(self) -> None:
        out_root = Path(self.args.work) / "out" / str(self.number)
        self.process = subprocess.Popen(
            [sys.executable, __file__, "--child", str(out_root), "--memory-mb", str(self.args.memory_mb),
             "--formats-per-input", str(self.args.formats_per_input)],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, bufsize=1)
        assert self.process.stdin is not None
        for item in self.queue:
            self.process.stdin.write(f"{item.index} {item.path}\n")
        self.process.stdin.close()
        self.deadline = time.monotonic() + self.args.timeout


def record_line(worker: Worker, line: str, summary: Summary, by_index: dict[int, Input]) -> None:
    if line.startswith("begin "):
        _, index, fmt = line.split()
        worker.current = (int(index), fmt)
        worker.deadline = time.monotonic() + worker.args.timeout
    elif line.startswith("done "):
        record = json.loads(line[5:])
        summary.conversions += 1
        summary.results[str(record["result"])] += 1
        if record["result"] == 7:  # OUT_OF_MEMORY: the cap was reached
            summary.memory_cap_hits += 1
        broken = check_contract(record)
        if broken:
            summary.contract_breaks.append({**record, "problem": broken})
            keep_finding(worker.args, by_index[record["index"]], "contract")
        summary.slowest = sorted([*summary.slowest, (record["seconds"], record["index"], record["format"])])[-5:]
        worker.current = None
    elif line.startswith("finished "):
        index = int(line.split()[1])
        summary.inputs += 1
        worker.queue = [item for item in worker.queue if item.index != index]


def keep_finding(args: argparse.Namespace, item: Input, kind: str) -> None:
    folder = Path(args.work) / "findings"
    folder.mkdir(parents=True, exist_ok=True)
    shutil.copyfile(item.path, folder / f"{kind}-{item.index:05d}-{'+'.join(item.mutations)}-{item.base}")


def lost_worker(worker: Worker, summary: Summary, by_index: dict[int, Input], kind: str) -> None:
    """The child crashed or stalled on its current input: record it, drop
    the input and start afresh with the rest."""
    assert worker.process is not None
    code = worker.process.poll()
    if worker.queue:
        item = worker.queue.pop(0)
        entry = {"index": item.index, "format": worker.current[1] if worker.current else "page count",
                 "base": item.base, "mutations": item.mutations, "exit": code}
        (summary.stalls if kind == "stall" else summary.crashes).append(entry)
        summary.inputs += 1
        keep_finding(worker.args, item, kind)
    worker.current = None
    if worker.queue:
        worker.start()
    else:
        worker.process = None


def run_round(args: argparse.Namespace, inputs: list[Input]) -> Summary:
    summary = Summary()
    by_index = {item.index: item for item in inputs}
    workers = [Worker(n, inputs[n:: args.jobs], args) for n in range(args.jobs)]
    selector = selectors.DefaultSelector()
    for worker in workers:
        worker.start()
        assert worker.process is not None and worker.process.stdout is not None
        selector.register(worker.process.stdout, selectors.EVENT_READ, worker)
    while any(worker.process is not None for worker in workers):
        for key, _ in selector.select(timeout=1.0):
            worker = key.data
            line = key.fileobj.readline()  # type: ignore[union-attr]
            if line:
                record_line(worker, line, summary, by_index)
                continue
            selector.unregister(key.fileobj)
            code = worker.process.wait()
            if code == 0 and not worker.queue:
                worker.process = None
            else:
                lost_worker(worker, summary, by_index, "crash")
            if worker.process is not None:
                selector.register(worker.process.stdout, selectors.EVENT_READ, worker)
        now = time.monotonic()
        for worker in workers:
            if worker.process is not None and now > worker.deadline:
                selector.unregister(worker.process.stdout)
                worker.process.kill()
                worker.process.wait()
                lost_worker(worker, summary, by_index, "stall")
                if worker.process is not None:
                    selector.register(worker.process.stdout, selectors.EVENT_READ, worker)
    return summary


def report(summary: Summary, seconds: float) -> dict[str, object]:
    names = {0: "SUCCESS", 1: "CANCEL", 2: "FILE_ERROR", 3: "PDF_PASSWORD_ERROR", 4: "PDF_PAGE_ERROR",
             5: "PDF_FORMAT_ERROR", 6: "PDF_SECURITY_ERROR", 7: "OUT_OF_MEMORY", 8: "IO_ERROR", 80: "INVALID_ARG",
             100: "UNKNOWN_ERROR"}
    return {
        "inputs": summary.inputs,
        "conversions": summary.conversions,
        "crashes": len(summary.crashes),
        "stalls": len(summary.stalls),
        "memory_cap_hits": summary.memory_cap_hits,
        "contract_breaks": len(summary.contract_breaks),
        "results": {names.get(int(code), code): count for code, count in sorted(summary.results.items())},
        "slowest_conversions": [{"seconds": s, "input": i, "format": f} for s, i, f in reversed(summary.slowest)],
        "seconds": round(seconds, 1),
        "crash_details": summary.crashes,
        "stall_details": summary.stalls,
        "contract_details": summary.contract_breaks[:20],
    }


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--inputs", type=int, default=1500)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--timeout", type=float, default=60.0, help="seconds one conversion may take")
    parser.add_argument("--memory-mb", type=int, default=3072, help="address-space cap of each child")
    parser.add_argument("--work", default="build/mutate")
    parser.add_argument("--formats-per-input", type=int, default=len(FORMATS),
                        help="convert each input to this many formats, taken in turn (CI: fewer)")
    parser.add_argument("--child", help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.child:
        return child_main(Path(args.child), args.memory_mb, args.formats_per_input)

    work = Path(args.work)
    if work.exists():
        shutil.rmtree(work)
    work.mkdir(parents=True)
    started = time.monotonic()
    inputs = make_inputs(args.inputs, args.seed, work)
    summary = run_round(args, inputs)
    result = report(summary, time.monotonic() - started)
    (work / "summary.json").write_text(json.dumps(result, indent=2))
    print(json.dumps({key: value for key, value in result.items() if not key.endswith("_details")}, indent=2))
    for key in ("crash_details", "stall_details", "contract_details"):
        for entry in result[key]:  # type: ignore[union-attr]
            print(key, json.dumps(entry))
    found = summary.crashes or summary.stalls or summary.contract_breaks
    if found:
        print(f"findings kept in {work / 'findings'}")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
