"""Documents with tables in the styles real documents use, written with
PyMuPDF: the grids below are the ground truth the table tests compare
against (rows of cell texts; "" for an empty cell)."""

from __future__ import annotations

from pathlib import Path

import pymupdf

from documents import BODY, BOLD

Grid = list[list[str]]

# A table in the style of a paper: a top rule, a rule under the header, a
# bottom rule, nothing else. "Accuracy" heads the three columns under it,
# with a short rule between them; two rows of values sit close together.
BOOKTABS_CAPTION = "Table 2: Scores on the test set."
BOOKTABS_NOTE = "Scores are averaged over five runs."
BOOKTABS = [
    ["Model", "Accuracy", "", ""],
    ["", "P", "R", "F1"],
    ["Baseline", "0.912", "0.905", "0.908"],
    ["Ours (small)", "0.965", "0.958", "0.961"],
    ["Ours (large)", "0.969", "0.971", "0.970"],
    ["Human", "0.990", "0.985", "0.987"],
]
BOOKTABS_COLUMNS = [90, 230, 300, 370]


def make_booktabs_table(path: Path) -> None:
    doc = pymupdf.open()
    page = doc.new_page()
    page.insert_text((90, 90), "Results", fontsize=14, fontname=BOLD)
    page.insert_text((90, 120), BOOKTABS_CAPTION, fontsize=10, fontname=BODY)
    page.draw_line((90, 130), (420, 130), width=1.0)
    page.insert_text((90, 146), "Model", fontsize=10, fontname=BODY)
    accuracy_width = pymupdf.get_text_length("Accuracy", fontname=BODY, fontsize=10)
    page.insert_text((300 + 20 - accuracy_width / 2, 146), "Accuracy", fontsize=10, fontname=BODY)
    page.draw_line((230, 150), (410, 150), width=0.5)  # under "Accuracy" only
    for x, text in zip(BOOKTABS_COLUMNS[1:], ["P", "R", "F1"]):
        page.insert_text((x, 162), text, fontsize=10, fontname=BODY)
    page.draw_line((90, 168), (420, 168), width=0.5)
    y = 184.0
    for row in BOOKTABS[2:]:
        for x, text in zip(BOOKTABS_COLUMNS, row):
            page.insert_text((x, y), text, fontsize=10, fontname=BODY)
        y += 14
    page.draw_line((90, y - 6), (420, y - 6), width=1.0)
    page.insert_text((90, y + 14), BOOKTABS_NOTE, fontsize=9, fontname=BODY)
    page.insert_text((90, y + 50), "The text goes on after the table in a paragraph of its own.", fontsize=11,
                     fontname=BODY)
    doc.save(path)


# Statistics by state: a ruled header, then one box per group of states
# with the column rules running through it but no rules between rows.
STATES = [
    ["State", "Permit", "Handgun", "Long Gun"],
    ["Alabama", "18,870", "23,022", "22,650"],
    ["Alaska", "209", "3,062", "3,209"],
    ["Arizona", "2,303", "12,382", "9,041"],
    ["Arkansas", "3,298", "6,359", "11,611"],
    ["California", "98,452", "41,181", "35,007"],
    ["Colorado", "4,144", "19,784", "16,082"],
    ["Connecticut", "9,631", "11,594", "5,072"],
    ["Delaware", "204", "2,152", "2,424"],
]
STATE_COLUMNS = [72, 180, 260, 340, 420]


def make_rows_without_rules(path: Path) -> None:
    doc = pymupdf.open()
    page = doc.new_page()
    top, header_bottom, pitch = 100.0, 120.0, 14.0
    groups = [STATES[1:6], STATES[6:]]
    bottom = header_bottom + pitch * (len(STATES) - 1) + 6 * len(groups)
    for x in STATE_COLUMNS:
        page.draw_line((x, top), (x, bottom), width=0.6)
    page.draw_line((STATE_COLUMNS[0], top), (STATE_COLUMNS[-1], top), width=0.6)
    page.draw_line((STATE_COLUMNS[0], header_bottom), (STATE_COLUMNS[-1], header_bottom), width=0.6)
    for column, text in enumerate(STATES[0]):
        page.insert_text((STATE_COLUMNS[column] + 4, top + 14), text, fontsize=10, fontname=BOLD)
    y = header_bottom
    for group in groups:
        for row in group:
            y += pitch
            for column, text in enumerate(row):
                if column == 0:
                    x = STATE_COLUMNS[0] + 4
                else:  # numbers set flush right
                    x = STATE_COLUMNS[column + 1] - 4 - pymupdf.get_text_length(text, fontname=BODY, fontsize=9)
                page.insert_text((x, y), text, fontsize=9, fontname=BODY)
        y += 6
        page.draw_line((STATE_COLUMNS[0], y), (STATE_COLUMNS[-1], y), width=0.6)
    doc.save(path)


