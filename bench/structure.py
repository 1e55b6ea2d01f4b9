"""Measures the structure of our Markdown on real documents, side by side
with pymupdf4llm's, against independent references.

    python bench/structure.py [--docs NAME,...] [--module-dir DIR] [--json FILE]

The corpus is tests/structure_corpus.py: the shared real-world PDFs and the
Debian documentation PDFs it fetches (`python tests/structure_corpus.py
fetch`). Each document is read in its page range.

Measures, per document and in aggregate (pages and headings pooled):

- headings against the outline: the document's bookmarks on the pages read
  are the true headings (title and level), for documents that have them;
- headings against pymupdf4llm's layout mode: the headings of the Markdown
  pymupdf4llm writes with its layout model (its default mode), a second,
  independent opinion for documents without an outline;
  for both: precision, recall and F1 of heading texts (a heading matches
  when its words are the reference's, or nearly: difflib ratio >= 0.8), and
  "lvl", the share of consecutive matched headings whose levels step
  the same way (deeper, same, shallower) on both sides;
- reading order against pdftotext: per page, the difflib similarity of the
  word sequences ("sim"), and the share of word trigrams found on both
  sides that come in the same order ("ord": longest increasing run of
  their positions over their number), which ignores text one side leaves
  out (running heads, page numbers).

Words are compared after Unicode compatibility normalisation (NFKC) on
every side, so that a ligature or an Arabic letter in a presentation form
counts as the letters it stands for.

Contenders: ours (start_pdf_to_markdown, one file per page) and
pymupdf4llm without its layout model (`use_layout(False)`, its heuristic
mode). pymupdf4llm's results are cached in build/structure-bench/ by
version and file; ours are made fresh on every run.
"""

from __future__ import annotations

import argparse
import bisect
import difflib
import json
import os
import re
import subprocess
import sys
import tempfile
import unicodedata
from dataclasses import dataclass, field
from pathlib import Path

HERE = Path(__file__).resolve().parent
REPOSITORY = HERE.parent
sys.path.insert(0, str(REPOSITORY / "tests"))

from structure_corpus import CorpusDocument, all_documents  # noqa: E402

CACHE = REPOSITORY / "build" / "structure-bench"
WORD = re.compile(r"\w+", re.UNICODE)
HEADING = re.compile(r"^(#{1,6})\s+(.*?)\s*#*\s*$")
MARKUP = re.compile(r"\*\*|__|(?<!\w)[*_]|`|<[^>]+>|\[([^\]]*)\]\([^)]*\)")


def words(text: str) -> list[str]:
    # Compatibility forms compare as the letters they stand for (a
    # ligature, an Arabic letter in its final shape), on every side alike.
    return [w.casefold() for w in WORD.findall(unicodedata.normalize("NFKC", text))]


def normalise(text: str) -> str:
    return " ".join(words(text))


SECTION_NUMBER = re.compile(r"^(?:(?:\d+|[ivxlc]+|[a-z])(?: |$))+(?=\w)")


def heading_text(text: str) -> str:
    """Normalised heading words without a leading section number: outlines
    often leave the number out ("The R environment" for "1.1 The R ...")."""
    plain = normalise(text)
    stripped = SECTION_NUMBER.sub("", plain)
    return stripped if len(stripped) >= 3 else plain


# ------------------------------------------------------------------ headings

@dataclass
class Heading:
    level: int
    text: str  # normalised


def markdown_headings(markdown: str) -> list[Heading]:
    found = []
    fenced = False
    for line in markdown.splitlines():
        if line.startswith("```"):
            fenced = not fenced
            continue
        match = None if fenced else HEADING.match(line)
        if match:
            text = heading_text(MARKUP.sub(lambda m: m.group(1) or " ", match.group(2)))
            if text:
                found.append(Heading(len(match.group(1)), text))
    return found


