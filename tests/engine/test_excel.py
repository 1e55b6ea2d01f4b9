"""Excel and CSV: tables as cells. openpyxl reads every workbook back:
values, types, number formats, merged ranges, bold headers, wrapped text
and column widths of generated tables; the worksheet options, the text
around the tables, tables continued over pages, CSV files read back with
the csv module, result codes and NO_TABLE_ERROR; real tables against
pdfplumber; LibreOffice opens every workbook."""

from __future__ import annotations

import csv
import datetime
import io
from collections.abc import Callable
from pathlib import Path
from typing import Any

import pytest

import FoliantConversion as fc
import documents as d
import table_documents as t
from reference_tools import (
    cell_key,
    cell_text_f1,
    corpus_dir,
    libreoffice_to_pdf,
    normalise_grid,
    pdfplumber_tables,
    pdftotext,
)

openpyxl = pytest.importorskip("openpyxl")

E = fc.ErrorCode
W = fc.ExcelWorksheetOption
C = fc.FOLIConversion


def options(**fields: object) -> fc.ConvertOptions:
    record = fc.ConvertOptions()
    for name, value in fields.items():
        setattr(record, name, value)
    return record


def to_excel(source: Path, output: Path, callback: fc.ConvertCallback | None = None, **fields: object) -> fc.ErrorCode:
    return C.start_pdf_to_excel(str(source), "", str(output), options(**fields), callback)


def sheets(path: Path) -> dict[str, list[list[Any]]]:
    """Every worksheet's values, row by row, trailing empty cells dropped."""
    workbook = openpyxl.load_workbook(path)
    found = {}
    for sheet in workbook.worksheets:
        rows = [list(row) for row in sheet.iter_rows(values_only=True)]
        for row in rows:
            while row and row[-1] is None:
                row.pop()
        found[sheet.title] = rows
    return found


def expected_values(grid: list[list[str]]) -> list[list[Any]]:
    """A grid of printed texts as the cells hold them: plain numbers as
    numbers, empty cells as None."""
    def value(text: str) -> Any:
        if not text:
            return None
        plain = text.replace(",", "")
        try:
            number = float(plain)
        except ValueError:
            return text
        return int(number) if number.is_integer() and "." not in plain else number

    rows = [[value(text) for text in row] for row in grid]
    for row in rows:
        while row and row[-1] is None:
            row.pop()
    return rows


@pytest.fixture(scope="module")
def made(tmp_path_factory: pytest.TempPathFactory) -> Callable[[str], Path]:
    folder = tmp_path_factory.mktemp("excel-sources")
    built: dict[str, Path] = {}

    def build(name: str) -> Path:
        if name not in built:
            path = folder / f"{name}.pdf"
            module = t if hasattr(t, f"make_{name}") else d
            getattr(module, f"make_{name}")(path)
            built[name] = path
        return built[name]

    return build


# ------------------------------------------------------------- values


@pytest.fixture(scope="module")
def values_sheet(made: Callable[[str], Path], tmp_path_factory: pytest.TempPathFactory) -> Any:
    output = tmp_path_factory.mktemp("values") / "values.xlsx"
    assert to_excel(made("values_table"), output) == E.SUCCESS
    return openpyxl.load_workbook(output).worksheets[0]


@pytest.mark.parametrize("row, case", list(enumerate(t.VALUES, 2)), ids=[text for text, _, _ in t.VALUES])
def test_cell_values_types_and_formats(values_sheet: Any, row: int, case: tuple[str, Any, str]) -> None:
    text, value, number_format = case
    cell = values_sheet.cell(row=row, column=2)
    if number_format == "yyyy-mm-dd":
        assert cell.value == datetime.datetime.fromisoformat(value)
    elif isinstance(value, float):
        assert isinstance(cell.value, (int, float)) and cell.value == pytest.approx(value)
    else:
        assert cell.value == value
    assert cell.number_format == number_format


def test_header_row_is_bold_and_body_is_not(values_sheet: Any) -> None:
    assert values_sheet["A1"].font.b and values_sheet["B1"].font.b
    assert not values_sheet["A2"].font.b and not values_sheet["B2"].font.b


