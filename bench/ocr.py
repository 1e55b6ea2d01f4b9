"""OCR benchmark: searchable PDF side by side with OCRmyPDF on the same
scans, and the throughput of two OCR engines against one.

    python bench/ocr.py [--runs N] [--pages N] [--engines 1,2] [--corpus DIR] [--module-dir DIR]

The scans are made with tests/scans.py (English prose set in Helvetica,
rendered at 300 dpi, every third page with noise and a slight skew, one
page turned a quarter round), so the text on every page is known. Both
tools get the same PDF, use the same Tesseract (Debian's libtesseract /
tesseract command, trained data eng and osd) and as many workers as we
have engines (OCRmyPDF's --jobs). OCRmyPDF runs with --output-type pdf (no
PDF/A conversion, which we do not do either), --optimize 0 and
--rotate-pages; its Tesseract runs one thread per job, as ours do.

Every run is a fresh process; wall time and CPU time (user + system of the
process and the children it waited for, from wait4) are recorded, and the
median of the runs is printed. The character error rate of each output is
measured on pdftotext's text against the known text.

On a shared machine the wall times and above all the scaling are noisy:
they move with whatever else runs. The CPU times say how much work each
tool does; the scaling line gives pages per wall second with one and with
two engines.
"""

from __future__ import annotations

import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
REPOSITORY = HERE.parent
sys.path.insert(0, str(REPOSITORY / "tests"))

TARGET_SPEED = 1.5    # OCRmyPDF wall time / ours, same job count
TARGET_SCALING = 1.7  # two engines' throughput / one engine's


def make_corpus(folder: Path, pages: int) -> tuple[Path, list[str]]:
    import scans

    paragraphs = [scans.ENGLISH, scans.ENGLISH_2, scans.COLUMN_LEFT, scans.COLUMN_RIGHT]
    specs = []
    for number in range(pages):
        text = [paragraphs[number % 4], paragraphs[(number + 1) % 4]]
        hard = number % 3 == 2
        specs.append(scans.ScanPage(text, noise=hard, skew=0.8 if hard else 0.0, rotation=90 if number == 1 else 0))
    path = folder / f"scans-{pages}.pdf"
    truths = scans.make_scan(path, specs, jpeg=True)
    return path, [truth.text for truth in truths]


def run(command: list[str], env: dict[str, str]) -> tuple[float, float]:
    """Wall and CPU seconds of one process (and the children it waited for)."""
    start = time.perf_counter()
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env)
    _, status, usage = os.wait4(process.pid, 0)
    wall = time.perf_counter() - start
    stderr = process.stderr.read().decode(errors="replace") if process.stderr else ""
    if status != 0:
        raise SystemExit(f"{command[0]} failed ({status}): {stderr[-2000:]}")
    return wall, usage.ru_utime + usage.ru_stime


def ours_command(source: Path, target: Path, engines: int) -> list[str]:
    return [sys.executable, str(Path(__file__).resolve()), "--convert", str(source), str(target), str(engines)]


def ocrmypdf_command(source: Path, target: Path, jobs: int) -> list[str]:
    tool = shutil.which("ocrmypdf") or str(Path(sys.executable).with_name("ocrmypdf"))
    return [tool, "--quiet", "--jobs", str(jobs), "--output-type", "pdf", "--optimize", "0", "--rotate-pages",
            "-l", "eng", str(source), str(target)]


def convert(source: str, target: str, engines: int) -> None:
    """The --convert mode: one searchable PDF with our library."""
    import FoliantConversion as fc

    fc.LibraryManager.initialize(None)
    fc.LibraryManager.set_document_ai_model_count(engines, 1)
    options = fc.ConvertOptions()
    options.transparent_text = True
    options.languages = [fc.OCRLanguage.ENGLISH]
    result = fc.FOLIConversion.start_pdf_to_searchable_pdf(source, "", target, options, None)
    if result != fc.ErrorCode.SUCCESS:
        raise SystemExit(f"searchable PDF failed: {result.name}")


def page_error_rate(pdf: Path, truths: list[str]) -> float:
    import scans

    errors = characters = 0
    for number, truth in enumerate(truths, 1):
        found = subprocess.run(["pdftotext", "-q", "-raw", "-f", str(number), "-l", str(number), str(pdf), "-"],
                               capture_output=True, check=True).stdout.decode()
        expected = scans.normalise(truth)
        errors += scans.edit_distance(scans.normalise(found), expected)
        characters += len(expected)
    return errors / characters


