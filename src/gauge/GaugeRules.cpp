#include "gauge/GaugeRules.h"

#include <QFontMetrics>
#include <QLocale>
#include <cmath>

bool IsDriveGaugeType(const QString &type) {
    const int at = type.indexOf(QLatin1String("Drive"));
    return at >= 0 && type.mid(at) == QLatin1String("Drive");
}

QChar DriveItemLetter(const QString &type) {
    const bool item = type.size() == 10 && type.at(0) >= QLatin1Char('C') &&
                      type.at(0) <= QLatin1Char('Z') && type.endsWith(QLatin1String("HardDrive"));
    return item ? type.at(0) : QChar();
}

QString GaugeMountValue(QChar letter, const QString &mountPoint) {
    return QString(letter) + QLatin1Char(':') + mountPoint;
}

QString GaugeMountOf(const QString &type, const QString &stored) {
    const QChar letter = DriveItemLetter(type);
    const bool belongs = !letter.isNull() && stored.size() >= 3 && stored.at(0) == letter &&
                         stored.at(1) == QLatin1Char(':') && stored.at(2) == QLatin1Char('/');
    return belongs ? stored.mid(2) : QString();
}

QString OldGage(const QString &stored) {
    if (stored.size() >= 2 && stored.at(1) == QLatin1Char(':'))
        return stored.left(1) + QStringLiteral("HardDrive");
    if (stored == QLatin1String("SysResource") || stored == QLatin1String("UserResource") ||
        stored == QLatin1String("GDIResource"))
        return QStringLiteral("SystemMemory1");
    return stored;
}

int FreePercent(qint64 size, qint64 free) {
    // 100 / (size / free) in extended precision; the nearest-even rounding of the hardware.
    const long double ratio = (long double)size / (long double)free;
    return int(std::nearbyint(100.0L / ratio));
}

QColor GaugeColorFor(const QString &type, int progress) {
    const QColor lime(0x00, 0xFF, 0x00), yellow(0xFF, 0xFF, 0x00), red(0xFF, 0x00, 0x00);
    if (type == QLatin1String("SystemMemory1"))
        return progress >= 96 ? red : progress >= 85 ? yellow : lime;
    return progress >= 50 ? lime : progress >= 21 ? yellow : red;
}

QString FormatBytes(quint64 bytes) {
    // Grouped always, also in the C locale, whose default is to leave the groups out. The
    // grouping copy is made again only when the default locale changes (a reading a second).
    static QLocale base, grouped = [] {
        QLocale locale;
        locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
        return locale;
    }();
    if (const QLocale current; !(current == base)) {
        base = current;
        grouped = current;
        grouped.setNumberOptions(current.numberOptions() & ~QLocale::OmitGroupSeparator);
    }
    return grouped.toString(qulonglong(bytes));
}

QString DriveHint(QChar letter, quint64 free, quint64 size) {
    return QString(letter) + QStringLiteral(": HardDrive Space Available ") + FormatBytes(free) +
           QStringLiteral(" of ") + FormatBytes(size);
}

QString MemoryHint(int load, quint64 totalPhys) {
    return QStringLiteral("Memory Load %1%").arg(load) + QStringLiteral(": Total RAM ") +
           FormatBytes(totalPhys);
}

QString MissingDriveHint(const QString &mountPoint) {
    return mountPoint + QStringLiteral(" is not mounted");
}

QFont GaugeFont(const QSize &face) {
    QFont font;
    for (int pixels = 12; pixels >= 6; --pixels) {
        for (const char *family : {"Arial", "Arial Narrow"}) {
            font = QFont(QLatin1String(family));
            font.setPixelSize(pixels);
            font.setStyleStrategy(QFont::NoAntialias); // as the gauge draws it
            const QFontMetrics metrics(font);
            // The widest drive letter with a full percentage: no reading is wider.
            QChar widest(u'C');
            for (char16_t letter = u'D'; letter <= u'Z'; ++letter)
                if (metrics.horizontalAdvance(QChar(letter)) > metrics.horizontalAdvance(widest))
                    widest = QChar(letter);
            const QString reading = QString(widest) + QStringLiteral(" : 100%");
            const int width =
                qMax(metrics.horizontalAdvance(reading), metrics.boundingRect(reading).width());
            if (width <= face.width() - 2 && metrics.height() <= face.height())
                return font;
        }
    }
    return font; // the smallest tried: too wide still, on a face too small for any
}