# Expenditures: column rules in the header only; the body is one framed box
# whose entries line up under the header's columns. An entry's
# description runs over two lines; the other cells keep to the first.
EXPENSES_HEADER = ["Document", "Posted", "Payee", "Description", "Amount"]
EXPENSES = [
    ["DH-0001", "05/03/2019", "Travel card", "Staff transportation", "920.68"],
    ["DH-0002", "05/24/2019", "Travel card", "Staff transportation", "907.96"],
    ["DH-0003", "06/13/2019", "Senator card", "Senator's transportation", "553.30"],
    ["DH-0004", "07/10/2019", "Travel card", "Staff transportation", "1,112.00"],
]
EXPENSE_DETAILS = ["Airfare to Kansas City", "Airfare to Saint Louis", "Train fare to New York",
                   "Airfare to Springfield"]
EXPENSE_COLUMNS = [60, 130, 200, 290, 480, 550]


def make_box_body_table(path: Path) -> None:
    doc = pymupdf.open()
    page = doc.new_page()
    top, header_bottom = 90.0, 110.0
    page.draw_rect(pymupdf.Rect(EXPENSE_COLUMNS[0], top, EXPENSE_COLUMNS[-1], header_bottom), width=0.6)
    for x in EXPENSE_COLUMNS[1:-1]:
        page.draw_line((x, top), (x, header_bottom), width=0.6)
    for column, text in enumerate(EXPENSES_HEADER):
        page.insert_text((EXPENSE_COLUMNS[column] + 4, top + 14), text, fontsize=9, fontname=BOLD)
    y = header_bottom + 4
    for entry, detail in zip(EXPENSES, EXPENSE_DETAILS):
        y += 12
        for column, text in enumerate(entry):
            page.insert_text((EXPENSE_COLUMNS[column] + 4, y), text, fontsize=8, fontname=BODY)
        y += 10
        page.insert_text((EXPENSE_COLUMNS[3] + 4, y), detail, fontsize=8, fontname=BODY)
    page.draw_rect(pymupdf.Rect(EXPENSE_COLUMNS[0], header_bottom, EXPENSE_COLUMNS[-1], y + 6), width=0.6)
    doc.save(path)


def expenses_grid() -> Grid:
    rows = [EXPENSES_HEADER]
    for entry, detail in zip(EXPENSES, EXPENSE_DETAILS):
        rows.append([*entry[:3], f"{entry[3]} {detail}", entry[4]])
    return rows


# A list of figures without any rules: labels on the left, two columns of
# numbers far away on the right, and a subtotal label on a row of its own.
FAR_COLUMNS = [
    ["Salaries and wages", "1,204,500", "1,180,250"],
    ["Rent and utilities", "312,000", "298,400"],
    ["Travel", "45,120", "51,900"],
    ["Operating costs", "", ""],
    ["Printing", "12,400", "9,870"],
    ["Equipment", "88,015", "74,300"],
]
FAR_COLUMN_X = [72, 440, 520]


def make_far_columns_table(path: Path) -> None:
    doc = pymupdf.open()
    page = doc.new_page()
    page.insert_text((72, 80), "Expenditure by item, in dollars.", fontsize=11, fontname=BODY)
    for row, cells in enumerate(FAR_COLUMNS):
        for column, text in enumerate(cells):
            if not text:
                continue
            x = FAR_COLUMN_X[column]
            if column > 0:
                x += 50 - pymupdf.get_text_length(text, fontname=BODY, fontsize=10)
            page.insert_text((x, 110 + 16 * row), text, fontsize=10, fontname=BODY)
    page.insert_text((72, 250), "A closing paragraph follows the list of figures on this page.", fontsize=11,
                     fontname=BODY)
    doc.save(path)


# One table over two pages: the same columns, the header repeated on the
# second page.
CONTINUED_HEADER = ["Item", "Code", "Quantity"]
CONTINUED_ROWS = [[f"Item number {i}", f"C-{i:03d}", str(10 * i)] for i in range(1, 41)]
CONTINUED_SPLIT = 30  # rows on the first page
CONTINUED_COLUMNS = [72, 260, 380, 480]


def _ruled_rows(page: pymupdf.Page, top: float, rows: Grid, bold_first: bool) -> float:
    pitch = 20.0
    bottom = top + pitch * len(rows)
    for x in CONTINUED_COLUMNS:
        page.draw_line((x, top), (x, bottom), width=0.6)
    for index in range(len(rows) + 1):
        y = top + pitch * index
        page.draw_line((CONTINUED_COLUMNS[0], y), (CONTINUED_COLUMNS[-1], y), width=0.6)
    for index, row in enumerate(rows):
        font = BOLD if bold_first and index == 0 else BODY
        for column, text in enumerate(row):
            page.insert_text((CONTINUED_COLUMNS[column] + 5, top + pitch * index + 14), text, fontsize=10,
                             fontname=font)
    return bottom


def make_continued_table(path: Path) -> None:
    doc = pymupdf.open()
    first = doc.new_page()
    first.insert_text((72, 60), "Stock list", fontsize=14, fontname=BOLD)
    _ruled_rows(first, 80, [CONTINUED_HEADER, *CONTINUED_ROWS[:CONTINUED_SPLIT]], True)
    second = doc.new_page()
    bottom = _ruled_rows(second, 60, [CONTINUED_HEADER, *CONTINUED_ROWS[CONTINUED_SPLIT:]], True)
    second.insert_text((72, bottom + 30), "End of the stock list.", fontsize=11, fontname=BODY)
    doc.save(path)


