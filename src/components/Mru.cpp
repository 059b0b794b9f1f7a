#include "components/Mru.h"

#include "commandline/CommandLine.h"
#include "settings/IniDocument.h"
#include "settings/NewIniFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QWidget>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>

namespace {

const QString kCountKey = QStringLiteral("Count");

// Menu item names must differ between lists, so each list takes a number from the millisecond
// clock, bumped past the last one taken instead of waiting for the clock to move on.
quint64 NextUniqueNumber() {
    static std::atomic<quint64> last{0};
    const quint64 tick = quint64(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
    quint64 previous = last.load();
    quint64 next;
    do {
        next = std::max(tick, previous + 1);
    } while (!last.compare_exchange_weak(previous, next));
    return next;
}

bool IsExistingFile(const QString &text) {
    const QFileInfo info(UnquotePath(text));
    return info.exists() && !info.isDir();
}

// The number a key name stands for when it is exactly how that number is written (the file
// matches key names as text, so "01" is not key 1); 0 otherwise.
int KeyNumber(QStringView name) {
    if (name.isEmpty() || name.size() > 10 || name[0] < u'1' || name[0] > u'9')
        return 0;
    qint64 number = 0;
    for (QChar c : name) {
        if (c < u'0' || c > u'9')
            return 0;
        number = number * 10 + (c.unicode() - u'0');
    }
    return number <= INT_MAX ? int(number) : 0;
}

// The numbered keys 1..count that the file on disk holds in the first section of that name,
// ascending. "Count" is only what the file claims: a hand-edited 10000000 must not cost ten
// million reads, so the keys worth reading come from the section itself. Lines are taken as
// the settings file takes them: blanks trimmed, ";" comments, the first "=" ending the key.
std::vector<int> NumberedKeysOnDisk(const QString &path, const QString &section, int count) {
    std::vector<int> keys;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return keys;
    QByteArray bytes = file.readAll();
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    const QString text = DecodeIniText(bytes);
    const QStringView sectionName = IniTrimBlanks(section);
    const IniNameEqual sameName;
    bool inSection = false;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = start;
        while (end < text.size() && text[end] != u'\n' && text[end] != u'\r')
            ++end;
        const QStringView line = IniTrimBlanks(QStringView(text).mid(start, end - start));
        if (end + 1 < text.size() && text[end] == u'\r' && text[end + 1] == u'\n')
            ++end;
        start = end + 1;

        if (line.startsWith(u'[')) {
            if (inSection)
                break; // only the first section of a name counts
            qsizetype close = line.indexOf(u']', 1);
            if (close < 0)
                close = line.size();
            inSection = sameName(IniTrimBlanks(line.mid(1, close - 1)), sectionName);
            continue;
        }
        if (!inSection || line.startsWith(u';'))
            continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0)
            continue;
        const int number = KeyNumber(IniTrimBlanks(line.first(eq)));
        if (number > 0 && number <= count)
            keys.push_back(number);
    }
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    return keys;
}

} // namespace

TMruListError::TMruListError(const QString &message)
    : std::runtime_error(message.toStdString()), message_(message) {}

const char *const TMruList::DesignOnlyMessage = "Operation ist nur im Design-Modus möglich!";
const char *const TMruList::InvalidAnchorMessage = "Invalid Anchor!";

TMruList::TMruOptions TMruList::DefaultOptions() {
    return mrLineBefore | mrCheckFileExist | mrShowNumber | mrTopSelected | mrAutoSave | mrAutoLoad;
}

TMruList::TMruList(QObject *parent)
    : QObject(parent), options_(DefaultOptions()), uniqueNumber_(NextUniqueNumber()) {}

TMruList::~TMruList() {
    if (options_ & mrAutoSave) {
        try {
            SaveToIni();
        } catch (const std::exception &error) {
            qWarning("Recently launched list not saved: %s", error.what());
        }
    }
    RemoveMenuItems();
}

// ---- properties ----

void TMruList::RequireConfiguration() const {
    if (!loading_)
        throw TMruListError(QString::fromUtf8(DesignOnlyMessage));
}

void TMruList::setMaxShowCount(int value) {
    RequireConfiguration();
    maxShowCount_ = value;
}

