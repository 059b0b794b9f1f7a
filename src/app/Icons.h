// src/app owns the program's entry and the main window: its creation, loading, closing, help,
// place and caption. Each subsystem's handlers are declared here under their folder's name and
// defined in that folder, with the state the folder owns kept private to the window.
#pragma once

#include "components/enhgauge.h"
#include "launch/LaunchState.h"
#include "pages/BarGeometry.h"
#include "pages/Notebook.h"
#include "pages/PagesState.h"
#include "pages/TabSet.h"
#include "platform/Platform.h"
#include "prefs/PrefsState.h"
#include "settings/ButtonRecord.h"
#include "settings/NewIniFile.h"
#include "settings/Profile.h"
#include "settings/YesNoOption.h"

#include <QBasicTimer>
#include <QBitArray>
#include <QHash>
#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <functional>

class QAction;
class TDISK;
class TMruList;
class TOnTop;
class TZtTrayIcon95;
class TShellLink;
class QButtonGroup;
class QFrame;
class QLineEdit;
class QMenu;
class QScrollArea;
class QTimer;
class QToolButton;

// What the bar is doing with the mouse: normal use, help mode (the next click opens the
// clicked control's help), placing a moved or copied button, putting a moved page back.
enum class InteractionMode { Normal, Help, PlaceButton, MovePage };

// The main window: the gauge column, the page of launch buttons and the tab row.
class TForm1 : public QWidget {
    Q_OBJECT
public:
    explicit TForm1(const Platform &platform, QWidget *parent = nullptr);
    ~TForm1() override;

    // ---- app: creation, loading, shared mode, closing, help, location and caption ----
    void FormCreate();
    void Load();
    void FormCaption();
    void SaveLocation();
    void HelpButtonClick();
    void HelpButtonMouseDown();
    void ConfirmExit1Click();
    void ExitWin1Click();
    void RestartWin1Click();
    // "Start with the Desktop": writes or removes the user's autostart entry (Autostart.cpp).
    void StartWithDesktop1Click();
    // Ticks the item when an autostart entry is there.
    void ShowAutostartState();
    void AppMin();
    void AppNorm();
    // Runs a handler: a refused settings write stops it and shows the standard error box, and
    // shared-mode requests that arrived meanwhile run once it is done.
    void Guarded(const std::function<void()> &handler);
    // Posts the reload request to every copy with this profile (shared mode only).
    void PostReload();
    // Closes without asking (signals, the end of the session).
    void CloseWithoutQuestions();
    void FormDestroy();

signals:
    // The bar has closed, shown or not: the program ends. A hidden or tray-only bar closing is
    // no visible window closing, which the toolkit would take as the end by itself.
    void Closed();

public:
    // Opens a popup menu through the platform and runs the chosen item.
    void ShowPopup(QMenu *menu, const QPoint &screenPos);
    // In help mode: opens the topic, ends help mode and says so.
    bool HelpModeClick(int topic);
    QMenu *GaugeMenu() const { return gaugeMenu_; }
    QMenu *TrayMenu() const { return trayMenu_; }
    // Rebuilds this copy and, in shared mode, every copy with this profile.
    void RebuildEverywhere();

    // Read at start-up: the options the subsystems keep in their own state are not here.
    struct StartSettings {
        QString user, menuShow, windowState;
        int top = 0, left = 0, buttonCount = 0; // top and left: the bar's place, saved since
        bool lockedGraph = false;
        YesNoOption checkExit, autoExpand;
    };
    const StartSettings &Settings() const { return settings_; }
    // Load is reading the button records: nobody is asked for a missing icon meanwhile.
    bool Loading() const { return loading_; }

    // ---- settings: the button record routines ----
    void ReadButtonInfo(int number);
    void WriteButtonInfo(int number);
    void EraseButtonInfo(int number);
    void WriteMoveInfo();
    void MoveCompare();
    void MoveClear();
    TNewIniFile Ini() const;

    // ---- pages: page and button layout ----
    void CreateButtons();
    void TabSet1Click();
    void PButton16Click(QAction *sender);
    void PageUpdate();
    QToolButton *FindButton(int number) const;
    QToolButton *FindButton(const QString &name) const;
    QStringList TabNames() const;

