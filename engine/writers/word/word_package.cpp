#include "writers/word/word_package.h"

#include <algorithm>
#include <functional>

#include "writers/office/units.h"
#include "writers/office/xml.h"

namespace foli::word {
namespace {

using office::append_attribute;
using office::append_xml;
using office::twips;

constexpr std::string_view kMainNamespace = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";
constexpr std::string_view kDocumentType =
    "application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml";
constexpr std::string_view kStylesType = "application/vnd.openxmlformats-officedocument.wordprocessingml.styles+xml";
constexpr std::string_view kNumberingType =
    "application/vnd.openxmlformats-officedocument.wordprocessingml.numbering+xml";
constexpr std::string_view kFontTableType =
    "application/vnd.openxmlformats-officedocument.wordprocessingml.fontTable+xml";
constexpr std::string_view kHeaderType =
    "application/vnd.openxmlformats-officedocument.wordprocessingml.header+xml";
constexpr std::string_view kFooterType =
    "application/vnd.openxmlformats-officedocument.wordprocessingml.footer+xml";
constexpr std::string_view kCommentsType =
    "application/vnd.openxmlformats-officedocument.wordprocessingml.comments+xml";
constexpr std::string_view kSettingsType =
    "application/vnd.openxmlformats-officedocument.wordprocessingml.settings+xml";

// The document element with every namespace the body uses.
constexpr std::string_view kDocumentStart =
    "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" "
    "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\" "
    "xmlns:wp=\"http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing\" "
    "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" "
    "xmlns:pic=\"http://schemas.openxmlformats.org/drawingml/2006/picture\"><w:body>";

std::string part_start(std::string_view element) {
    std::string out(office::kXmlDeclaration);
    out += "<w:";
    out += element;
    out += " xmlns:w=\"";
    out += kMainNamespace;
    out += "\" xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">";
    return out;
}

constexpr long kMinPageTwips = 144;
constexpr long kMaxPageTwips = 31680;

// The heading sizes of the built-in styles, in half-points; the runs of a
// heading carry the PDF's own size, these show when text is retyped.
constexpr int kHeadingSizes[6] = {32, 28, 26, 24, 22, 22};

void append_run_fonts(std::string& out, const std::string& family, const std::string& east_asian) {
    out += "<w:rFonts";
    append_attribute(out, "w:ascii", family);
    append_attribute(out, "w:hAnsi", family);
    append_attribute(out, "w:eastAsia", east_asian);
    append_attribute(out, "w:cs", family);
    out += "/>";
}

template <typename Map>
typename Map::key_type most_used(const Map& counts, typename Map::key_type fallback) {
    auto best = std::max_element(counts.begin(), counts.end(),
                                 [](const auto& a, const auto& b) { return a.second < b.second; });
    return best == counts.end() ? fallback : best->first;
}

std::string level_text(const office::ListNumbering& numbering, int level) {
    if (numbering.format == office::NumberFormat::Bullet) return numbering.bullet;
    return numbering.prefix + "%" + std::to_string(level + 1) + numbering.suffix;
}

// The numbering of each level of a list: what was seen, else a bullet.
std::vector<office::ListNumbering> full_levels(const ListInstance& list) {
    std::vector<office::ListNumbering> levels(9);
    for (int level = 0; level < 9; ++level) {
        size_t i = static_cast<size_t>(level);
        if (i < list.levels.size() && list.seen[i]) {
            levels[i] = list.levels[i];
        } else {
            levels[i].format = office::NumberFormat::Bullet;
            levels[i].bullet = office::default_bullet(level);
            levels[i].suffix.clear();
        }
    }
    return levels;
}

std::string signature_of(const std::vector<office::ListNumbering>& levels) {
    std::string key;
    for (const office::ListNumbering& level : levels) key += level.kind() + "\n";
    return key;
}

void append_abstract_num(std::string& out, int id, const std::vector<office::ListNumbering>& levels) {
    out += "<w:abstractNum w:abstractNumId=\"" + std::to_string(id) + "\">";
    out += "<w:multiLevelType w:val=\"hybridMultilevel\"/>";
    for (int level = 0; level < 9; ++level) {
        const office::ListNumbering& numbering = levels[static_cast<size_t>(level)];
        bool bullet = numbering.format == office::NumberFormat::Bullet;
        out += "<w:lvl w:ilvl=\"" + std::to_string(level) + "\">";
        out += "<w:start w:val=\"1\"/>";
        out += std::string("<w:numFmt w:val=\"") + office::word_number_format(numbering.format) + "\"/>";
        out += "<w:lvlText";
        append_attribute(out, "w:val", level_text(numbering, level));
        out += "/><w:lvlJc w:val=\"left\"/>";
        out += "<w:pPr><w:ind w:left=\"" + std::to_string(720 + 360 * level) + "\" w:hanging=\"360\"/></w:pPr>";
        if (bullet) out += "<w:rPr><w:rFonts w:ascii=\"Arial\" w:hAnsi=\"Arial\" w:cs=\"Arial\" w:hint=\"default\"/></w:rPr>";
        out += "</w:lvl>";
    }
    out += "</w:abstractNum>";
}

}  // namespace

std::string section_properties(const Section& section) {
    std::string out = "<w:sectPr>";
    if (!section.header_part.empty())
        out += "<w:headerReference w:type=\"default\" r:id=\"" + section.header_part + "\"/>";
    if (!section.footer_part.empty())
        out += "<w:footerReference w:type=\"default\" r:id=\"" + section.footer_part + "\"/>";
    // Word takes pages from a tenth of an inch to 22 inches a side.
    long width = std::clamp(twips(section.width), kMinPageTwips, kMaxPageTwips);
    long height = std::clamp(twips(section.height), kMinPageTwips, kMaxPageTwips);
    out += "<w:pgSz w:w=\"" + std::to_string(width) + "\" w:h=\"" + std::to_string(height) + "\"";
    if (section.width > section.height) out += " w:orient=\"landscape\"";
    out += "/>";
    out += "<w:pgMar w:top=\"" + std::to_string(twips(section.top)) + "\" w:right=\"" +
           std::to_string(twips(section.right)) + "\" w:bottom=\"" + std::to_string(twips(section.bottom)) +
           "\" w:left=\"" + std::to_string(twips(section.left)) + "\" w:header=\"" +
           std::to_string(std::max(0L, twips(section.header))) + "\" w:footer=\"" +
           std::to_string(std::max(0L, twips(section.footer))) + "\" w:gutter=\"0\"/>";
    out += "</w:sectPr>";
    return out;
}

WordPackage::WordPackage(OutputFiles& files, const std::string& path, office::DocumentProperties properties)
    : files_(files),
      out_(files.create(path)),
      zip_(out_),
      body_(files.create_scratch()),
      properties_(std::move(properties)) {
    types_.add_default("jpg", office::content_type::kJpeg);
}

void WordPackage::append_body(const std::string& xml) { body_.write(xml); }

std::string WordPackage::add_image(const std::string& data, const char* extension) {
    auto key = std::make_pair(std::hash<std::string>{}(data), data.size());
    auto known = images_by_hash_.find(key);
    if (known != images_by_hash_.end()) return known->second;
    std::string name = "media/image" + std::to_string(++image_count_) + "." + extension;
    // Pictures are compressed already.
    zip_.add("word/" + name, data, office::Compression::Store);
    std::string id = document_relationships_.add(office::rel::kImage, name);
    images_by_hash_.emplace(key, id);
    return id;
}

std::string WordPackage::hyperlink(const std::string& uri) {
    return document_relationships_.add_external_once(office::rel::kHyperlink, uri);
}

std::string WordPackage::add_running_head(bool footer, const std::string& paragraphs) {
    std::string name = std::string(footer ? "footer" : "header") + std::to_string(++running_heads_) + ".xml";
    std::string xml = part_start(footer ? "ftr" : "hdr") + paragraphs + (footer ? "</w:ftr>" : "</w:hdr>");
    zip_.add("word/" + name, xml);
    types_.add_override("word/" + name, footer ? kFooterType : kHeaderType);
    return document_relationships_.add(footer ? office::rel::kFooter : office::rel::kHeader, name);
}

int WordPackage::add_comment(const std::string& author, const std::string& text) {
    int id = comment_count_++;
    std::string name = office::trimmed(author);
    if (name.empty()) name = "PDF";
    comments_ += "<w:comment w:id=\"" + std::to_string(id) + "\"";
    append_attribute(comments_, "w:author", name);
    append_attribute(comments_, "w:initials", name.substr(0, 1));
    comments_ += ">";
    // A paragraph per line of the note.
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        comments_ += "<w:p><w:r><w:t xml:space=\"preserve\">";
        append_xml(comments_, std::string_view(text).substr(start, end - start));
        comments_ += "</w:t></w:r></w:p>";
        start = end + 1;
    }
    comments_ += "</w:comment>";
    return id;
}