void TMruList::setAnchor(QAction *value) {
    RequireConfiguration();
    anchor_ = value;
}

void TMruList::setOptions(TMruOptions value) {
    RequireConfiguration();
    options_ = value;
}

void TMruList::setStyle(TMruStyle value) {
    RequireConfiguration();
    style_ = value;
}

void TMruList::setPosition(TMruPosition value) {
    RequireConfiguration();
    position_ = value;
}

// Start-up sets the file once more after the pages were rebuilt, and expects the list to be
// read again from the (then emptied) section: so an unchanged value reloads too.
void TMruList::setIniFile(const QString &value) {
    iniFile_ = value;
    AutoLoad();
}

void TMruList::setIniSection(const QString &value) {
    iniSection_ = value;
    AutoLoad();
}

void TMruList::AutoLoad() {
    if (!loading_ && (options_ & mrAutoLoad))
        LoadFromIni(); // rebuilds the menu
}

QString TMruList::EffectiveIniFile() const {
    if (!iniFile_.isEmpty())
        return iniFile_;
    if (!QCoreApplication::instance())
        return QString();
    const QFileInfo program(QCoreApplication::applicationFilePath());
    QString name = program.fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot > 0)
        name.truncate(dot);
    return program.absolutePath() + u'/' + name + QStringLiteral(".INI");
}

// ---- configuration and menu items ----

void TMruList::Loading() {
    loading_ = true;
}

namespace {
QMenu *MenuHolding(QAction *action) {
    for (QObject *holder : action->associatedObjects()) {
        if (auto *menu = qobject_cast<QMenu *>(holder))
            return menu;
    }
    return nullptr;
}
} // namespace

bool TMruList::AnchorIsValid() const {
    return anchor_ && anchor_->parent() &&
           (position_ == mpNewMenu || MenuHolding(anchor_) != nullptr);
}

void TMruList::Loaded() {
    loading_ = false;
    RemoveMenuItems();
    if (!AnchorIsValid())
        throw TMruListError(QString::fromUtf8(InvalidAnchorMessage));

    // Everything goes in front of one action of the menu, in order: the line before, the
    // entry items, the line after.
    QMenu *menu = nullptr;
    QAction *before = nullptr;
    if (position_ == mpNewMenu) {
        menu = anchor_->menu<QMenu *>();
        if (!menu) {
            ownSubmenu_ = new QMenu(qobject_cast<QWidget *>(anchor_->parent()));
            anchor_->setMenu(ownSubmenu_.data());
            menu = ownSubmenu_;
        }
        before = menu->actions().value(0, nullptr);
    } else {
        menu = MenuHolding(anchor_);
        const QList<QAction *> actions = menu->actions();
        before = position_ == mpBefore ? anchor_.data()
                                       : actions.value(actions.indexOf(anchor_) + 1, nullptr);
    }

    QObject *owner = anchor_->parent();
    const QString prefix = QStringLiteral("_") + QString::number(uniqueNumber_);
    auto makeLine = [&](const QString &suffix) {
        auto *line = new QAction(owner);
        line->setObjectName(prefix + suffix);
        line->setSeparator(true);
        line->setVisible(false);
        return line;
    };
    if (options_ & mrLineBefore) {
        lineBefore_ = makeLine(QStringLiteral("A"));
        menu->insertAction(before, lineBefore_);
    }
    for (int i = 0; i < maxShowCount_; ++i) {
        auto *item = new QAction(owner);
        item->setObjectName(prefix + QString::number(i));
        item->setVisible(false);
        connect(item, &QAction::triggered, this, [this, item] { ItemClick(item); });
        menu->insertAction(before, item);
        items_.emplace_back(item);
    }
    itemEntries_.assign(items_.size(), -1);
    if (options_ & mrLineAfter) {
        lineAfter_ = makeLine(QStringLiteral("P"));
        menu->insertAction(before, lineAfter_);
    }
    menuMade_ = true;

    if (options_ & mrAutoLoad)
        LoadFromIni(); // rebuilds the menu
    else
        RebuildMenu();
}