# Cell texts and what a spreadsheet holds for them: the value (a number,
# a date, or the text itself) and its number format ("General" for none).
VALUES = [
    ("1,234.5", 1234.5, "#,##0.0"),
    ("12.5%", 0.125, "0.0%"),
    ("$1,200.00", 1200.0, '"$"#,##0.00'),
    ("(1,234)", -1234.0, "#,##0;(#,##0)"),
    ("45-", -45.0, "0;0-"),
    ("-3.25", -3.25, "0.00"),
    ("+5", 5.0, "+0;-0;0"),
    ("2019", 2019.0, "General"),
    ("0.5", 0.5, "0.0"),
    ("007", "007", "General"),
    ("1-3", "1-3", "General"),
    ("555-1234", "555-1234", "General"),
    ("C-001", "C-001", "General"),
    ("12345678901234567", "12345678901234567", "General"),
    ("2023-05-17", "2023-05-17", "yyyy-mm-dd"),
    ('He said "hi", then left', 'He said "hi", then left', "General"),
]


def make_values_table(path: Path) -> None:
    """A ruled two-column table, one value style per row, under a bold header."""
    doc = pymupdf.open()
    page = doc.new_page()
    xs = [72, 180, 400]
    pitch = 20.0
    rows = [("Case", "Value"), *[(str(index), text) for index, (text, _, _) in enumerate(VALUES, 1)]]
    bottom = 80 + pitch * len(rows)
    for x in xs:
        page.draw_line((x, 80), (x, bottom), width=0.6)
    for index, (label, text) in enumerate(rows):
        y = 80 + pitch * index
        page.draw_line((xs[0], y), (xs[-1], y), width=0.6)
        font = BOLD if index == 0 else BODY
        page.insert_text((xs[0] + 5, y + 14), label, fontsize=10, fontname=font)
        page.insert_text((xs[1] + 5, y + 14), text, fontsize=10, fontname=font)
    page.draw_line((xs[0], bottom), (xs[-1], bottom), width=0.6)
    doc.save(path)


# Three pages: two tables and text on the first, text alone on the
# second, a table under a paragraph on the third.
REPORT_TITLE = "Annual figures"
REPORT_INTRO = "The tables below give the figures of the year."
REPORT_BETWEEN = "The second table gives the scores."
REPORT_PAGE_2 = "This page holds text alone and no table."
REPORT_PAGE_3 = "Expenditure by item follows."


def make_report_tables(path: Path) -> None:
    doc = pymupdf.open()
    first = doc.new_page()
    first.insert_text((72, 60), REPORT_TITLE, fontsize=16, fontname=BOLD)
    first.insert_text((72, 85), REPORT_INTRO, fontsize=11, fontname=BODY)
    _grid(first, 100, STATES[:4], STATE_COLUMNS)
    first.insert_text((72, 220), REPORT_BETWEEN, fontsize=11, fontname=BODY)
    _grid(first, 240, BOOKTABS[1:4], [72, 200, 280, 360, 440])
    second = doc.new_page()
    second.insert_text((72, 100), REPORT_PAGE_2, fontsize=11, fontname=BODY)
    third = doc.new_page()
    third.insert_text((72, 80), REPORT_PAGE_3, fontsize=11, fontname=BODY)
    _grid(third, 100, FAR_COLUMNS[:3], [72, 300, 400, 500])
    doc.save(path)


def _grid(page: pymupdf.Page, top: float, rows: Grid, xs: list[float]) -> None:
    pitch = 20.0
    bottom = top + pitch * len(rows)
    for x in xs:
        page.draw_line((x, top), (x, bottom), width=0.6)
    for index in range(len(rows) + 1):
        page.draw_line((xs[0], top + pitch * index), (xs[-1], top + pitch * index), width=0.6)
    for index, row in enumerate(rows):
        for column, text in enumerate(row):
            page.insert_text((xs[column] + 5, top + pitch * index + 14), text, fontsize=10,
                             fontname=BOLD if index == 0 else BODY)


def make_many_tables(path: Path, pages: int) -> None:
    """`pages` pages, each with a paragraph over a ruled table of ten rows;
    the tables of odd and even pages have different columns, so that each
    stays a table of its own."""
    doc = pymupdf.open()
    rows = [["Name", "Code", "Count", "Share"],
            *[[f"Entry {i}", f"K-{i:02d}", f"{i * 37:,}", f"{i * 1.5:.1f}%"] for i in range(1, 10)]]
    for number in range(1, pages + 1):
        page = doc.new_page()
        page.insert_text((72, 200), f"The figures of part {number} follow.", fontsize=11, fontname=BODY)
        columns = [72, 200, 280, 360, 440] if number % 2 else [72, 230, 310, 390, 470]
        _grid(page, 220, rows, columns)
    doc.save(path, garbage=1, deflate=True)
