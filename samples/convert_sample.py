"""The main job: converts a PDF (by default the bundled sample) into every
format this build writes, with a progress bar, and prints what it wrote."""

from __future__ import annotations

import sys
from pathlib import Path

import FoliantConversion as fc

FORMATS = {
    "txt": (fc.FOLIConversion.start_pdf_to_txt, "sample.txt"),
    "markdown": (fc.FOLIConversion.start_pdf_to_markdown, "sample.md"),
    "html": (fc.FOLIConversion.start_pdf_to_html, "sample.html"),
    "json": (fc.FOLIConversion.start_pdf_to_json, "sample.json"),
    "image": (fc.FOLIConversion.start_pdf_to_image, "sample.png"),
}


def main(source: Path, target: Path) -> int:
    target.mkdir(parents=True, exist_ok=True)
    fc.LibraryManager.initialize(None)
    print(f"library {fc.LibraryManager.get_version()}; {source} has "
          f"{fc.LibraryManager.get_page_count(str(source), '')} pages")

    options = fc.ConvertOptions()
    options.image_type = fc.ImageType.PNG
    options.image_scaling = 1.5
    callback = fc.ConvertCallback()
    callback.set_progress(lambda done, total: print(f"  page {done}/{total}"))

    failures = 0
    for name, (start, file_name) in FORMATS.items():
        result = start(str(source), "", str(target / file_name), options, callback)
        print(f"{name}: {result.name}")
        failures += result != fc.ErrorCode.SUCCESS
    fc.LibraryManager.release()

    for path in sorted(p for p in target.rglob("*") if p.is_file()):
        print(f"wrote {path} ({path.stat().st_size} bytes)")
    return 1 if failures else 0


if __name__ == "__main__":
    here = Path(__file__).resolve().parent
    source = Path(sys.argv[1]) if len(sys.argv) > 1 else here / "sample.pdf"
    target = Path(sys.argv[2]) if len(sys.argv) > 2 else here.parent / "out"
    sys.exit(main(source, target))