void TMruList::RemoveMenuItems() {
    for (QPointer<QAction> &item : items_)
        delete item.data();
    items_.clear();
    itemEntries_.clear();
    delete lineBefore_.data();
    delete lineAfter_.data();
    if (ownSubmenu_) {
        if (anchor_ && anchor_->menu<QMenu *>() == ownSubmenu_)
            anchor_->setMenu(static_cast<QMenu *>(nullptr));
        delete ownSubmenu_.data();
    }
    menuMade_ = false;
}

QList<QAction *> TMruList::MenuItems() const {
    QList<QAction *> result;
    for (const QPointer<QAction> &item : items_)
        result.append(item.data());
    return result;
}

bool TMruList::ShownAsFile(const QString &text) const {
    return !(options_ & mrCheckFileExist) || IsExistingFile(text);
}

QString TMruList::Caption(const QString &text) const {
    if (options_ & mrShortFileNames)
        return QFileInfo(UnquotePath(text)).fileName();
    return text;
}

void TMruList::RebuildMenu() {
    if (!menuMade_ || !anchor_)
        return;
    for (QPointer<QAction> &item : items_) {
        if (item) {
            item->setVisible(false);
            item->setChecked(false);
            item->setCheckable(false);
        }
    }
    std::fill(itemEntries_.begin(), itemEntries_.end(), -1);
    if (lineBefore_)
        lineBefore_->setVisible(false);
    if (lineAfter_)
        lineAfter_->setVisible(false);

    std::size_t filled = 0;
    for (std::size_t position = 0; position < entries_.size() && filled < items_.size();
         ++position) {
        const Entry &entry = entries_[position];
        if (entry.selected && style_ == msHideSelected)
            continue;
        if (!ShownAsFile(entry.text))
            continue;
        QAction *item = items_[filled];
        itemEntries_[filled] = int(position);
        ++filled;
        if (!item)
            continue; // deleted by its owner: the place stays taken
        // An "&" in an entry is text (a description such as "R&D"), not a mnemonic.
        QString caption = Caption(entry.text).replace(u'&', QStringLiteral("&&"));
        if (style_ == msCheckSelected && entry.selected) {
            item->setCheckable(true);
            item->setChecked(true);
        }
        if (options_ & mrShowNumber)
            caption = u'&' + QString::number(filled) + QStringLiteral("  ") + caption;
        item->setText(caption);
        item->setVisible(true);
    }

    const bool shown = filled > 0;
    if (shown) {
        if (lineBefore_)
            lineBefore_->setVisible(true);
        if (lineAfter_)
            lineAfter_->setVisible(true);
    }
    if (options_ & mrDisableAnchorIfEmpty)
        anchor_->setEnabled(shown);
    if (options_ & mrHideAnchorIfEmpty)
        anchor_->setVisible(shown);
}

void TMruList::ItemClick(QAction *item) {
    const auto it = std::find(items_.begin(), items_.end(), item);
    if (it == items_.end())
        return;
    const int position = itemEntries_[std::size_t(it - items_.begin())];
    if (position < 0 || position >= Count())
        return;
    if (item->isCheckable())
        item->setChecked(true); // the click toggled it; the mark decides
    if (OnMruClick) {
        const QString text =
            entries_[std::size_t(position)].text; // the handler may change the list
        OnMruClick(this, text);
    }
}

// ---- the list ----

QString TMruList::StorableText(const QString &text) {
    QString result = text;
    for (QChar &c : result) {
        if (c == u'\r' || c == u'\n' || c == u'\0')
            c = u' ';
    }
    result = IniTrimBlanks(result).toString();
    if (result.size() > TNewIniFile::MaxValueLength) {
        qsizetype length = TNewIniFile::MaxValueLength;
        if (result[length - 1].isHighSurrogate())
            --length; // never cut a character in half
        result = IniTrimBlanks(QStringView(result).first(length)).toString();
    }
    return result;
}

int TMruList::IndexOfItem(const QString &text) const {
    const QString wanted = StorableText(text);
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].text.compare(wanted, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    return -1;
}

