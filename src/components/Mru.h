#pragma once

#include <QAction>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>
#include <stdexcept>
#include <vector>

class QMenu;
class TNewIniFile;

// Raised by TMruList: a design-only property set after configuration, or an anchor that cannot
// hold the list's menu items. what() is the message in UTF-8.
class TMruListError : public std::runtime_error {
public:
    explicit TMruListError(const QString &message);
    QString Message() const { return message_; }

private:
    QString message_;
};

// The recently launched list: an ordered list of texts, kept in a section of a settings file
// and shown as a run of items in an existing menu next to (or under) an anchor item. Choosing
// one of those items reports its entry's text through OnMruClick.
//
// Life cycle: the list starts in its configuration phase, in which Options, Style, Position,
// Anchor and MaxShowCount may be set; Loaded() ends it, makes the menu items next to the anchor
// and, with mrAutoLoad, loads the list. Setting those five afterwards throws TMruListError
// ("Operation ist nur im Design-Modus möglich!"); Loading() opens the phase again and the next
// Loaded() makes the items anew.
//
// Without an anchor the list works just as well (no window or menu needed): leave Loaded()
// uncalled and use AddItem, LoadFromIni and SaveToIni directly.
//
// Entries are stored in the settings file as they are held, so they are kept storable: line
// breaks and NULs become blanks, surrounding blanks go (the file trims them on reading) and a
// text longer than the file's longest value is cut to it. Lookups normalise their text alike.
class TMruList : public QObject {
    Q_OBJECT
public:
    enum TMruOptionsType {
        mrLineAfter = 0x001,            // a separator line after the entries
        mrLineBefore = 0x002,           // a separator line before them
        mrShortFileNames = 0x004,       // show only each entry's file-name part
        mrCheckFileExist = 0x008,       // drop missing files on loading, skip them on showing
        mrShowNumber = 0x010,           // "&" + number + two blanks before each shown entry
        mrTopSelected = 0x020,          // an added or re-added entry moves to the top
        mrAutoSave = 0x040,             // save when the list is destroyed
        mrAutoLoad = 0x080,             // load on Loaded() and on each IniFile/IniSection change
        mrDisableAnchorIfEmpty = 0x100, // the anchor is disabled while no entry is shown
        mrHideAnchorIfEmpty = 0x200,    // the anchor is hidden while no entry is shown
    };
    Q_DECLARE_FLAGS(TMruOptions, TMruOptionsType)
    Q_FLAG(TMruOptions)

    enum TMruStyle { msNormal, msHideSelected, msCheckSelected };
    Q_ENUM(TMruStyle)

    enum TMruPosition { mpAfter, mpBefore, mpNewMenu };
    Q_ENUM(TMruPosition)

    using TMruEvent = std::function<void(TMruList *sender, const QString &item)>;

    Q_PROPERTY(int MaxSaveCount READ MaxSaveCount WRITE setMaxSaveCount)
    Q_PROPERTY(int MaxShowCount READ MaxShowCount WRITE setMaxShowCount)
    Q_PROPERTY(QString IniFile READ IniFile WRITE setIniFile)
    Q_PROPERTY(QString IniSection READ IniSection WRITE setIniSection)
    Q_PROPERTY(QAction *Anchor READ Anchor WRITE setAnchor)
    Q_PROPERTY(TMruOptions Options READ Options WRITE setOptions)
    Q_PROPERTY(TMruStyle Style READ Style WRITE setStyle)
    Q_PROPERTY(TMruPosition Position READ Position WRITE setPosition)

    // mrLineBefore, mrCheckFileExist, mrShowNumber, mrTopSelected, mrAutoSave, mrAutoLoad.
    static TMruOptions DefaultOptions();
    static const char *const DesignOnlyMessage;    // "Operation ist nur im Design-Modus möglich!"
    static const char *const InvalidAnchorMessage; // "Invalid Anchor!"

    explicit TMruList(QObject *parent = nullptr);
    // With mrAutoSave the list is saved first; a failed save is only logged, since nothing
    // can be reported from here.
    ~TMruList() override;

    // Fired with the chosen entry's text (never the shown caption). Assigned: non-empty.
    TMruEvent OnMruClick;