@dataclass
class HeadingScore:
    found: int = 0
    expected: int = 0
    matched: int = 0
    level_pairs: int = 0  # consecutive matched headings
    level_agree: int = 0  # ... whose levels step the same way on both sides

    def add(self, other: HeadingScore) -> None:
        self.found += other.found
        self.expected += other.expected
        self.matched += other.matched
        self.level_agree += other.level_agree
        self.level_pairs += other.level_pairs

    @property
    def precision(self) -> float | None:
        return self.matched / self.found if self.found else None

    @property
    def recall(self) -> float | None:
        return self.matched / self.expected if self.expected else None

    @property
    def f1(self) -> float | None:
        if not self.expected and not self.found:
            return None
        if not self.matched:
            return 0.0
        p, r = self.matched / self.found, self.matched / self.expected
        return 2 * p * r / (p + r)

    @property
    def level(self) -> float | None:
        return self.level_agree / self.level_pairs if self.level_pairs else None


def score_headings(found: list[Heading], expected: list[Heading]) -> HeadingScore:
    score = HeadingScore(len(found), len(expected))
    taken = [False] * len(expected)
    pairs = []
    by_text: dict[str, list[int]] = {}
    for j, h in enumerate(expected):
        by_text.setdefault(h.text, []).append(j)
    unmatched = []
    for i, h in enumerate(found):
        free = [j for j in by_text.get(h.text, []) if not taken[j]]
        if free:
            taken[free[0]] = True
            pairs.append((i, free[0]))
        else:
            unmatched.append(i)
    for i in unmatched:
        best, best_ratio = -1, 0.8
        for j, h in enumerate(expected):
            if taken[j]:
                continue
            ratio = difflib.SequenceMatcher(None, found[i].text, h.text).ratio()
            if ratio >= best_ratio:
                best, best_ratio = j, ratio
        if best >= 0:
            taken[best] = True
            pairs.append((i, best))
    score.matched = len(pairs)
    # Levels are compared by how they step from one matched heading to the
    # next (deeper, same, shallower), which ignores where each side starts
    # counting.
    pairs.sort()
    sign = lambda d: (d > 0) - (d < 0)  # noqa: E731
    for (i, j), (k, m) in zip(pairs, pairs[1:]):
        score.level_pairs += 1
        score.level_agree += sign(found[k].level - found[i].level) == sign(expected[m].level - expected[j].level)
    return score


# ------------------------------------------------------------- reading order

def longest_increasing(values: list[int]) -> int:
    tails: list[int] = []
    for v in values:
        k = bisect.bisect_left(tails, v)
        if k == len(tails):
            tails.append(v)
        else:
            tails[k] = v
    return len(tails)


def trigram_order(found: list[str], expected: list[str]) -> float | None:
    def unique_trigrams(seq: list[str]) -> dict[tuple[str, ...], int]:
        seen: dict[tuple[str, ...], int] = {}
        repeated = set()
        for k in range(len(seq) - 2):
            gram = tuple(seq[k:k + 3])
            if gram in seen:
                repeated.add(gram)
            seen[gram] = k
        return {g: k for g, k in seen.items() if g not in repeated}

    a, b = unique_trigrams(found), unique_trigrams(expected)
    common = sorted((a[g], b[g]) for g in a.keys() & b.keys())
    if len(common) < 2:
        return None
    return longest_increasing([pos for _, pos in common]) / len(common)


@dataclass
class OrderScore:
    weight: int = 0          # reference words
    similarity: float = 0.0  # weighted sums
    order_weight: int = 0
    order: float = 0.0

    def add_page(self, found: str, expected: str) -> None:
        a, b = words(found), words(expected)
        if not b:
            return
        ratio = difflib.SequenceMatcher(None, a, b, autojunk=False).ratio()
        self.weight += len(b)
        self.similarity += ratio * len(b)
        ordered = trigram_order(a, b)
        if ordered is not None:
            self.order_weight += len(b)
            self.order += ordered * len(b)

    def add(self, other: OrderScore) -> None:
        self.weight += other.weight
        self.similarity += other.similarity
        self.order_weight += other.order_weight
        self.order += other.order

    @property
    def sim(self) -> float | None:
        return self.similarity / self.weight if self.weight else None

    @property
    def ord(self) -> float | None:
        return self.order / self.order_weight if self.order_weight else None


# ----------------------------------------------------------------- contenders

def pdftotext_pages(doc: CorpusDocument, pages: list[int]) -> list[str]:
    out = subprocess.run(["pdftotext", "-q", "-f", str(pages[0]), "-l", str(pages[-1]), str(doc.path), "-"],
                         capture_output=True, check=True).stdout.decode("utf-8", errors="replace")
    chunks = out.split("\f")
    return (chunks + [""] * len(pages))[: len(pages)]


