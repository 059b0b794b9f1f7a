#include "pages/PageShift.h"

#include "settings/NewIniFile.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace {

// Button names carry at most five digits: no page may number a button above this.
constexpr int kMaxButtonNumber = 99999;

const QString kTabs = QStringLiteral("Tabs");
const QString kPages = QStringLiteral("Pages");
const QString kCount = QStringLiteral("Count");

using Records = std::vector<ButtonRecord>;

QString PageTabKey(int page) {
    return QStringLiteral("PageTab") + QString::number(page);
}

int MaxPages(int perPage) {
    return perPage >= 1 ? kMaxButtonNumber / perPage : 0;
}

int FirstButton(int page, int perPage) {
    return (page - 1) * perPage + 1;
}

Records ReadRange(const TNewIniFile &ini, int first, int last) {
    Records records;
    records.reserve(size_t(std::max(0, last - first + 1)));
    for (int n = first; n <= last; ++n)
        records.push_back(ReadButtonRecord(ini, n));
    return records;
}

// Puts record on button number, whose record is old (nullptr when not known), so that nothing
// of the old record survives: each of the ten keys is written or, where the new record has no
// value, erased. This is erasing the target before writing it, done key by key: the keys keep
// their places in the file and a shift costs half the changes. An unchanged record is left
// as it is.
void Replace(TNewIniFile &ini, int number, const ButtonRecord &record, const ButtonRecord *old) {
    if (old && *old == record)
        return;
    const QString values[] = {
        record.Programs,
        record.Parameters,
        record.Icons,
        record.IconSelection > 0 ? QString::number(record.IconSelection) : QString(),
        record.Names,
        record.Shrink,
        record.Select,
        record.Working,
        record.SoundSelect,
        record.SoundLaunch};
    const QStringList &sections = ButtonRecordSections();
    const QString key = ButtonKey(number);
    for (qsizetype i = 0; i < sections.size(); ++i) {
        if (values[i].isEmpty())
            ini.EraseKey(sections[i], key);
        else
            ini.WriteString(sections[i], key, values[i]);
    }
}

// Page `page` beyond the page count is about to become a page. If it holds kept records or a
// kept name, it and the kept pages after it move up by one page, up to the first free one, so
// that nothing kept is overwritten and they keep following the last page. False when that
// would number a button above the limit.
bool MakeRoomBeyond(TNewIniFile &ini, int page, int perPage) {
    std::vector<Records> kept; // pages page, page + 1, ... up to the first free one
    for (int q = page;; ++q) {
        if (q > MaxPages(perPage))
            return false;
        Records records = ReadRange(ini, FirstButton(q, perPage), q * perPage);
        const bool free = !ini.ValueExists(kTabs, PageTabKey(q)) &&
                          std::all_of(records.begin(), records.end(),
                                      [](const ButtonRecord &r) { return r == ButtonRecord(); });
        if (free)
            break;
        kept.push_back(std::move(records));
    }
    for (int i = int(kept.size()) - 1; i >= 0; --i) {
        const int from = page + i;
        const QString fromKey = PageTabKey(from);
        if (ini.ValueExists(kTabs, fromKey))
            ini.WriteString(kTabs, PageTabKey(from + 1), ini.ReadString(kTabs, fromKey, QString()));
        else
            ini.EraseKey(kTabs, PageTabKey(from + 1));
        const int first = FirstButton(from + 1, perPage);
        for (int k = 0; k < perPage; ++k)
            Replace(ini, first + k, kept[size_t(i)][size_t(k)], nullptr);
    }
    return true;
}

} // namespace

int StoredPageCount(const TNewIniFile &ini, int buttonsPerPage) {
    if (buttonsPerPage < 1)
        return 0;
    return std::clamp(ini.ReadInteger(kPages, kCount, 20), 0, MaxPages(buttonsPerPage));
}

MovedPage DeletePage(TNewIniFile &ini, int page, int buttonsPerPage, bool take) {
    const int n = buttonsPerPage;
    if (n < 1 || n > kMaxButtonNumber)
        return {};
    SettingsTransaction transaction(ini);
    const int pages = StoredPageCount(ini, n);
    if (page < 1 || page > pages)
        return {};
    // Written first: from the first change on, the transaction's reads come from its copy in
    // memory instead of checking the file on disk each time.
    ini.WriteInteger(kPages, kCount, pages - 1);

    MovedPage taken;
    if (take)
        taken.name =
            ini.ReadString(kTabs, PageTabKey(page), QStringLiteral("Page") + QString::number(page));
    for (int q = page; q < pages; ++q)
        ini.WriteString(kTabs, PageTabKey(q),
                        ini.ReadString(kTabs, PageTabKey(q + 1), QString::number(q)));
    ini.EraseKey(kTabs, PageTabKey(pages));

    // The last page ends empty: the records beyond the page count stay where they are.
    const int first = FirstButton(page, n);
    const int last = pages * n;
    const Records old = ReadRange(ini, first, last);
    for (int number = first; number <= last; ++number) {
        const int source = number + n;
        const ButtonRecord record = source <= last ? old[size_t(source - first)] : ButtonRecord();
        Replace(ini, number, record, &old[size_t(number - first)]);
    }
    if (take)
        taken.records = QList<ButtonRecord>(old.begin(), old.begin() + n);
    transaction.Commit();
    return taken;
}

bool InsertPage(TNewIniFile &ini, int position, int buttonsPerPage, const MovedPage *moved) {
    const int n = buttonsPerPage;
    if (n < 1 || n > kMaxButtonNumber)
        return false;
    SettingsTransaction transaction(ini);
    const int pages = StoredPageCount(ini, n);
    if (pages + 1 > MaxPages(n))
        return false;
    const int at = std::clamp(position, 1, pages + 1);
    ini.WriteInteger(kPages, kCount, pages + 1); // first, as in DeletePage
    if (!MakeRoomBeyond(ini, pages + 1, n))
        return false; // the count write goes with the transaction

    for (int q = pages; q >= at; --q)
        ini.WriteString(kTabs, PageTabKey(q + 1),
                        ini.ReadString(kTabs, PageTabKey(q), QString::number(q)));

    const int first = FirstButton(at, n);
    const int last = pages * n; // the last record that moves
    const Records old = ReadRange(ini, first, last);
    for (int number = first; number <= last + n; ++number) {
        ButtonRecord record;
        if (number >= first + n)
            record = old[size_t(number - n - first)];
        else if (moved && number - first < moved->records.size())
            record = moved->records[number - first];
        Replace(ini, number, record, number <= last ? &old[size_t(number - first)] : nullptr);
    }
    ini.WriteString(kTabs, PageTabKey(at),
                    moved ? moved->name : QStringLiteral("Page ") + QString::number(at));
    transaction.Commit();
    return true;
}

int PageCountFromText(const QString &text, int buttonsPerPage) {
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }
    qint64 value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i)
        value = std::min<qint64>(value * 10 + (text[i].unicode() - u'0'),
                                 std::numeric_limits<int>::max());
    const int count = !negative && value > 1 ? int(value) : 2;
    return std::min(count, MaxPages(std::max(buttonsPerPage, 1)));
}

void SetPageCount(TNewIniFile &ini, int count) {
    ini.WriteInteger(kPages, kCount, count);
}