    // ---- launch: launching a button, the recently launched list (src/launch) ----
    void ButtonClick(QToolButton *button);
    // recordLaunch: false for a program that belongs to no button. False when nothing started.
    bool Launch(const QString &program, const QString &parameter, const QString &workingDir,
                bool recordLaunch = true);
    void ChooseProgram(QToolButton *button, ButtonRecord &record);
    void ChooseLaunchDirectory(QAction *item, const QString &section);
    void ShrinkForLaunch();
    void HideForLaunch();
    // Puts the entry at the top of the recently launched list, the previous one unmarked.
    void RecordLaunch(const QString &previous, const QString &entry);
    // A moved button's entry follows it: replaced, put at the top and marked, when present.
    void RenameLaunchEntry(const QString &oldEntry, const QString &newEntry);
    // Modification is locked behind the password.
    bool ModifyLocked() const;
    // The selected-tab colour as stored; the tab row shows another while a page is renamed.
    QColor StoredSelectedColor() const;
    // ---- pages: button editing (src/pages/Editing.cpp) ----
    void SpeedRightMouseDown(QToolButton *button);
    // The ticks of the "Configure Button" items from a button's record.
    void SetOptionMarks(const ButtonRecord &record);
    void MoveButton();
    void CopyButton();
    void RemoveButton();
    // Places the held record on the current button.
    void PutButton();
    void ChangeName();
    void ChangeParameter();
    // A held record goes back where it came from, or to the first empty button when that has
    // been filled: Escape while placing, and closing the bar.
    void CancelPlacing();
    // The button the button menu acts on.
    const QString &CurrentButton() const { return editing_.button; }

    // ---- pages: page management (src/pages/PageMenu.cpp) ----
    void TabSet1MouseDown(const QPoint &pos);
    void TabName();
    void TabCount();
    void DeletePage(QAction *sender);
    void AddPage();
    // Opens the inline box in a mode, with a hint and a text.
    void OpenInlineBox(InlineBoxMode mode, const QString &hint, const QString &text = QString());
    InlineBoxMode PageNameMode() const { return pageNameBox_.mode; }
    void CloseInlineBox();
    // Enter, Escape and F1 in the inline box; true when the key was handled.
    bool PageNameKeyDown(int key);
    // A moved page waits to be put back: Escape, and closing the bar.
    void CancelPageMove();
    void RunButtonClick();
    void SelectFiles1Click();
    void SelectWorkingDirectory1Click();
    void GaugeClick();
    void LastLaunchedClick();
    void MRU1Click();
    void MruList1MruClick(const QString &item);
    void CreateRecentList();
    void AttachRecentList();
    const LaunchState &Launching() const { return launch_; }

    // ---- launch: dropped files (src/launch/Drops.cpp) ----
    // The button number under a point of the window, 0 where no button's column is.
    int DropTarget(const QPoint &windowPos) const;
    void DropFiles(const QStringList &files, int number);
    void AssignDroppedFile(QToolButton *target, const QString &file);
    struct DroppedShortcut {
        QString target, arguments, iconSource, program;
        QString workingDir; // a desktop entry's Path, as stored
        QString refusal;    // why the entry cannot be run here, for the user
        int iconIndex = 0;
    };
    bool ReadDroppedShortcut(const QString &file, DroppedShortcut &shortcut);
    // The program (and parameter, icon) an empty button gets for a file chosen or dropped on
    // it; false when none, with the reason for the user in refusal (empty: say nothing).
    bool ProgramForFile(const QString &file, ButtonRecord &record, QString &refusal);

    // ---- launch: keyboard selection (src/launch/Keyboard.cpp) ----
    void KeysKeyDown(int key);
    void ButtonKeyPop();
    // The keyboard cursor is at a page's start position, before its first button, rather than
    // on a button; kept apart from the button numbers so that a bar of one page is not confused.
    bool KeyAtStart() const { return keyCursor_.atStart; }

