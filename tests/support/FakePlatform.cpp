#include "FakePlatform.h"
#include "settings/NewIniFile.h"

#include "commandline/CommandLine.h"

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QPixmap>
#include <QTimer>

ProcessStart FakeProcesses::Start(const QString &commandLine) {
    ProcessStart result;
    if (!failWith.isEmpty()) {
        result.error = failWith;
        return result;
    }
    // Refused as the real starter refuses it: a line that cannot be passed whole.
    const QStringList words = SplitCommandLine(commandLine, &result.error);
    if (words.isEmpty())
        return result;
    started.append({commandLine, current, words});
    result.started = true;
    result.handle = ++next;
    running.append(result.handle);
    starting.append(result.handle);
    return result;
}

bool FakeProcesses::SetCurrentDirectory(const QString &directory) {
    if (!QDir(directory).exists())
        return false;
    current = directory;
    return true;
}

QIcon FakeShell::ExtractIcon(const QString &file, int index) {
    if (index < 0 || index >= iconCounts.value(file))
        return QIcon();
    QPixmap pixmap(32, 32);
    pixmap.fill(QColor::fromHsv((index * 40) % 360, 200, 200));
    return QIcon(pixmap);
}

FakeInstanceBus::FakeInstanceBus(FakeBusHub *hub) : hub_(hub) {
    if (hub_)
        hub_->buses.append(this);
}

FakeInstanceBus::~FakeInstanceBus() {
    if (hub_)
        hub_->buses.removeAll(this);
}

void FakeInstanceBus::Post(const QString &name, quint32 first, qint32 second) {
    posted.append({name, first, second});
    if (hub_)
        hub_->Deliver(name, first, second);
}

void FakeBusHub::Deliver(const QString &name, quint32 first, qint32 second) {
    for (FakeInstanceBus *bus : buses) {
        QTimer::singleShot(0, [this, bus, name, first, second] {
            if (buses.contains(bus) && bus->OnMessage)
                bus->OnMessage(name, first, second);
        });
    }
}

std::optional<FakeDialogs::Answer> FakeDialogs::Take(Kind kind, const QString &text) {
    shown << text;
    if (script.empty()) {
        failures << QStringLiteral("unexpected dialog: ") + text;
        return std::nullopt;
    }
    Answer a = script.front();
    script.pop_front();
    if (a.kind != kind) {
        failures << QStringLiteral("dialog of another kind than expected: ") + text;
        return std::nullopt;
    }
    if (!a.expectText.isEmpty() && !text.contains(a.expectText)) {
        failures << QStringLiteral("dialog text \"%1\" lacks \"%2\"").arg(text, a.expectText);
    }
    return a;
}

void FakeDialogs::Error(const QString &text) { Take(Kind::Error, text); }
void FakeDialogs::Message(const QString &text, int) { Take(Kind::Message, text); }

bool FakeDialogs::Question(const QString &text, int) {
    auto a = Take(Kind::Question, text);
    return a && a->yes;
}

QStringList FakeDialogs::OpenFiles(const QString &title, const QString &, const QString &, bool) {
    auto a = Take(Kind::OpenFiles, title);
    return a ? a->files : QStringList();
}

QString FakeDialogs::SelectDirectory(const QString &title, const QString &) {
    auto a = Take(Kind::SelectDirectory, title);
    return a ? a->directory : QString();
}

std::optional<QColor> FakeDialogs::ChooseColor(const QColor &, QList<QColor> &, int) {
    auto a = Take(Kind::ChooseColor, QStringLiteral("colour"));
    return a ? a->color : std::nullopt;
}

static QAction *FindAction(QMenu *menu, const QString &text) {
    for (QAction *action : menu->actions()) {
        QString plain = action->text();
        plain.remove(QLatin1Char('&'));
        if (action->isVisible() && (plain == text || action->text() == text))
            return action;
        if (action->menu())
            if (QAction *inner = FindAction(action->menu(), text))
                return inner;
    }
    return nullptr;
}

QAction *FakeDialogs::PopupMenu(QMenu *menu, const QPoint &screenPos) {
    popupPositions << screenPos;
    popups << menu;
    auto a = Take(Kind::Popup, QStringLiteral("menu ") + menu->objectName());
    if (!a || a->actionText.isEmpty())
        return nullptr;
    QAction *action = FindAction(menu, a->actionText);
    if (!action)
        failures << QStringLiteral("menu %1 has no item %2").arg(menu->objectName(), a->actionText);
    else if (!action->isEnabled())
        failures << QStringLiteral("menu item %1 is disabled").arg(a->actionText);
    return action;
}

std::optional<int> FakeDialogs::PickIcon(const QString &file, int) {
    auto a = Take(Kind::PickIcon, file);
    return a ? a->icon : std::nullopt;
}

QString FakeDialogs::Unmet() const {
    QStringList all = failures;
    if (!script.empty())
        all << QStringLiteral("%1 scripted answer(s) left unused").arg(script.size());
    return all.join(QLatin1String("; "));
}

FakePlatform::FakePlatform(FakeBusHub *hub, const QStringList &args) : arguments(args) {
    if (!hub) {
        ownHub = std::make_unique<FakeBusHub>();
        hub = ownHub.get();
    }
    bus = std::make_unique<FakeInstanceBus>(hub);
    QDir().mkpath(SettingsDirectory());
}

Platform FakePlatform::Get() {
    Platform p;
    p.environment.arguments = arguments;
    p.environment.programDirectory = programDir.path() + QLatin1Char('/');
    p.environment.configHome = configDir.path();
    p.processes = &processes;
    p.shell = &shell;
    p.system = &system;
    p.sound = &sound;
    p.session = &session;
    p.bus = bus.get();
    p.help = &help;
    p.dialogs = &dialogs;
    p.appMenu = &appMenu;
    p.tray = &tray;
    p.placement = compositorPlacesWindows ? &windowPlacement : nullptr;
    return p;
}

void FakePlatform::WriteIni(const QString &text, const QString &profile) const {
    QFile file(IniPath(profile));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(text.toUtf8());
}

void FakePlatform::ExpectImportQuestionIfNew(const QString &profile) {
    int top = 0;
    const TNewIniFile ini(IniPath(profile));
    if (TNewIniFile::ParseInteger(ini.ReadString(QStringLiteral("Location"), QStringLiteral("Top"), QString()), &top))
        return;
    // Start-up sets up the lockout data file before it asks: a refusal of that comes first.
    auto at = dialogs.script.begin();
    while (at != dialogs.script.end() && at->kind == FakeDialogs::Kind::Error && at->expectText.contains(QStringLiteral(".DAT")))
        ++at;
    FakeDialogs::Answer question;
    question.kind = FakeDialogs::Kind::Question;
    question.expectText = QStringLiteral("New Orvane Installation:  Yes = Auto Configure.  No = Custom Configure.");
    question.yes = false;
    dialogs.script.insert(at, question);
}
