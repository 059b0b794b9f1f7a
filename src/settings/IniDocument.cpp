#include "IniDocument.h"

#include <QChar>
#include <cstring>

namespace {

bool IsBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

// Trims blanks (space, tab) off both ends of [start, start + length) within text.
void TrimBlanks(QStringView text, qsizetype &start, qsizetype &length) {
    while (length > 0 && IsBlank(text[start])) {
        ++start;
        --length;
    }
    while (length > 0 && IsBlank(text[start + length - 1]))
        --length;
}

// Folds one code point at position i (advancing past a surrogate pair) for case-insensitive
// matching; ASCII, by far the common case, without a table lookup.
char32_t FoldAt(QStringView s, qsizetype &i) {
    char32_t c = s[i].unicode();
    ++i;
    if (c < 0x80)
        return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    if (QChar::isHighSurrogate(c) && i < s.size() && s[i].isLowSurrogate()) {
        c = QChar::surrogateToUcs4(char16_t(c), s[i].unicode());
        ++i;
    }
    return QChar::toCaseFolded(c);
}

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

} // namespace

QStringView IniTrimBlanks(QStringView text) {
    qsizetype start = 0, length = text.size();
    TrimBlanks(text, start, length);
    return text.mid(start, length);
}

size_t IniNameHash::operator()(QStringView name) const {
    size_t h = 1469598103934665603ull;
    const char16_t *d = name.utf16();
    for (qsizetype i = 0; i < name.size();) {
        char32_t c = d[i];
        if (c < 0x80) {
            c |= unsigned(c - u'A') < 26u ? 0x20 : 0;
            ++i;
        } else {
            c = FoldAt(name, i);
        }
        h = (h ^ c) * 1099511628211ull;
    }
    return h;
}

bool IniNameEqual::operator()(QStringView a, QStringView b) const noexcept {
    // Nearly always ASCII names of equal length: compared in place until a non-ASCII character.
    if (a.size() == b.size()) {
        const char16_t *x = a.utf16(), *y = b.utf16();
        qsizetype i = 0;
        for (; i < a.size(); ++i) {
            char16_t c = x[i], d = y[i];
            if (c >= 0x80 || d >= 0x80)
                break;
            c |= unsigned(c - u'A') < 26u ? 0x20 : 0;
            d |= unsigned(d - u'A') < 26u ? 0x20 : 0;
            if (c != d)
                return false;
        }
        if (i == a.size())
            return true;
    }
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (FoldAt(a, i) != FoldAt(b, j))
            return false;
    }
    return i == a.size() && j == b.size();
}

QString DecodeIniText(QByteArrayView bytes) {
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    if (IsValidUtf8(p, bytes.size()))
        return QString::fromUtf8(bytes);
    QString text(bytes.size(), Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(text.data());
    for (qsizetype i = 0; i < bytes.size(); ++i)
        out[i] = (p[i] >= 0x80 && p[i] < 0xA0) ? kCp1252High[p[i] - 0x80] : char16_t(p[i]);
    return text;
}

IniDocument::IniDocument() {
    sections_.emplace_back();
}

IniDocument::IniDocument(const QByteArray &bytes) {
    sections_.emplace_back();
    Parse(bytes);
}

void IniDocument::Parse(const QByteArray &bytes) {
    QByteArrayView body(bytes);
    if (body.startsWith("\xEF\xBB\xBF")) {
        bom_ = true;
        body = body.sliced(3);
    }
    text_ = DecodeIniText(body);

    // The first line end found decides how the file's lines end when it is written.
    const QStringView text(text_);
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n') {
            break;
        }
        if (text[i] == u'\r') {
            lineEnd_ = (i + 1 < text.size() && text[i + 1] == u'\n') ? QStringLiteral("\r\n")
                                                                     : QStringLiteral("\r");
            break;
        }
    }

    qsizetype start = 0;
    const qsizetype n = text.size();
    const char16_t *d = text.utf16();
    while (start < n) {
        qsizetype end = start;
        while (end < n && d[end] != u'\n' && d[end] != u'\r')
            ++end;
        AddLine(start, end - start);
        if (end < n && d[end] == u'\r' && end + 1 < n && d[end + 1] == u'\n')
            ++end;
        start = end + 1;
    }

    for (Section &section : sections_) {
        section.originalLines = int(section.lines.size());
        int lastKey = -1, lastFilled = -1;
        for (int i = 0; i < section.originalLines; ++i) {
            const Line &line = section.lines[i];
            if (line.kind == Kind::Key)
                lastKey = i;
            if (!IniTrimBlanks(Text(line.start, line.length)).isEmpty())
                lastFilled = i;
        }
        section.insertAt = lastKey >= 0 ? lastKey + 1 : lastFilled + 1;
    }
}