def test_column_widths_follow_the_table(values_sheet: Any) -> None:
    narrow = values_sheet.column_dimensions["A"].width
    wide = values_sheet.column_dimensions["B"].width
    # The PDF's columns are 108 and 220 points wide.
    assert 0 < narrow < wide
    assert wide / narrow == pytest.approx(220 / 108, rel=0.15)


# ------------------------------------------------------ known tables


@pytest.mark.parametrize("name, grid", [
    ("rows_without_rules", t.STATES),
    ("box_body_table", None),
    ("far_columns_table", t.FAR_COLUMNS),
    ("booktabs_table", t.BOOKTABS),
])
def test_known_tables_come_back_cell_for_cell(made: Callable[[str], Path], tmp_path: Path, name: str,
                                              grid: list[list[str]] | None) -> None:
    output = tmp_path / "out.xlsx"
    assert to_excel(made(name), output) == E.SUCCESS
    (rows,) = sheets(output).values()
    if grid is None:  # the dates of the expenses are dates
        grid = t.expenses_grid()
        for row in rows[1:]:
            assert isinstance(row[1], datetime.datetime)
            row[1] = row[1].strftime("%m/%d/%Y")
    assert rows == expected_values(grid)


# One sheet for the document is written row by row, the others whole: both
# must merge and keep the merged cell's value.
@pytest.mark.parametrize("mode", [W.FOR_TABLE, W.FOR_DOCUMENT])
@pytest.mark.parametrize("name, ranges, values", [
    ("booktabs_table", ["B1:D1"], {"B1": "Accuracy", "B2": "P"}),
    ("merged_table", ["A1:A2", "B1:C1"], {"A1": "Item", "B1": "Sales", "B2": 2023}),
])
def test_merged_cells_are_merged(made: Callable[[str], Path], tmp_path: Path, mode: Any, name: str,
                                 ranges: list[str], values: dict[str, Any]) -> None:
    output = tmp_path / "out.xlsx"
    assert to_excel(made(name), output, excel_worksheet_option=mode) == E.SUCCESS
    sheet = openpyxl.load_workbook(output).worksheets[0]
    assert sorted(str(merged) for merged in sheet.merged_cells.ranges) == ranges
    assert {key: sheet[key].value for key in values} == values


def test_cell_of_several_lines_wraps(made: Callable[[str], Path], tmp_path: Path) -> None:
    output = tmp_path / "out.xlsx"
    assert to_excel(made("wrapped_cell_table"), output) == E.SUCCESS
    sheet = openpyxl.load_workbook(output).worksheets[0]
    note = sheet.cell(row=2, column=2)
    assert note.value == d.WRAPPED_CELL_TABLE[1][1]
    assert note.alignment.wrap_text
    assert not sheet.cell(row=3, column=2).alignment.wrap_text


# ----------------------------------------------------- worksheet options

TABLE_A = expected_values(t.STATES[:4])
TABLE_B = expected_values(t.BOOKTABS[1:4])
TABLE_C = expected_values(t.FAR_COLUMNS[:3])


