#pragma once

#include <QHash>
#include <QString>

typedef struct _GIcon GIcon;

// The value of the icon an application's GIcon names: a file's absolute path or the first theme
// name; empty for anything else.
QString IconValueOf(GIcon *icon);

// The icon the desktop's application entries give each program, by the program's canonical
// path. Of several entries running one program, the first shown in menus wins, else the first.
class ProgramIcons {
public:
    void Add(const QString &program, const QString &icon, bool shown) {
        if (program.isEmpty() || icon.isEmpty())
            return;
        const auto known = shown_.constFind(program);
        if (known != shown_.constEnd() && (*known || !shown))
            return;
        icons_.insert(program, icon);
        shown_.insert(program, shown);
    }
    // The icon value ("name" of the theme or an absolute file), empty when none.
    QString Of(const QString &program) const { return icons_.value(program); }

private:
    QHash<QString, QString> icons_;
    QHash<QString, bool> shown_;
};
