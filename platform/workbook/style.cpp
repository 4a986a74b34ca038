#include "platform/workbook/style.h"

namespace workbook {

void Style::Overlay(const Style& o) {
    if (o.bold) bold = o.bold;
    if (o.fontSize) fontSize = o.fontSize;
    if (o.fontName) fontName = o.fontName;
    if (o.fillColorIndex) fillColorIndex = o.fillColorIndex;
    if (o.pattern) pattern = o.pattern;
    if (o.numberFormat) numberFormat = o.numberFormat;
    if (o.hAlign) hAlign = o.hAlign;
    for (int i = 0; i < kSides; ++i)
        if (o.border[i]) border[i] = o.border[i];
}

bool Style::Empty() const { return *this == Style{}; }

}  // namespace workbook
