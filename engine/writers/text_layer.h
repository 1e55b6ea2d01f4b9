// The recognised text of a searchable PDF page as PDF content: one text
// object per word, placed on the word's box with the glyph-less font
// (every character one blank glyph of the same advance, stretched with Tz
// to the word's width), invisible (render mode 3) or shown for checking
// placement. The font's character ids are shared by the whole document.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "ocr/recognition.h"

namespace foli {

// Metrics of the glyph-less font, in 1/1000 em.
constexpr int kLayerAdvance = 500;
constexpr int kLayerAscent = 800;
constexpr int kLayerDescent = -200;

// A TrueType program of two empty glyphs (.notdef and the one every
// character is drawn with), kLayerAdvance wide.
std::vector<unsigned char> glyphless_font_program();

class LayerCharacters {
public:
    // The character id of `c`, new ones numbered from 1.
    uint16_t id(char32_t c);
    // Ids in use plus one (id 0 is never given out).
    int count() const { return static_cast<int>(order_.size()) + 1; }
    // The ToUnicode CMap of every id given out.
    std::string to_unicode_cmap() const;
    bool full() const { return order_.size() >= 0xFFFE; }

private:
    std::unordered_map<char32_t, uint16_t> ids_;
    std::vector<char32_t> order_;
};

// The page's layer: `frame_to_user` takes the recognition frame to the
// page's PDF user space; `font` is the resource name of the font.
std::string text_layer_content(const ocr::OcrPage& read, const ocr::Affine& frame_to_user, const std::string& font,
                               bool visible, LayerCharacters& characters);

}  // namespace foli
