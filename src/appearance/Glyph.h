#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QSize>

// A launch button's glyph: the icon at the top-left corner of a field of button face one row
// taller than the icon. The extra row keeps the glyph's bottom-left pixel button face whatever
// the icon looks like, so transparent parts of the icon and the glyph's edge both blend into
// the button.
inline constexpr int kIconSide = 32;
inline constexpr QSize kGlyphSize(kIconSide, kIconSide + 1);

// A null icon gives a glyph of plain button face. devicePixelRatio: that of the screen the
// glyph is shown on; the glyph's size in device-independent pixels is kGlyphSize.
QPixmap MakeGlyph(const QIcon &icon, const QColor &face, qreal devicePixelRatio = 1.0);

// The built-in icon "ICON_2", shown when neither the icon source nor the program gives one.
QIcon BuiltInIcon();
