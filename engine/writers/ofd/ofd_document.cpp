#include "writers/ofd/ofd_document.h"

#include <cctype>
#include <cstdio>

#include "writers/html_text.h"
#include "writers/ofd/ofd_xml.h"

namespace foli::ofd {
namespace {

constexpr const char* kFolder = "Doc_0";

// "D:20200131104500+01'00'" → "2020-01-31"; empty when the date is not one.
std::string iso_date(const std::string& pdf_date) {
    std::string digits = pdf_date.rfind("D:", 0) == 0 ? pdf_date.substr(2) : pdf_date;
    if (digits.size() < 8) return {};
    for (int i = 0; i < 8; ++i)
        if (!std::isdigit(static_cast<unsigned char>(digits[static_cast<size_t>(i)]))) return {};
    int month = std::stoi(digits.substr(4, 2)), day = std::stoi(digits.substr(6, 2));
    if (month < 1 || month > 12 || day < 1 || day > 31) return {};
    return digits.substr(0, 4) + "-" + digits.substr(4, 2) + "-" + digits.substr(6, 2);
}

std::vector<std::string> split_keywords(const std::string& keywords) {
    std::vector<std::string> out;
    std::string current;
    auto flush = [&] {
        size_t start = current.find_first_not_of(" \t");
        size_t end = current.find_last_not_of(" \t");
        if (start != std::string::npos) out.push_back(current.substr(start, end - start + 1));
        current.clear();
    };
    for (char c : keywords) {
        if (c == ',' || c == ';')
            flush();
        else
            current += c;
    }
    flush();
    return out;
}

// A stable id for the document: the MD5 of what identifies its source.
std::string document_id(const DocumentInfo& info) {
    std::string identity = info.source_path + '\n' + info.title + '\n' + info.created + '\n' +
                           std::to_string(info.page_count);
    fz_md5 md5;
    fz_md5_init(&md5);
    fz_md5_update(&md5, reinterpret_cast<const unsigned char*>(identity.data()), identity.size());
    unsigned char digest[16];
    fz_md5_final(&md5, digest);
    std::string hex;
    char pair[3];
    for (unsigned char byte : digest) {
        std::snprintf(pair, sizeof pair, "%02x", byte);
        hex += pair;
    }
    return hex;
}

void append_element(std::string& out, const char* name, const std::string& text) {
    if (text.empty()) return;
    out += "<ofd:";
    out += name;
    out += '>';
    append_text(out, text);
    out += "</ofd:";
    out += name;
    out += '>';
}

std::string ofd_xml(const DocumentInfo& info) {
    std::string out(kDeclaration);
    out += "<ofd:OFD ";
    out += kNamespace;
    out += " Version=\"1.0\" DocType=\"OFD\"><ofd:DocBody><ofd:DocInfo>";
    append_element(out, "DocID", document_id(info));
    append_element(out, "Title", info.title);
    append_element(out, "Author", info.author);
    append_element(out, "Subject", info.subject);
    append_element(out, "CreationDate", iso_date(info.created));
    std::vector<std::string> keywords = split_keywords(info.keywords);
    if (!keywords.empty()) {
        out += "<ofd:Keywords>";
        for (const std::string& keyword : keywords) append_element(out, "Keyword", keyword);
        out += "</ofd:Keywords>";
    }
    append_element(out, "Creator", "FoliantConversion");
    append_element(out, "CreatorVersion", FOLI_VERSION_TEXT);
    out += "</ofd:DocInfo><ofd:DocRoot>";
    out += kFolder;
    out += "/Document.xml</ofd:DocRoot></ofd:DocBody></ofd:OFD>\n";
    return out;
}

void append_goto(std::string& out, uint32_t page_id) {
    out += "<ofd:Actions><ofd:Action Event=\"CLICK\"><ofd:Goto><ofd:Dest Type=\"Fit\"";
    append_id_attribute(out, "PageID", page_id);
    out += "/></ofd:Goto></ofd:Action></ofd:Actions>";
}

void append_uri(std::string& out, const std::string& uri) {
    out += "<ofd:Actions><ofd:Action Event=\"CLICK\"><ofd:URI";
    append_attribute(out, "URI", uri);
    out += "/></ofd:Action></ofd:Actions>";
}

}  // namespace

OfdDocument::OfdDocument(WriterContext& context, const std::string& path, const std::vector<int>& pages,
                         bool with_outline)
    : context_(context),
      zip_(context.files.create(path)),
      resources_(context.document.ctx(), zip_, ids_, kFolder),
      with_outline_(with_outline) {
    for (int page : pages) page_ids_.emplace(page, ids_.next());
    zip_.add("OFD.xml", ofd_xml(context.info));
}

uint32_t OfdDocument::page_id(int document_page) const {
    auto found = page_ids_.find(document_page);
    return found == page_ids_.end() ? 0 : found->second;
}

std::vector<PageLink> OfdDocument::page_links(const PageSource& page) const {
    std::vector<PageLink> links;
    if (!context_.options.contain_annotation) return links;
    fz_context* ctx = context_.document.ctx();
    fz_link* head = nullptr;
    if (foli_mu_load_links(ctx, page.page().get(), &head) != FOLI_MU_OK) return links;
    LinkHandle owner(ctx, head);
    for (fz_link* link = head; link != nullptr; link = link->next) {
        if (link->uri == nullptr) continue;
        PageLink entry;
        entry.box = {link->rect.x0, link->rect.y0, link->rect.x1, link->rect.y1};
        int target = context_.document.resolve_page(link->uri);
        if (target >= 0)
            entry.target_page = page_id(target);
        else if (fz_is_external_link(ctx, link->uri) && html::is_safe_link(link->uri))
            entry.uri = link->uri;
        if (entry.target_page != 0 || !entry.uri.empty()) links.push_back(std::move(entry));
    }
    return links;
}

void OfdDocument::add_page(PageSource& page) {
    const Options& chosen = context_.options;
    // With OCR, contain_image gives way to contain_page_background_image,
    // which decides only about the picture of a scanned page.
    const ocr::OcrPage* recognised = page.recognised();
    PageOptions options;
    options.images = chosen.enable_ocr || chosen.contain_image;
    options.invisible_text = chosen.transparent_text;
    options.drop_scan_image = recognised != nullptr && recognised->scan && !chosen.contain_page_background_image;
    std::string content =
        page_content(page.page(), page.drawing(), resources_, ids_, options, page_links(page), recognised);
    std::string location = "Pages/Page_" + std::to_string(written_.size()) + "/Content.xml";
    zip_.add(std::string(kFolder) + "/" + location, content);
    if (written_.empty()) first_page_ = page.page().bounds();
    written_.push_back({page_id(page.index()), location});
}

void OfdDocument::append_outline(std::string& out) const {
    const std::vector<OutlineEntry>& outline = context_.info.outline;
    if (!with_outline_ || outline.empty()) return;
    out += "<ofd:Outlines>";
    int depth = 0;  // open OutlineElem elements
    for (const OutlineEntry& entry : outline) {
        int level = std::max(0, std::min(entry.level, depth));
        for (; depth > level; --depth) out += "</ofd:OutlineElem>";
        out += "<ofd:OutlineElem";
        append_attribute(out, "Title", entry.title.empty() ? std::string("-") : entry.title);
        out += '>';
        uint32_t target = entry.page >= 0 ? page_id(entry.page) : 0;
        if (target != 0)
            append_goto(out, target);
        else if (!entry.uri.empty() && html::is_safe_link(entry.uri))
            append_uri(out, entry.uri);
        ++depth;
    }
    for (; depth > 0; --depth) out += "</ofd:OutlineElem>";
    out += "</ofd:Outlines>";
}

std::string OfdDocument::document_xml() const {
    std::string out(kDeclaration);
    out += "<ofd:Document ";
    out += kNamespace;
    out += "><ofd:CommonData><ofd:MaxUnitID>" + std::to_string(ids_.last()) + "</ofd:MaxUnitID>";
    out += "<ofd:PageArea><ofd:PhysicalBox>";
    append_box(out, 0, 0, millimetres(first_page_.width()), millimetres(first_page_.height()));
    out += "</ofd:PhysicalBox></ofd:PageArea>";
    out += "<ofd:PublicRes>PublicRes.xml</ofd:PublicRes><ofd:DocumentRes>DocumentRes.xml</ofd:DocumentRes>";
    out += "</ofd:CommonData><ofd:Pages>";
    for (const WrittenPage& page : written_) {
        out += "<ofd:Page";
        append_id_attribute(out, "ID", page.id);
        append_attribute(out, "BaseLoc", page.location);
        out += "/>";
    }
    out += "</ofd:Pages>";
    append_outline(out);
    out += "</ofd:Document>\n";
    return out;
}

void OfdDocument::finish() {
    resources_.finish();
    zip_.add(std::string(kFolder) + "/Document.xml", document_xml());
    zip_.close();
}

}  // namespace foli::ofd
