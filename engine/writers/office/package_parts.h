// The parts every Office package has besides its content: the content
// types, the relationships, and the core and extended document properties.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "writers/office/zip_package.h"

namespace foli::office {

// Relationship types.
namespace rel {
inline constexpr std::string_view kOfficeDocument =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument";
inline constexpr std::string_view kCoreProperties =
    "http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties";
inline constexpr std::string_view kExtendedProperties =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/extended-properties";
inline constexpr std::string_view kStyles = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles";
inline constexpr std::string_view kNumbering =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/numbering";
inline constexpr std::string_view kFontTable =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/fontTable";
inline constexpr std::string_view kSettings =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/settings";
inline constexpr std::string_view kImage = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/image";
inline constexpr std::string_view kHyperlink =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/hyperlink";
inline constexpr std::string_view kHeader = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/header";
inline constexpr std::string_view kFooter = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/footer";
inline constexpr std::string_view kComments =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/comments";
inline constexpr std::string_view kSlide = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/slide";
inline constexpr std::string_view kSlideLayout =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/slideLayout";
inline constexpr std::string_view kSlideMaster =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/slideMaster";
inline constexpr std::string_view kTheme = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/theme";
inline constexpr std::string_view kWorksheet =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet";
inline constexpr std::string_view kSharedStrings =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings";
}  // namespace rel

// Content types of the parts and media the formats write.
namespace content_type {
inline constexpr std::string_view kRelationships = "application/vnd.openxmlformats-package.relationships+xml";
inline constexpr std::string_view kXml = "application/xml";
inline constexpr std::string_view kCoreProperties = "application/vnd.openxmlformats-package.core-properties+xml";
inline constexpr std::string_view kExtendedProperties =
    "application/vnd.openxmlformats-officedocument.extended-properties+xml";
inline constexpr std::string_view kPng = "image/png";
inline constexpr std::string_view kJpeg = "image/jpeg";
}  // namespace content_type

// [Content_Types].xml: defaults by extension, overrides by part name.
class ContentTypes {
public:
    ContentTypes();  // knows rels, xml, png and jpeg already
    void add_default(std::string_view extension, std::string_view type);
    // `part` without a leading slash: "word/document.xml".
    void add_override(std::string_view part, std::string_view type);
    std::string xml() const;

private:
    std::map<std::string, std::string> defaults_;
    std::vector<std::pair<std::string, std::string>> overrides_;
};

// A relationships part (_rels/.rels, word/_rels/document.xml.rels, ...).
// Internal targets are relative to the source part's folder.
class Relationships {
public:
    // Returns the new relationship's id ("rId1", "rId2", ...).
    std::string add(std::string_view type, std::string_view target, bool external = false);
    // The id of an external target added before with this type, or a new one.
    std::string add_external_once(std::string_view type, std::string_view target);
    bool empty() const { return entries_.empty(); }
    std::string xml() const;

private:
    struct Entry {
        std::string type, target;
        bool external;
    };
    std::vector<Entry> entries_;
    std::map<std::string, size_t> external_index_;  // type + '\n' + target -> entry
};

struct DocumentProperties {
    std::string title, subject, author, keywords, description;
    std::string application = "FoliantConversion";
    int pages = 0;  // 0: not stated
};

// docProps/core.xml and docProps/app.xml, added to the package, listed in
// the content types and in the package relationships.
void add_document_properties(ZipPackage& package, ContentTypes& types, Relationships& package_relationships,
                             const DocumentProperties& properties);

// A PDF metadata text with surrounding white space removed.
std::string trimmed(std::string_view text);

}  // namespace foli::office
