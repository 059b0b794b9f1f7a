#include "IniDocument.h"

#include <QChar>
#include <algorithm>
#include <cstring>
#include <type_traits>

namespace {

bool IsValidUtf8(const unsigned char *p, qsizetype n) {
    qsizetype i = 0;
    while (i < n) {
        // Settings files are mostly ASCII: skip it eight bytes at a time.
        while (i + 8 <= n) {
            quint64 word;
            std::memcpy(&word, p + i, 8);
            if (word & 0x8080808080808080ull)
                break;
            i += 8;
        }
        if (i >= n)
            break;
        unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        int extra;
        char32_t cp;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= n)
            return false;
        for (int k = 1; k <= extra; ++k) {
            unsigned char d = p[i + k];
            if ((d & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

// Windows-1252 differs from Latin-1 only in 0x80..0x9F; its five unassigned bytes map to the
// C1 control of the same number, as Windows does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};


enum class Enc : quint8 { Utf8, Cp1252, Utf16 };

char32_t Fold(char32_t c) {
    if (c < 0x80)
        return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    return QChar::toCaseFolded(c);
}

// Reads the code points of a run of units: bytes of a line known to be valid UTF-8, bytes
// of a Windows-1252 line, or UTF-16 units.
class CodePoints {
public:
    CodePoints(const char *bytes, qsizetype n, Enc enc) : bytes_(bytes), n_(n), enc_(enc) {}
    CodePoints(const char16_t *units, qsizetype n) : units_(units), n_(n), enc_(Enc::Utf16) {}
    explicit CodePoints(QStringView s) : CodePoints(s.utf16(), s.size()) {}

    bool Next(char32_t &c) {
        if (i_ >= n_)
            return false;
        switch (enc_) {
        case Enc::Utf16: {
            c = units_[i_++];
            if (QChar::isHighSurrogate(c) && i_ < n_ && QChar::isLowSurrogate(units_[i_]))
                c = QChar::surrogateToUcs4(char16_t(c), units_[i_++]);
            return true;
        }
        case Enc::Cp1252: {
            const unsigned char b = bytes_[i_++];
            c = (b >= 0x80 && b < 0xA0) ? kCp1252High[b - 0x80] : char16_t(b);
            return true;
        }
        case Enc::Utf8: {
            const unsigned char b = bytes_[i_++];
            if (b < 0x80) {
                c = b;
                return true;
            }
            const int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : 1;
            c = b & (0x3F >> extra);
            for (int k = 0; k < extra && i_ < n_; ++k)
                c = (c << 6) | (static_cast<unsigned char>(bytes_[i_++]) & 0x3F);
            return true;
        }
        }
        return false;
    }

private:
    const char *bytes_ = nullptr;
    const char16_t *units_ = nullptr;
    qsizetype n_ = 0, i_ = 0;
    Enc enc_;
};

bool SameFolded(CodePoints a, CodePoints b) {
    char32_t x, y;
    for (;;) {
        const bool moreA = a.Next(x), moreB = b.Next(y);
        if (!moreA || !moreB)
            return moreA == moreB;
        if (x != y && Fold(x) != Fold(y))
            return false;
    }
}

quint32 HashFolded(CodePoints a) {
    quint64 h = 1469598103934665603ull;
    char32_t c;
    while (a.Next(c))
        h = (h ^ Fold(c)) * 1099511628211ull;
    quint32 x = quint32(h ^ (h >> 32));
    x ^= x >> 16;
    x *= 0x7feb352du;
    x ^= x >> 15;
    return x;
}

quint32 KeyHash(quint32 nameHash, int section) {
    quint32 x = nameHash ^ (quint32(section) * 0x9E3779B1u);
    x ^= x >> 16;
    x *= 0x846ca68bu;
    x ^= x >> 16;
    return x;
}

// QString::fromUtf8 takes a leading U+FEFF for a byte-order mark and drops it; inside the file
// it is a character like any other (only the file's first bytes can be a mark), kept here.
QString FromUtf8KeepingFeff(const char *p, qsizetype n) {
    qsizetype marks = 0;
    while (n - 3 * marks >= 3 && std::memcmp(p + 3 * marks, "\xEF\xBB\xBF", 3) == 0)
        ++marks;
    if (marks == 0)
        return QString::fromUtf8(p, n);
    return QString(marks, QChar(0xFEFF)) + QString::fromUtf8(p + 3 * marks, n - 3 * marks);
}

QString DecodeBytes(const char *p, qsizetype n, Enc enc) {
    if (enc == Enc::Utf8)
        return FromUtf8KeepingFeff(p, n);
    QString text(n, Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(text.data());
    for (qsizetype i = 0; i < n; ++i) {
        const unsigned char b = p[i];
        out[i] = (b >= 0x80 && b < 0xA0) ? kCp1252High[b - 0x80] : char16_t(b);
    }
    return text;
}

// Where the parts of one line lie, the line given as units d[0, length). inSection: the line
// belongs to a section (keys before the first section are not keys).
template <typename U>
void Analyse(const U *d, qsizetype length, bool inSection, quint8 &kind, qsizetype &nameStart,
             qsizetype &nameLength, qsizetype &valueStart, qsizetype &valueLength) {
    auto blank = [&](qsizetype i) { return d[i] == U(' ') || d[i] == U('\t'); };
    auto trim = [&](qsizetype &s, qsizetype &len) {
        while (len > 0 && blank(s)) {
            ++s;
            --len;
        }
        while (len > 0 && blank(s + len - 1))
            --len;
    };
    qsizetype s = 0, len = length;
    trim(s, len);
    kind = 0;
    if (len > 0 && d[s] == U('[')) {
        kind = 1;
        nameStart = s + 1;
        nameLength = len - 1;
        for (qsizetype i = s + 1; i < s + len; ++i) {
            if (d[i] == U(']')) {
                nameLength = i - (s + 1);
                break;
            }
        }
        trim(nameStart, nameLength);
        return;
    }
    if (len == 0 || d[s] == U(';') || !inSection)
        return;
    qsizetype eq = -1;
    for (qsizetype i = s; i < s + len; ++i) {
        if (d[i] == U('=')) {
            eq = i - s;
            break;
        }
    }
    if (eq <= 0)
        return;
    nameStart = s;
    nameLength = eq;
    trim(nameStart, nameLength);
    valueStart = s + eq + 1;
    valueLength = len - eq - 1;
    trim(valueStart, valueLength);
    if (nameLength > 0)
        kind = 2;
}

template <typename U>
bool AllBlank(const U *d, qsizetype n) {
    for (qsizetype i = 0; i < n; ++i) {
        if (d[i] != U(' ') && d[i] != U('\t'))
            return false;
    }
    return true;
}

// Calls line(start, length, endLength) for each line of d[begin, n): lines end with LF, CR LF
// or CR.
template <typename U, typename F>
void SplitLines(const U *d, qsizetype begin, qsizetype n, F line) {
    qsizetype start = begin;
    while (start < n) {
        qsizetype end = start;
        while (end < n && d[end] != U('\n') && d[end] != U('\r'))
            ++end;
        int endLength = 0;
        if (end < n)
            endLength = (d[end] == U('\r') && end + 1 < n && d[end + 1] == U('\n')) ? 2 : 1;
        line(start, end - start, endLength);
        start = end + endLength;
    }
}

// 1 for UTF-16LE, 2 for UTF-16BE after their byte-order marks, 0 otherwise.
int Utf16Order(QByteArrayView bytes) {
    if (bytes.size() >= 2 && quint8(bytes[0]) == 0xFF && quint8(bytes[1]) == 0xFE)
        return 1;
    if (bytes.size() >= 2 && quint8(bytes[0]) == 0xFE && quint8(bytes[1]) == 0xFF)
        return 2;
    return 0;
}

// The UTF-16 units after the byte-order mark, in host order.
QString Utf16Units(QByteArrayView bytes, int order) {
    const qsizetype n = (bytes.size() - 2) / 2;
    QString text(n, Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(text.data());
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data()) + 2;
    for (qsizetype i = 0; i < n; ++i)
        out[i] = order == 1 ? char16_t(p[2 * i] | (p[2 * i + 1] << 8))
                            : char16_t((p[2 * i] << 8) | p[2 * i + 1]);
    return text;
}

} // namespace

QStringView IniTrimBlanks(QStringView text) {
    qsizetype start = 0, length = text.size();
    while (length > 0 && (text[start] == u' ' || text[start] == u'\t')) {
        ++start;
        --length;
    }
    while (length > 0 && (text[start + length - 1] == u' ' || text[start + length - 1] == u'\t'))
        --length;
    return text.mid(start, length);
}

bool IniNameEqual::operator()(QStringView a, QStringView b) const noexcept {
    return SameFolded(CodePoints(a), CodePoints(b));
}

QString DecodeIniText(QByteArrayView bytes) {
    if (const int order = Utf16Order(bytes))
        return Utf16Units(bytes, order);
    const qsizetype begin = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    const char *d = bytes.data();
    const auto *p = reinterpret_cast<const unsigned char *>(d);
    if (IsValidUtf8(p + begin, bytes.size() - begin))
        return FromUtf8KeepingFeff(d + begin, bytes.size() - begin);
    QString text;
    text.reserve(bytes.size());
    SplitLines(d, begin, bytes.size(), [&](qsizetype start, qsizetype length, int endLength) {
        const Enc enc = IsValidUtf8(p + start, length) ? Enc::Utf8 : Enc::Cp1252;
        text += DecodeBytes(d + start, length, enc);
        text += QLatin1StringView(d + start + length, endLength);
    });
    return text;
}

IniDocument::IniDocument() {
    sections_.emplace_back();
}

IniDocument::IniDocument(const QByteArray &bytes) {
    sections_.emplace_back();
    Parse(bytes);
}

IniDocument::Parts IniDocument::PartsOf(const Line &line) const {
    Parts parts;
    quint8 kind;
    const bool inSection = line.kind != Kind::Other;
    if (IsUtf16())
        Analyse(reinterpret_cast<const char16_t *>(text_.constData()) + line.start, line.length,
                inSection, kind, parts.nameStart, parts.nameLength, parts.valueStart,
                parts.valueLength);
    else
        Analyse(raw_.constData() + line.start, line.length, inSection, kind, parts.nameStart,
                parts.nameLength, parts.valueStart, parts.valueLength);
    parts.kind = Kind(kind);
    return parts;
}

namespace {
CodePoints Reader(const QByteArray &raw, const QString &text, bool utf16, qsizetype start,
                  qsizetype length, quint8 encoding) {
    if (utf16)
        return CodePoints(reinterpret_cast<const char16_t *>(text.constData()) + start, length);
    return CodePoints(raw.constData() + start, length, Enc(encoding));
}
} // namespace

QString IniDocument::Decode(const Line &line, qsizetype start, qsizetype length) const {
    if (IsUtf16())
        return QString(text_.constData() + line.start + start, length);
    return DecodeBytes(raw_.constData() + line.start + start, length, Enc(line.encoding));
}

quint32 IniDocument::HashOf(const Line &line, qsizetype start, qsizetype length) const {
    return HashFolded(
        Reader(raw_, text_, IsUtf16(), line.start + start, length, quint8(line.encoding)));
}

bool IniDocument::SameName(const Line &line, qsizetype start, qsizetype length,
                           QStringView name) const {
    return SameFolded(
        Reader(raw_, text_, IsUtf16(), line.start + start, length, quint8(line.encoding)),
        CodePoints(name));
}

bool IniDocument::SameName(const Line &a, const Parts &pa, const Line &b) const {
    if (b.flags & Added)
        return SameName(a, pa.nameStart, pa.nameLength, edits_[b.edit].key);
    const Parts pb = PartsOf(b);
    return SameFolded(
        Reader(raw_, text_, IsUtf16(), a.start + pa.nameStart, pa.nameLength,
               quint8(a.encoding)),
        Reader(raw_, text_, IsUtf16(), b.start + pb.nameStart, pb.nameLength,
               quint8(b.encoding)));
}

QString IniDocument::KeyName(const Line &line) const {
    if (line.flags & Added)
        return edits_[line.edit].key;
    const Parts parts = PartsOf(line);
    return Decode(line, parts.nameStart, parts.nameLength);
}

QString IniDocument::LineValue(const Line &line) const {
    if (line.flags & (Added | Changed))
        return IniTrimBlanks(edits_[line.edit].value).toString();
    const Parts parts = PartsOf(line);
    return Decode(line, parts.valueStart, parts.valueLength);
}

QString IniDocument::SectionName(const Section &section) const {
    if (section.edit >= 0)
        return edits_[section.edit].key;
    const Line &header = lines_[section.header];
    const Parts parts = PartsOf(header);
    return Decode(header, parts.nameStart, parts.nameLength);
}

template <typename Same>
IniDocument::Slot &IniDocument::Probe(Table &table, quint32 hash, Same same) const {
    const size_t mask = table.cells.size() - 1;
    for (size_t pos = hash & mask;; pos = (pos + 1) & mask) {
        ++steps_;
        Slot &slot = table.cells[pos];
        if (slot.index < 0 || (slot.hash == hash && same(slot.index)))
            return slot;
    }
}

template <typename Same>
const IniDocument::Slot *IniDocument::Find(const Table &table, quint32 hash, Same same) const {
    if (table.cells.empty())
        return nullptr;
    const Slot &slot = Probe(const_cast<Table &>(table), hash, same);
    return slot.index >= 0 ? &slot : nullptr;
}

void IniDocument::Grow(Table &table) {
    // Kept at most three quarters full, so that a probe always ends at a free slot.
    if ((table.used + 1) * 4 <= qsizetype(table.cells.size()) * 3)
        return;
    std::vector<Slot> old = std::move(table.cells);
    table.cells.assign(std::max<size_t>(16, old.size() * 2), Slot());
    const size_t mask = table.cells.size() - 1;
    for (const Slot &slot : old) {
        if (slot.index < 0)
            continue;
        size_t pos = slot.hash & mask;
        while (table.cells[pos].index >= 0) {
            ++steps_;
            pos = (pos + 1) & mask;
        }
        table.cells[pos] = slot;
    }
}

void IniDocument::Insert(Table &table, Slot &slot, quint32 hash, int index) {
    slot.hash = hash;
    slot.index = index;
    ++table.used;
}

int IniDocument::FindSection(QStringView name) const {
    const Slot *slot = Find(sectionIndex_, HashFolded(CodePoints(name)), [&](int index) {
        const Section &sec = sections_[index];
        if (sec.edit >= 0)
            return IniNameEqual()(edits_[sec.edit].key, name);
        const Line &header = lines_[sec.header];
        const Parts parts = PartsOf(header);
        return SameName(header, parts.nameStart, parts.nameLength, name);
    });
    return slot && !sections_[slot->index].erased ? slot->index : -1;
}

int IniDocument::FindKey(int section, QStringView key) const {
    if (section < 0)
        return -1;
    const quint32 hash = KeyHash(HashFolded(CodePoints(key)), section);
    const Slot *slot = Find(keyIndex_, hash, [&](int index) {
        const Line &line = lines_[index];
        if (line.section != section)
            return false;
        if (line.flags & Added)
            return IniNameEqual()(edits_[line.edit].key, key);
        const Parts parts = PartsOf(line);
        return SameName(line, parts.nameStart, parts.nameLength, key);
    });
    return slot && !(lines_[slot->index].flags & Erased) ? slot->index : -1;
}

void IniDocument::Parse(const QByteArray &bytes) {
    utf16_ = Utf16Order(bytes);
    qsizetype begin = 0, n = 0;
    if (utf16_) {
        text_ = Utf16Units(bytes, utf16_);
        if (bytes.size() % 2)
            tail_ = bytes.right(1);
        n = text_.size();
    } else {
        raw_ = bytes;
        begin = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
        n = raw_.size();
    }

    // One pass to count the lines, so that the index is made at its final size.
    qsizetype expected = 0;
    auto countLines = [&](auto *d) {
        expected = std::count(d + begin, d + n, std::remove_cvref_t<decltype(*d)>('\n'));
        if (expected == 0)
            expected = std::count(d + begin, d + n, std::remove_cvref_t<decltype(*d)>('\r'));
        ++expected;
    };
    if (utf16_)
        countLines(reinterpret_cast<const char16_t *>(text_.constData()));
    else
        countLines(raw_.constData());
    lines_.reserve(size_t(expected));
    size_t capacity = 16;
    while (qsizetype(capacity) * 3 < expected * 4)
        capacity *= 2;
    keyIndex_.cells.assign(capacity, Slot());

    bool lineEndSeen = false;
    int canonical = -1; // the section keys are indexed under; -1 within a repeated section
    int lastKey = -1, lastFilled = -1;
    auto closeSection = [&] {
        Section &sec = sections_.back();
        sec.count = qint32(lines_.size()) - sec.first;
        sec.insertAt = lastKey >= 0 ? lastKey + 1 : lastFilled + 1;
    };

    auto addLine = [&](auto *d, qsizetype start, qsizetype length, int endLength) {
        using U = std::remove_const_t<std::remove_pointer_t<decltype(d)>>;
        if (!lineEndSeen && endLength > 0) {
            lineEndSeen = true;
            lineEnd_ = endLength == 2 ? QByteArrayLiteral("\r\n")
                                      : (d[start + length] == U('\r') ? QByteArrayLiteral("\r")
                                                                     : QByteArrayLiteral("\n"));
        }
        ++liveLines_;
        Line line;
        line.start = start;
        line.length = qint32(length);
        line.endLength = quint8(endLength);
        if constexpr (sizeof(U) == 2) {
            line.encoding = Encoding::Utf16;
        } else {
            line.encoding = IsValidUtf8(reinterpret_cast<const unsigned char *>(d) + start, length)
                                ? Encoding::Utf8
                                : Encoding::Cp1252;
        }
        quint8 kind;
        Parts parts;
        Analyse(d + start, length, sections_.back().header >= 0, kind, parts.nameStart,
                parts.nameLength, parts.valueStart, parts.valueLength);
        line.kind = Kind(kind);
        const int index = int(lines_.size());

        if (line.kind == Kind::Header) {
            closeSection();
            lastKey = lastFilled = -1;
            line.section = int(sections_.size());
            lines_.push_back(line);
            Section sec;
            sec.header = index;
            sec.first = index + 1;
            sections_.push_back(std::move(sec));
            const int secIndex = int(sections_.size()) - 1;
            Grow(sectionIndex_);
            const quint32 hash = HashOf(line, parts.nameStart, parts.nameLength);
            Slot &slot = Probe(sectionIndex_, hash, [&](int other) {
                const Line &h = lines_[sections_[other].header];
                return SameName(line, parts, h);
            });
            if (slot.index < 0) {
                Insert(sectionIndex_, slot, hash, secIndex);
                canonical = secIndex;
            } else {
                // Linked right behind the first: erasing the name erases them all.
                Section &first = sections_[slot.index];
                sections_.back().nextDuplicate = first.nextDuplicate;
                first.nextDuplicate = secIndex;
                canonical = -1;
            }
            return;
        }

        const int position = index - sections_.back().first;
        if (length > 0 && !AllBlank(d + start, length))
            lastFilled = position;
        line.section = int(sections_.size()) - 1;
        lines_.push_back(line);
        if (line.kind != Kind::Key)
            return;
        lastKey = position;
        if (canonical < 0)
            return; // a later section of a name already seen is never read
        Grow(keyIndex_);
        const quint32 hash = KeyHash(HashOf(line, parts.nameStart, parts.nameLength), canonical);
        Slot &slot = Probe(keyIndex_, hash, [&](int other) {
            return lines_[other].section == canonical && SameName(line, parts, lines_[other]);
        });
        if (slot.index < 0) {
            Insert(keyIndex_, slot, hash, index);
        } else {
            Line &first = lines_[slot.index];
            lines_.back().nextDuplicate = first.nextDuplicate;
            first.nextDuplicate = index;
        }
    };

    if (utf16_) {
        const auto *d = reinterpret_cast<const char16_t *>(text_.constData());
        SplitLines(d, begin, n, [&](qsizetype s, qsizetype l, int e) { addLine(d, s, l, e); });
    } else {
        const char *d = raw_.constData();
        SplitLines(d, begin, n, [&](qsizetype s, qsizetype l, int e) { addLine(d, s, l, e); });
    }
    closeSection();
}

std::optional<QString> IniDocument::Value(QStringView section, QStringView key) const {
    const int line = FindKey(FindSection(section), key);
    if (line < 0)
        return std::nullopt;
    return LineValue(lines_[line]);
}

std::vector<std::pair<QString, QString>> IniDocument::Values(QStringView section) const {
    std::vector<std::pair<QString, QString>> values;
    const int s = FindSection(section);
    if (s < 0)
        return values;
    const Section &sec = sections_[s];
    auto take = [&](int index) {
        const Line &line = lines_[index];
        if (line.kind != Kind::Key || (line.flags & Erased))
            return;
        QString key = KeyName(line);
        if (FindKey(s, key) == index)
            values.emplace_back(std::move(key), LineValue(line));
    };
    for (int i = sec.first; i < sec.first + sec.count; ++i)
        take(i);
    for (int i : sec.added)
        take(i);
    return values;
}

bool IniDocument::HasSection(QStringView section) const {
    return FindSection(section) >= 0;
}

bool IniDocument::Write(QStringView section, QStringView key, const QString &value) {
    int s = FindSection(section);
    if (s < 0) {
        Section sec;
        sec.edit = int(edits_.size());
        edits_.push_back({section.toString(), QString()});
        sec.first = int(lines_.size());
        s = int(sections_.size());
        sections_.push_back(std::move(sec));
        Grow(sectionIndex_);
        const quint32 hash = HashFolded(CodePoints(section));
        Slot &slot = Probe(sectionIndex_, hash, [&](int other) {
            const Section &o = sections_[other];
            return o.edit >= 0 ? IniNameEqual()(edits_[o.edit].key, section)
                               : SameName(lines_[o.header], PartsOf(lines_[o.header]).nameStart,
                                          PartsOf(lines_[o.header]).nameLength, section);
        });
        if (slot.index >= 0)
            slot.index = s; // the name's sections were erased: this one takes their place
        else
            Insert(sectionIndex_, slot, hash, s);
        ++liveLines_;
    }
    const int existing = FindKey(s, key);
    if (existing >= 0) {
        Line &line = lines_[existing];
        if (line.flags & (Added | Changed)) {
            if (edits_[line.edit].value == value)
                return false;
            edits_[line.edit].value = value;
            return true;
        }
        if (LineValue(line) == value)
            return false;
        line.edit = int(edits_.size());
        edits_.push_back({QString(), value});
        line.flags |= Changed;
        return true;
    }
    Line line;
    line.kind = Kind::Key;
    line.flags = Added;
    line.section = s;
    line.edit = int(edits_.size());
    edits_.push_back({key.toString(), value});
    const int index = int(lines_.size());
    lines_.push_back(line);
    sections_[s].added.push_back(index);
    Grow(keyIndex_);
    const quint32 hash = KeyHash(HashFolded(CodePoints(key)), s);
    Slot &slot = Probe(keyIndex_, hash, [&](int other) {
        const Line &o = lines_[other];
        if (o.section != s)
            return false;
        if (o.flags & Added)
            return IniNameEqual()(edits_[o.edit].key, key);
        const Parts parts = PartsOf(o);
        return SameName(o, parts.nameStart, parts.nameLength, key);
    });
    if (slot.index >= 0)
        slot.index = index; // the key's lines were erased: this one takes their place
    else
        Insert(keyIndex_, slot, hash, index);
    ++liveLines_;
    return true;
}

bool IniDocument::EraseKey(QStringView section, QStringView key) {
    const int first = FindKey(FindSection(section), key);
    if (first < 0)
        return false;
    // Later lines of the same key would come to life once the first is gone: they go too.
    for (int index = first; index >= 0; index = lines_[index].nextDuplicate) {
        ++steps_;
        Line &line = lines_[index];
        if (line.flags & Erased)
            continue;
        line.flags |= Erased;
        ++erasedLines_;
        --liveLines_;
    }
    return true;
}

bool IniDocument::EraseSection(QStringView section) {
    const int first = FindSection(section);
    if (first < 0)
        return false;
    for (int index = first; index >= 0; index = sections_[index].nextDuplicate) {
        ++steps_;
        Section &sec = sections_[index];
        if (sec.erased)
            continue;
        sec.erased = true;
        qsizetype lines = 1;
        for (int i = sec.first; i < sec.first + sec.count; ++i)
            lines += (lines_[i].flags & Erased) ? 0 : 1;
        for (int i : sec.added)
            lines += (lines_[i].flags & Erased) ? 0 : 1;
        erasedLines_ += lines;
        liveLines_ -= lines;
    }
    return true;
}

QByteArray IniDocument::Serialize() const {
    // Unchanged lines are copied as they are, line end and encoding included; a line without
    // a line end (the file's last) gets the file's line end only when something follows it.
    QByteArray bytes;
    QString units;
    const QString lineEnd = QString::fromLatin1(lineEnd_);
    if (IsUtf16())
        units.reserve(text_.size() + text_.size() / 8 + 64);
    else
        bytes.reserve(raw_.size() + raw_.size() / 8 + 64);
    bool pendingEnd = false;
    auto flushEnd = [&] {
        if (!pendingEnd)
            return;
        pendingEnd = false;
        if (IsUtf16())
            units += lineEnd;
        else
            bytes += lineEnd_;
    };
    auto text = [&](const QString &s) {
        if (IsUtf16())
            units += s;
        else
            bytes += s.toUtf8();
    };
    auto original = [&](qsizetype start, qsizetype length) {
        if (IsUtf16())
            units.append(text_.constData() + start, length);
        else
            bytes.append(raw_.constData() + start, length);
    };
    auto emitLine = [&](const Line &line) {
        if (line.flags & Erased)
            return;
        flushEnd();
        if (line.flags & (Added | Changed)) {
            text(KeyName(line) + u'=' + edits_[line.edit].value);
            if (line.flags & Added) {
                pendingEnd = true;
                flushEnd();
            } else {
                original(line.start + line.length, line.endLength);
            }
        } else {
            original(line.start, line.length + line.endLength);
        }
        if (!(line.flags & Added) && line.endLength == 0)
            pendingEnd = true;
    };
    if (!IsUtf16() && raw_.startsWith("\xEF\xBB\xBF"))
        bytes += "\xEF\xBB\xBF";
    for (const Section &sec : sections_) {
        if (sec.erased)
            continue;
        if (sec.header >= 0) {
            emitLine(lines_[sec.header]);
        } else if (sec.edit >= 0) {
            flushEnd();
            text(u'[' + edits_[sec.edit].key + u']');
            pendingEnd = true;
            flushEnd();
        }
        for (int i = 0; i < sec.insertAt; ++i)
            emitLine(lines_[sec.first + i]);
        for (int i : sec.added)
            emitLine(lines_[i]);
        for (int i = sec.insertAt; i < sec.count; ++i)
            emitLine(lines_[sec.first + i]);
    }
    if (!IsUtf16())
        return bytes;

    QByteArray out(2 + units.size() * 2, Qt::Uninitialized);
    auto *p = reinterpret_cast<unsigned char *>(out.data());
    const bool little = utf16_ == 1;
    p[0] = little ? 0xFF : 0xFE;
    p[1] = little ? 0xFE : 0xFF;
    const char16_t *u = reinterpret_cast<const char16_t *>(units.constData());
    for (qsizetype i = 0; i < units.size(); ++i) {
        p[2 + 2 * i] = little ? quint8(u[i]) : quint8(u[i] >> 8);
        p[3 + 2 * i] = little ? quint8(u[i] >> 8) : quint8(u[i]);
    }
    return out + tail_;
}