@pytest.mark.parametrize("mode, all_content, expected", [
    (W.FOR_TABLE, False, {"Page 1 Table 1": TABLE_A, "Page 1 Table 2": TABLE_B, "Page 3 Table 1": TABLE_C}),
    (W.FOR_PAGE, False, {"Page 1": [*TABLE_A, [], *TABLE_B], "Page 3": TABLE_C}),
    (W.FOR_DOCUMENT, False, {"Document": [*TABLE_A, [], *TABLE_B, [], *TABLE_C]}),
    (W.FOR_TABLE, True, {
        "Page 1 Table 1": [[t.REPORT_TITLE], [t.REPORT_INTRO], [], *TABLE_A],
        "Page 1 Table 2": [[t.REPORT_BETWEEN], [], *TABLE_B, [], [t.REPORT_PAGE_2]],
        "Page 3 Table 1": [[t.REPORT_PAGE_3], [], *TABLE_C]}),
    (W.FOR_PAGE, True, {
        "Page 1": [[t.REPORT_TITLE], [t.REPORT_INTRO], [], *TABLE_A, [], [t.REPORT_BETWEEN], [], *TABLE_B],
        "Page 2": [[t.REPORT_PAGE_2]],
        "Page 3": [[t.REPORT_PAGE_3], [], *TABLE_C]}),
    (W.FOR_DOCUMENT, True, {"Document": [
        [t.REPORT_TITLE], [t.REPORT_INTRO], [], *TABLE_A, [], [t.REPORT_BETWEEN], [], *TABLE_B, [],
        [t.REPORT_PAGE_2], [t.REPORT_PAGE_3], [], *TABLE_C]}),
], ids=["table", "page", "document", "table-all", "page-all", "document-all"])
def test_worksheet_options(made: Callable[[str], Path], tmp_path: Path, mode: Any, all_content: bool,
                           expected: dict[str, list[list[Any]]]) -> None:
    output = tmp_path / "out.xlsx"
    assert to_excel(made("report_tables"), output, excel_worksheet_option=mode,
                    excel_all_content=all_content) == E.SUCCESS
    assert sheets(output) == expected


def test_text_rows_hold_text_and_headings_are_bold(made: Callable[[str], Path], tmp_path: Path) -> None:
    output = tmp_path / "out.xlsx"
    assert to_excel(made("report_tables"), output, excel_worksheet_option=W.FOR_PAGE, excel_all_content=True) == \
        E.SUCCESS
    sheet = openpyxl.load_workbook(output)["Page 1"]
    assert sheet["A1"].font.b and not sheet["A2"].font.b


CONTINUED = expected_values([t.CONTINUED_HEADER, *t.CONTINUED_ROWS])


@pytest.mark.parametrize("mode, expected", [
    (W.FOR_DOCUMENT, {"Document": CONTINUED}),
    (W.FOR_TABLE, {"Page 1 Table 1": CONTINUED}),
    (W.FOR_PAGE, {"Page 1": CONTINUED[:t.CONTINUED_SPLIT + 1],
                  "Page 2": [CONTINUED[0], *CONTINUED[t.CONTINUED_SPLIT + 1:]]}),
])
def test_table_continued_on_the_next_page_is_one_table(made: Callable[[str], Path], tmp_path: Path, mode: Any,
                                                       expected: dict[str, list[list[Any]]]) -> None:
    output = tmp_path / "out.xlsx"
    assert to_excel(made("continued_table"), output, excel_worksheet_option=mode) == E.SUCCESS
    assert sheets(output) == expected


def test_one_workbook_per_page(made: Callable[[str], Path], tmp_path: Path) -> None:
    output = tmp_path / "out.xlsx"
    assert to_excel(made("report_tables"), output, output_document_per_page=True) == E.SUCCESS
    files = sorted(path.name for path in (tmp_path / "out").iterdir())
    assert files == ["out_1.xlsx", "out_3.xlsx"]
    assert list(sheets(tmp_path / "out" / "out_3.xlsx")) == ["Page 3 Table 1"]


def test_document_properties_come_from_the_pdf(made: Callable[[str], Path], tmp_path: Path) -> None:
    source = tmp_path / "titled.pdf"
    import pymupdf
    document = pymupdf.open(made("values_table"))
    document.set_metadata({"title": "Value styles", "author": "The tests"})
    document.save(source)
    output = tmp_path / "out.xlsx"
    assert to_excel(source, output) == E.SUCCESS
    properties = openpyxl.load_workbook(output).properties
    assert (properties.title, properties.creator) == ("Value styles", "The tests")


def test_same_document_same_bytes(made: Callable[[str], Path], tmp_path: Path) -> None:
    first, second = tmp_path / "a.xlsx", tmp_path / "b.xlsx"
    assert to_excel(made("report_tables"), first) == E.SUCCESS
    assert to_excel(made("report_tables"), second) == E.SUCCESS
    assert first.read_bytes() == second.read_bytes()