    // ---- bar: the expanded, shrunk and hidden bar, stay on top (src/bar/Presentation.cpp) ----
    void TopButtonKey();
    void SmallSize();
    // A click on the gauge (fromTrayIcon false) or on the notification-area icon.
    void SmallSizeClick(bool fromTrayIcon);
    // The program started last has ended: the bar comes back if the options say so.
    void AppActive32();
    void StayonTop1Click();
    void ShrinkOnLaunch1Click();
    void HideGraph1Click();
    void AutoExpand1Click();
    void LockGraphLocation1Click();
    void ShrinkOnLaunch2Click();
    // The watch on the program started last (the design's 100 ms timer, here told by the
    // process's end): on while the bar is shrunk or hidden by a launch.
    bool Watching() const { return launchWatch_.on; }
    // The program started last, 0 once its end has been acted on.
    qint64 WatchedProcess() const { return launchWatch_.process; }
    bool TrayIconShown() const;
    // Hidden: the window is not visible and the bar is not shrunk.
    bool HiddenInTray() const { return !presentation_.shrunk && !isVisible() && TrayIconShown(); }
    bool Shrunk() const { return presentation_.shrunk; }
    // The size of the whole bar, which it takes back when it expands.
    QSize ExpandedSize() const { return presentation_.expandedSize; }

    // ---- appearance: glyph and hint of a launch button, the icon picker (src/appearance) ----
    void ChangeIcon();
    // Connects "Change Icon" to its handler.
    void ConnectAppearance();

    // ---- prefs: sounds (src/prefs) ----
    void SoundSelect1Click(QAction *sender);
    void PlaySound(const QString &buttonKey);
    // ---- prefs: tab colours and the modify lockout (src/prefs/Preferences.cpp) ----
    void ChangeColor1Click(QAction *sender);
    void CheckPassword(const QString &user);
    void LockoutModify1Click();
    // An entry in the password box: locks, unlocks or is refused.
    void WritePassword(const QString &text);
    // The tick of "Lockout &Modify" and the setup options the lock holds still.
    void ShowLockState();
    // Stores a lock value in the data file; a refused write throws and changes nothing.
    void WriteLockFile(const QByteArray &value);
    const PrefsState &Prefs() const { return prefs_; }

    // ---- progman: the first start fills the bar from the application menu (src/progman) ----
    void LoadProgman();

    // ---- gauge: the readings and their menu items (src/gauge) ----
    void GaugeTimer();
    void GasGage();
    void HardDriveSpace(int c);
    void SysResource();
    void GaugeColor();
    // Shows a reading's label across the face and its hint; the percentage is set before.
    void ShowReading(const QString &label, const QString &hint);
    void CHardDriveClick(QAction *sender);
    void SysResourceClick();
    void UnCheck();
    // Ticks the item that names the gauge type, and no other.
    void CheckGaugeType();
    void CountDrives();
    // Shows the item of a drive with its mount point.
    void ShowDriveItem(QChar letter, const QString &mountPoint);
    // The drive that holds the program's directory + "HardDrive".
    QString DefaultGaugeType() const;
    // The stored gauge type, and the mount point of a drive reading.
    void ReadGaugeType(const TNewIniFile &ini);
    // The mount point of the stored drive reading, with the gauge type lettered from it.
    void ReadGaugeMount(const TNewIniFile &ini);
    // What the gauge graphs: a drive letter + "HardDrive", or "SystemMemory1".
    const QString &GaugeType() const { return gauge_.type; }
    // Points the gauge type at the letter its mount point has now; false, with the hint saying
    // so, when that filesystem is not mounted.
    bool FollowGaugeMount();

    // ---- bar: re-paging ----
    void ExpandButtons();
    void LessButtons();
    void AddButtons(int newBlock, int oldBlock);
    static int RoundUp(double x);

    // ---- appearance ----
    // Gives a launch button its glyph and hint from its record.
    void IconVert(QToolButton *button, const ButtonRecord &record);

    // ---- state other parts read ----
    const QString &ProfileName() const { return profile_.name; }
    bool SharedMode() const { return profile_.shared; }
    const SettingsPaths &Paths() const { return paths_; }
    int ButtonsPerPage() const { return buttonsPerPage_; }
    int PerPageMax() const { return perPageMaximum_; }
    int RequestedCount() const { return requestedCount_; }
    const BarGeometry &Geometry() const { return geometry_; }
    InteractionMode Mode() const { return mode_; }
    void SetMode(InteractionMode mode);
    // The hourglass while a long operation runs, also when a refused write ends it early. The
    // application-wide cursor shows it over the mode's cursor, and the mode's cursor again
    // afterwards, whichever of the two changed meanwhile.
    class Hourglass {
    public:
        explicit Hourglass(TForm1 &form) : form_(form) {
            ++form_.screenCursor_.hourglassDepth;
            form_.UpdateScreenCursor();
        }
        ~Hourglass() {
            --form_.screenCursor_.hourglassDepth;
            form_.UpdateScreenCursor();
        }
        Hourglass(const Hourglass &) = delete;
        Hourglass &operator=(const Hourglass &) = delete;