// An empty text is never added: the file could not give it back.
void TMruList::AddItem(const QString &text) {
    const QString entry = StorableText(text);
    if (entry.isEmpty())
        return;
    int index = IndexOfItem(entry);
    if (index < 0) {
        // One entry goes, at most: the list may hold one more than MaxSaveCount, and a list
        // loaded longer than that stays as long.
        if (!entries_.empty() && Count() > maxSaveCount_)
            entries_.pop_back();
        entries_.push_back({entry, false});
        index = Count() - 1;
    }
    if (options_ & mrTopSelected) {
        std::rotate(entries_.begin(), entries_.begin() + index, entries_.begin() + index + 1);
        index = 0;
    }
    entries_[std::size_t(index)].selected = true;
    RebuildMenu();
}

void TMruList::DeselectItem(const QString &text) {
    if (!text.isEmpty()) {
        const int index = IndexOfItem(text);
        if (index >= 0)
            entries_[std::size_t(index)].selected = false;
    }
    RebuildMenu();
}

// An empty new text leaves the list as it is, as AddItem does.
void TMruList::ReplaceItem(const QString &oldText, const QString &newText) {
    const int index = IndexOfItem(oldText);
    const QString entry = StorableText(newText);
    if (index < 0 || entry.isEmpty())
        return;
    entries_.erase(entries_.begin() + index);
    entries_.insert(entries_.begin(), {entry, true});
    RebuildMenu();
}

QStringList TMruList::Items() const {
    QStringList result;
    result.reserve(Count());
    for (const Entry &entry : entries_)
        result.append(entry.text);
    return result;
}

QString TMruList::Item(int index) const {
    return index >= 0 && index < Count() ? entries_[std::size_t(index)].text : QString();
}

bool TMruList::Selected(int index) const {
    return index >= 0 && index < Count() && entries_[std::size_t(index)].selected;
}

void TMruList::Clear() {
    entries_.clear();
    RebuildMenu();
}

// ---- storage ----

void TMruList::LoadFromIni() {
    if (iniSection_.isEmpty())
        return;
    const QString path = EffectiveIniFile();
    if (path.isEmpty())
        return;
    const TNewIniFile ini(path);
    entries_.clear();
    const int count = ini.ReadInteger(iniSection_, kCountKey, 0);

    // Saved lists are numbered without gaps and read from the settings file's cache. Past a
    // gap (a hand-edited file), only the keys the section really holds are read.
    std::vector<int> keys;
    int key = 1;
    for (; key <= count && ini.ValueExists(iniSection_, QString::number(key)); ++key)
        keys.push_back(key);
    if (key <= count) {
        for (int found : NumberedKeysOnDisk(path, iniSection_, count)) {
            if (found > key)
                keys.push_back(found);
        }
    }

    for (int k : keys) {
        const QString value = ini.ReadString(iniSection_, QString::number(k), QString());
        if (!value.isEmpty() && ShownAsFile(value))
            entries_.push_back({value, false});
    }
    RebuildMenu();
}

void TMruList::SaveToIni() {
    if (iniSection_.isEmpty())
        return;
    const QString path = EffectiveIniFile();
    if (path.isEmpty())
        return;
    TNewIniFile ini(path);
    if (StoredAlready(ini))
        return;
    SettingsTransaction transaction(ini);
    ini.EraseSection(iniSection_);
    ini.WriteInteger(iniSection_, kCountKey, Count());
    for (int i = 0; i < Count(); ++i)
        ini.WriteString(iniSection_, QString::number(i + 1), entries_[std::size_t(i)].text);
    transaction.Commit();
}

// The window saves after every change, and relaunching the top entry changes nothing stored:
// a list the section already holds, numbered from 1 with nothing after it, is not written
// again. Those are reads of the settings file's cache.
bool TMruList::StoredAlready(const TNewIniFile &ini) const {
    if (!ini.ValueExists(iniSection_, kCountKey) ||
        ini.ReadInteger(iniSection_, kCountKey, -1) != Count())
        return false;
    for (int i = 0; i < Count(); ++i) {
        const QString key = QString::number(i + 1);
        if (!ini.ValueExists(iniSection_, key) ||
            ini.ReadString(iniSection_, key, QString()) != entries_[std::size_t(i)].text)
            return false;
    }
    return !ini.ValueExists(iniSection_, QString::number(Count() + 1));
}
