#include "progman/Progman.h"

#include "commandline/CommandLine.h"
#include "platform/AppMenu.h"
#include "settings/NewIniFile.h"

#include <algorithm>

namespace {
// Copy(s, start, count) with 1-based positions: at most count characters from start, empty when
// count <= 0 or start lies beyond the end.
QString Copy(const QString &s, qsizetype start, qsizetype count) {
    if (count <= 0 || start < 1 || start > s.size())
        return QString();
    return s.mid(start - 1, count);
}

// 1-based position of the first comma, 0 when there is none.
qsizetype FirstComma(const QString &s) { return s.indexOf(QLatin1Char(',')) + 1; }

// What follows the first comma; the whole text when there is none.
QString After(const QString &s, qsizetype comma) { return s.mid(comma); }

// Line breaks would add lines to the settings file: they become blanks.
QString OneLine(QString text) {
    for (QChar &c : text)
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar(0))
            c = QLatin1Char(' ');
    return text;
}

bool Storable(const QString &value) { return value.size() <= TNewIniFile::MaxValueLength; }

// An item is imported when it has a command line and all it stores fits the file whole.
bool Importable(const ProgmanItem &item) {
    return !item.command.isEmpty() && Storable(item.name) && Storable(item.command) &&
           Storable(item.iconPath) && Storable(LongPath(item.directory));
}

const QString kNames = QStringLiteral("Names");
const QString kPrograms = QStringLiteral("Programs");
const QString kIcons = QStringLiteral("Icons");
const QString kIconSelection = QStringLiteral("IconSelection");
const QString kTabs = QStringLiteral("Tabs");
const QString kWorking = QStringLiteral("Working");
} // namespace

ProgmanItem ParseItemLine(const QString &line) {
    ProgmanItem item;
    const qsizetype c1 = FirstComma(line);
    item.name = Copy(line, 2, c1 - 3);
    const QString r1 = line.mid(c1 + 1); // drops the comma and the opening quote of field 2
    const qsizetype c2 = FirstComma(r1);
    item.command = Copy(r1, 1, c2 - 2);
    const QString r2 = After(r1, c2);
    const qsizetype c3 = FirstComma(r2);
    item.directory = Copy(r2, 1, c3 - 1);
    const QString r3 = After(r2, c3);
    item.gap = r3.contains(QLatin1String(",,"));
    const qsizetype c4 = FirstComma(r3);
    item.iconPath = Copy(r3, 1, c4 - 1);
    const QString r4 = After(r3, c4);
    const QString r5 = After(r4, FirstComma(r4)); // X
    const QString r6 = After(r5, FirstComma(r5)); // Y
    const qsizetype c7 = FirstComma(r6);
    const QString index = c7 > 0 ? r6.left(c7 - 1) : r6;
    bool ok = false;
    const int value = index.trimmed().toInt(&ok, 10);
    item.iconIndexValid = ok;
    item.iconIndex = ok ? value : 0;
    item.name = OneLine(AppMenuDecodeField(item.name));
    item.command = OneLine(AppMenuDecodeField(item.command));
    item.directory = OneLine(AppMenuDecodeField(item.directory));
    item.iconPath = OneLine(AppMenuDecodeField(item.iconPath));
    return item;
}

QStringList ReplyLines(const QString &reply) {
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype k = 0; k < reply.size(); ++k) {
        const QChar c = reply.at(k);
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n'))
            continue;
        lines << reply.mid(start, k - start);
        if (c == QLatin1Char('\r') && k + 1 < reply.size() && reply.at(k + 1) == QLatin1Char('\n'))
            ++k; // CR LF ends one line
        start = k + 1;
    }
    if (start < reply.size())
        lines << reply.mid(start);
    return lines;
}

QStringList SortedGroupList(const QString &reply) {
    QStringList groups = ReplyLines(reply);
    std::stable_sort(groups.begin(), groups.end(), [](const QString &a, const QString &b) {
        return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    });
    // The entries of no main category are the least sought: their page comes last.
    std::stable_partition(groups.begin(), groups.end(),
                          [](const QString &group) { return group != AppMenuCatchAllGroup; });
    return groups;
}

std::optional<QString> RequestFromAppMenu(IAppMenu &menu, const QString &item) {
    // Whether the connection succeeded is not looked at: a failed one gives no reply.
    menu.Connect();
    std::optional<QString> reply = menu.Request(item);
    menu.Disconnect();
    return reply;
}

ProgmanImport ImportFromAppMenu(IAppMenu &menu, TNewIniFile &ini, int buttonsPerPage) {
    ProgmanImport result;
    const int p = buttonsPerPage;
    const std::optional<QString> groupsReply = RequestFromAppMenu(menu, QStringLiteral("GROUPS"));
    if (!groupsReply)
        return result;
    result.reached = true;

    int page = 1;
    for (const QString &group : SortedGroupList(*groupsReply)) {
        const QString name = OneLine(group).left(TNewIniFile::MaxValueLength);
        if (name.trimmed().isEmpty())
            continue; // an empty line of the list is no group
        ini.WriteString(kTabs, QStringLiteral("PageTab%1").arg(page), name);
        const std::optional<QString> reply = RequestFromAppMenu(menu, group);
        const QStringList lines = reply ? ReplyLines(*reply) : QStringList();
        auto parse = [&lines](int j) {
            return j < lines.size() ? ParseItemLine(lines.at(j)) : ProgmanItem();
        };

        int i = 1;
        int j = 1; // line 0 describes the group itself
        auto fill = [&](int lineLimit) {
            for (; i <= p && j < lineLimit; ++j) {
                const ProgmanItem item = parse(j);
                if (!Importable(item))
                    continue;
                const QString key = QStringLiteral("SpeedButton%1").arg((page - 1) * p + i);
                ini.WriteString(kNames, key, item.name);
                ini.WriteString(kPrograms, key, item.command);
                // Where the program expects to start; none keeps the program's own folder.
                if (!item.directory.trimmed().isEmpty())
                    ini.WriteString(kWorking, key, LongPath(item.directory));
                if (item.iconPath != item.command && !item.gap && item.iconIndexValid) {
                    ini.WriteString(kIcons, key, item.iconPath);
                    // An index of 0 is what a missing key reads as, and loading erases it.
                    if (item.iconIndex != 0)
                        ini.WriteInteger(kIconSelection, key, item.iconIndex);
                }
                ++result.buttons;
                ++i;
            }
        };
        fill(30);
        // Two continuation pages at most, each begun only when another item waits.
        for (const int lineLimit : {60, 90}) {
            if (i <= p || !Importable(parse(j)))
                break;
            ++page;
            i = 1;
            ini.WriteString(kTabs, QStringLiteral("PageTab%1").arg(page), name);
            fill(lineLimit);
        }
        ++page;
    }
    result.pages = page - 1;
    if (result.pages > 0)
        ini.WriteInteger(QStringLiteral("Pages"), QStringLiteral("Count"), result.pages);
    return result;
}
