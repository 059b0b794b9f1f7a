#include "NewIniFile.h"

#include "IniDocument.h"
#include "IniStorage.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace {

// File times are taken from a coarse clock (a few milliseconds), and a quick rewrite can reuse
// the inode and keep the size. A cached parse is trusted on its stamp only once the file's
// times lie this far from the moment its content was last confirmed; before that a read
// compares the file's bytes with the cached content's digest.
constexpr qint64 kRacyWindowNs = 50'000'000;

// Reads check the file they cached, still open, which costs less than looking its path up.
// The path is looked up again this often anyway, for the rare change that leaves that file
// untouched (its directory renamed away and another put in its place).
constexpr qint64 kPathCheckNs = 100'000'000;

// Attempts at landing a change while a program that ignores the lock keeps changing the file
// under it; the last one replaces the file without asking (see IniFileState::Land).
constexpr int kReplaceAttempts = 8;

// The file a rewrite replaced, still open, and its content when it was last looked at.
struct ReplacedFile {
    IniFileHandle file;
    IniContentDigest content;

    // Whether lines were appended to it since, through a descriptor opened before it was
    // replaced: then grown is its whole content now.
    bool Grew(QByteArray *grown) const {
        return IniReadIfGrown(file, content.size, grown) &&
               IniContentDigest::Of(QByteArrayView(*grown).first(content.size)) == content;
    }
};

struct IniOperation {
    enum Kind { Write, EraseKey, EraseSection } kind;
    QString section, key, value;
};

bool Apply(IniDocument &doc, const IniOperation &op) {
    switch (op.kind) {
    case IniOperation::Write:
        return doc.Write(op.section, op.key, op.value);
    case IniOperation::EraseKey:
        return doc.EraseKey(op.section, op.key);
    case IniOperation::EraseSection:
        return doc.EraseSection(op.section);
    }
    return false;
}

// Whether the operation would change what the document holds, as a read sees it.
bool WouldChange(const IniDocument &doc, const IniOperation &op) {
    switch (op.kind) {
    case IniOperation::Write: {
        const auto value = doc.Value(op.section, op.key);
        return !value || *value != op.value;
    }
    case IniOperation::EraseKey:
        return doc.Value(op.section, op.key).has_value();
    case IniOperation::EraseSection:
        return doc.HasSection(op.section);
    }
    return false;
}

bool HasLineBreakOrNul(QStringView text) {
    for (QChar c : text) {
        if (c == u'\r' || c == u'\n' || c == u'\0')
            return true;
    }
    return false;
}

// A name the file can hold and give back: one line, no "=" (it ends a key) or "]" (it ends a
// section name). A key cannot start like a comment or a section header either.
bool IsWritableName(QStringView name, bool isKey) {
    if (HasLineBreakOrNul(name) || name.contains(u'=') || name.contains(u']'))
        return false;
    return !isKey || (!name.isEmpty() && name[0] != u';' && name[0] != u'[');
}

QString AbsolutePath(const QString &fileName) {
    return QDir::isAbsolutePath(fileName) ? fileName : QDir::currentPath() + u'/' + fileName;
}

} // namespace

SettingsWriteError::SettingsWriteError(const QString &path)
    : std::runtime_error(QStringLiteral("Unable to write to %1").arg(path).toStdString()),
      path_(path) {}

// Everything known about one settings file in this process, shared by every TNewIniFile of
// its path: the cached parse and the open transaction.
struct IniFileState {
    QString path; // for messages
    QByteArray nativePath;

    std::mutex mutex;
    std::condition_variable transactionEnded;

    // The cache: doc holds the file's content when stamp was taken, confirmed at verifiedNs;
    // content is that content's digest (the bytes themselves are not kept twice). While a
    // transaction has changes, doc is its working copy and content what it started from.
    bool cached = false;
    IniContentDigest content;
    IniFileStamp stamp;
    IniFileHandle file; // the file the content was read from, while it exists
    qint64 verifiedNs = 0;
    qint64 pathCheckedNs = 0;
    IniDocument doc;
    // The file the last rewrite replaced: a program that opened it before and writes to it
    // after may still append to it, and the next rewrite takes what it appended.
    ReplacedFile lastReplaced;

    // The open transaction of this path: the thread it belongs to, its nesting depth and the
    // operations made in it, replayed on the file as found under the lock when it commits.
    int depth = 0;
    std::thread::id owner;
    std::vector<IniOperation> operations;
    bool working = false;        // doc holds the operations
    bool workingChanged = false; // and they changed it