# ------------------------------------------------------------------ CSV


def read_csv(path: Path) -> list[list[str]]:
    raw = path.read_bytes()
    assert raw.startswith(b"\xef\xbb\xbf")
    text = raw[3:].decode("utf-8")
    assert "\n" not in text.replace("\r\n", "")  # CRLF between records
    return list(csv.reader(io.StringIO(text, newline="")))


def printed(grid: list[list[str]]) -> list[list[str]]:
    return [list(row) for row in grid]


@pytest.mark.parametrize("mode, files", [
    (W.FOR_DOCUMENT, {"out.csv": [*printed(t.STATES[:4]), [], *printed(t.BOOKTABS[1:4]), [],
                                  *printed(t.FAR_COLUMNS[:3])]}),
    (W.FOR_PAGE, {"out/out_1.csv": [*printed(t.STATES[:4]), [], *printed(t.BOOKTABS[1:4])],
                  "out/out_3.csv": printed(t.FAR_COLUMNS[:3])}),
    (W.FOR_TABLE, {"out/out_1_1.csv": printed(t.STATES[:4]), "out/out_1_2.csv": printed(t.BOOKTABS[1:4]),
                   "out/out_3_1.csv": printed(t.FAR_COLUMNS[:3])}),
])
def test_csv_files_per_worksheet(made: Callable[[str], Path], tmp_path: Path, mode: Any,
                                 files: dict[str, list[list[str]]]) -> None:
    assert to_excel(made("report_tables"), tmp_path / "out.xlsx", excel_csv_format=True,
                    excel_worksheet_option=mode) == E.SUCCESS
    written = sorted(str(path.relative_to(tmp_path)) for path in tmp_path.rglob("*.csv"))
    assert written == sorted(files)
    assert not (tmp_path / "out.xlsx").exists()
    for name, rows in files.items():
        assert read_csv(tmp_path / name) == rows


def test_csv_quotes_commas_quotes_and_keeps_printed_numbers(made: Callable[[str], Path], tmp_path: Path) -> None:
    assert to_excel(made("values_table"), tmp_path / "out.xlsx", excel_csv_format=True,
                    excel_worksheet_option=W.FOR_DOCUMENT) == E.SUCCESS
    raw = (tmp_path / "out.csv").read_bytes().decode("utf-8-sig")
    assert '"He said ""hi"", then left"' in raw
    assert '"1,234.5"' in raw
    rows = read_csv(tmp_path / "out.csv")
    assert [row[1] for row in rows[1:]] == [text for text, _, _ in t.VALUES]


# --------------------------------------------------------- result codes


def snapshot(folder: Path) -> dict[str, bytes | None]:
    return {str(p.relative_to(folder)): None if p.is_dir() else p.read_bytes() for p in sorted(folder.rglob("*"))}


@pytest.mark.parametrize("csv_format", [False, True], ids=["xlsx", "csv"])
@pytest.mark.parametrize("all_content", [False, True], ids=["tables", "all"])
def test_no_table_is_no_table_error_unless_all_content(docs: d.Documents, out_dir: Path, csv_format: bool,
                                                       all_content: bool) -> None:
    result = to_excel(docs.structured, out_dir / "doc.xlsx", excel_csv_format=csv_format,
                      excel_all_content=all_content)
    if not all_content:
        assert result == E.NO_TABLE_ERROR
        assert snapshot(out_dir) == {}
        return
    assert result == E.SUCCESS
    if csv_format:
        rows = read_csv(out_dir / "doc" / "doc_1.csv")
    else:
        (rows,) = sheets(out_dir / "doc.xlsx").values()
    assert rows[0] == [d.TITLE]


