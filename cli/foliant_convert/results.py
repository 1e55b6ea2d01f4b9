"""Results in words, and the command's exit statuses."""

from __future__ import annotations

import FoliantConversion as fc

# Exit statuses (also in --help and docs/options.md).
EXIT_OK = 0  # every file converted (or counted)
EXIT_FAILED = 1  # at least one file failed
EXIT_USAGE = 2  # the command line was wrong; nothing was converted
EXIT_INTERRUPTED = 130  # stopped by Ctrl-C (SIGINT); nothing half-written is left
EXIT_TERMINATED = 143  # stopped by SIGTERM, the same way

# What each result means to someone running the command.
EXPLANATIONS: dict[str, str] = {
    "SUCCESS": "converted",
    "CANCEL": "the conversion was cancelled",
    "FILE_ERROR": "the input file cannot be found or opened",
    "PDF_PASSWORD_ERROR": "the document is encrypted: give its password with --password (or the one given is wrong)",
    "PDF_PAGE_ERROR": "a page of the document could not be loaded",
    "PDF_FORMAT_ERROR": "the file is not a PDF document that can be read, or it is damaged",
    "PDF_SECURITY_ERROR": "the document is encrypted with a security handler that is not supported",
    "OUT_OF_MEMORY": "the conversion ran out of memory",
    "IO_ERROR": "the output cannot be written: check that its folder exists, is writable, and that the path is no folder",
    "COMPRESS_ERROR": "the output package could not be compressed",
    "NO_TABLE_ERROR": "the document has no tables to convert",
    "OCR_FAILURE": "text recognition (OCR) failed",
    "CONVERTING_ERROR": "the library is busy with another conversion",
    "INVALID_ARG": "an option or the output path is invalid: check --pages (1-based, within the document) and --scale/--dpi",
    "INVALID_HANDLE": "the library is not initialised or was already released",
    "INVALID_MODEL_FORMAT": "the document-AI model file is invalid or damaged",
    "MODEL_FUNCTION_UNSUPPORTED": "the document-AI model does not support this operation",
    "MODEL_FORMAT_UNSUPPORTED": "the document-AI model format is not supported",
    "MODEL_SDK_MISMATCH": "the document-AI model does not match this library version",
    "IMAGE_DATA_EMPTY": "an image has no data",
    "IMAGE_WIDTH_HEIGHT_ERROR": "an image has an invalid width or height",
    "IMAGE_FORMAT_UNSUPPORTED": "an image format is not supported",
    "IMAGE_INVALID": "an image is invalid or damaged",
    "MISSING_ARG": "a required argument is missing",
    "INVALID_TABLE": "a table is invalid",
    "UNKNOWN_ERROR": "the conversion failed (this build may not write this format yet)",
}


def describe(result: fc.ErrorCode) -> str:
    """"NAME: explanation", for a result that may carry any number."""
    name = result.name
    if name not in EXPLANATIONS:
        return f"result {result.value}: a result this command does not know"
    return f"{name}: {EXPLANATIONS[name]}"


def describe_page_count(count: int) -> str:
    """get_page_count's negative result, which is minus an ErrorCode number."""
    return describe(fc.ErrorCode(-count))
