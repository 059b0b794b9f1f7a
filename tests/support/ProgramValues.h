#pragma once

// Stored "Programs" values as the bar writes them: a command line whose first word is the
// program. Every user of the program file (the launch's working directory, the short name of
// hints, captions and recently launched entries, the icon prompt, the icon lookup) is checked
// against this one table.

#include <QFileInfo>
#include <QString>
#include <QTest>

namespace programvalues {

struct Value {
    const char *name;
    const char *stored; // %1 stands for a directory of the test's choosing
    const char *file;   // the program file it names
    const char *shortName;
};

inline const QList<Value> &Values() {
    static const QList<Value> values = {
        {"plain path", "%1/bin/gedit", "%1/bin/gedit", "gedit"},
        {"plain path, the launch's blank", "%1/bin/gedit ", "%1/bin/gedit", "gedit"},
        {"quoted path, blanks and quotes", R"('%1/My Apps/it'\''s "ed".sh')", R"(%1/My Apps/it's "ed".sh)",
         R"(it's "ed")"},
        {"escaped blank", R"(%1/My\ Apps/run.sh)", "%1/My Apps/run.sh", "run"},
        {"path and arguments", "%1/bin/plain --from-desktop", "%1/bin/plain", "plain"},
        {"quoted path and quoted arguments", "'%1/My Apps/tool' '--out=%1/a b/x' \"x/y\"",
         "%1/My Apps/tool", "tool"},
        {"desktop entry command line", "%1/bin/editor --class=org/editor '--title=My Notes'",
         "%1/bin/editor", "editor"},
        {"argument led by #", "%1/bin/tool #1 '#draft.txt'", "%1/bin/tool", "tool"},
    };
    return values;
}

// The rows of a data-driven test: the stored value, the program file, its directory (with
// its trailing "/") and the short name, for programs under root.
inline void AddRows(const QString &root) {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("directory");
    QTest::addColumn<QString>("shortName");
    for (const Value &v : Values()) {
        const QString file = QString::fromUtf8(v.file).arg(root);
        QTest::newRow(v.name) << QString::fromUtf8(v.stored).arg(root) << file
                              << QFileInfo(file).path() + QLatin1Char('/') << QString::fromUtf8(v.shortName);
    }
}

} // namespace programvalues