    void Invalidate() {
        cached = false;
        working = false;
        content = {};
        file = IniFileHandle();
        doc = IniDocument();
    }

    // Confirms the cache against the file as it is now (read at now), reading and parsing it
    // only when its content differs from the cached one. Returns whether doc was replaced.
    bool Reread(qint64 now) {
        QByteArray bytes;
        const bool changed = IniReadFileIfChanged(nativePath, cached ? &content : nullptr,
                                                  &bytes, &stamp, &file);
        if (changed) {
            doc = IniDocument(bytes);
            content = IniContentDigest::Of(bytes);
            cached = true;
        }
        verifiedNs = now;
        pathCheckedNs = now;
        return changed;
    }

    bool Settled() const {
        return std::llabs(verifiedNs - stamp.modifiedNs) >= kRacyWindowNs &&
               std::llabs(verifiedNs - stamp.changedNs) >= kRacyWindowNs;
    }

    // Brings the cache up to the file on disk (mutex held). Inside a transaction the working
    // copy is what reads see.
    void Refresh() {
        if (working)
            return;
        const qint64 now = IniWallClockNs();
        if (cached && file.IsOpen() && now - pathCheckedNs < kPathCheckNs &&
            IniStatFile(file) == stamp && Settled())
            return;
        const IniFileStamp current = IniStatFile(nativePath);
        if (StampTrusted(current)) {
            pathCheckedNs = now;
            return;
        }
        Reread(now);
    }

    // Whether the file with this stamp is the cached content without looking at its bytes.
    bool StampTrusted(const IniFileStamp &current) const {
        return cached && current == stamp && (!current.exists || Settled());
    }

    // Whether the file on disk is still the one whose content and stamp are cached (mutex and
    // file lock held). Its bytes are compared only where its stamp is too recent to vouch for
    // them, and then the stamp is looked at again: what an append changes, it changes.
    bool StillOnDisk() const {
        if (!(IniStatFile(nativePath) == stamp))
            return false;
        if (!stamp.exists || Settled())
            return true;
        return IniFileHolds(file, content) && IniStatFile(nativePath) == stamp;
    }

    // The file grew since it was read, and only grew: another program appended to it. Takes
    // the grown file as the one the change is made from when the change gives on it what it
    // gives on the file as read, bytes, with the appended lines after them: then *addition
    // is those lines, and bytes the new content (mutex and file lock held).
    bool TakeAppended(const std::vector<IniOperation> &ops, QByteArray &bytes,
                      QByteArray *addition) {
        QByteArray grown;
        const IniFileStamp grownStamp = IniStatFile(nativePath);
        if (!stamp.exists || grownStamp.device != stamp.device || grownStamp.inode != stamp.inode ||
            !IniReadIfGrown(file, stamp.size, &grown) || grown.size() != grownStamp.size ||
            !(IniStatFile(nativePath) == grownStamp) ||
            IniContentDigest::Of(QByteArrayView(grown).first(content.size)) != content)
            return false;
        IniDocument grownDoc(grown);
        for (const IniOperation &op : ops)
            Apply(grownDoc, op);
        QByteArray expected = grownDoc.Serialize();
        const QByteArrayView appended = QByteArrayView(grown).sliced(content.size);
        if (expected.size() != bytes.size() + appended.size() || !expected.startsWith(bytes) ||
            !expected.endsWith(appended))
            return false;
        *addition = appended.toByteArray();
        bytes = std::move(expected);
        doc = std::move(grownDoc);
        content = IniContentDigest::Of(grown);
        stamp = grownStamp;
        verifiedNs = IniWallClockNs();
        return true;
    }

