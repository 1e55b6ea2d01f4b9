// libFuzzer target over the whole library: loading, page counting and every
// writer, through the same C entry points the Python module calls.
//
// An input is a 5-byte option header followed by the bytes of a PDF file:
//   byte 0  bits 0-4: formats to run (txt, markdown, html, json, image;
//                     none set runs all five), bit 5: give the password,
//                     bit 6: page background images, bit 7: release the
//                     library state afterwards
//   byte 1  bit 0: images, 1: annotations, 2: a new folder for page files,
//           3: one document per page, 4: text tables, 5: JSON tables,
//           6: box layout, 7: cancel after the first page
//   byte 2  bits 0-1: HTML mode (and the Excel worksheet option), 2-3:
//           colour mode, 4-7: image type
//   byte 3  bits 0-3: image scaling (1/32 .. 1/2), 4-7: page ranges
//   byte 4  bit 0: formulas as images, 1: a font name for HTML,
//           2: transparent text, 3: image path enhancement,
//           4-6: also Word, RTF, OFD, 7: also Excel and PowerPoint (none
//           of the nine set runs all); for Excel, byte 1 bit 5 adds all
//           content and bit 6 writes CSV
// Besides crashes and sanitizer reports, the target traps when a
// conversion breaks the output contract: a failure that leaves anything
// behind, or a success that leaves a temporary file or writes nothing.
#include <ftw.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "folia/common/library_manager.h"
#include "folia/conversion/foli_conversion_api.h"

