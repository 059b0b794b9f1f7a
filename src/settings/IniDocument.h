#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <optional>
#include <utility>
#include <vector>

// Case-insensitive equality of names (Unicode case folding).
struct IniNameEqual {
    bool operator()(QStringView a, QStringView b) const noexcept;
};

// The file's blanks: space and tab. Names and values are trimmed of them on reading.
QStringView IniTrimBlanks(QStringView text);

// Decodes settings file bytes as the settings file reads them: UTF-16 (either byte order)
// after its byte-order mark, otherwise line by line UTF-8 where the line is valid UTF-8 and
// Windows-1252 where it is not. A UTF-8 byte-order mark is dropped.
QString DecodeIniText(QByteArrayView bytes);

// One parsed settings file: the file's own bytes plus an index of its lines, and the changes
// made since, kept apart so that a change costs a hash lookup and the file is assembled only
// when it is written. Every line that was not changed comes back out exactly as it was read,
// its line end and its encoding included (comments, blank lines and lines that are not
// understood as well). Changed and added lines are written in the file's encoding: UTF-16 in
// the byte order of a UTF-16 file, UTF-8 otherwise.
//
// Parsing and every lookup cost time in proportion to the file's size whatever it repeats;
// the index takes a few dozen bytes a line on top of the file itself.
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
    std::optional<QString> Value(QStringView section, QStringView key) const;
    bool HasSection(QStringView section) const;
    // Every key of the first section of that name (its first occurrence) with its value.
    std::vector<std::pair<QString, QString>> Values(QStringView section) const;

    // Each returns whether the document changed. Names must already be trimmed and valid.
    bool Write(QStringView section, QStringView key, const QString &value);
    bool EraseKey(QStringView section, QStringView key);
    bool EraseSection(QStringView section);

    QByteArray Serialize() const;

    // Lines erased since parsing: worth re-parsing the written file once they pile up.
    qsizetype ErasedLines() const { return erasedLines_; }
    qsizetype LiveLines() const { return liveLines_; }

    // Steps taken through the index (hash probes and duplicate links) so far: what parsing
    // and lookups cost, for tests that check the cost grows only with the file.
    quint64 IndexSteps() const { return steps_; }

private:
    enum class Encoding : quint8 { Utf8, Cp1252, Utf16 };
    enum class Kind : quint8 { Other, Header, Key };
    enum Flag : quint8 { Added = 1, Changed = 2, Erased = 4 };
    struct Line {
        qsizetype start = 0; // in the file's units (bytes, or UTF-16 units for a UTF-16 file)
        qint32 length = 0;   // without its line end
        qint32 nextDuplicate = -1; // another line of this section with the same key
        qint32 edit = -1;          // edits_ entry of an added or changed line
        qint32 section = 0;        // the section it belongs to
        quint8 endLength = 0;      // 0 (the last line), 1 or 2 units
        Encoding encoding = Encoding::Utf8;
        Kind kind = Kind::Other;
        quint8 flags = 0;
    };
    struct Edit {
        QString key; // added lines; the name of an added section
        QString value;
    };
    struct Section {
        qint32 header = -1;        // its header line; -1 for the lines before the first section
        qint32 edit = -1;          // edits_ entry holding the name of an added section
        qint32 first = 0;          // lines [first, first + count) were read
        qint32 count = 0;
        qint32 insertAt = 0;       // added keys go before original line first + insertAt
        qint32 nextDuplicate = -1; // another section of the same name: ignored, erased with it
        bool erased = false;
        std::vector<qint32> added; // lines added since parsing
    };
    // Where a line's parts lie, in units from the line's start.
    struct Parts {
        Kind kind = Kind::Other;
        qsizetype nameStart = 0, nameLength = 0; // section name or key
        qsizetype valueStart = 0, valueLength = 0;
    };
    // Open addressing: a slot holds the hash of a name and the line (keys) or section
    // (sections) holding its first occurrence; -1 is a free slot.
    struct Slot {
        quint32 hash = 0;
        qint32 index = -1;
    };
    struct Table {
        std::vector<Slot> cells;
        qsizetype used = 0;
    };

    bool IsUtf16() const { return utf16_ != 0; }
    Parts PartsOf(const Line &line) const;
    QString Decode(const Line &line, qsizetype start, qsizetype length) const;
    quint32 HashOf(const Line &line, qsizetype start, qsizetype length) const;
    bool SameName(const Line &line, qsizetype start, qsizetype length, QStringView name) const;
    bool SameName(const Line &a, const Parts &pa, const Line &b) const;
    QString KeyName(const Line &line) const;
    QString LineValue(const Line &line) const;
    QString SectionName(const Section &section) const;

    void Parse(const QByteArray &bytes);
    void CloseSection();
    void Grow(Table &table);
    // The slot of a name in a table: the one holding it, or the free one where it would go.
    template <typename Same>
    Slot &Probe(Table &table, quint32 hash, Same same) const;
    template <typename Same>
    const Slot *Find(const Table &table, quint32 hash, Same same) const;
    int FindSection(QStringView name) const;
    int FindKey(int section, QStringView key) const;
    void Insert(Table &table, Slot &slot, quint32 hash, int index);

    QByteArray raw_;   // the file as read (a byte file)
    QString text_;     // the file as read (a UTF-16 file), in host order, after the mark
    int utf16_ = 0;    // 0 a byte file, 1 UTF-16LE, 2 UTF-16BE
    QByteArray tail_;  // an odd last byte of a UTF-16 file
    QByteArray lineEnd_ = QByteArrayLiteral("\n"); // for added lines: the file's first line end
    std::vector<Line> lines_;
    std::vector<Edit> edits_;
    std::vector<Section> sections_;
    Table sectionIndex_;
    Table keyIndex_; // keys of the first occurrence of each section, by (section, name)
    qsizetype erasedLines_ = 0;
    qsizetype liveLines_ = 0;
    mutable quint64 steps_ = 0;
};
