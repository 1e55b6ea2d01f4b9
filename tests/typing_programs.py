"""Two small programs that use the module the way a user writes them, for
the type checkers: USAGE must check clean, and MISUSE must get an error on
exactly the lines marked "# expect-error". The stub tests run mypy on them
against the module under test; the wheel tests run mypy and pyright on them
in a fresh environment with only the wheel installed."""

from __future__ import annotations

USAGE = '''
import FoliantConversion as fc

options = fc.ConvertOptions()
options.enable_ocr = True
options.image_scaling = 2
options.image_scaling = 0.5
options.page_layout_mode = fc.PageLayoutMode.BOX
options.languages = (fc.OCRLanguage.ENGLISH, fc.CHINESE)
options.languages = {fc.ENGLISH}
options.languages = (language for language in [fc.ENGLISH, fc.JAPANESE])
options.languages = {fc.ENGLISH: "eng"}.keys()
options.languages = map(lambda language: language, [fc.ENGLISH])
options.font_name = b"Arial"
options.page_ranges = bytearray(b"1-3,5")
languages: list[fc.OCRLanguage] = options.languages
scaling: float = options.image_scaling
font: str = options.font_name

callback = fc.ConvertCallback()
callback.set_progress(lambda current, total: None)
callback.set_progress(lambda current, total: print(f"{current}/{total}"))
callback.set_cancel(lambda: False)
callback.set_progress(None)
callback.set_cancel(None)
callback.reset()

result: fc.ErrorCode = fc.FOLIConversion.start_pdf_to_txt("in.pdf", "", "out.txt", options, callback)
result = fc.FOLIConversion.start_pdf_to_markdown("in.pdf", "", "out.md", options)
result = fc.FOLIConversion.start_pdf_to_html(
    callback=None, options=options, output_path="out.html", password="", file_path="in.pdf"
)
result = fc.FOLIConversion.start_pdf_to_word(b"in.pdf", b"", bytearray(b"out.docx"), options)
succeeded: bool = result == fc.ErrorCode.SUCCESS
name: str = result.name
number: int = result.value + int(fc.ErrorCode.CANCEL)
members: dict[str, fc.ErrorCode] = fc.ErrorCode.__members__
made: fc.ErrorCode = fc.ErrorCode(40)

fc.LibraryManager.initialize(None)
fc.LibraryManager.initialize("resources")
fc.LibraryManager.initialize(b"resources")
fc.LibraryManager.set_logger(enable_info=True, enable_warning=False)
version: str = fc.LibraryManager.get_version()
pages: int = fc.LibraryManager.get_page_count("in.pdf", "")
pages = fc.LibraryManager.get_page_count(b"in.pdf", None)
model: fc.ErrorCode = fc.LibraryManager.set_document_ai_model("model.bin", gpu_id=0)
model = fc.LibraryManager.set_document_ai_model(None)
fc.LibraryManager.set_document_ai_model_count(2, 1)
fc.LibraryManager.release_document_ai_model()
fc.LibraryManager.release()
'''

MISUSE = '''
import FoliantConversion as fc

options = fc.ConvertOptions()
callback = fc.ConvertCallback()
options.enable_ocr = "true"  # expect-error
options.page_layout_mode = 0  # expect-error
options.languages = "ENGLISH"  # expect-error
options.languages = [fc.ENGLISH, 3]  # expect-error
options.image_type = fc.ImageColorMode.GRAY  # expect-error
options.font_name = None  # expect-error
options.enable_orc = True  # expect-error
ordered = fc.ErrorCode.SUCCESS < fc.ErrorCode.CANCEL  # expect-error
pages: str = fc.LibraryManager.get_page_count("in.pdf", "")  # expect-error
fc.LibraryManager.get_page_count("in.pdf")  # expect-error
fc.LibraryManager.initialize(5)  # expect-error
fc.FOLIConversion.start_pdf_to_txt("in.pdf", "", "out.txt", None)  # expect-error
fc.FOLIConversion.start_pdf_to_txt(None, "", "out.txt", options)  # expect-error
fc.FOLIConversion.start_pdf_to_txt("in.pdf", "", "out.txt", options, callbacks=None)  # expect-error
callback.set_progress(5)  # expect-error
callback.set_cancel(lambda current: True)  # expect-error
fc.ConvertOptions(1)  # expect-error
fc.start_pdf_to_txt  # expect-error
'''


def expected_error_lines(program: str) -> set[int]:
    return {number for number, line in enumerate(program.splitlines(), 1) if line.endswith("# expect-error")}