void WordPackage::use_font(const office::OfficeFont& font) { fonts_.emplace(font.family, font); }

int WordPackage::new_list() {
    lists_.emplace_back();
    return static_cast<int>(lists_.size());
}

void WordPackage::note_list_level(int num_id, int level, const office::ListNumbering& numbering) {
    if (num_id < 1 || static_cast<size_t>(num_id) > lists_.size() || level < 0 || level > 8) return;
    ListInstance& list = lists_[static_cast<size_t>(num_id - 1)];
    size_t i = static_cast<size_t>(level);
    if (list.levels.size() <= i) {
        list.levels.resize(i + 1);
        list.seen.resize(i + 1, false);
    }
    if (list.seen[i]) return;
    list.levels[i] = numbering;
    list.seen[i] = true;
}

void WordPackage::count_text(const std::string& family, float size, size_t characters) {
    family_characters_[family] += characters;
    size_characters_[office::half_points(size)] += characters;
}

std::string WordPackage::styles_xml() const {
    std::string family = most_used(family_characters_, std::string("Times New Roman"));
    long size = most_used(size_characters_, 22L);
    std::string out = part_start("styles");
    out += "<w:docDefaults><w:rPrDefault><w:rPr>";
    append_run_fonts(out, family, "SimSun");
    out += "<w:sz w:val=\"" + std::to_string(size) + "\"/><w:szCs w:val=\"" + std::to_string(size) + "\"/>";
    out += "<w:lang w:val=\"en-US\" w:eastAsia=\"zh-CN\" w:bidi=\"ar-SA\"/>";
    out += "</w:rPr></w:rPrDefault><w:pPrDefault><w:pPr>";
    out += "<w:spacing w:after=\"120\" w:line=\"240\" w:lineRule=\"auto\"/>";
    out += "</w:pPr></w:pPrDefault></w:docDefaults>";

    out += "<w:style w:type=\"paragraph\" w:default=\"1\" w:styleId=\"Normal\"><w:name w:val=\"Normal\"/><w:qFormat/>"
           "</w:style>";
    for (int level = 1; level <= 6; ++level) {
        std::string n = std::to_string(level);
        std::string sz = std::to_string(kHeadingSizes[level - 1]);
        out += "<w:style w:type=\"paragraph\" w:styleId=\"Heading" + n + "\"><w:name w:val=\"heading " + n +
               "\"/><w:basedOn w:val=\"Normal\"/><w:next w:val=\"Normal\"/><w:uiPriority w:val=\"9\"/><w:qFormat/>"
               "<w:pPr><w:keepNext/><w:keepLines/><w:spacing w:before=\"240\" w:after=\"120\"/><w:outlineLvl w:val=\"" +
               std::to_string(level - 1) + "\"/></w:pPr><w:rPr><w:b/><w:bCs/><w:sz w:val=\"" + sz +
               "\"/><w:szCs w:val=\"" + sz + "\"/></w:rPr></w:style>";
    }
    out += "<w:style w:type=\"paragraph\" w:styleId=\"ListParagraph\"><w:name w:val=\"List Paragraph\"/>"
           "<w:basedOn w:val=\"Normal\"/><w:uiPriority w:val=\"34\"/><w:qFormat/><w:pPr><w:spacing w:after=\"60\"/>"
           "<w:ind w:left=\"720\"/></w:pPr></w:style>";
    out += "<w:style w:type=\"paragraph\" w:styleId=\"TableText\"><w:name w:val=\"Table Text\"/>"
           "<w:basedOn w:val=\"Normal\"/><w:qFormat/><w:pPr><w:spacing w:after=\"0\"/></w:pPr></w:style>";
    out += "<w:style w:type=\"paragraph\" w:styleId=\"Code\"><w:name w:val=\"Code\"/>"
           "<w:basedOn w:val=\"Normal\"/><w:qFormat/><w:pPr><w:keepLines/><w:spacing w:after=\"120\" w:line=\"240\" "
           "w:lineRule=\"auto\"/></w:pPr><w:rPr><w:rFonts w:ascii=\"Courier New\" w:hAnsi=\"Courier New\" "
           "w:cs=\"Courier New\"/><w:noProof/></w:rPr></w:style>";
    for (int level = 1; level <= 9; ++level) {
        std::string n = std::to_string(level);
        out += "<w:style w:type=\"paragraph\" w:styleId=\"TOC" + n + "\"><w:name w:val=\"toc " + n +
               "\"/><w:basedOn w:val=\"Normal\"/><w:next w:val=\"Normal\"/><w:uiPriority w:val=\"39\"/>"
               "<w:unhideWhenUsed/><w:pPr><w:spacing w:after=\"60\"/><w:ind w:left=\"" +
               std::to_string(220 * (level - 1)) + "\"/></w:pPr></w:style>";
    }
    for (const char* head : {"Header", "Footer"})
        out += std::string("<w:style w:type=\"paragraph\" w:styleId=\"") + head + "\"><w:name w:val=\"" +
               (head[0] == 'H' ? "header" : "footer") +
               "\"/><w:basedOn w:val=\"Normal\"/><w:uiPriority w:val=\"99\"/><w:unhideWhenUsed/><w:pPr>"
               "<w:spacing w:after=\"0\"/></w:pPr></w:style>";
    out += "<w:style w:type=\"character\" w:default=\"1\" w:styleId=\"DefaultParagraphFont\">"
           "<w:name w:val=\"Default Paragraph Font\"/><w:uiPriority w:val=\"1\"/><w:semiHidden/><w:unhideWhenUsed/>"
           "</w:style>";
    out += "<w:style w:type=\"character\" w:styleId=\"Hyperlink\"><w:name w:val=\"Hyperlink\"/>"
           "<w:basedOn w:val=\"DefaultParagraphFont\"/><w:uiPriority w:val=\"99\"/><w:unhideWhenUsed/>"
           "<w:rPr><w:color w:val=\"0563C1\"/><w:u w:val=\"single\"/></w:rPr></w:style>";
    out += "<w:style w:type=\"character\" w:styleId=\"CommentReference\"><w:name w:val=\"annotation reference\"/>"
           "<w:basedOn w:val=\"DefaultParagraphFont\"/><w:uiPriority w:val=\"99\"/><w:semiHidden/><w:unhideWhenUsed/>"
           "<w:rPr><w:sz w:val=\"16\"/><w:szCs w:val=\"16\"/></w:rPr></w:style>";
    out += "<w:style w:type=\"table\" w:default=\"1\" w:styleId=\"TableNormal\"><w:name w:val=\"Normal Table\"/>"
           "<w:uiPriority w:val=\"99\"/><w:semiHidden/><w:unhideWhenUsed/><w:tblPr><w:tblInd w:w=\"0\" "
           "w:type=\"dxa\"/><w:tblCellMar><w:top w:w=\"0\" w:type=\"dxa\"/><w:left w:w=\"40\" w:type=\"dxa\"/>"
           "<w:bottom w:w=\"0\" w:type=\"dxa\"/><w:right w:w=\"40\" w:type=\"dxa\"/></w:tblCellMar></w:tblPr>"
           "</w:style>";
    std::string borders;
    for (const char* side : {"top", "left", "bottom", "right", "insideH", "insideV"})
        borders += std::string("<w:") + side + " w:val=\"single\" w:sz=\"4\" w:space=\"0\" w:color=\"auto\"/>";
    out += "<w:style w:type=\"table\" w:styleId=\"TableGrid\"><w:name w:val=\"Table Grid\"/>"
           "<w:basedOn w:val=\"TableNormal\"/><w:uiPriority w:val=\"39\"/><w:pPr><w:spacing w:after=\"0\" "
           "w:line=\"240\" w:lineRule=\"auto\"/></w:pPr><w:tblPr><w:tblBorders>" +
           borders + "</w:tblBorders></w:tblPr></w:style>";
    out += "<w:style w:type=\"numbering\" w:default=\"1\" w:styleId=\"NoList\"><w:name w:val=\"No List\"/>"
           "<w:uiPriority w:val=\"99\"/><w:semiHidden/><w:unhideWhenUsed/></w:style>";
    out += "</w:styles>";
    return out;
}

