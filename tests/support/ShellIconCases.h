#pragma once

// One table of icon questions that the shell fake and the real shell must answer alike, so a
// window test cannot pass on an answer the real bar does not give. Each case names an icon
// source as the window hands it to the shell (unquoted), made in a fresh directory, and an
// index.

#include "FakePlatform.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTest>

namespace shellcases {

enum class Source {
    Marker,          // "Default": never ask again; no file
    MarkerBesideFile, // "Default" while the current directory holds a picture of that name
    Empty,           // no source at all
    Missing,         // a path where no file is
    Picture,         // a PNG file: one icon
    Text,            // a plain text file: no icon
};

struct Case {
    const char *name;
    Source source;
    int index;
    bool icon; // an icon comes back
    int count; // what IconCount says
};

inline const QList<Case> &Cases() {
    static const QList<Case> cases = {
        {"marker", Source::Marker, 0, false, 0},
        {"marker, second icon", Source::Marker, 1, false, 0},
        {"marker beside a file of that name", Source::MarkerBesideFile, 0, false, 0},
        {"empty", Source::Empty, 0, false, 0},
        {"missing file", Source::Missing, 0, false, 0},
        {"picture", Source::Picture, 0, true, 1},
        {"picture, second icon", Source::Picture, 1, false, 1},
        {"picture, index -1", Source::Picture, -1, false, 1},
        {"text file", Source::Text, 0, false, 0},
    };
    return cases;
}

// The rows of a data-driven test: the case's position in the table.
inline void AddRows() {
    QTest::addColumn<int>("row");
    for (int i = 0; i < Cases().size(); ++i)
        QTest::newRow(Cases()[i].name) << i;
}

inline bool WritePicture(const QString &path) {
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(qRgb(200, 40, 40));
    return image.save(path, "PNG");
}

// Makes the case's source in dir; the current directory becomes dir, so that a relative name
// would find a file there. Returns the source text.
inline QString MakeSource(const Case &c, const QString &dir) {
    QDir::setCurrent(dir);
    switch (c.source) {
    case Source::Marker:
        return QStringLiteral("Default");
    case Source::MarkerBesideFile:
        WritePicture(dir + QStringLiteral("/Default"));
        return QStringLiteral("Default");
    case Source::Empty:
        return QString();
    case Source::Missing:
        return dir + QStringLiteral("/gone.png");
    case Source::Picture: {
        const QString path = dir + QStringLiteral("/picture.png");
        WritePicture(path);
        return path;
    }
    case Source::Text: {
        const QString path = dir + QStringLiteral("/notes.txt");
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write("plain words\n");
        return path;
    }
    }
    return QString();
}

// What the fake is told, as a user of it would tell it: the files that exist and how many
// icons each holds. Nothing is said about the marker or about missing files.
inline void Describe(FakeShell &shell, const Case &c, const QString &source) {
    if (c.source == Source::Picture)
        shell.iconCounts.insert(source, 1);
    else if (c.source == Source::Text)
        shell.iconCounts.insert(source, 0);
}

// Asks the shell the case's questions and compares the answers.
inline void Check(IShell &shell, const Case &c, const QString &source) {
    QCOMPARE(shell.IconCount(source), c.count);
    QCOMPARE(!shell.ExtractIcon(source, c.index).isNull(), c.icon);
}

} // namespace shellcases