    // Lands the document in doc, made by ops, as the new file in place of the one whose
    // content and stamp are cached (mutex and file lock held). Checked, only while that file
    // is still there unchanged, or grown by lines appended to it that the new file then takes
    // too: false when it is not, and nothing was written. replaced: the file replaced, open.
    bool Persist(bool checked, const std::vector<IniOperation> &ops, ReplacedFile *replaced) {
        QByteArray bytes = doc.Serialize();
        IniContentDigest written = IniContentDigest::Of(bytes);
        if (stamp.exists && written == content) // changes that undid each other
            return true;
        const IniFileStamp old = stamp;
        const qsizetype plannedSize = bytes.size();
        int appends = 0;
        std::function<bool(QByteArray *)> stillCurrent;
        if (checked) {
            stillCurrent = [&](QByteArray *addition) {
                return StillOnDisk() ||
                       (++appends <= kReplaceAttempts && TakeAppended(ops, bytes, addition));
            };
        }
        IniFileStamp newStamp;
        IniFileHandle newFile;
        switch (IniReplaceFile(nativePath, bytes, old, stillCurrent, &newStamp, &newFile)) {
        case IniReplaceResult::Changed:
            return false;
        case IniReplaceResult::Failed:
            Invalidate();
            throw SettingsWriteError(path);
        case IniReplaceResult::Replaced:
            break;
        }
        replaced->file = std::exchange(file, std::move(newFile));
        replaced->content = std::move(content);
        stamp = newStamp;
        // The file is what we just wrote: the next read needs no parse. Time to drop the
        // tombstones once they outweigh the living lines.
        verifiedNs = IniWallClockNs();
        pathCheckedNs = verifiedNs;
        if (doc.ErasedLines() > 1024 && doc.ErasedLines() > doc.LiveLines())
            doc = IniDocument(bytes);
        content = bytes.size() == plannedSize ? std::move(written) : IniContentDigest::Of(bytes);
        cached = true;
        return true;
    }

    // Makes doc, the file as read, what the change makes of it: the lines another program
    // appended to a replaced file after its content, then the operations. Whether that
    // changes it.
    bool Rebuild(const std::vector<IniOperation> &ops, const QByteArray &appended) {
        if (!appended.isEmpty())
            doc = IniDocument(doc.Serialize() + appended);
        bool changed = !appended.isEmpty();
        for (const IniOperation &op : ops)
            changed = Apply(doc, op) || changed;
        return changed;
    }

    // What was appended to the file the last rewrite replaced since it was last looked at.
    QByteArray LateAppends() {
        const ReplacedFile last = std::exchange(lastReplaced, ReplacedFile());
        QByteArray grown;
        if (!last.Grew(&grown))
            return {};
        return grown.sliced(last.content.size);
    }

    // Takes the lock, brings the cache up to the file under it, applies the operations and
    // writes the result if it differs (mutex held, no transaction open on this thread). The
    // file is read again only when its stamp does not vouch for the cached content, and
    // parsed again only when its content changed.
    void Land(const std::vector<IniOperation> &ops, bool useWorkingCopy) {
        IniFileLock lock(nativePath);
        if (!lock.Locked()) {
            if (useWorkingCopy)
                Invalidate();
            throw SettingsWriteError(path);
        }
        // Lines another program appended to a file after it was replaced, through a descriptor
        // opened before: the new file takes them after the file's own content.
        QByteArray appended = LateAppends();
        if (!appended.isEmpty())
            cached = false; // read afresh, to take them
        const qint64 now = IniWallClockNs();
        const bool reparsed = !StampTrusted(IniStatFile(nativePath)) && Reread(now);
        working = false;
        bool changed = false;
        if (useWorkingCopy && !reparsed) {
            // Nobody wrote since the transaction began: its working copy is the result.
            changed = workingChanged;
        } else {
            changed = Rebuild(ops, appended);
        }
        if (!changed)
            return;
        // A program that edits the file without the lock may change it while the new content
        // is being written: then the change is made again on the file as it is now, and its
        // edit stays. Should the file keep changing, the last attempt replaces it unchecked,
        // made from the newest content seen.
        for (int attempt = 1;; ++attempt) {
            const bool checked = attempt < kReplaceAttempts;
            ReplacedFile replaced;
            if (!Persist(checked, ops, &replaced)) {
                if (Reread(IniWallClockNs()))
                    Rebuild(ops, appended);
                continue;
            }
            // An append that reached the file between the check and the rename is in the
            // replaced file alone, which nobody opens any more: the new file takes it too.
            QByteArray grown;
            if (!checked || !replaced.Grew(&grown)) {
                lastReplaced = std::move(replaced);
                return;
            }
            const QByteArray more = grown.sliced(replaced.content.size);
            appended += more;
            doc = IniDocument(doc.Serialize() + more);
        }
    }
};

