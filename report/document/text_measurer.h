// Text measuring injected into the model: Qt font metrics in the application, a fixed advance
// per byte in tests, so the model never needs a font engine of its own.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zentra::report {

struct TFontSpec {
    std::string Name;  // upper-case font name (cp1251)
    int Size = 9;      // points
    uint8_t Style = 0;
};

class ITextMeasurer {
  public:
    virtual ~ITextMeasurer() = default;
    // Width in pixels at 100 % zoom of a cp1251 text drawn in the font.
    virtual int TextWidth(const TFontSpec& font, std::string_view text) = 0;
    // Height of one line ("Wg") in the font.
    virtual int LineHeight(const TFontSpec& font) = 0;
};

// Every byte advances the same width; every line has the same height.
class TFixedAdvanceMeasurer : public ITextMeasurer {
  public:
    TFixedAdvanceMeasurer(int advance, int lineHeight) : advance_(advance), line_(lineHeight) {}
    int TextWidth(const TFontSpec&, std::string_view text) override {
        return static_cast<int>(text.size()) * advance_;
    }
    int LineHeight(const TFontSpec&) override { return line_; }

  private:
    int advance_;
    int line_;
};

}  // namespace zentra::report