@pytest.mark.parametrize("csv_format", [False, True], ids=["xlsx", "csv"])
@pytest.mark.parametrize("case, code", [
    ("missing", E.FILE_ERROR), ("encrypted", E.PDF_PASSWORD_ERROR), ("damaged", E.PDF_FORMAT_ERROR),
    ("security", E.PDF_SECURITY_ERROR), ("no_folder", E.IO_ERROR), ("ranges", E.INVALID_ARG),
    ("cancel", E.CANCEL),
])
def test_failures_leave_nothing_behind(docs: d.Documents, made: Callable[[str], Path], out_dir: Path,
                                       csv_format: bool, case: str, code: Any) -> None:
    source = {"missing": out_dir.parent / "missing.pdf", "encrypted": docs.encrypted, "damaged": docs.damaged,
              "security": docs.unsupported_security}.get(case, made("continued_table"))
    output = out_dir / ("absent" if case == "no_folder" else "") / "doc.xlsx"
    old = out_dir / "doc.xlsx"
    if case == "cancel":
        old.write_bytes(b"the previous output")
    before = snapshot(out_dir)
    callback = fc.ConvertCallback()
    done: list[int] = []
    callback.set_progress(lambda current, total: done.append(current))
    callback.set_cancel(lambda: case == "cancel" and len(done) >= 1)
    fields: dict[str, object] = {"excel_csv_format": csv_format}
    if case == "ranges":
        fields["page_ranges"] = "5"
    assert to_excel(source, output, callback, **fields) == code
    assert snapshot(out_dir) == before


def test_encrypted_with_the_password_converts(docs: d.Documents, out_dir: Path) -> None:
    output = out_dir / "doc.xlsx"
    result = C.start_pdf_to_excel(str(docs.encrypted), d.PASSWORD, str(output), options(excel_all_content=True))
    assert result == E.SUCCESS
    assert "Confidential text" in str(sheets(output))


def test_page_ranges_pick_the_tables(made: Callable[[str], Path], tmp_path: Path) -> None:
    output = tmp_path / "out.xlsx"
    assert to_excel(made("report_tables"), output, page_ranges="3") == E.SUCCESS
    assert list(sheets(output)) == ["Page 3 Table 1"]


# ------------------------------------------------------- real documents

# Corpus pages whose tables pdfplumber reads as we do (ruled grids):
# (file, page). Others differ where pdfplumber keeps rows without rules
# in one cell; bench/tables.py reports the agreement over the corpus.
REAL = [("WARN-Report-for-7-1-2015-to-03-25-2016.pdf", 1), ("word365_structure.pdf", 1),
        ("issue-140-example.pdf", 1), ("table-curves-example.pdf", 1)]


def number_key(number: float) -> str:
    return f"{number:.10g}"


def value_key(value: Any) -> str:
    """A cell's value as the comparison reads it."""
    if value is None:
        return ""
    if isinstance(value, datetime.datetime):
        return value.strftime("%m/%d/%Y")
    if isinstance(value, (int, float)):
        return number_key(float(value))
    return cell_key(str(value))


def reference_key(text: str) -> str:
    """pdfplumber's text as a cell would hold it: a number (without its
    currency sign, thousands separators and percent sign) unless it has a
    leading zero, else the text."""
    key = cell_key(text)
    plain = key.replace(",", "").lstrip("$")
    percent = plain.endswith("%")
    plain = plain.rstrip("%")
    digits = plain.lstrip("-")
    if len(digits) > 1 and digits.startswith("0") and not digits.startswith("0."):
        return key
    try:
        number = float(plain)
    except ValueError:
        return key
    return number_key(number / 100 if percent else number)


@pytest.mark.parametrize("name, page", REAL)
def test_real_tables_agree_with_pdfplumber(name: str, page: int, tmp_path: Path) -> None:
    folder = corpus_dir()
    if folder is None:
        pytest.skip("the real-world corpus is not here")
    source = folder / name
    output = tmp_path / "out.xlsx"
    assert to_excel(source, output, page_ranges=str(page)) == E.SUCCESS
    ours = [normalise_grid([[value_key(value) for value in row] for row in rows]) for rows in sheets(output).values()]
    theirs = [[[reference_key(text) for text in row] for row in table.grid]
              for table in pdfplumber_tables(source).get(page, [])]
    assert len(ours) == len(theirs)
    for mine, reference in zip(ours, theirs):
        assert (len(mine), len(mine[0])) == (len(reference), len(reference[0]))
        assert cell_text_f1(mine, reference) >= 0.95