    private:
        TForm1 &form_;
    };
    bool LocationSavingSuppressed() const { return locationSavingSuppressed_; }
    // The window manager has placed the window shown first: from now on its moves and state
    // changes are the user's, and are saved.
    bool WindowPlaced() const { return placement_.placed; }
    int KeyPosition() const { return keyCursor_.position; }
    QString ReloadMessageName() const { return QStringLiteral("UOrvane") + profile_.name; }
    QString RebuildMessageName() const { return QStringLiteral("UOVForm") + profile_.name; }
    int RebuildCount() const { return rebuildCount_; }
    int LoadCount() const { return loadCount_; }
    int DrawCount() const { return drawCount_; } // buttons given a glyph and hint

    // The controls, for what looks at them or gives them input from outside the window.
    TEnhancedGauge *Gauge() const { return Gauge1; }
    QFrame *GaugePanel() const { return Panel1; }
    QToolButton *HelpControl() const { return HelpButton; }
    QToolButton *RunControl() const { return RunButton; }
    TNotebook *PageArea() const { return Notebook1; }
    TTabSet *TabRow() const { return TabSet1; }
    QWidget *KeyBox() const { return Keys; }
    QLineEdit *InlineBox();
    bool InlineBoxOpen() const;
    QMenu *SetupMenu() const { return PopupMenu3; }
    QMenu *RecentMenu() const { return PopupMenu5; }
    QTimer *ReadingTimer() const { return Timer1; }
    TMruList *RecentList() const { return MruList1; }