def outline_headings(doc: CorpusDocument, pages: list[int]) -> list[Heading] | None:
    import pymupdf

    with pymupdf.open(doc.path) as pdf:
        toc = pdf.get_toc(simple=True)
    wanted = set(pages)
    headings = [Heading(level, heading_text(title)) for level, title, page in toc if page in wanted]
    return [h for h in headings if h.text] or None


def our_pages(doc: CorpusDocument, pages: list[int], scratch: Path) -> list[str]:
    import FoliantConversion as fc

    options = fc.ConvertOptions()
    options.page_ranges = doc.pages
    options.output_document_per_page = True
    options.auto_create_folder = True
    options.contain_image = False
    target = scratch / doc.name / "out.md"
    target.parent.mkdir(parents=True, exist_ok=True)
    result = fc.FOLIConversion.start_pdf_to_markdown(str(doc.path), "", str(target), options, None)
    if result != fc.ErrorCode.SUCCESS:
        raise RuntimeError(f"{doc.name}: conversion failed: {result.name}")
    folder = target.parent / "out"
    return [(folder / f"out_{n}.md").read_text(encoding="utf-8") if (folder / f"out_{n}.md").exists() else ""
            for n in pages]


def pymupdf4llm_worker(mode: str, requests: list[dict[str, object]], output: Path) -> None:
    """Runs in a child process: one pymupdf4llm mode over the documents."""
    import pymupdf4llm

    pymupdf4llm.use_layout(mode == "layout")
    results = {}
    for request in requests:
        chunks = pymupdf4llm.to_markdown(str(request["path"]), pages=[n - 1 for n in request["pages"]],
                                         page_chunks=True, show_progress=False)
        results[str(request["key"])] = [chunk["text"] for chunk in chunks]
    output.write_text(json.dumps(results), encoding="utf-8")


def pymupdf4llm_pages(mode: str, docs: list[tuple[CorpusDocument, list[int]]]) -> dict[str, list[str]]:
    import pymupdf4llm

    CACHE.mkdir(parents=True, exist_ok=True)
    cache_file = CACHE / f"pymupdf4llm-{pymupdf4llm.version}-{mode}.json"
    cached: dict[str, list[str]] = json.loads(cache_file.read_text()) if cache_file.exists() else {}

    def key(doc: CorpusDocument, pages: list[int]) -> str:
        stat = doc.path.stat()
        return f"{doc.name}:{stat.st_size}:{pages[0]}-{pages[-1]}"

    missing = [{"key": key(d, p), "path": str(d.path), "pages": p} for d, p in docs if key(d, p) not in cached]
    if missing:
        print(f"pymupdf4llm ({mode}) on {len(missing)} documents, cached for later runs", file=sys.stderr)
        with tempfile.TemporaryDirectory() as scratch:
            requests, output = Path(scratch, "in.json"), Path(scratch, "out.json")
            requests.write_text(json.dumps(missing))
            env = dict(os.environ)
            subprocess.run([sys.executable, __file__, "--worker", mode, str(requests), str(output)], check=True,
                           env=env, stdout=subprocess.DEVNULL)
            cached.update(json.loads(output.read_text()))
        cache_file.write_text(json.dumps(cached))
    return {d.name: cached[key(d, p)] for d, p in docs}


# ------------------------------------------------------------------- report

@dataclass
class DocResult:
    name: str
    pages: int
    outline: dict[str, HeadingScore] = field(default_factory=dict)
    layout_ref: dict[str, HeadingScore] = field(default_factory=dict)
    order: dict[str, OrderScore] = field(default_factory=dict)


def fmt(value: float | None) -> str:
    return f"{value:5.2f}" if value is not None else "    -"


CONTENDERS = ["ours", "p4l"]


