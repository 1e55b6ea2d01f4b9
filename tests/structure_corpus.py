"""The real-document corpus for measuring structure: the shared real-world
PDFs, and public manuals, handbooks and papers from Debian's documentation
packages for what those lack (outlines, code listings, contents pages, TeX
accents, two-column indexes, Arabic and Persian text).

The Debian documents are not kept in the repository: `fetch()` downloads
their packages with `apt-get download` (no installation, no root needed)
and unpacks only the named PDFs into a cache folder.

    python tests/structure_corpus.py fetch [--cache DIR]

Each document is read in a page range, so that the benchmark and the golden
tests stay quick; the whole file keeps its outline either way."""

from __future__ import annotations

import argparse
import gzip
import os
import shutil
import subprocess
import sys
import tempfile
from dataclasses import dataclass
from pathlib import Path

REPOSITORY = Path(__file__).resolve().parents[1]
DEFAULT_CACHE = REPOSITORY / "build" / "doc-corpus"
SHARED_CORPUS_SPECIAL = {"password-example.pdf", "malformed-from-issue-932.pdf"}


@dataclass(frozen=True)
class DebianDocument:
    name: str      # our name for it, also its file name in the cache
    package: str   # the Debian package that ships it
    member: str    # path inside the package (a .gz is unpacked)
    pages: str     # page range read ("" for all), as page_ranges takes it
    shows: str     # what it is in the corpus for
    file: str = "" # cache file name when another entry reads the same PDF

    @property
    def cache_name(self) -> str:
        return f"{self.file or self.name}.pdf"


DEBIAN_DOCUMENTS = [
    DebianDocument("r-intro", "r-doc-pdf", "usr/share/R/doc/manual/R-intro.pdf", "1-32",
                   "Texinfo manual: numbered headings at body size, outline, code examples, contents"),
    DebianDocument("r-intro-index", "r-doc-pdf", "usr/share/R/doc/manual/R-intro.pdf", "104-110",
                   "two-column index pages", file="r-intro"),
    DebianDocument("r-faq", "r-doc-pdf", "usr/share/R/doc/manual/R-FAQ.pdf", "1-14",
                   "contents pages with dot leaders, running heads, code"),
    DebianDocument("reportlab-userguide", "python-reportlab-doc",
                   "usr/share/doc/python-reportlab-doc/reportlab-userguide.pdf", "1-24",
                   "handbook: contents, code listings in boxes, Dingbats bullets, outline"),
    DebianDocument("camlidl", "camlidl-doc", "usr/share/doc/camlidl/camlidl-1.04.doc.pdf", "",
                   "LaTeX manual without an outline: numbered headings, code"),
    DebianDocument("freefem", "freefem-doc", "usr/share/doc/freefem-doc/freefem.pdf", "1-20",
                   "LaTeX manual with an outline, French names, formulas"),
    DebianDocument("mrbayes", "mrbayes-doc", "usr/share/doc/mrbayes/Manual_MrBayes_v3.2.pdf", "1-20",
                   "LaTeX manual without an outline: contents, command listings, running heads"),
    DebianDocument("gri", "gri-pdf-doc", "usr/share/doc/gri/gri.pdf.gz", "1-20",
                   "Texinfo manual with a deep outline"),
    DebianDocument("docbook-reference", "docbook-xsl-doc-pdf",
                   "usr/share/doc/docbook-xsl-doc-pdf/doc/reference.pdf.gz", "1-12",
                   "DocBook reference: sans-serif headings, contents with leaders"),
    DebianDocument("txfonts", "texlive-fonts-recommended-doc",
                   "usr/share/doc/texlive-doc/fonts/txfonts/txfontsdoc.pdf", "1-12",
                   "font documentation: symbol tables, TeX accents"),
    DebianDocument("arabic-book", "texlive-lang-arabic",
                   "usr/share/doc/texlive-doc/xelatex/arabic-book/arabic-book.pdf", "",
                   "Arabic book: right-to-left headings and paragraphs"),
    DebianDocument("lshort-persian", "texlive-lang-arabic",
                   "usr/share/doc/texlive-doc/latex/lshort-persian/lshort.pdf", "1-14",
                   "Persian manual: right-to-left text mixed with Latin, contents"),
    DebianDocument("sexam-arabic", "texlive-lang-arabic",
                   "usr/share/doc/texlive-doc/xelatex/sexam/sexam_wexam_doc_ar.pdf", "",
                   "Arabic guide with embedded left-to-right code"),
    DebianDocument("al-jahiz", "texlive-lang-arabic",
                   "usr/share/doc/texlive-doc/lualatex/arabluatex/samples/al-Jahiz.pdf", "",
                   "transliteration with combining accents, numbered verse lines"),
]


