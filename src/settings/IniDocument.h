#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <optional>
#include <unordered_map>
#include <vector>

// Case-insensitive hashing and equality of names, without building lowercased copies: a read
// looks names up in the parsed file straight from the caller's strings.
struct IniNameHash {
    // Not noexcept on purpose: the standard maps then keep each entry's hash and growing a
    // map does not hash every name again.
    size_t operator()(QStringView name) const;
};
struct IniNameEqual {
    bool operator()(QStringView a, QStringView b) const noexcept;
};
template <typename T>
using IniNameMap = std::unordered_map<QStringView, T, IniNameHash, IniNameEqual>;

// The file's blanks: space and tab. Names and values are trimmed of them on reading.
QStringView IniTrimBlanks(QStringView text);

// Decodes settings file bytes: UTF-8 when they are valid UTF-8, Windows-1252 otherwise.
QString DecodeIniText(QByteArrayView bytes);

// One parsed settings file: the lines as read plus the changes made since, kept apart so that
// a change costs a hash lookup and the file is assembled only when it is written. Lines that
// are not understood, comments and blank lines come back out exactly as they were read.
//
// Section and key names of the index are views into the text and line strings, which are never
// modified once stored: the document cannot be copied, only moved.
class IniDocument {
public:
    IniDocument();
    explicit IniDocument(const QByteArray &bytes);
    IniDocument(const IniDocument &) = delete;
    IniDocument &operator=(const IniDocument &) = delete;
    IniDocument(IniDocument &&) = default;
    IniDocument &operator=(IniDocument &&) = default;

    // The value of the first key of that name in the first section of that name, blanks
    // trimmed, not cut.
    std::optional<QStringView> Value(QStringView section, QStringView key) const;
    bool HasSection(QStringView section) const;
    // Every key of the first section of that name (its first occurrence) with its value.
    std::vector<std::pair<QStringView, QStringView>> Values(QStringView section) const;

    // Each returns whether the document changed. Names must already be trimmed and valid.
    bool Write(QStringView section, QStringView key, const QString &value);
    bool EraseKey(QStringView section, QStringView key);
    bool EraseSection(QStringView section);

    QByteArray Serialize() const;

    // Lines erased since parsing: worth re-parsing the written file once they pile up.
    qsizetype ErasedLines() const { return erasedLines_; }
    qsizetype LiveLines() const { return liveLines_; }

private:
    enum class Kind : quint8 { Other, Key };
    struct Line {
        qsizetype start = 0, length = 0; // the line as read, within text_
        qsizetype keyStart = 0, keyLength = 0;
        qsizetype valueStart = 0, valueLength = 0;
        QString key;            // lines added since parsing
        QString value;          // lines added or changed since parsing
        int nextDuplicate = -1; // the next line of this section with the same key
        Kind kind = Kind::Other;
        bool added = false;
        bool changed = false;
        bool erased = false;
    };
    struct Section {
        bool hasHeader = false; // false only for the lines before the first section
        qsizetype headerStart = 0, headerLength = 0;
        qsizetype nameStart = 0, nameLength = 0;
        QString name; // sections added since parsing
        bool added = false;
        bool erased = false;
        int nextDuplicate = -1; // the next section of the same name: ignored, erased with it
        int originalLines = 0;  // lines[0, originalLines) were read, the rest added
        int insertAt = 0;       // added keys go before this original line
        std::vector<Line> lines;
        IniNameMap<int> keys; // first occurrence only
    };

    QStringView Text(qsizetype start, qsizetype length) const {
        return QStringView(text_).mid(start, length);
    }
    QStringView KeyName(const Line &line) const {
        return line.added ? QStringView(line.key) : Text(line.keyStart, line.keyLength);
    }
    QStringView LineValue(const Line &line) const;
    QStringView SectionName(const Section &section) const {
        return section.added ? QStringView(section.name)
                             : Text(section.nameStart, section.nameLength);
    }
    void Parse(const QByteArray &bytes);
    void AddLine(qsizetype start, qsizetype length);

    QString text_;
    bool bom_ = false;
    QString lineEnd_ = QStringLiteral("\n");
    std::vector<Section> sections_;
    IniNameMap<int> sectionIndex_; // first occurrence only
    qsizetype erasedLines_ = 0;
    qsizetype liveLines_ = 0;
};
