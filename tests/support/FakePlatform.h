#pragma once

#include <QFile>

#include "platform/Platform.h"

#include <QDir>
#include <QList>
#include <QPointer>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <memory>
#include <variant>

// Fakes of the platform layer for window and logic tests.

class FakeProcesses : public IProcesses {
public:
    // Splits and refuses command lines as the real starter does, and records what started.
    struct Started {
        QString commandLine;
        QString directory;
        QStringList words; // what the program would get as its arguments, itself first
    };
    ProcessStart Start(const QString &commandLine) override;
    bool IsRunning(qint64 handle) override { return running.contains(handle); }
    QString CurrentDirectory() override { return current; }
    bool SetCurrentDirectory(const QString &directory) override;
    // The program's first window appears: its start is over.
    void FinishStart(qint64 handle) {
        if (starting.removeAll(handle) > 0 && OnStarted)
            OnStarted(handle);
    }
    // The process ends: told at once, as the real starter tells it (then a start still going
    // on is over).
    void End(qint64 handle) {
        if (running.removeAll(handle) > 0 && OnEnded)
            OnEnded(handle);
        FinishStart(handle);
    }

    QList<Started> started;
    QList<qint64> running;
    QList<qint64> starting;
    QString current = QDir::rootPath();
    QString failWith; // when set, every start fails with this reason
    qint64 next = 100;
};

class FakeShell : public IShell {
public:
    QString FindExecutable(const QString &file, QString *refusal = nullptr) override {
        if (refusal && refusals.contains(file))
            *refusal = refusals.value(file);
        return associations.value(file);
    }
    int IconCount(const QString &file) override { return iconCounts.value(file); }
    QIcon ExtractIcon(const QString &file, int index) override;
    QHash<QString, QString> associations;
    QHash<QString, QString> refusals; // the reasons told for files without a program
    QHash<QString, int> iconCounts;
};

class FakeSystemInfo : public ISystemInfo {
public:
    MemoryStatus Memory() override { return memory; }
    QList<DriveInfo> Drives() override { return drives; }
    QString UserName() override { return userName; }
    int ScreenHeight() override { return screenHeight; }
    int UsableScreenWidth() override { return usableWidth; }
    int MenuBarHeight() override { return menuHeight; }
    QList<QRect> Screens() override { return screens; }

    MemoryStatus memory{42, 8ull << 30};
    QList<DriveInfo> drives{{QChar('C'), QStringLiteral("/"), 100ull << 30, 40ull << 30, DriveType::Fixed}};
    QString userName = QStringLiteral("tester");
    int screenHeight = 768;
    int usableWidth = 1024;
    QList<QRect> screens{QRect(0, 0, 1024, 768)};
    int menuHeight = 19;
};

class FakeSound : public ISound {
public:
    struct Played {
        QString file;
        bool asynchronous;
        bool useDefault;
    };
    bool Play(const QString &file, bool asynchronous, bool useDefault) override {
        played.append({file, asynchronous, useDefault});
        return true;
    }
    QList<Played> played;
};

// A compositor that places windows itself (as sway does): records the places asked for, and
// tells a frame the toolkit does not know of.
class FakeWindowPlacement : public IWindowPlacement {
public:
    void PlaceWindow(QWidget *, const QPoint &framePosition) override {
        asked.append(framePosition);
    }
    QPoint FrameMargins(const QWidget *) const override { return margins; }
    QList<QPoint> asked;
    QPoint margins;
};

// Records the requests; nothing ever reaches the real session.
class FakeSession : public ISession {
public:
    static constexpr const char *PowerOffRecord = "PowerOff";
    static constexpr const char *RebootRecord = "Reboot";
    QString PowerOff() override { requests << QLatin1String(PowerOffRecord); return refusal; }
    QString Reboot() override { requests << QLatin1String(RebootRecord); return refusal; }
    QStringList requests;
    QString refusal;
};

class FakeHelp : public IHelp {
public:
    void ShowContents() override { topics << 0; }
    void ShowTopic(int topic) override { topics << topic; }
    QList<int> topics; // 0 stands for the contents
};

// Joins the buses of several windows in one process: a post reaches every bus, the sender
// included, after the current event has been handled (as a message from another copy would).
class FakeBusHub;
class FakeInstanceBus : public IInstanceBus {
public:
    explicit FakeInstanceBus(FakeBusHub *hub);
    ~FakeInstanceBus() override;
    bool Available() const override { return hub_ != nullptr; }
    void Post(const QString &name, quint32 first, qint32 second) override;
    struct Message {
        QString name;
        quint32 first;
        qint32 second;
    };
    QList<Message> posted;

private:
    FakeBusHub *hub_;
};

class FakeBusHub {
public:
    void Deliver(const QString &name, quint32 first, qint32 second);
    QList<FakeInstanceBus *> buses;
};

