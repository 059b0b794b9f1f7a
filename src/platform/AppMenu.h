#pragma once

#include <QString>
#include <optional>

// The desktop's application menu, asked the way the import asks: "GROUPS", then each group.
//
// Replies are text, lines separated by CR LF. "GROUPS" gives one group name per line. A group
// gives a header line, then one line per item: "name","command line",directory,icon,x,y,index.
// The import cuts the fields at the first comma, so a comma inside a field is sent as "%2C"
// and a percent sign as "%25" (AppMenuEncodeField); the import decodes name, command line,
// directory and icon after cutting. Fields never hold line breaks. Entries of no menu group
// are in the catch-all group.
class IAppMenu {
public:
    virtual ~IAppMenu() = default;
    virtual bool Connect() = 0;
    virtual void Disconnect() = 0;
    // The text reply to a request; nothing when the request timed out or failed.
    virtual std::optional<QString> Request(const QString &item) = 0;
};

inline const QString AppMenuCatchAllGroup = QStringLiteral("Other");

inline QString AppMenuEncodeField(QString text) {
    text.replace(QLatin1Char('%'), QLatin1String("%25"));
    text.replace(QLatin1Char(','), QLatin1String("%2C"));
    return text;
}

inline QString AppMenuDecodeField(const QString &text) {
    if (!text.contains(QLatin1Char('%')))
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype k = 0; k < text.size(); ++k) {
        const QStringView rest = QStringView(text).sliced(k);
        if (rest.startsWith(QLatin1String("%2C"), Qt::CaseInsensitive)) {
            out += QLatin1Char(',');
            k += 2;
        } else if (rest.startsWith(QLatin1String("%25"))) {
            out += QLatin1Char('%');
            k += 2;
        } else {
            out += text.at(k);
        }
    }
    return out;
}
