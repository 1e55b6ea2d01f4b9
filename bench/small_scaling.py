"""Throughput of many small conversions on one thread and on two: a batch
of one-page documents converted to text, Markdown, HTML, JSON and page
images, the whole batch once per thread count, best of a few runs. Prints
conversions per second and the ratio; the target is at least 1.7 on two
threads (on a machine with two free cores).

Usage: python bench/small_scaling.py [--conversions 400] [--runs 3] [--threads 1,2,4]
"""

from __future__ import annotations

import argparse
import os
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests"))

import FoliantConversion as fc  # noqa: E402
from documents import make_simple  # noqa: E402

FORMATS = [("txt", ".txt"), ("markdown", ".md"), ("html", ".html"), ("json", ".json"), ("image", ".png")]
TARGET = 1.7


def batch(folder: Path, count: int) -> list[tuple[str, str, str]]:
    source = folder / "one-page.pdf"
    make_simple(source, pages=1)
    jobs = []
    for index in range(count):
        fmt, extension = FORMATS[index % len(FORMATS)]
        jobs.append((fmt, str(source), str(folder / "out" / f"{index}{extension}")))
    (folder / "out").mkdir()
    return jobs


def convert(job: tuple[str, str, str]) -> None:
    fmt, source, output = job
    options = fc.ConvertOptions()
    options.image_scaling = 0.5
    options.image_type = fc.ImageType.PNG
    result = getattr(fc.FOLIConversion, "start_pdf_to_" + fmt)(source, "", output, options)
    if result != fc.ErrorCode.SUCCESS:
        raise RuntimeError(f"{fmt}: {result}")


def rate(jobs: list[tuple[str, str, str]], threads: int, runs: int) -> float:
    best = float("inf")
    for _ in range(runs):
        started = time.perf_counter()
        with ThreadPoolExecutor(max_workers=threads) as pool:
            list(pool.map(convert, jobs))
        best = min(best, time.perf_counter() - started)
    return len(jobs) / best


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--conversions", type=int, default=400)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--threads", default="1,2,4")
    args = parser.parse_args()
    counts = [int(n) for n in args.threads.split(",")]
    with tempfile.TemporaryDirectory() as scratch:
        jobs = batch(Path(scratch), args.conversions)
        convert(jobs[0])  # warm up
        rates = {n: rate(jobs, n, args.runs) for n in counts}
    print(f"{args.conversions} one-page conversions, {os.cpu_count()} cores, load {os.getloadavg()[0]:.1f}")
    for n, value in rates.items():
        print(f"  {n} thread(s): {value:7.1f} conversions/s  x{value / rates[counts[0]]:.2f}")
    if 2 in rates and 1 in rates:
        ratio = rates[2] / rates[1]
        print(f"two threads: x{ratio:.2f} (target x{TARGET})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