void IniDocument::AddLine(qsizetype start, qsizetype length) {
    ++liveLines_;
    qsizetype s = start, len = length;
    TrimBlanks(text_, s, len);
    if (len > 0 && text_[s] == u'[') {
        Section section;
        section.hasHeader = true;
        section.headerStart = start;
        section.headerLength = length;
        section.nameStart = s + 1;
        qsizetype close = QStringView(text_).mid(s + 1, len - 1).indexOf(u']');
        section.nameLength = close >= 0 ? close : len - 1;
        TrimBlanks(text_, section.nameStart, section.nameLength);
        const int index = int(sections_.size());
        sections_.push_back(std::move(section));
        const QStringView name = SectionName(sections_.back());
        auto [it, inserted] = sectionIndex_.try_emplace(name, index);
        if (!inserted) {
            int last = it->second;
            while (sections_[last].nextDuplicate >= 0)
                last = sections_[last].nextDuplicate;
            sections_[last].nextDuplicate = index;
        }
        return;
    }

    Section &section = sections_.back();
    Line line;
    line.start = start;
    line.length = length;
    const qsizetype eq =
        len > 0 && text_[s] != u';' ? QStringView(text_).mid(s, len).indexOf(u'=') : -1;
    if (eq > 0 && section.hasHeader) {
        line.keyStart = s;
        line.keyLength = eq;
        TrimBlanks(text_, line.keyStart, line.keyLength);
        line.valueStart = s + eq + 1;
        line.valueLength = len - eq - 1;
        TrimBlanks(text_, line.valueStart, line.valueLength);
        if (line.keyLength > 0)
            line.kind = Kind::Key;
    }
    const int index = int(section.lines.size());
    section.lines.push_back(line);
    if (line.kind == Kind::Key) {
        auto [it, inserted] = section.keys.try_emplace(KeyName(section.lines.back()), index);
        if (!inserted) {
            int last = it->second;
            while (section.lines[last].nextDuplicate >= 0)
                last = section.lines[last].nextDuplicate;
            section.lines[last].nextDuplicate = index;
        }
    }
}

QStringView IniDocument::LineValue(const Line &line) const {
    if (line.added || line.changed)
        return IniTrimBlanks(line.value);
    return Text(line.valueStart, line.valueLength);
}

std::optional<QStringView> IniDocument::Value(QStringView section, QStringView key) const {
    auto s = sectionIndex_.find(section);
    if (s == sectionIndex_.end())
        return std::nullopt;
    const Section &sec = sections_[s->second];
    auto k = sec.keys.find(key);
    if (k == sec.keys.end())
        return std::nullopt;
    return LineValue(sec.lines[k->second]);
}

std::vector<std::pair<QStringView, QStringView>> IniDocument::Values(QStringView section) const {
    std::vector<std::pair<QStringView, QStringView>> values;
    auto s = sectionIndex_.find(section);
    if (s == sectionIndex_.end())
        return values;
    const Section &sec = sections_[s->second];
    values.reserve(sec.keys.size());
    for (const auto &[key, line] : sec.keys)
        values.emplace_back(key, LineValue(sec.lines[line]));
    return values;
}

bool IniDocument::HasSection(QStringView section) const {
    return sectionIndex_.find(section) != sectionIndex_.end();
}

bool IniDocument::Write(QStringView section, QStringView key, const QString &value) {
    auto s = sectionIndex_.find(section);
    if (s == sectionIndex_.end()) {
        Section sec;
        sec.hasHeader = true;
        sec.added = true;
        sec.name = section.toString();
        const int index = int(sections_.size());
        sections_.push_back(std::move(sec));
        sectionIndex_.emplace(QStringView(sections_.back().name), index);
        ++liveLines_;
        s = sectionIndex_.find(section);
    }
    Section &sec = sections_[s->second];
    auto k = sec.keys.find(key);
    if (k != sec.keys.end()) {
        Line &line = sec.lines[k->second];
        if ((line.added || line.changed) ? line.value == value : LineValue(line) == value)
            return false;
        line.value = value;
        line.changed = true;
        return true;
    }
    Line line;
    line.kind = Kind::Key;
    line.added = true;
    line.key = key.toString();
    line.value = value;
    const int index = int(sec.lines.size());
    sec.lines.push_back(std::move(line));
    sec.keys.emplace(QStringView(sec.lines.back().key), index);
    ++liveLines_;
    return true;
}

bool IniDocument::EraseKey(QStringView section, QStringView key) {
    auto s = sectionIndex_.find(section);
    if (s == sectionIndex_.end())
        return false;
    Section &sec = sections_[s->second];
    auto k = sec.keys.find(key);
    if (k == sec.keys.end())
        return false;
    int index = k->second;
    sec.keys.erase(k);
    // Later lines of the same key would come to life once the first is gone: they go too.
    for (; index >= 0; index = sec.lines[index].nextDuplicate) {
        sec.lines[index].erased = true;
        ++erasedLines_;
        --liveLines_;
    }
    return true;
}

bool IniDocument::EraseSection(QStringView section) {
    auto s = sectionIndex_.find(section);
    if (s == sectionIndex_.end())
        return false;
    int index = s->second;
    sectionIndex_.erase(s);
    for (; index >= 0; index = sections_[index].nextDuplicate) {
        Section &sec = sections_[index];
        sec.erased = true;
        sec.keys.clear();
        qsizetype lines = 1;
        for (const Line &line : sec.lines)
            lines += line.erased ? 0 : 1;
        erasedLines_ += lines;
        liveLines_ -= lines;
    }
    return true;
}

QByteArray IniDocument::Serialize() const {
    QString out;
    out.reserve(text_.size() + text_.size() / 8 + 64);
    auto emitLine = [&](const Line &line) {
        if (line.erased)
            return;
        if (line.added || line.changed) {
            out += KeyName(line);
            out += u'=';
            out += line.value;
        } else {
            out += Text(line.start, line.length);
        }
        out += lineEnd_;
    };
    for (const Section &sec : sections_) {
        if (sec.erased)
            continue;
        if (sec.hasHeader) {
            if (sec.added) {
                out += u'[';
                out += sec.name;
                out += u']';
            } else {
                out += Text(sec.headerStart, sec.headerLength);
            }
            out += lineEnd_;
        }
        for (int i = 0; i < sec.insertAt; ++i)
            emitLine(sec.lines[i]);
        for (size_t i = sec.originalLines; i < sec.lines.size(); ++i)
            emitLine(sec.lines[i]);
        for (int i = sec.insertAt; i < sec.originalLines; ++i)
            emitLine(sec.lines[i]);
    }
    QByteArray bytes = out.toUtf8();
    if (bom_)
        bytes.prepend("\xEF\xBB\xBF");
    return bytes;
}
