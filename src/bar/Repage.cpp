#include "bar/Repage.h"

#include "settings/ButtonRecord.h"
#include "settings/NewIniFile.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {

// Button names carry at most five digits: no layout may number a button above this.
constexpr int kMaxButtonNumber = 99999;

const QString kTabs = QStringLiteral("Tabs");
const QString kPages = QStringLiteral("Pages");
const QString kCount = QStringLiteral("Count");

QString PageTabKey(int page) {
    return QStringLiteral("PageTab") + QString::number(page);
}

// The records 1 .. pages * old count, read once: the layout is worked out on these in memory.
using Records = std::vector<ButtonRecord>;

// A layout of the numbers 1 .. size(): from[n - 1] is the number whose record lands on n,
// 0 for an empty button.
using Sources = std::vector<int>;

bool Fits(qsizetype pages, int perPage) {
    return pages >= 1 && perPage >= 1 && perPage <= kMaxButtonNumber &&
           pages <= kMaxButtonNumber / perPage;
}

Records ReadRecords(const TNewIniFile &ini, int last) {
    Records records;
    records.reserve(size_t(last));
    for (int n = 1; n <= last; ++n)
        records.push_back(ReadButtonRecord(ini, n));
    return records;
}

bool HasRecord(const TNewIniFile &ini, int number) {
    const QString key = ButtonKey(number);
    const QStringList &sections = ButtonRecordSections();
    return std::any_of(sections.begin(), sections.end(),
                       [&](const QString &section) { return ini.ValueExists(section, key); });
}

// For every page (from 1), how many pages directly before it carry its name.
std::vector<int> SameNameRuns(const QStringList &tabNames) {
    std::vector<int> run(size_t(tabNames.size()) + 1, 0);
    for (qsizetype k = 2; k <= tabNames.size(); ++k) {
        if (tabNames[k - 1] == tabNames[k - 2])
            run[k] = run[k - 1] + 1;
    }
    return run;
}

// Slot s of page k goes to (k - 1) * newBlock + s - m * (newBlock - oldBlock), m being the
// pages before it with its name: a page standing alone starts a fresh block, the pages of a
// run follow each other from the start of the run's first block.
Sources Spread(const QStringList &tabNames, int newBlock, int oldBlock) {
    const int pages = int(tabNames.size());
    const int grow = newBlock - oldBlock;
    const std::vector<int> run = SameNameRuns(tabNames);
    Sources from(size_t(pages) * newBlock, 0);
    for (int k = 1; k <= pages; ++k) {
        for (int s = 1; s <= oldBlock; ++s)
            from[(k - 1) * newBlock + s - run[k] * grow - 1] = (k - 1) * oldBlock + s;
    }
    return from;
}

struct Kept {
    std::vector<int> pages; // positions in the spread layout, rising
    bool anyProgram = false;
};

// The pages of the spread layout that hold a program. The last page is never dropped: with
// every page empty the first one stays.
Kept KeepPages(const Sources &from, const Records &records, int perPage) {
    const int pages = int(from.size()) / perPage;
    Kept kept;
    for (int p = 1; p <= pages; ++p) {
        const auto first = from.begin() + (p - 1) * perPage;
        if (std::any_of(first, first + perPage,
                        [&](int n) { return n > 0 && records[n - 1].Occupied(); }))
            kept.pages.push_back(p);
    }
    kept.anyProgram = !kept.pages.empty();
    if (!kept.anyProgram)
        kept.pages.push_back(1);
    return kept;
}

Sources Compact(const Sources &from, const std::vector<int> &pages, int perPage) {
    Sources result;
    result.reserve(pages.size() * perPage);
    for (int p : pages) {
        const auto first = from.begin() + (p - 1) * perPage;
        result.insert(result.end(), first, first + perPage);
    }
    return result;
}

// Writes the layout over the file, whose records 1 .. records.size() it was made from. Only
// numbers whose record changes are touched; a target is erased before it is written, so
// nothing of an old record survives under a new one.
void ApplyLayout(TNewIniFile &ini, const Records &records, const Sources &from) {
    const int liveEnd = int(records.size());
    const int newEnd = int(from.size());

    // Records kept beyond the page count must not join the new pages. Where the new pages reach
    // them, they move up by the growth of the numbered range, so the first follows the last new
    // page and their spacing is kept; a kept record in the way of one of them moves too.
    std::vector<int> beyond;
    const int shift = newEnd - liveEnd;
    if (shift > 0) {
        int reach = newEnd;
        for (int n = liveEnd + 1; n <= reach; ++n) {
            if (HasRecord(ini, n)) {
                beyond.push_back(n);
                reach = std::max(reach, n + shift);
            }
        }
    }
    Records beyondRecords;
    for (int n : beyond)
        beyondRecords.push_back(ReadButtonRecord(ini, n));

    for (int n = 1; n <= newEnd; ++n) {
        const int source = from[n - 1];
        if (source == n)
            continue;
        EraseButtonRecord(ini, n);
        if (source > 0)
            WriteButtonRecord(ini, n, records[source - 1]);
    }
    for (int n = newEnd + 1; n <= liveEnd; ++n)
        EraseButtonRecord(ini, n);
    for (int n : beyond) {
        if (n > newEnd)
            EraseButtonRecord(ini, n);
    }
    for (size_t i = 0; i < beyond.size(); ++i) {
        EraseButtonRecord(ini, beyond[i] + shift);
        WriteButtonRecord(ini, beyond[i] + shift, beyondRecords[i]);
    }
}