namespace {

constexpr size_t kHeaderSize = 5;
constexpr const char* kPassword = "s3cret";  // the password of the encrypted seeds

struct Format {
    FOLI_ConversionFunction convert;
    const char* extension;
};

const Format kFormats[] = {
    {FOLI_StartPDFToTxt, ".txt"},   {FOLI_StartPDFToMarkdown, ".md"}, {FOLI_StartPDFToHtml, ".html"},
    {FOLI_StartPDFToJson, ".json"}, {FOLI_StartPDFToImage, ".png"},   {FOLI_StartPDFToWord, ".docx"},
    {FOLI_StartPDFToRtf, ".rtf"},    {FOLI_StartPDFToOfd, ".ofd"},     {FOLI_StartPDFToExcel, ".xlsx"},
    {FOLI_StartPDFToPpt, ".pptx"},
};
constexpr unsigned kAllFormats = (1u << (sizeof kFormats / sizeof kFormats[0])) - 1;

// Well-formed, malformed and out-of-range selections alike.
const char* const kPageRanges[16] = {
    "",    "1",   "2",  "1-2", "2-3,1",   "1,1,1", "3-1", "0",
    "1-",  "x",   " 1 , 2 ", "1-999", "2-2", "99", "1-3", ",",
};

std::string g_folder;  // private scratch folder of this process
std::string g_input;
std::string g_output_folder;

int g_pages_done = 0;

bool cancel_after_first_page() { return g_pages_done >= 1; }
void count_pages(int current, int) { g_pages_done = current; }

[[noreturn]] void broken_contract(const char* what, const char* format) {
    std::fprintf(stderr, "output contract broken (%s): %s\n", format, what);
    __builtin_trap();
}

int remove_entry(const char* path, const struct stat*, int, struct FTW*) { return ::remove(path); }

void remove_tree(const std::string& path) { ::nftw(path.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS); }

struct FolderScan {
    int entries = 0;
    int hidden = 0;  // temporary files are hidden until they are renamed into place
};

FolderScan g_scan;

int scan_entry(const char* path, const struct stat*, int, struct FTW* where) {
    if (where->level == 0) return 0;
    ++g_scan.entries;
    if (path[where->base] == '.') ++g_scan.hidden;
    return 0;
}

FolderScan scan_output() {
    g_scan = FolderScan{};
    ::nftw(g_output_folder.c_str(), scan_entry, 16, FTW_PHYS);
    return g_scan;
}

_CConvertOption options_from(const uint8_t* header) {
    _CConvertOption record;
    std::memset(&record, 0, sizeof record);
    record.enable_ai_layout = true;
    record.contain_page_background_image = header[0] & 0x40;
    record.contain_image = header[1] & 0x01;
    record.contain_annotation = header[1] & 0x02;
    record.auto_create_folder = header[1] & 0x04;
    record.output_document_per_page = header[1] & 0x08;
    record.txt_table_format = header[1] & 0x10;
    record.json_contain_table = header[1] & 0x20;
    record.page_layout_mode = (header[1] & 0x40) ? 0 : 1;
    record.html_option = header[2] & 0x03;
    record.image_color_mode = ((header[2] >> 2) & 0x03) % 3;
    record.image_type = (header[2] >> 4) % 9;
    record.image_scaling = static_cast<float>((header[3] & 0x0f) + 1) / 32.0f;
    std::strcpy(record.page_ranges, kPageRanges[header[3] >> 4]);
    record.formula_to_image = header[4] & 0x01;
    if (header[4] & 0x02) std::strcpy(record.font_name, "Courier New\", <b>&amp;");
    record.transparent_text = header[4] & 0x04;
    record.image_path_enhance = header[4] & 0x08;
    record.excel_all_content = header[1] & 0x20;
    record.excel_csv_format = header[1] & 0x40;
    record.excel_worksheet_option = (header[2] & 0x03) % 3;
    record.ocr_option = 3;
    return record;
}

bool write_input(const uint8_t* data, size_t size) {
    std::FILE* file = std::fopen(g_input.c_str(), "wb");
    if (file == nullptr) return false;
    bool ok = std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && ok;
}

void run_format(const Format& format, const char* password, const _CConvertOption& options, bool cancel) {
    std::string output = g_output_folder + "/doc" + format.extension;
    CConvertCallback callback{0, cancel ? cancel_after_first_page : nullptr, count_pages};
    g_pages_done = 0;
    _CSDKErrorCode result = format.convert(g_input.c_str(), password, output.c_str(), options, &callback);
    FolderScan scan = scan_output();
    if (result != FOLI_ERR_SUCCESS && scan.entries != 0) broken_contract("a failed conversion left files", format.extension);
    if (result == FOLI_ERR_SUCCESS && scan.hidden != 0) broken_contract("a temporary file survived", format.extension);
    if (result == FOLI_ERR_SUCCESS && scan.entries == 0) broken_contract("success without output", format.extension);
    remove_tree(g_output_folder);
    ::mkdir(g_output_folder.c_str(), 0700);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/foli-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    g_folder = pattern;
    g_input = g_folder + "/input.pdf";
    g_output_folder = g_folder + "/out";
    ::mkdir(g_output_folder.c_str(), 0700);
    std::atexit([] { remove_tree(g_folder); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kHeaderSize) return 0;
    const uint8_t* header = data;
    if (!write_input(data + kHeaderSize, size - kHeaderSize)) return 0;

    const char* password = (header[0] & 0x20) ? kPassword : "";
    folia::common::LibraryManager::GetPageCount(g_input.c_str(), password);

    _CConvertOption options = options_from(header);
    bool cancel = header[1] & 0x80;
    // The first five formats are chosen by header[0], Word, RTF and OFD by
    // header[4]'s high bits, Excel and PowerPoint together by its last.
    unsigned formats = (header[0] & 0x1Fu) | (((header[4] >> 4) & 0x07u) << 5) | ((header[4] & 0x80u) ? 3u << 8 : 0u);
    if (formats == 0) formats = kAllFormats;
    for (size_t i = 0; i < sizeof kFormats / sizeof kFormats[0]; ++i)
        if (formats & (1u << i)) run_format(kFormats[i], password, options, cancel);

    if (header[0] & 0x80) folia::common::LibraryManager::Release();
    return 0;
}
