#include "writers/office/package_parts.h"

#include "writers/office/xml.h"

namespace foli::office {
namespace {

void append_element(std::string& out, std::string_view tag, const std::string& value) {
    if (value.empty()) return;
    out += '<';
    out += tag;
    out += '>';
    append_xml(out, value);
    out += "</";
    out += tag;
    out += '>';
}

}  // namespace

std::string trimmed(std::string_view text) {
    size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    return std::string(text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1));
}

ContentTypes::ContentTypes() {
    add_default("rels", content_type::kRelationships);
    add_default("xml", content_type::kXml);
    add_default("png", content_type::kPng);
    add_default("jpeg", content_type::kJpeg);
}

void ContentTypes::add_default(std::string_view extension, std::string_view type) {
    defaults_[std::string(extension)] = std::string(type);
}

void ContentTypes::add_override(std::string_view part, std::string_view type) {
    overrides_.emplace_back(std::string(part), std::string(type));
}

std::string ContentTypes::xml() const {
    std::string out(kXmlDeclaration);
    out += "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">";
    for (const auto& [extension, type] : defaults_) {
        out += "<Default";
        append_attribute(out, "Extension", extension);
        append_attribute(out, "ContentType", type);
        out += "/>";
    }
    for (const auto& [part, type] : overrides_) {
        out += "<Override";
        append_attribute(out, "PartName", "/" + part);
        append_attribute(out, "ContentType", type);
        out += "/>";
    }
    out += "</Types>";
    return out;
}

std::string Relationships::add(std::string_view type, std::string_view target, bool external) {
    entries_.push_back({std::string(type), std::string(target), external});
    return "rId" + std::to_string(entries_.size());
}

std::string Relationships::add_external_once(std::string_view type, std::string_view target) {
    std::string key = std::string(type) + '\n' + std::string(target);
    auto known = external_index_.find(key);
    if (known != external_index_.end()) return "rId" + std::to_string(known->second + 1);
    external_index_.emplace(std::move(key), entries_.size());
    return add(type, target, true);
}

std::string Relationships::xml() const {
    std::string out(kXmlDeclaration);
    out += "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
    for (size_t i = 0; i < entries_.size(); ++i) {
        const Entry& entry = entries_[i];
        out += "<Relationship";
        append_attribute(out, "Id", "rId" + std::to_string(i + 1));
        append_attribute(out, "Type", entry.type);
        append_attribute(out, "Target", entry.target);
        if (entry.external) append_attribute(out, "TargetMode", "External");
        out += "/>";
    }
    out += "</Relationships>";
    return out;
}

void add_document_properties(ZipPackage& package, ContentTypes& types, Relationships& package_relationships,
                             const DocumentProperties& properties) {
    std::string core(kXmlDeclaration);
    core +=
        "<cp:coreProperties xmlns:cp=\"http://schemas.openxmlformats.org/package/2006/metadata/core-properties\" "
        "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" xmlns:dcterms=\"http://purl.org/dc/terms/\" "
        "xmlns:dcmitype=\"http://purl.org/dc/dcmitype/\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">";
    append_element(core, "dc:title", trimmed(properties.title));
    append_element(core, "dc:subject", trimmed(properties.subject));
    append_element(core, "dc:creator", trimmed(properties.author));
    append_element(core, "cp:keywords", trimmed(properties.keywords));
    append_element(core, "dc:description", trimmed(properties.description));
    // No creation time: one document always converts to the same bytes.
    core += "</cp:coreProperties>";
    package.add("docProps/core.xml", core);
    types.add_override("docProps/core.xml", content_type::kCoreProperties);
    package_relationships.add(rel::kCoreProperties, "docProps/core.xml");

    std::string app(kXmlDeclaration);
    app += "<Properties xmlns=\"http://schemas.openxmlformats.org/officeDocument/2006/extended-properties\" "
           "xmlns:vt=\"http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes\">";
    append_element(app, "Application", properties.application);
    if (properties.pages > 0) app += "<Pages>" + std::to_string(properties.pages) + "</Pages>";
    app += "</Properties>";
    package.add("docProps/app.xml", app);
    types.add_override("docProps/app.xml", content_type::kExtendedProperties);
    package_relationships.add(rel::kExtendedProperties, "docProps/app.xml");
}

}  // namespace foli::office