bool AddIn(TNewIniFile &ini, const QStringList &tabNames, int newBlock, int oldBlock) {
    if (oldBlock < 1 || newBlock <= oldBlock || !Fits(tabNames.size(), newBlock))
        return false;
    const Records records = ReadRecords(ini, int(tabNames.size()) * oldBlock);
    ApplyLayout(ini, records, Spread(tabNames, newBlock, oldBlock));
    return true;
}

bool ExpandIn(TNewIniFile &ini, const QStringList &tabNames, int oldCount, int newCount) {
    if (oldCount < 1 || newCount <= oldCount || !Fits(tabNames.size(), newCount))
        return false;
    const int pages = int(tabNames.size());
    const Records records = ReadRecords(ini, pages * oldCount);
    const Sources spread = Spread(tabNames, newCount, oldCount);
    const Kept kept = KeepPages(spread, records, newCount);
    ApplyLayout(ini, records, Compact(spread, kept.pages, newCount));

    const int count = int(kept.pages.size());
    if (count == pages)
        return true;
    // Each dropped page moved the names after it up by one; a missing name took the number of
    // the position it first moved to. Names that did not move are left as they are.
    QStringList names;
    for (int j = 1; j <= count; ++j) {
        const int p = kept.pages[j - 1];
        names << (p == j ? QString()
                         : ini.ReadString(kTabs, PageTabKey(p), QString::number(p - 1)));
    }
    for (int j = 1; j <= count; ++j) {
        if (kept.pages[j - 1] != j)
            ini.WriteString(kTabs, PageTabKey(j), names[j - 1]);
    }
    for (int j = count + 1; j <= pages; ++j)
        ini.EraseKey(kTabs, PageTabKey(j));
    ini.WriteInteger(kPages, kCount, count);
    return true;
}

bool LessIn(TNewIniFile &ini, const QStringList &tabNames, int oldCount, int newCount) {
    if (newCount < 1 || oldCount <= newCount || oldCount > kMaxButtonNumber)
        return false;
    // New pages one old page can need. RoundUp's tolerance could leave a block too short for
    // odd counts; the block must hold a whole old page.
    int perOld = RoundUp(double(oldCount) / newCount);
    while (perOld * newCount < oldCount)
        ++perOld;
    const int block = perOld * newCount;
    if (!Fits(tabNames.size(), block))
        return false;
    const int pages = int(tabNames.size());
    const Records records = ReadRecords(ini, pages * oldCount);
    // Every old page owns perOld new pages, of which those without a program are dropped.
    const Sources spread = Spread(tabNames, block, oldCount);
    const Kept kept = KeepPages(spread, records, newCount);
    ApplyLayout(ini, records, Compact(spread, kept.pages, newCount));

    if (kept.anyProgram) {
        for (size_t j = 0; j < kept.pages.size(); ++j)
            ini.WriteString(kTabs, PageTabKey(int(j) + 1), tabNames[(kept.pages[j] - 1) / perOld]);
    }
    ini.WriteInteger(kPages, kCount, int(kept.pages.size()));
    return true;
}

} // namespace

int RoundUp(double x) {
    if (std::isnan(x))
        return 0;
    const double whole = std::trunc(x);
    if (whole >= double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (whole <= double(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return int(whole) + (x - whole > 0.001 ? 1 : 0);
}

void AddButtons(TNewIniFile &ini, const QStringList &tabNames, int newBlock, int oldBlock) {
    SettingsTransaction transaction(ini);
    if (AddIn(ini, tabNames, newBlock, oldBlock))
        transaction.Commit();
}

void ExpandButtons(TNewIniFile &ini, const QStringList &tabNames, int oldCount, int newCount) {
    SettingsTransaction transaction(ini);
    if (ExpandIn(ini, tabNames, oldCount, newCount))
        transaction.Commit();
}

void LessButtons(TNewIniFile &ini, const QStringList &tabNames, int oldCount, int newCount) {
    SettingsTransaction transaction(ini);
    if (LessIn(ini, tabNames, oldCount, newCount))
        transaction.Commit();
}

void RepageButtons(TNewIniFile &ini, const QStringList &tabNames, int oldCount, int newCount) {
    if (oldCount == newCount)
        return;
    SettingsTransaction transaction(ini);
    // Written first: from the first change on, the transaction's reads come from its copy in
    // memory instead of checking the file on disk for each of the thousands of reads.
    ini.WriteInteger(QStringLiteral("Location"), QStringLiteral("ButtonCount"), newCount);
    const bool repaged = oldCount < newCount ? ExpandIn(ini, tabNames, oldCount, newCount)
                                             : LessIn(ini, tabNames, oldCount, newCount);
    if (repaged)
        transaction.Commit(); // otherwise the count write is dropped with the transaction
}
