// What a document says about itself: metadata and outline.
#pragma once

#include <string>
#include <vector>

namespace foli {

struct OutlineEntry {
    std::string title;
    int level = 0;   // 0 for top-level entries
    int page = -1;   // 0-based target page, -1 if none
    std::string uri; // external target, if any
};

struct DocumentInfo {
    std::string source_path;
    int page_count = 0;
    std::string title, author, subject, keywords, creator, producer;
    std::string created;  // the PDF's CreationDate as written ("D:20200131...")
    std::vector<OutlineEntry> outline;
};

}  // namespace foli
