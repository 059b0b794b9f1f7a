#include "prefs/TabColors.h"
#include "settings/NewIniFile.h"

#include <algorithm>

namespace tabcolors {

namespace {
const QString kColors = QStringLiteral("Colors");
QString CustomKey(int i) {
    return QStringLiteral("Color") + QChar(u'A' + i);
}
} // namespace

QColor FromColorValue(int value) {
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

int ColorValue(const QColor &color) {
    const QColor rgb = color.toRgb();
    return rgb.red() | (rgb.green() << 8) | (rgb.blue() << 16);
}

int ReadTabColor(const TNewIniFile &ini, const QString &key, int defaultValue) {
    int value = 0;
    if (!TNewIniFile::ParseInteger(ini.ReadString(QStringLiteral("Tabs"), key, QString()),
                                   &value) ||
        value < 0 || value > 0xFFFFFF)
        return defaultValue;
    return value;
}

QString CustomColorText(const QColor &color) {
    return QStringLiteral("%1").arg(ColorValue(color), 6, 16, QLatin1Char('0')).toUpper();
}

QColor CustomColorFromText(const QString &text) {
    const QString digits = text.trimmed();
    static const QString hex = QStringLiteral("0123456789ABCDEFabcdef");
    if (digits.isEmpty() || digits.size() > 8 ||
        !std::all_of(digits.begin(), digits.end(), [](QChar c) { return hex.contains(c); }))
        return Qt::white;
    const uint value = digits.toUInt(nullptr, 16);
    return value > 0xFFFFFF ? QColor(Qt::white) : FromColorValue(int(value));
}

QList<QColor> GetCustomPalette(const TNewIniFile &ini) {
    QList<QColor> colors;
    for (int i = 0; i < kCustomCount; ++i)
        colors.append(
            CustomColorFromText(ini.ReadString(kColors, CustomKey(i), QStringLiteral("FFFFFF"))));
    return colors;
}

void SaveCustomPalette(TNewIniFile &ini, const QList<QColor> &colors) {
    for (int i = 0; i < kCustomCount; ++i)
        ini.WriteString(kColors, CustomKey(i), CustomColorText(colors.value(i, Qt::white)));
}

} // namespace tabcolors
