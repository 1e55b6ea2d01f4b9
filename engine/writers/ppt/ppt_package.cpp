#include "writers/ppt/ppt_package.h"

#include <algorithm>
#include <functional>

#include "writers/office/units.h"
#include "writers/office/xml.h"

namespace foli::ppt {
namespace {

using office::emu;

constexpr std::string_view kNamespaces =
    " xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\""
    " xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\""
    " xmlns:p=\"http://schemas.openxmlformats.org/presentationml/2006/main\"";

constexpr std::string_view kPresentationType =
    "application/vnd.openxmlformats-officedocument.presentationml.presentation.main+xml";
constexpr std::string_view kSlideType = "application/vnd.openxmlformats-officedocument.presentationml.slide+xml";
constexpr std::string_view kMasterType =
    "application/vnd.openxmlformats-officedocument.presentationml.slideMaster+xml";
constexpr std::string_view kLayoutType =
    "application/vnd.openxmlformats-officedocument.presentationml.slideLayout+xml";
constexpr std::string_view kThemeType = "application/vnd.openxmlformats-officedocument.theme+xml";
constexpr std::string_view kPresPropsType =
    "application/vnd.openxmlformats-officedocument.presentationml.presProps+xml";
constexpr std::string_view kViewPropsType =
    "application/vnd.openxmlformats-officedocument.presentationml.viewProps+xml";
constexpr std::string_view kTableStylesType =
    "application/vnd.openxmlformats-officedocument.presentationml.tableStyles+xml";
constexpr std::string_view kPresPropsRelationship =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/presProps";
constexpr std::string_view kViewPropsRelationship =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/viewProps";
constexpr std::string_view kTableStylesRelationship =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/tableStyles";

// PowerPoint takes slides from one inch to 56 inches a side.
constexpr float kMinSlide = 72.0f;
constexpr float kMaxSlide = 4032.0f;

// The empty group every shape tree starts with.
constexpr std::string_view kTreeStart =
    "<p:nvGrpSpPr><p:cNvPr id=\"1\" name=\"\"/><p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr><p:grpSpPr><a:xfrm>"
    "<a:off x=\"0\" y=\"0\"/><a:ext cx=\"0\" cy=\"0\"/><a:chOff x=\"0\" y=\"0\"/><a:chExt cx=\"0\" cy=\"0\"/>"
    "</a:xfrm></p:grpSpPr>";

std::string part(std::string_view element, std::string_view attributes, std::string_view body) {
    std::string out(office::kXmlDeclaration);
    out += "<p:";
    out += element;
    out += kNamespaces;
    out += attributes;
    out += ">";
    out += body;
    out += "</p:";
    out += element;
    out += ">";
    return out;
}

std::string master_xml() {
    std::string body = "<p:cSld><p:bg><p:bgRef idx=\"1001\"><a:schemeClr val=\"bg1\"/></p:bgRef></p:bg><p:spTree>";
    body += kTreeStart;
    body += "</p:spTree></p:cSld>"
            "<p:clrMap bg1=\"lt1\" tx1=\"dk1\" bg2=\"lt2\" tx2=\"dk2\" accent1=\"accent1\" accent2=\"accent2\" "
            "accent3=\"accent3\" accent4=\"accent4\" accent5=\"accent5\" accent6=\"accent6\" hlink=\"hlink\" "
            "folHlink=\"folHlink\"/>"
            "<p:sldLayoutIdLst><p:sldLayoutId id=\"2147483649\" r:id=\"rId1\"/></p:sldLayoutIdLst>"
            "<p:txStyles><p:titleStyle><a:lvl1pPr><a:defRPr sz=\"2400\"/></a:lvl1pPr></p:titleStyle>"
            "<p:bodyStyle><a:lvl1pPr><a:defRPr sz=\"1200\"/></a:lvl1pPr></p:bodyStyle>"
            "<p:otherStyle><a:lvl1pPr><a:defRPr sz=\"1200\"/></a:lvl1pPr></p:otherStyle></p:txStyles>";
    return part("sldMaster", "", body);
}

// A layout with a title placeholder, which the slides' titles refer to;
// the slides place their titles themselves.
std::string layout_xml(float width) {
    std::string body = "<p:cSld name=\"Title Only\"><p:spTree>";
    body += kTreeStart;
    body += "<p:sp><p:nvSpPr><p:cNvPr id=\"2\" name=\"Title\"/><p:cNvSpPr><a:spLocks noGrp=\"1\"/></p:cNvSpPr>"
            "<p:nvPr><p:ph type=\"title\"/></p:nvPr></p:nvSpPr><p:spPr><a:xfrm><a:off x=\"0\" y=\"0\"/><a:ext cx=\"" +
            std::to_string(emu(width)) + "\" cy=\"" + std::to_string(emu(48)) +
            "\"/></a:xfrm></p:spPr><p:txBody><a:bodyPr/><a:lstStyle/><a:p><a:endParaRPr lang=\"en-US\"/></a:p>"
            "</p:txBody></p:sp>";
    body += "</p:spTree></p:cSld><p:clrMapOvr><a:masterClrMapping/></p:clrMapOvr>";
    return part("sldLayout", " type=\"titleOnly\" preserve=\"1\"", body);
}

std::string theme_xml() {
    std::string out(office::kXmlDeclaration);
    out += "<a:theme xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" name=\"Page\">"
           "<a:themeElements><a:clrScheme name=\"Page\">"
           "<a:dk1><a:srgbClr val=\"000000\"/></a:dk1><a:lt1><a:srgbClr val=\"FFFFFF\"/></a:lt1>"
           "<a:dk2><a:srgbClr val=\"1F2937\"/></a:dk2><a:lt2><a:srgbClr val=\"F3F4F6\"/></a:lt2>"
           "<a:accent1><a:srgbClr val=\"4472C4\"/></a:accent1><a:accent2><a:srgbClr val=\"ED7D31\"/></a:accent2>"
           "<a:accent3><a:srgbClr val=\"A5A5A5\"/></a:accent3><a:accent4><a:srgbClr val=\"FFC000\"/></a:accent4>"
           "<a:accent5><a:srgbClr val=\"5B9BD5\"/></a:accent5><a:accent6><a:srgbClr val=\"70AD47\"/></a:accent6>"
           "<a:hlink><a:srgbClr val=\"0563C1\"/></a:hlink><a:folHlink><a:srgbClr val=\"954F72\"/></a:folHlink>"
           "</a:clrScheme><a:fontScheme name=\"Page\">"
           "<a:majorFont><a:latin typeface=\"Arial\"/><a:ea typeface=\"\"/><a:cs typeface=\"\"/></a:majorFont>"
           "<a:minorFont><a:latin typeface=\"Arial\"/><a:ea typeface=\"\"/><a:cs typeface=\"\"/></a:minorFont>"
           "</a:fontScheme><a:fmtScheme name=\"Page\"><a:fillStyleLst>"
           "<a:solidFill><a:schemeClr val=\"phClr\"/></a:solidFill>"
           "<a:solidFill><a:schemeClr val=\"phClr\"/></a:solidFill>"
           "<a:solidFill><a:schemeClr val=\"phClr\"/></a:solidFill></a:fillStyleLst><a:lnStyleLst>"
           "<a:ln w=\"6350\"><a:solidFill><a:schemeClr val=\"phClr\"/></a:solidFill></a:ln>"
           "<a:ln w=\"12700\"><a:solidFill><a:schemeClr val=\"phClr\"/></a:solidFill></a:ln>"
           "<a:ln w=\"19050\"><a:solidFill><a:schemeClr val=\"phClr\"/></a:solidFill></a:ln></a:lnStyleLst>"
           "<a:effectStyleLst><a:effectStyle><a:effectLst/></a:effectStyle><a:effectStyle><a:effectLst/>"
           "</a:effectStyle><a:effectStyle><a:effectLst/></a:effectStyle></a:effectStyleLst><a:bgFillStyleLst>"
           "<a:solidFill><a:schemeClr val=\"phClr\"/></a:solidFill>"
           "<a:solidFill><a:schemeClr val=\"phClr\"/></a:solidFill>"
           "<a:solidFill><a:schemeClr val=\"phClr\"/></a:solidFill></a:bgFillStyleLst></a:fmtScheme>"
           "</a:themeElements><a:objectDefaults/><a:extraClrSchemeLst/></a:theme>";
    return out;
}

std::string view_props_xml() {
    return part("viewPr", "",
                "<p:normalViewPr><p:restoredLeft sz=\"15620\"/><p:restoredTop sz=\"94660\"/></p:normalViewPr>"
                "<p:slideViewPr><p:cSldViewPr><p:cViewPr varScale=\"1\"><p:scale><a:sx n=\"100\" d=\"100\"/>"
                "<a:sy n=\"100\" d=\"100\"/></p:scale><p:origin x=\"0\" y=\"0\"/></p:cViewPr></p:cSldViewPr>"
                "</p:slideViewPr><p:gridSpacing cx=\"76200\" cy=\"76200\"/>");
}

std::string table_styles_xml() {
    std::string out(office::kXmlDeclaration);
    out += "<a:tblStyleLst xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" "
           "def=\"{5C22544A-7EE6-4342-B048-85BDC9FD1C3A}\"/>";
    return out;
}

float slide_side(float points) {
    if (!(points > 0)) return 612.0f;
    return std::clamp(points, kMinSlide, kMaxSlide);
}

}  // namespace

SlideRelationships::SlideRelationships() {
    relationships_.add(office::rel::kSlideLayout, "../slideLayouts/slideLayout1.xml");
}

PptPackage::PptPackage(OutputFiles& files, const std::string& path, office::DocumentProperties properties,
                       float width, float height)
    : out_(files.create(path)),
      zip_(out_),
      properties_(std::move(properties)),
      width_(slide_side(width)),
      height_(slide_side(height)) {
    types_.add_default("jpg", office::content_type::kJpeg);
}

std::string PptPackage::add_image(SlideRelationships& slide, const std::string& data, const char* extension) {
    auto key = std::make_pair(std::hash<std::string>{}(data), data.size());
    auto known = media_by_hash_.find(key);
    if (known == media_by_hash_.end()) {
        std::string name = "media/image" + std::to_string(++images_) + "." + extension;
        // Pictures are compressed already.
        zip_.add("ppt/" + name, data, office::Compression::Store);
        known = media_by_hash_.emplace(key, name).first;
    }
    return slide.add_media("../" + known->second);
}

void PptPackage::add_slide(const std::string& shapes, const SlideRelationships& relationships) {
    const std::string name = "slide" + std::to_string(++slides_) + ".xml";
    zip_.begin("ppt/slides/" + name);
    zip_.write(office::kXmlDeclaration);
    zip_.write("<p:sld");
    zip_.write(kNamespaces);
    zip_.write("><p:cSld><p:spTree>");
    zip_.write(kTreeStart);
    zip_.write(shapes);
    zip_.write("</p:spTree></p:cSld><p:clrMapOvr><a:masterClrMapping/></p:clrMapOvr></p:sld>");
    zip_.end();
    zip_.add("ppt/slides/_rels/" + name + ".rels", relationships.xml());
    types_.add_override("ppt/slides/" + name, kSlideType);
}

void PptPackage::finish() {
    zip_.add("ppt/slideMasters/slideMaster1.xml", master_xml());
    office::Relationships master;
    master.add(office::rel::kSlideLayout, "../slideLayouts/slideLayout1.xml");
    master.add(office::rel::kTheme, "../theme/theme1.xml");
    zip_.add("ppt/slideMasters/_rels/slideMaster1.xml.rels", master.xml());
    types_.add_override("ppt/slideMasters/slideMaster1.xml", kMasterType);

    zip_.add("ppt/slideLayouts/slideLayout1.xml", layout_xml(width_));
    office::Relationships layout;
    layout.add(office::rel::kSlideMaster, "../slideMasters/slideMaster1.xml");
    zip_.add("ppt/slideLayouts/_rels/slideLayout1.xml.rels", layout.xml());
    types_.add_override("ppt/slideLayouts/slideLayout1.xml", kLayoutType);

    zip_.add("ppt/theme/theme1.xml", theme_xml());
    types_.add_override("ppt/theme/theme1.xml", kThemeType);
    zip_.add("ppt/presProps.xml", part("presentationPr", "", ""));
    types_.add_override("ppt/presProps.xml", kPresPropsType);
    zip_.add("ppt/viewProps.xml", view_props_xml());
    types_.add_override("ppt/viewProps.xml", kViewPropsType);
    zip_.add("ppt/tableStyles.xml", table_styles_xml());
    types_.add_override("ppt/tableStyles.xml", kTableStylesType);

    office::Relationships presentation;
    presentation.add(office::rel::kSlideMaster, "slideMasters/slideMaster1.xml");
    std::string body = "<p:sldMasterIdLst><p:sldMasterId id=\"2147483648\" r:id=\"rId1\"/></p:sldMasterIdLst>";
    if (slides_ > 0) {
        body += "<p:sldIdLst>";
        for (int slide = 1; slide <= slides_; ++slide) {
            std::string id = presentation.add(office::rel::kSlide, "slides/slide" + std::to_string(slide) + ".xml");
            body += "<p:sldId id=\"" + std::to_string(255 + slide) + "\" r:id=\"" + id + "\"/>";
        }
        body += "</p:sldIdLst>";
    }
    body += "<p:sldSz cx=\"" + std::to_string(emu(width_)) + "\" cy=\"" + std::to_string(emu(height_)) + "\"/>";
    body += "<p:notesSz cx=\"6858000\" cy=\"9144000\"/>";
    presentation.add(office::rel::kTheme, "theme/theme1.xml");
    presentation.add(kPresPropsRelationship, "presProps.xml");
    presentation.add(kViewPropsRelationship, "viewProps.xml");
    presentation.add(kTableStylesRelationship, "tableStyles.xml");
    zip_.add("ppt/presentation.xml", part("presentation", " saveSubsetFonts=\"1\"", body));
    zip_.add("ppt/_rels/presentation.xml.rels", presentation.xml());
    types_.add_override("ppt/presentation.xml", kPresentationType);

    office::Relationships package_relationships;
    package_relationships.add(office::rel::kOfficeDocument, "ppt/presentation.xml");
    office::add_document_properties(zip_, types_, package_relationships, properties_);
    zip_.add("_rels/.rels", package_relationships.xml());
    zip_.add("[Content_Types].xml", types_.xml());
    zip_.close();
}

}  // namespace foli::ppt