@dataclass(frozen=True)
class CorpusDocument:
    name: str
    path: Path
    pages: str  # "" for all pages

    def page_numbers(self, page_count: int) -> list[int]:
        """The 1-based pages read."""
        if not self.pages:
            return list(range(1, page_count + 1))
        first, _, last = self.pages.partition("-")
        return list(range(int(first), min(int(last or first), page_count) + 1))


def shared_corpus_dir() -> Path | None:
    candidates = [os.environ.get("FOLI_CORPUS", ""), REPOSITORY.parent / "shared" / "corpus", "/work/shared/corpus"]
    for candidate in candidates:
        if candidate and Path(candidate, "README.md").is_file():
            return Path(candidate)
    return None


def cache_dir() -> Path:
    return Path(os.environ.get("FOLI_DOC_CORPUS", DEFAULT_CACHE))


def debian_documents(cache: Path | None = None) -> list[CorpusDocument]:
    """The fetched Debian documents (those missing from the cache are left out)."""
    folder = cache or cache_dir()
    found = []
    for doc in DEBIAN_DOCUMENTS:
        path = folder / doc.cache_name
        if path.is_file():
            found.append(CorpusDocument(doc.name, path, doc.pages))
    return found


def shared_documents() -> list[CorpusDocument]:
    folder = shared_corpus_dir()
    if folder is None:
        return []
    return [CorpusDocument(p.stem, p, "") for p in sorted(folder.glob("*.pdf")) if p.name not in SHARED_CORPUS_SPECIAL]


def all_documents(cache: Path | None = None) -> list[CorpusDocument]:
    return shared_documents() + debian_documents(cache)


def _unpack(deb: Path, member: str, target: Path) -> None:
    with tempfile.TemporaryDirectory() as scratch:
        subprocess.run(["dpkg-deb", "-x", str(deb), scratch], check=True)
        source = Path(scratch, member)
        partial = target.with_suffix(".part")
        if member.endswith(".gz"):
            with gzip.open(source, "rb") as packed, open(partial, "wb") as out:
                shutil.copyfileobj(packed, out)
        else:
            shutil.copyfile(source, partial)
        partial.replace(target)


def fetch(cache: Path | None = None, verbose: bool = True) -> list[Path]:
    """Downloads the packages of the Debian documents not yet in the cache
    and unpacks their PDFs. Returns the PDFs now in the cache."""
    folder = cache or cache_dir()
    folder.mkdir(parents=True, exist_ok=True)
    wanted: dict[str, dict[str, str]] = {}  # package -> cache name -> member
    for doc in DEBIAN_DOCUMENTS:
        if not (folder / doc.cache_name).is_file():
            wanted.setdefault(doc.package, {})[doc.cache_name] = doc.member
    if wanted:
        debs = folder / "debs"
        debs.mkdir(exist_ok=True)
        missing = [p for p in wanted if not list(debs.glob(f"{p}_*.deb"))]
        if missing:
            if verbose:
                print(f"downloading {' '.join(missing)}", file=sys.stderr)
            subprocess.run(["apt-get", "download", "-q", *missing], cwd=debs, check=True,
                           stdout=subprocess.DEVNULL)
        for package, members in wanted.items():
            deb = sorted(debs.glob(f"{package}_*.deb"))[-1]
            for cache_name, member in members.items():
                _unpack(deb, member, folder / cache_name)
        shutil.rmtree(debs, ignore_errors=True)
    return sorted(folder.glob("*.pdf"))


def main() -> int:
    parser = argparse.ArgumentParser(description="Fetches the Debian documents of the structure corpus.")
    parser.add_argument("command", choices=["fetch", "list"])
    parser.add_argument("--cache", type=Path, default=None)
    args = parser.parse_args()
    if args.command == "fetch":
        for path in fetch(args.cache):
            print(path)
    else:
        for doc in all_documents(args.cache):
            print(f"{doc.name:44} {doc.pages or 'all':8} {doc.path}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