// Scripted answers. Each dialog the window opens takes the next answer; a dialog of another
// kind than the script expects, or one with no answer left, is recorded as a failure, and so
// are answers left unused (see Unmet()).
class FakeDialogs : public IDialogs {
public:
    enum class Kind { Error, Message, Question, OpenFiles, SelectDirectory, ChooseColor, Popup, PickIcon };
    struct Answer {
        Kind kind = Kind::Error;
        QString expectText;   // the dialog's text must contain this (errors, messages, questions)
        bool yes = false;
        QStringList files;
        QString directory;
        std::optional<QColor> color;
        QString actionText;   // popup: the item chosen by its text (without '&'); empty = dismissed
        std::optional<int> icon;
    };
    static Answer Make(Kind kind, const QString &text = QString()) {
        Answer a;
        a.kind = kind;
        a.expectText = text;
        return a;
    }
    void ExpectError(const QString &text) { script.push_back(Make(Kind::Error, text)); }
    void ExpectMessage(const QString &text) { script.push_back(Make(Kind::Message, text)); }
    void ExpectQuestion(const QString &text, bool yes) {
        Answer a = Make(Kind::Question, text);
        a.yes = yes;
        script.push_back(a);
    }
    void ExpectPopup(const QString &actionText) {
        Answer a = Make(Kind::Popup);
        a.actionText = actionText;
        script.push_back(a);
    }
    void ExpectOpenFiles(const QStringList &files) {
        Answer a = Make(Kind::OpenFiles);
        a.files = files;
        script.push_back(a);
    }
    void ExpectDirectory(const QString &directory) {
        Answer a = Make(Kind::SelectDirectory);
        a.directory = directory;
        script.push_back(a);
    }
    // The icon picker's answer: the chosen index, or nothing (closed). file: the picker must
    // be opened on a file whose name contains this.
    void ExpectPickIcon(std::optional<int> icon, const QString &file = QString()) {
        Answer a = Make(Kind::PickIcon, file);
        a.icon = icon;
        script.push_back(a);
    }

    void Error(const QString &text) override;
    void Message(const QString &text, int helpContext) override;
    bool Question(const QString &text, int helpContext) override;
    QStringList OpenFiles(const QString &title, const QString &filter, const QString &directory,
                          bool multiple) override;
    QString SelectDirectory(const QString &title, const QString &directory) override;
    std::optional<QColor> ChooseColor(const QColor &initial, QList<QColor> &customColors,
                                      int helpContext) override;
    QAction *PopupMenu(QMenu *menu, const QPoint &screenPos) override;
    std::optional<int> PickIcon(const QString &file, int index) override;

    // Empty when every dialog was expected and every answer used; otherwise what went wrong.
    QString Unmet() const;

    std::deque<Answer> script;
    QStringList failures;
    QStringList shown;            // the texts of every box shown, in order
    QList<QPoint> popupPositions; // where each popup menu was opened
    QList<QPointer<QMenu>> popups;

private:
    std::optional<Answer> Take(Kind kind, const QString &text);
};

// The application menu: scripted replies; an item without one times out (no reply). Every
// call is logged: "connect", "request:" + item, "disconnect".
class FakeAppMenu : public IAppMenu {
public:
    bool Connect() override {
        calls << QStringLiteral("connect");
        return available;
    }
    void Disconnect() override { calls << QStringLiteral("disconnect"); }
    std::optional<QString> Request(const QString &item) override {
        calls << QStringLiteral("request:") + item;
        if (!available || !replies.contains(item))
            return std::nullopt;
        return replies.value(item);
    }
    bool available = false;
    QHash<QString, QString> replies;
    QStringList calls;
};

class FakeNotificationArea : public INotificationArea {
public:
    bool Available() const override { return available; }
    // Refused without a notification area, as the real one refuses it; refuseIcon refuses it
    // with an area there (one that went away between the question and the request).
    bool Add(const QIcon &shown, const QString &hint) override {
        if (!available || refuseIcon)
            return false;
        calls << "add:" + hint;
        icon = shown;
        return true;
    }
    bool Modify(const QIcon &shown, const QString &hint) override {
        calls << "modify:" + hint;
        icon = shown;
        return true;
    }
    bool Delete() override { calls << QStringLiteral("delete"); return true; }
    void SetTaskbarButton(QWidget *, bool shown) override { taskbarButton = shown; }
    bool taskbarButton = true;
    bool available = true;
    bool refuseIcon = false;
    QStringList calls;
    QIcon icon; // the picture last added or modified
};

// A complete fake platform with its own settings directory in a temporary folder.
class FakePlatform {
public:
    explicit FakePlatform(FakeBusHub *hub = nullptr, const QStringList &arguments = {});
    Platform Get();
    QString SettingsDirectory() const { return configDir.path() + QStringLiteral("/orvane/"); }
    QString IniPath(const QString &profile = QString()) const {
        return SettingsDirectory() + QStringLiteral("OV") + profile + QStringLiteral(".INI");
    }
    // Writes the settings file of the profile with this text.
    void WriteIni(const QString &text, const QString &profile = QString()) const;
    // A settings file without a usable "Location"/"Top" is a new installation, whose start
    // first asks whether to fill the bar from the application menu. When the profile's file is
    // one, puts that question, answered No, before the answers scripted so far.
    void ExpectImportQuestionIfNew(const QString &profile = QString());

    QTemporaryDir configDir;
    QTemporaryDir programDir;
    QStringList arguments;
    FakeProcesses processes;
    FakeShell shell;
    FakeSystemInfo system;
    FakeSound sound;
    FakeSession session;
    FakeWindowPlacement windowPlacement;
    bool compositorPlacesWindows = false; // windowPlacement reaches the window only when set
    FakeHelp help;
    FakeDialogs dialogs;
    FakeAppMenu appMenu;
    FakeNotificationArea tray;
    std::unique_ptr<FakeBusHub> ownHub;
    std::unique_ptr<FakeInstanceBus> bus;
};

// A desktop entry for an editor, as the shortcut tests drop or choose it: its command line is
// "/usr/bin/gedit --new-window" once the field code is gone. Empty when it cannot be written.
inline QString WriteEditorEntry(const QString &directory) {
    const QString path = directory + QStringLiteral("/editor.desktop");
    QFile entry(path);
    if (!entry.open(QIODevice::WriteOnly) ||
        entry.write("[Desktop Entry]\nType=Application\nName=Editor\nExec=/usr/bin/gedit --new-window %U\nIcon=gedit\n") < 0)
        return QString();
    return path;
}
