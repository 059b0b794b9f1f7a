#pragma once

#include <QColor>
#include <QList>
#include <QString>

class TNewIniFile;

// The tab row's two colours and the colour dialog's sixteen custom colours as the settings
// file keeps them. Colour values are 0x00BBGGRR, as the file has always stored them.
namespace tabcolors {

inline constexpr int kDefaultSelected = 12632256;  // 0xC0C0C0, silver
inline constexpr int kDefaultUnselected = 8421376; // 0x808000, teal
inline constexpr int kCustomCount = 16;

QColor FromColorValue(int value);
int ColorValue(const QColor &color);

// A tab colour from "Tabs": a value that is not a colour (text, negative, beyond 0xFFFFFF)
// gives the default.
int ReadTabColor(const TNewIniFile &ini, const QString &key, int defaultValue);

// "Colors"/"ColorA" … "ColorP": six hexadecimal digits, blue first (BBGGRR). A value that is
// not such a number counts as white, the default.
QString CustomColorText(const QColor &color);
QColor CustomColorFromText(const QString &text);
QList<QColor> GetCustomPalette(const TNewIniFile &ini);
void SaveCustomPalette(TNewIniFile &ini, const QList<QColor> &colors);

} // namespace tabcolors
