// One OFD package (a ZIP archive) holding one document:
//   OFD.xml                      DocInfo from the PDF's metadata, the DocRoot
//   Doc_0/Document.xml           CommonData (MaxUnitID, PageArea, resources),
//                                the page list and the outline
//   Doc_0/PublicRes.xml          fonts; Doc_0/DocumentRes.xml: images
//   Doc_0/Pages/Page_N/Content.xml, one per page, written as the page is done
//   Doc_0/Res/                   font programs and pictures
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "writers/ofd/ofd_page.h"
#include "writers/ofd/ofd_resources.h"
#include "writers/office/zip_package.h"
#include "writers/writer.h"

namespace foli::ofd {

class OfdDocument {
public:
    // A package at `path` for the document pages `pages` (0-based, in
    // order); the outline goes in when `with_outline`.
    OfdDocument(WriterContext& context, const std::string& path, const std::vector<int>& pages, bool with_outline);

    void add_page(PageSource& page);
    // Writes the resources, Document.xml and the archive's directory.
    void finish();

private:
    std::vector<PageLink> page_links(const PageSource& page) const;
    uint32_t page_id(int document_page) const;
    std::string document_xml() const;
    void append_outline(std::string& out) const;

    WriterContext& context_;
    office::ZipPackage zip_;
    UnitIds ids_;
    Resources resources_;
    std::map<int, uint32_t> page_ids_;  // document page → page id
    bool with_outline_;

    struct WrittenPage {
        uint32_t id;
        std::string location;  // relative to Doc_0
    };
    std::vector<WrittenPage> written_;
    Rect first_page_;
};

}  // namespace foli::ofd