def measure(name: str, make: object, source: Path, folder: Path, runs: int, env: dict[str, str],
            truths: list[str]) -> dict[str, float]:
    walls, cpus = [], []
    target = folder / f"{name}.pdf"
    for index in range(runs + 1):
        target.unlink(missing_ok=True)
        wall, cpu = run(make(source, target), env)  # type: ignore[operator]
        if index > 0:  # the first run warms the caches and is not counted
            walls.append(wall)
            cpus.append(cpu)
        print(f"  {name}: run {index} wall {wall:.2f} s cpu {cpu:.2f} s{' (warm-up)' if index == 0 else ''}",
              flush=True)
    return {"wall": statistics.median(walls), "cpu": statistics.median(cpus),
            "cer": page_error_rate(target, truths), "size": target.stat().st_size}


def main() -> int:
    if len(sys.argv) == 5 and sys.argv[1] == "--convert":
        convert(sys.argv[2], sys.argv[3], int(sys.argv[4]))
        return 0
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--pages", type=int, default=8)
    parser.add_argument("--engines", default="1,2", help="engine (and --jobs) counts to compare")
    parser.add_argument("--corpus", type=Path, default=REPOSITORY / "build" / "bench-ocr")
    parser.add_argument("--module-dir", type=Path, help="folder holding the built module")
    parser.add_argument("--skip-ocrmypdf", action="store_true")
    args = parser.parse_args()

    env = dict(os.environ)
    if args.module_dir:
        env["PYTHONPATH"] = os.pathsep.join(filter(None, [str(args.module_dir.resolve()), env.get("PYTHONPATH")]))
    # One Tesseract thread per job for OCRmyPDF, as for our engines.
    env["OMP_THREAD_LIMIT"] = "1"
    args.corpus.mkdir(parents=True, exist_ok=True)
    source, truths = make_corpus(args.corpus, args.pages)
    print(f"corpus: {source} ({args.pages} pages), {os.cpu_count()} cores, load {os.getloadavg()[0]:.1f}")

    results: dict[str, dict[str, float]] = {}
    with tempfile.TemporaryDirectory(prefix="bench-ocr-") as scratch:
        folder = Path(scratch)
        for engines in [int(n) for n in args.engines.split(",")]:
            results[f"ours-{engines}"] = measure(f"ours-{engines}", lambda s, t, n=engines: ours_command(s, t, n),
                                                 source, folder, args.runs, env, truths)
            if not args.skip_ocrmypdf:
                results[f"ocrmypdf-{engines}"] = measure(
                    f"ocrmypdf-{engines}", lambda s, t, n=engines: ocrmypdf_command(s, t, n), source, folder,
                    args.runs, env, truths)

    print()
    # cores = cpu / wall: what the machine gave the run. Two engines can only
    # scale where it is near 2.
    print(f"{'tool':<14}{'wall s':>9}{'cpu s':>9}{'cores':>7}{'pages/s':>9}{'CER':>9}{'size kB':>10}")
    for name, result in results.items():
        print(f"{name:<14}{result['wall']:>9.2f}{result['cpu']:>9.2f}{result['cpu'] / result['wall']:>7.2f}"
              f"{args.pages / result['wall']:>9.2f}{result['cer']:>9.4f}{result['size'] / 1024:>10.0f}")
    print()
    for key in results:
        if key.startswith("ours-") and f"ocrmypdf-{key[5:]}" in results:
            theirs = results[f"ocrmypdf-{key[5:]}"]
            ours = results[key]
            print(f"{key[5:]} engine(s): OCRmyPDF / ours wall {theirs['wall'] / ours['wall']:.2f}x, "
                  f"cpu {theirs['cpu'] / ours['cpu']:.2f}x (target >= {TARGET_SPEED}x); "
                  f"CER ours {ours['cer']:.4f}, OCRmyPDF {theirs['cer']:.4f}")
    if "ours-1" in results and "ours-2" in results:
        one, two = results["ours-1"], results["ours-2"]
        print(f"two engines / one: throughput {one['wall'] / two['wall']:.2f}x (target >= {TARGET_SCALING}x); "
              f"cpu {two['cpu']:.2f} s vs {one['cpu']:.2f} s")
    print(json.dumps({"pages": args.pages, "runs": args.runs, "results": results}))
    return 0


if __name__ == "__main__":
    sys.exit(main())