std::string WordPackage::numbering_xml() const {
    std::string out = part_start("numbering");
    std::map<std::string, int> abstract_ids;
    std::vector<int> abstract_of(lists_.size());
    std::string nums;
    for (size_t i = 0; i < lists_.size(); ++i) {
        std::vector<office::ListNumbering> levels = full_levels(lists_[i]);
        std::string signature = signature_of(levels);
        auto known = abstract_ids.find(signature);
        int id;
        if (known == abstract_ids.end()) {
            id = static_cast<int>(abstract_ids.size());
            abstract_ids.emplace(signature, id);
            append_abstract_num(out, id, levels);
        } else {
            id = known->second;
        }
        nums += "<w:num w:numId=\"" + std::to_string(i + 1) + "\"><w:abstractNumId w:val=\"" + std::to_string(id) +
                "\"/>";
        // Every list starts at its own first number, so lists that share a
        // definition do not continue each other's numbering.
        for (size_t level = 0; level < lists_[i].levels.size(); ++level) {
            if (!lists_[i].seen[level]) continue;
            long start = std::max(0L, std::min(lists_[i].levels[level].start, 32767L));
            nums += "<w:lvlOverride w:ilvl=\"" + std::to_string(level) + "\"><w:startOverride w:val=\"" +
                    std::to_string(start) + "\"/></w:lvlOverride>";
        }
        nums += "</w:num>";
    }
    out += nums;
    out += "</w:numbering>";
    return out;
}