    int MaxSaveCount() const { return maxSaveCount_; }
    void setMaxSaveCount(int value) { maxSaveCount_ = value; }
    int MaxShowCount() const { return maxShowCount_; }
    void setMaxShowCount(int value);
    // Empty: the program's own path with the extension ".INI".
    QString IniFile() const { return iniFile_; }
    // Each set, even to the same value, reloads the list (mrAutoLoad, outside configuration).
    void setIniFile(const QString &value);
    // Empty: the list is never loaded or saved.
    QString IniSection() const { return iniSection_; }
    void setIniSection(const QString &value);
    QAction *Anchor() const { return anchor_; }
    void setAnchor(QAction *value);
    TMruOptions Options() const { return options_; }
    void setOptions(TMruOptions value);
    TMruStyle Style() const { return style_; }
    void setStyle(TMruStyle value);
    TMruPosition Position() const { return position_; }
    void setPosition(TMruPosition value);

    // Configuration phase: Loading() opens it, Loaded() ends it. Loaded() throws TMruListError
    // ("Invalid Anchor!") when the anchor has no owner (QObject parent), or sits in no menu
    // while Position is not mpNewMenu; the phase is over even then, with no menu items made.
    void Loading();
    void Loaded();
    bool IsLoading() const { return loading_; }

    // Adds or re-adds an entry (found without regard to case) and marks it selected. A new
    // entry first drops the last one when the list already holds more than MaxSaveCount.
    void AddItem(const QString &text);
    // Clears an entry's selection mark.
    void DeselectItem(const QString &text);
    // Puts newText in oldText's place, moves it to the top and marks it selected; nothing when
    // oldText is not in the list.
    void ReplaceItem(const QString &oldText, const QString &newText);
    // The position of the entry equal to text without regard to case, or -1.
    int IndexOfItem(const QString &text) const;

    // Reads the list from the section: only keys that exist are read, whatever "Count" claims.
    void LoadFromIni();
    // Replaces the section with the list as one atomic rewrite of the file, or leaves the file
    // alone when the section already holds this list. Cheap enough to call after every change.
    // Throws SettingsWriteError when the file refuses the write; the file is then unchanged.
    void SaveToIni();
    // Shows the entries again in the menu items made by Loaded(); nothing before that.
    void RebuildMenu();

    int Count() const { return int(entries_.size()); }
    QStringList Items() const;
    QString Item(int index) const;
    bool Selected(int index) const;
    void Clear();

    // The settings file used: IniFile, or the program's path with the extension ".INI".
    QString EffectiveIniFile() const;
    // The number that makes the names of this list's menu items unique: "_" + number + index
    // for the entry items, "_" + number + "A" for the line before, "_" + number + "P" after.
    quint64 UniqueNumber() const { return uniqueNumber_; }
    // The entry items, in menu order (empty before Loaded()).
    QList<QAction *> MenuItems() const;

    // The form an entry is held and stored in (see above).
    static QString StorableText(const QString &text);

private:
    struct Entry {
        QString text;
        bool selected = false;
    };

    void RequireConfiguration() const;
    bool AnchorIsValid() const;
    void RemoveMenuItems();
    void ItemClick(QAction *item);
    bool ShownAsFile(const QString &text) const;
    QString Caption(const QString &text) const;
    void AutoLoad();
    bool StoredAlready(const TNewIniFile &ini) const;

    int maxSaveCount_ = 50;
    int maxShowCount_ = 9;
    QString iniFile_;
    QString iniSection_;
    QPointer<QAction> anchor_;
    TMruOptions options_;
    TMruStyle style_ = msHideSelected;
    TMruPosition position_ = mpAfter;
    bool loading_ = true;

    std::vector<Entry> entries_;
    quint64 uniqueNumber_ = 0;
    bool menuMade_ = false;
    std::vector<QPointer<QAction>> items_;
    std::vector<int> itemEntries_; // the entry each item shows, -1 for none
    QPointer<QAction> lineBefore_;
    QPointer<QAction> lineAfter_;
    QPointer<QMenu> ownSubmenu_; // made for mpNewMenu when the anchor had none
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TMruList::TMruOptions)