# ---------------------------------------------------------- LibreOffice


@pytest.mark.external
def test_libreoffice_opens_every_workbook(made: Callable[[str], Path], tmp_path: Path) -> None:
    names = ["values_table", "report_tables", "continued_table", "booktabs_table", "merged_table",
             "wrapped_cell_table", "rows_without_rules"]
    workbooks = []
    for name in names:
        output = tmp_path / f"{name}.xlsx"
        assert to_excel(made(name), output, excel_worksheet_option=W.FOR_DOCUMENT, excel_all_content=True) == \
            E.SUCCESS
        workbooks.append(output)
    converted = libreoffice_to_pdf(workbooks, tmp_path / "pdf")
    assert sorted(converted) == sorted(workbooks)
    text = pdftotext(converted[tmp_path / "values_table.xlsx"])
    assert "1,234.5" in text and "12.5%" in text and "(1,234)" in text
    assert "Item number 40" in pdftotext(converted[tmp_path / "continued_table.xlsx"])


# --------------------------------------------------------------- memory

MEMORY_CHILD = """
import json, sys
import FoliantConversion as fc
source, output, fields = sys.argv[1:]
options = fc.ConvertOptions()
for name, value in json.loads(fields).items():
    setattr(options, name, getattr(fc.ExcelWorksheetOption, value) if name == "excel_worksheet_option" else value)
result = fc.FOLIConversion.start_pdf_to_excel(source, "", output, options)
with open("/proc/self/status") as status:
    peak_kb = next(int(line.split()[1]) for line in status if line.startswith("VmHWM:"))
print(int(result), peak_kb)
"""
SHORT, LONG = 50, 500
# What ten times the pages may add to the peak: the workbook keeps a few
# kilobytes per worksheet, and nothing per row.
ALLOWED_GROWTH_MB = 16


def excel_peak_mb(source: Path, output: Path, **fields: object) -> float:
    import json
    import os
    import subprocess
    import sys

    done = subprocess.run([sys.executable, "-c", MEMORY_CHILD, str(source), str(output), json.dumps(fields)],
                          capture_output=True, text=True, timeout=900,
                          env={**os.environ, "PYTHONPATH": os.pathsep.join(sys.path)})
    assert done.returncode == 0, done.stderr
    result, peak_kb = (int(value) for value in done.stdout.split())
    assert result == int(E.SUCCESS)
    return peak_kb / 1024


@pytest.fixture(scope="module")
def many_tables(tmp_path_factory: pytest.TempPathFactory) -> dict[int, Path]:
    folder = tmp_path_factory.mktemp("many-tables")
    paths = {}
    for pages in (SHORT, LONG):
        paths[pages] = folder / f"tables_{pages}.pdf"
        t.make_many_tables(paths[pages], pages)
    return paths


@pytest.mark.skipif("libasan" in __import__("os").environ.get("LD_PRELOAD", ""), reason="the sanitizer's shadow memory")
@pytest.mark.parametrize("mode", ["FOR_DOCUMENT", "FOR_TABLE"])
def test_ten_times_the_pages_needs_hardly_more_memory(many_tables: dict[int, Path], tmp_path: Path, mode: str) -> None:
    short = excel_peak_mb(many_tables[SHORT], tmp_path / "short.xlsx", excel_worksheet_option=mode)
    long = excel_peak_mb(many_tables[LONG], tmp_path / "long.xlsx", excel_worksheet_option=mode)
    workbook = openpyxl.load_workbook(tmp_path / "long.xlsx", read_only=True)
    if mode == "FOR_TABLE":
        assert len(workbook.sheetnames) == LONG
    else:
        assert workbook.worksheets[0].max_row == LONG * 11 - 1  # ten rows each, a blank row between
    assert long - short < ALLOWED_GROWTH_MB, f"{mode}: {short:.1f} MB for {SHORT} pages, {long:.1f} MB for {LONG}"
