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
    // Gives every character of the page's words an id.
    void add(const ocr::OcrPage& read);
    // The character id of `c`, new ones numbered from 1 (0 once 65534
    // characters have ids: it draws nothing).
    uint16_t id(char32_t c);
    uint16_t find(char32_t c) const;
    // Ids in use plus one (id 0 is never given out).
    int count() const { return static_cast<int>(order_.size()) + 1; }
    // The ToUnicode CMap of every id given out.
    std::string to_unicode_cmap() const;
    bool full() const { return order_.size() >= 0xFFFE; }
    // The characters in id order (id 1 first).
    const std::vector<char32_t>& characters() const { return order_; }

private:
    std::unordered_map<char32_t, uint16_t> ids_;
    std::vector<char32_t> order_;
};

// How the layer's characters are drawn. Invisible: one glyph-less Type0
// font, two-byte codes (the ids). Shown: Type3 fonts of the characters'
// outlines, kOutlineFontSize characters each: id i is code (i - 1) % 256 of
// font (i - 1) / 256, `advances[i - 1]` wide (1/1000 em).
struct LayerFonts {
    bool visible = false;
    std::string prefix;  // resource names: the prefix, or prefix_<font> when shown
    std::vector<float> advances;
};
constexpr int kOutlineFontSize = 256;

std::string layer_font_name(const LayerFonts& fonts, int font);

// The page's layer: `frame_to_user` takes the recognition frame to the
// page's PDF user space. Every character must have been added.
std::string text_layer_content(const ocr::OcrPage& read, const ocr::Affine& frame_to_user,
                               const LayerCharacters& characters, const LayerFonts& fonts);

}  // namespace foli