namespace {

std::shared_ptr<IniFileState> StateFor(const QString &fileName) {
    // The window makes a TNewIniFile for every single operation, nearly always on one path.
    thread_local QString lastName;
    thread_local std::shared_ptr<IniFileState> lastState;
    const bool absolute = QDir::isAbsolutePath(fileName);
    if (absolute && lastState && fileName == lastName)
        return lastState;

    static std::mutex mutex;
    static QHash<QString, std::shared_ptr<IniFileState>> states;
    const QString key = QDir::cleanPath(AbsolutePath(fileName));
    std::lock_guard guard(mutex);
    std::shared_ptr<IniFileState> &state = states[key];
    if (!state) {
        state = std::make_shared<IniFileState>();
        state->path = key;
        state->nativePath = QFile::encodeName(key);
    }
    if (absolute) {
        lastName = fileName;
        lastState = state;
    }
    return state;
}

// Waits until no other thread has a transaction open on the file (mutex held by lock).
void WaitForOtherThreads(IniFileState &state, std::unique_lock<std::mutex> &lock) {
    state.transactionEnded.wait(
        lock, [&] { return state.depth == 0 || state.owner == std::this_thread::get_id(); });
}

void Change(IniFileState &state, IniOperation &&op) {
    std::unique_lock lock(state.mutex);
    WaitForOtherThreads(state, lock);
    if (state.depth > 0) {
        if (!state.working) {
            state.Refresh();
            state.working = true;
            state.workingChanged = false;
        }
        state.workingChanged = Apply(state.doc, op) || state.workingChanged;
        state.operations.push_back(std::move(op));
        return;
    }
    // Writing what is already there, or erasing what is not, needs no lock and no rewrite.
    state.Refresh();
    if (!WouldChange(state.doc, op))
        return;
    state.Land({std::move(op)}, false);
}

void EndTransaction(IniFileState &state) {
    state.depth = 0;
    state.operations.clear();
    state.working = false;
    state.workingChanged = false;
    state.transactionEnded.notify_all();
}

} // namespace

TNewIniFile::TNewIniFile(const QString &fileName) : fileName_(fileName) {
    // No name, or a directory: nothing that could be written.
    refused_ = fileName.isEmpty() || fileName.endsWith(u'/');
    state_ = StateFor(fileName);
}

TNewIniFile TNewIniFile::Refusing(const QString &fileName) {
    TNewIniFile file(fileName);
    file.refused_ = true;
    return file;
}

QString TNewIniFile::ReadString(const QString &section, const QString &key,
                                const QString &defaultValue) const {
    if (refused_)
        return defaultValue;
    std::lock_guard guard(state_->mutex);
    state_->Refresh();
    auto value = state_->doc.Value(IniTrimBlanks(section), IniTrimBlanks(key));
    if (!value)
        return defaultValue;
    qsizetype length = std::min<qsizetype>(value->size(), MaxValueLength);
    if (length < value->size() && value->at(length - 1).isHighSurrogate())
        --length; // never cut a character in half
    value->truncate(length);
    return *std::move(value);
}

int TNewIniFile::ReadInteger(const QString &section, const QString &key, int defaultValue) const {
    int value;
    return ParseInteger(ReadString(section, key, QString()), &value) ? value : defaultValue;
}

QHash<QString, QString> TNewIniFile::ReadSectionValues(const QString &section) const {
    QHash<QString, QString> values;
    if (refused_)
        return values;
    std::lock_guard guard(state_->mutex);
    state_->Refresh();
    for (const auto &[key, value] : state_->doc.Values(IniTrimBlanks(section))) {
        qsizetype length = std::min<qsizetype>(value.size(), MaxValueLength);
        if (length < value.size() && value.at(length - 1).isHighSurrogate())
            --length;
        values.insert(key.toCaseFolded(), value.first(length));
    }
    return values;
}

bool TNewIniFile::SectionExists(const QString &section) const {
    if (refused_)
        return false;
    std::lock_guard guard(state_->mutex);
    state_->Refresh();
    return state_->doc.HasSection(IniTrimBlanks(section));
}

bool TNewIniFile::ValueExists(const QString &section, const QString &key) const {
    if (refused_)
        return false;
    std::lock_guard guard(state_->mutex);
    state_->Refresh();
    return state_->doc.Value(IniTrimBlanks(section), IniTrimBlanks(key)).has_value();
}