def print_report(results: list[DocResult]) -> dict[str, object]:
    head = (f"{'document':34} {'pg':>3} | {'outline F1':^11} | {'layout-md F1':^11} | "
            f"{'order sim':^11} | {'order ord':^11}")
    print(head)
    print(f"{'':34} {'':>3} | {'ours   p4l':^11} | {'ours   p4l':^11} | {'ours   p4l':^11} | {'ours   p4l':^11}")
    print("-" * len(head))
    for r in results:
        cells = []
        for table in (r.outline, r.layout_ref):
            cells.append(" ".join(fmt(table[c].f1) if c in table else "    -" for c in CONTENDERS))
        cells.append(" ".join(fmt(r.order[c].sim) for c in CONTENDERS))
        cells.append(" ".join(fmt(r.order[c].ord) for c in CONTENDERS))
        print(f"{r.name[:34]:34} {r.pages:3} | " + " | ".join(cells))
    print()
    summary: dict[str, object] = {}
    print(f"{'aggregate':28} {'P':>5} {'R':>5} {'F1':>5} {'lvl':>5}   (headings pooled over documents)")
    for label, attribute in (("outline", "outline"), ("pymupdf4llm layout Markdown", "layout_ref")):
        contenders = CONTENDERS + (["p4l-layout"] if attribute == "outline" else [])
        for c in contenders:
            total = HeadingScore()
            for r in results:
                table = getattr(r, attribute)
                if c in table:
                    total.add(table[c])
            print(f"  vs {label:22} {c:10} {fmt(total.precision)} {fmt(total.recall)} {fmt(total.f1)} "
                  f"{fmt(total.level)}   ({total.matched}/{total.found} found, {total.expected} expected)")
            summary[f"headings/{attribute}/{c}"] = {"precision": total.precision, "recall": total.recall,
                                                    "f1": total.f1, "level": total.level}
    print()
    print(f"{'reading order vs pdftotext':28} {'sim':>5} {'ord':>5}   (pages weighted by their words)")
    for c in CONTENDERS:
        total = OrderScore()
        for r in results:
            total.add(r.order[c])
        print(f"  {c:26} {fmt(total.sim)} {fmt(total.ord)}")
        summary[f"order/{c}"] = {"similarity": total.sim, "order": total.ord}
    return summary


def main() -> int:
    if len(sys.argv) > 1 and sys.argv[1] == "--worker":
        pymupdf4llm_worker(sys.argv[2], json.loads(Path(sys.argv[3]).read_text()), Path(sys.argv[4]))
        return 0
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--docs", default="", help="comma-separated document names (default: all)")
    parser.add_argument("--module-dir", help="folder holding the FoliantConversion module")
    parser.add_argument("--json", type=Path, help="also write the aggregate figures to this file")
    args = parser.parse_args()
    if args.module_dir:
        sys.path.insert(0, str(Path(args.module_dir).resolve()))
    import FoliantConversion as fc
    import pymupdf

    fc.LibraryManager.initialize(None)
    wanted = {n for n in args.docs.split(",") if n}
    docs = []
    for doc in all_documents():
        if wanted and doc.name not in wanted:
            continue
        with pymupdf.open(doc.path) as pdf:
            docs.append((doc, doc.page_numbers(pdf.page_count)))
    if not docs:
        print("no documents: is the corpus there? (python tests/structure_corpus.py fetch)", file=sys.stderr)
        return 1
    legacy = pymupdf4llm_pages("legacy", docs)
    layout = pymupdf4llm_pages("layout", docs)
    results = []
    with tempfile.TemporaryDirectory(prefix="foli-structure-") as scratch:
        for doc, pages in docs:
            ours = our_pages(doc, pages, Path(scratch))
            texts = {"ours": ours, "p4l": legacy[doc.name], "p4l-layout": layout[doc.name]}
            reference = pdftotext_pages(doc, pages)
            result = DocResult(doc.name, len(pages))
            truth = outline_headings(doc, pages)
            layout_headings = markdown_headings("\n".join(layout[doc.name]))
            for c, pages_text in texts.items():
                found = markdown_headings("\n".join(pages_text))
                if truth:
                    result.outline[c] = score_headings(found, truth)
                if c != "p4l-layout":
                    result.layout_ref[c] = score_headings(found, layout_headings)
                    order = OrderScore()
                    for page_text, expected in zip(pages_text, reference):
                        order.add_page(page_text, expected)
                    result.order[c] = order
            results.append(result)
    summary = print_report(results)
    if args.json:
        args.json.write_text(json.dumps(summary, indent=2))
    return 0


if __name__ == "__main__":
    sys.exit(main())