    // The menu items, made once with their menus; each keeps its name as its objectName.
    struct ButtonMenuItems { // PopupMenu1, a button's options (src/pages/Editing.cpp)
        QAction *MoveButton1, *CopyButton1, *RemoveButton1;
        QAction *ChangeIcon1, *ChangeDescription1, *ChangeParameter1;
        QAction *ShrinkOnLaunch2, *SelectWorkingDirectory1, *SelectFiles1, *SoundLaunch1,
            *SoundSelect1;
    };
    struct PageMenuItems { // PopupMenu2, the page menu (src/pages/PageMenu.cpp)
        QAction *RenamePage1, *DeletePage1, *MovePage1, *AddPage1;
        QAction *UnselectedColor1, *SelectedColor1, *TotalPageCount1;
        QAction *PageSizeSeparator, *PButton16, *PButton21;
    };
    struct SetupMenuItems { // PopupMenu3, the setup options
        QAction *LastLaunched;
        QAction *drives[26 - 2]; // "CHardDrive" to "ZHardDrive" (src/gauge)
        QAction *SystemMemory1;
        QAction *ConfirmExit1, *StayonTop1, *AutoExpand1, *HideGraph1, *ShrinkOnLaunch1;
        QAction *LockGraphLocation1, *LockoutModify1, *StartWithDesktop1;
    };
    struct ExitMenuItems { // PopupMenu4
        QAction *ExitOrvane1, *ExitWin1, *RestartWin1;
    };
    struct RecentMenuItems { // PopupMenu5, the recently launched (src/launch/Recent.cpp)
        QAction *MRU1;
    };
    struct MenuItems {
        ButtonMenuItems button{};
        PageMenuItems page{};
        SetupMenuItems setup{};
        ExitMenuItems exit{};
        RecentMenuItems recent{};
    };
    const MenuItems &Items() const { return items_; }

protected:
    void closeEvent(QCloseEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void timerEvent(QTimerEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void BuildControls();
    void BuildMenus();
    void BuildButtonMenu();
    void BuildPageMenu();
    void BuildSetupMenu();
    void BuildRecentMenu();
    // The gauge's items of the setup menu: a drive's reading for each letter, and memory.
    void AddGaugeItems(QMenu *menu);
    // The gauge's item of a stored gauge type, null for a type that names none.
    QAction *GaugeItem(const QString &type) const;
    QAction *DriveItem(QChar letter) const;
    enum class ItemKind { Plain, Checkable };
    // An item whose handler runs guarded; a handler taking the item is given it.
    QAction *AddItem(QMenu *menu, const QString &name, const QString &caption,
                     void (TForm1::*handler)() = nullptr, ItemKind kind = ItemKind::Plain);
    QAction *AddItem(QMenu *menu, const QString &name, const QString &caption,
                     void (TForm1::*handler)(QAction *), ItemKind kind = ItemKind::Plain);
    // Fills the start-up settings and the options each subsystem keeps in its own state.
    void ReadStartSettings(const TNewIniFile &ini);
    StartSettings settings_;
    bool loading_ = false;
    void ApplyMenuSettings();
    void ApplyGeometry();
    void ApplyScrollRange();
    QToolButton *CreateLaunchButton(QWidget *page, QButtonGroup *group, int number, int slot);
    // A page's buttons are made, a block at a time, when they come into view or one of them is
    // asked for: a bar of thousands of pages or buttons starts as quickly as one of a few.
    void MakeButtons(int page, int block);
    void MakeButtonsInView();
    // The glyph, hint and shrink tag of a button from its record (one with a program), unless
    // it shows that record already.
    void ShowRecord(QToolButton *button, const ButtonRecord &record);
    void ApplyTabColors();
    void DeletePages();
    void OnInstanceMessage(const QString &name, quint32 first, qint32 second);
    void RunWaitingRequests();
    bool Busy() const;
    bool FormCloseQuery();

    Platform platform_;
    ProfileChoice profile_;
    SettingsPaths paths_;
    BarGeometry geometry_;
    QScrollArea *scroller_ = nullptr;
    QWidget *client_ = nullptr;
    // The controls and components, made once (BuildControls, BuildMenus and the constructor).
    QFrame *Panel1 = nullptr;
    TEnhancedGauge *Gauge1 = nullptr;
    QToolButton *HelpButton = nullptr;
    QToolButton *RunButton = nullptr;
    TNotebook *Notebook1 = nullptr;
    TTabSet *TabSet1 = nullptr;
    QLineEdit *PageName = nullptr; // made when first opened: InlineBox()
    QWidget *Keys = nullptr;
    QMenu *PopupMenu1 = nullptr; // button options
    QMenu *PopupMenu2 = nullptr; // page menu
    QMenu *PopupMenu3 = nullptr; // setup options
    QMenu *PopupMenu4 = nullptr; // exit options
    QMenu *PopupMenu5 = nullptr; // recently launched
    QTimer *Timer1 = nullptr;    // the gauge's reading
    QTimer *Timer2 = nullptr;
    TMruList *MruList1 = nullptr;
    TShellLink *ShellLink1 = nullptr;
    TDISK *DISK1 = nullptr;
    TZtTrayIcon95 *TrayIcon = nullptr; // the icon in the notification area
    MenuItems items_;
    QHash<QString, QToolButton *> buttons_;
    // Pages are made when first shown or asked for, their buttons a block of slots at a time:
    // the blocks in view and the block of a button asked for.
    struct PageMaking {
        QList<QButtonGroup *> groups; // by page index; made with the page's first block
        QBitArray blocks;             // by page index * blocksPerPage + block: its buttons exist
        int blocksPerPage = 1;
        bool recordsLoaded = false; // Load has run since the pages were made: made buttons read theirs
        QHash<QString, ButtonRecord> drawn; // by button name: the record its glyph and hint show
    };
    PageMaking pageMaking_;
    int buttonsPerPage_ = 16;
    int perPageMaximum_ = 16;
    int requestedCount_ = 16;
    // The keyboard cursor (src/launch/Keyboard.cpp): the button it selects, or a page's start
    // position before the first button.
    struct KeyCursor {
        int position = 0;
        bool atStart = true;
    } keyCursor_;
    void SelectKeyButton(int number);
    void ReleaseKeyButton();
    // The cursor to the start position of the page shown, its button released.
    void KeyToPageStart();
    bool locationSavingSuppressed_ = true;
    // The window manager placing the window: the first showing (app: location saving), and the
    // frame it gives the framed window.
    struct Placement {
        bool started = false;
        bool placed = false;
        bool retried = false;    // the stored minimised state was asked for a second time
        QTimer *timer = nullptr; // a bar shown minimised: runs while it may still be placed
        QPoint framedMargins;    // the client area's offset in the frame, last seen framed
    } placement_;
    // pages: the button menu's button, placing a button, the page menu's page, the inline box
    // (src/pages/Editing.cpp, PageMenu.cpp).
    ButtonEditing editing_;
    PageMenuState pageMenu_;
    PageNameBox pageNameBox_;
    void SetCurrentButton(const QString &name);
    void SetMenuTab(int tab);
    // launch (src/launch)
    LaunchState launch_;
    // prefs (src/prefs)
    PrefsState prefs_;
    // gauge (src/gauge)
    struct GaugeState {
        QString type;  // a drive letter + "HardDrive", or "SystemMemory1"
        QString mount; // where the graphed drive is mounted: its letter is found from it
    } gauge_;
    void EndPlacement();
    // The presentations (src/bar/Presentation.cpp).
    void SetWatch(bool on);
    void ShowTrayIcon();
    void HideTrayIcon();
    bool TrayAvailable() const;
    void CreateTrayIcon();
    void LaunchOptionClick(QAction *item, YesNoOption &value, const QString &key,
                           QAction *otherItem, YesNoOption &otherValue, const QString &otherKey);
    // The presentation and its options as the file holds them (read at start-up).
    struct PresentationState {
        bool shrunk = false;
        QSize expandedSize;
        YesNoOption onTop, hide, shrinkOnLaunch; // neither word: the choice is left as it is
        QPoint lockedGaugeAt; // where the shrunk gauge stands while its place is locked
    } presentation_;
    void ShowStarting(qint64 handle, QToolButton *button);
    void EndStarting(qint64 handle);
    void SetTrayMenu(QMenu *menu);
    // Frameless and above the others (stay on top, shrunk), and without a taskbar button
    // (shrunk or hidden); the window is shown again when it was visible.
    void SetWindowStyle(bool onTop, bool taskbarButton);
    // The frame and on-top hints; the on-top one as the window's state where the platform
    // keeps it (TellKeepAbove: told again once the window is shown).
    void ApplyStyleFlags(Qt::WindowFlags flags);
    bool PlatformKeepsAbove() const;
    void TellKeepAbove();
    void MoveToBarLocation();
    // Puts the window where its frame stands at `framePos` once the window manager has given it
    // the frame of its present style: asked while the style changes, the toolkit would count
    // the frame the window had before.
    void PlaceFrameAt(const QPoint &framePos);
    // The same place told to a compositor that places windows itself (platform placement).
    void TellCompositorPlace(const QPoint &framePos);
    // Where the window's frame stands now, in the coordinates PlaceFrameAt takes: the toolkit's
    // own count keeps the frame of the style before until the window is next moved.
    QPoint FramePosition() const;
    bool HideToTray(); // false when the notification area refused the icon
    // The launched programs the bar waits for: the end that brings it back, the starts its buttons show.
    struct LaunchWatch {
        bool on = false;
        qint64 process = 0; // the program started last, until its end is acted on
        QHash<qint64, QPointer<QToolButton>> startingButtons; // by process: dimmed until the start is over
    };
    LaunchWatch launchWatch_;
    void WatchProcess(qint64 handle);
    // The process layer saw a program end.
    void ProcessEnded(qint64 handle);
    TOnTop *OnTop1 = nullptr;
    InteractionMode mode_ = InteractionMode::Normal;
    // The application-wide cursor: the mode's, or the hourglass over it.
    struct ScreenCursor {
        int hourglassDepth = 0;
        bool set = false; // the bar holds one entry of the application's cursor stack
    } screenCursor_;
    void UpdateScreenCursor();
    // Guarded handlers and the shared-mode requests that wait until none runs.
    struct Requests {
        int handlerDepth = 0;
        bool reloadWaiting = false;
        bool rebuildWaiting = false;
        int ownRebuildEchoes = 0; // rebuild requests this copy posted and has already carried out
        QBasicTimer waitTimer;
    } requests_;
    bool closingWithoutQuestions_ = false;
    bool tabHelpPending_ = false;
    QMenu *gaugeMenu_ = nullptr;
    QMenu *trayMenu_ = nullptr;
    bool created_ = false;
    int rebuildCount_ = 0;
    int loadCount_ = 0;
    int drawCount_ = 0;
};