std::string WordPackage::font_table_xml() const {
    std::string out = part_start("fonts");
    for (const auto& [family, font] : fonts_) {
        out += "<w:font";
        append_attribute(out, "w:name", family);
        out += ">";
        if (font.east_asian) out += "<w:charset w:val=\"86\"/>";
        out += std::string("<w:family w:val=\"") + office::word_font_family(font.font_class) + "\"/>";
        out += std::string("<w:pitch w:val=\"") + (font.fixed_pitch ? "fixed" : "variable") + "\"/>";
        out += "</w:font>";
    }
    out += "</w:fonts>";
    return out;
}

std::string WordPackage::settings_xml() {
    std::string out = part_start("settings");
    out += "<w:defaultTabStop w:val=\"720\"/><w:characterSpacingControl w:val=\"doNotCompress\"/>"
           "<w:compat><w:compatSetting w:name=\"compatibilityMode\" w:uri=\"http://schemas.microsoft.com/office/word\" "
           "w:val=\"15\"/></w:compat>";
    out += "</w:settings>";
    return out;
}

void WordPackage::finish(const std::string& final_section_xml) {
    zip_.begin("word/document.xml");
    zip_.write(office::kXmlDeclaration);
    zip_.write(kDocumentStart);
    zip_.write_from(body_, 0, body_.size());
    zip_.write(final_section_xml);
    zip_.write("</w:body></w:document>");
    zip_.end();
    types_.add_override("word/document.xml", kDocumentType);

    zip_.add("word/styles.xml", styles_xml());
    types_.add_override("word/styles.xml", kStylesType);
    document_relationships_.add(office::rel::kStyles, "styles.xml");
    if (!lists_.empty()) {
        zip_.add("word/numbering.xml", numbering_xml());
        types_.add_override("word/numbering.xml", kNumberingType);
        document_relationships_.add(office::rel::kNumbering, "numbering.xml");
    }
    if (comment_count_ > 0) {
        zip_.add("word/comments.xml", part_start("comments") + comments_ + "</w:comments>");
        types_.add_override("word/comments.xml", kCommentsType);
        document_relationships_.add(office::rel::kComments, "comments.xml");
    }
    zip_.add("word/fontTable.xml", font_table_xml());
    types_.add_override("word/fontTable.xml", kFontTableType);
    document_relationships_.add(office::rel::kFontTable, "fontTable.xml");
    zip_.add("word/settings.xml", settings_xml());
    types_.add_override("word/settings.xml", kSettingsType);
    document_relationships_.add(office::rel::kSettings, "settings.xml");
    zip_.add("word/_rels/document.xml.rels", document_relationships_.xml());

    office::Relationships package_relationships;
    package_relationships.add(office::rel::kOfficeDocument, "word/document.xml");
    office::add_document_properties(zip_, types_, package_relationships, properties_);
    zip_.add("_rels/.rels", package_relationships.xml());
    zip_.add("[Content_Types].xml", types_.xml());
    zip_.close();
}

}  // namespace foli::word