// Hexadecimal values up to 0xFFFFFFFF wrap to negative numbers, as colour values written by
// other programs expect; decimal ones outside the 32-bit range do not parse.
bool TNewIniFile::ParseInteger(const QString &text, int *value) {
    QStringView s = IniTrimBlanks(text);
    bool hex = false;
    bool negative = false;
    if (s.size() > 2 && s[0] == u'0' && (s[1] == u'x' || s[1] == u'X')) {
        hex = true;
        s = s.sliced(2);
    } else {
        if (!s.isEmpty() && (s[0] == u'-' || s[0] == u'+')) {
            negative = s[0] == u'-';
            s = s.sliced(1);
        }
        if (!s.isEmpty() && s[0] == u'$') {
            hex = true;
            s = s.sliced(1);
        }
    }
    if (s.isEmpty())
        return false;
    const quint64 limit = hex ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    quint64 magnitude = 0;
    for (QChar c : s) {
        int digit;
        const char16_t u = c.unicode();
        if (u >= '0' && u <= '9')
            digit = u - '0';
        else if (hex && u >= 'a' && u <= 'f')
            digit = u - 'a' + 10;
        else if (hex && u >= 'A' && u <= 'F')
            digit = u - 'A' + 10;
        else
            return false;
        magnitude = magnitude * (hex ? 16 : 10) + quint64(digit);
        if (magnitude > limit)
            return false;
    }
    const quint32 bits = quint32(magnitude);
    *value = int(negative ? quint32(0u - bits) : bits);
    return true;
}

void TNewIniFile::WriteString(const QString &section, const QString &key, const QString &value) {
    const QStringView sectionName = IniTrimBlanks(section);
    const QStringView keyName = IniTrimBlanks(key);
    // A line break or NUL would let a value add lines of its own to the file.
    if (refused_ || value.size() > MaxValueLength || HasLineBreakOrNul(value) ||
        !IsWritableName(sectionName, false) || !IsWritableName(keyName, true))
        throw SettingsWriteError(state_->path);
    Change(*state_, {IniOperation::Write, sectionName.toString(), keyName.toString(), value});
}

void TNewIniFile::WriteInteger(const QString &section, const QString &key, int value) {
    WriteString(section, key, QString::number(value));
}

void TNewIniFile::EraseKey(const QString &section, const QString &key) {
    if (refused_)
        throw SettingsWriteError(state_->path);
    Change(*state_, {IniOperation::EraseKey, IniTrimBlanks(section).toString(),
                     IniTrimBlanks(key).toString(), QString()});
}

void TNewIniFile::EraseSection(const QString &section) {
    if (refused_)
        throw SettingsWriteError(state_->path);
    Change(*state_,
           {IniOperation::EraseSection, IniTrimBlanks(section).toString(), QString(), QString()});
}

SettingsTransaction::SettingsTransaction(const TNewIniFile &file)
    : state_(file.state_), fileName_(file.fileName_) {
    std::unique_lock lock(state_->mutex);
    WaitForOtherThreads(*state_, lock);
    if (state_->depth == 0) {
        state_->owner = std::this_thread::get_id();
        state_->operations.clear();
        state_->working = false;
        state_->workingChanged = false;
    }
    ++state_->depth;
    mark_ = state_->operations.size();
}

void SettingsTransaction::Commit() {
    if (done_)
        return;
    std::unique_lock lock(state_->mutex);
    done_ = true;
    if (state_->depth > 1) {
        --state_->depth; // the outermost transaction lands it all
        return;
    }
    try {
        if (state_->working && state_->workingChanged)
            state_->Land(state_->operations, true);
    } catch (...) {
        state_->Invalidate(); // whatever the working copy holds never reached the file
        EndTransaction(*state_);
        throw;
    }
    EndTransaction(*state_);
}

SettingsTransaction::~SettingsTransaction() {
    if (done_)
        return;
    std::unique_lock lock(state_->mutex);
    if (state_->depth > 1) {
        // Back to where this one began; the enclosing transaction goes on without its changes.
        --state_->depth;
        if (state_->operations.size() > mark_) {
            // The working copy again from the file as it is now, with the operations that
            // remain; the outermost commit replays them on the file anyway if it changes.
            state_->operations.resize(mark_);
            state_->Invalidate();
            state_->Refresh();
            state_->working = true;
            state_->workingChanged = false;
            for (const auto &op : state_->operations)
                state_->workingChanged = Apply(state_->doc, op) || state_->workingChanged;
        }
        return;
    }
    if (state_->working)
        state_->Invalidate(); // the working copy never reached the file
    EndTransaction(*state_);
}
