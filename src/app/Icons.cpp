#include "app/Icons.h"
#include "components/Ontop.h"
#include "components/ZtTray95.h"
#include "components/SheLink.h"
#include "prefs/TabColors.h"
#include "components/Disk.h"
#include "components/enhgauge.h"
#include "gauge/GaugeRules.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QDate>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>
#include <QWindow>
#include <algorithm>
#include <optional>

namespace {
const QColor kDesktopColor(0x00, 0x80, 0x80);
constexpr int kMaxButtons = 99999; // pages × buttons per page
// The window's caption and the tray icon's hint begin with the program's name.
const QString kCaptionPrefix = QStringLiteral("Velmora ");

// Keeps a counter raised while a handler runs.
struct DepthGuard {
    explicit DepthGuard(int &d) : depth(d) { ++depth; }
    ~DepthGuard() { --depth; }
    int &depth;
};

QAction *NewItem(QMenu *menu, const QString &name, const QString &caption, bool checkable) {
    auto *action = new QAction(caption, menu);
    action->setObjectName(name);
    action->setCheckable(checkable);
    menu->addAction(action);
    return action;
}
} // namespace

TForm1::TForm1(const Platform &platform, QWidget *parent)
    : QWidget(parent), platform_(platform) {
    setObjectName(QStringLiteral("Form1"));
    // A single border with the system menu and the minimise box: the bar has a fixed size.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("Start"));
    QFont font(QStringLiteral("Arial"));
    font.setBold(true);
    font.setPixelSize(11);
    setFont(font);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kDesktopColor);
    setPalette(pal);
    setAutoFillBackground(true);
    BuildControls();
    BuildMenus();
    CreateRecentList();
    ShellLink1 = new TShellLink(this);
    ShellLink1->setObjectName(QStringLiteral("ShellLink1"));
    ShellLink1->OnMessage = [this](const QString &text) {
        platform_.dialogs->ErrorBox(QString::fromLatin1(TShellLink::ErrorCaption), text);
    };
    ConnectAppearance();
    resize(630 - 6, 101 - 25); // the design size until the mode sizes apply
    move(10, 380);
    if (platform_.bus)
        platform_.bus->OnMessage = [this](const QString &name, quint32 first, qint32 second) {
            OnInstanceMessage(name, first, second);
        };
    OnTop1 = new TOnTop(this);
    // The watch is told of the started program's end at once, from the event loop, and brings
    // the bar back then and there.
    if (platform_.processes)
        platform_.processes->OnEnded = [this](qint64 handle) { ProcessEnded(handle); };
    if (platform_.processes)
        // After the notification, as the watch: a program that ends brings the bar back before
        // its button's face is repainted.
        platform_.processes->OnStarted = [this](qint64 handle) {
            QTimer::singleShot(0, this, [this, handle] { EndStarting(handle); });
        };
    CreateTrayIcon();
    FormCreate();
}

TForm1::~TForm1() {
    if (platform_.bus)
        platform_.bus->OnMessage = nullptr;
    if (platform_.processes) {
        platform_.processes->OnEnded = nullptr;
        platform_.processes->OnStarted = nullptr;
    }
    HideTrayIcon();
    if (screenCursor_.set)
        QApplication::restoreOverrideCursor();
}

void TForm1::BuildControls() {
    scroller_ = new QScrollArea(this);
    // The page area never takes the keyboard: a click anywhere on the bar leaves it with the
    // key box (a scroll area would take it on a click and scroll with the arrow keys).
    scroller_->setFocusPolicy(Qt::NoFocus);
    scroller_->setFrameShape(QFrame::NoFrame);
    scroller_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroller_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroller_->setWidgetResizable(false);
    scroller_->viewport()->setAutoFillBackground(false);
    client_ = new QWidget;
    client_->setObjectName(QStringLiteral("client"));
    client_->resize(630, 54);
    scroller_->setWidget(client_);
    // Buttons scrolled into view are made as they come.
    connect(scroller_->horizontalScrollBar(), &QScrollBar::valueChanged, this,
            [this] { MakeButtonsInView(); });

    // The key box lies behind the page area: it holds the focus without being seen. It takes
    // keys only, so it needs no text editing (which would cost start-up time).
    Keys = new QWidget(client_);
    Keys->setFocusPolicy(Qt::StrongFocus);
    Keys->setObjectName(QStringLiteral("Keys"));
    Keys->setGeometry(180, 6, 33, 20);
    Keys->installEventFilter(this);

    Panel1 = new QFrame(client_);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setGeometry(0, 0, 44, 19);
    Panel1->setAutoFillBackground(true);
    QPalette pp = Panel1->palette();
    pp.setColor(QPalette::Window, pp.color(QPalette::Button));
    Panel1->setPalette(pp);
    // gauge: the system gauge fills the panel, lime on maroon, its text centred.
    Gauge1 = new TEnhancedGauge(Panel1);
    Gauge1->setObjectName(QStringLiteral("Gauge1"));
    Gauge1->setGeometry(2, 1, 39, 15);
    Gauge1->setBorderStyle(TEnhancedGauge::bsNone);
    Gauge1->setForeColor(QColor(0x00, 0xFF, 0x00));
    Gauge1->setBackColor(QColor(0x80, 0x00, 0x00));
    Gauge1->setAlignment(TEnhancedGauge::taCenter);
    Gauge1->setFont(GaugeFont(Gauge1->size())); // measured: the readings must fit the face
    Gauge1->installEventFilter(this);

    HelpButton = new QToolButton(client_);
    HelpButton->setObjectName(QStringLiteral("HelpButton"));
    HelpButton->setGeometry(0, 18, 23, 19);
    HelpButton->setText(QStringLiteral("?"));
    HelpButton->setToolTip(QStringLiteral("Help"));
    HelpButton->installEventFilter(this);
    connect(HelpButton, &QToolButton::clicked, this, [this] { Guarded([this] { HelpButtonClick(); }); });

    RunButton = new QToolButton(client_);
    RunButton->setObjectName(QStringLiteral("RunButton"));
    RunButton->setGeometry(22, 18, 23, 19);
    RunButton->setText(QStringLiteral("\u25B6"));
    RunButton->setToolTip(QStringLiteral("Run a Program"));
    connect(RunButton, &QToolButton::clicked, this, [this] { Guarded([this] { RunButtonClick(); }); });

    Notebook1 = new TNotebook(client_);
    Notebook1->setObjectName(QStringLiteral("Notebook1"));
    Notebook1->setGeometry(44, 0, 577, 37);
    Notebook1->setAutoFillBackground(true);
    QPalette np = Notebook1->palette();
    np.setColor(QPalette::Window, np.color(QPalette::Button));
    Notebook1->setPalette(np);
    connect(Notebook1, &TNotebook::currentChanged, this, [this] { MakeButtonsInView(); });

    TabSet1 = new TTabSet(client_);
    TabSet1->setObjectName(QStringLiteral("TabSet1"));
    TabSet1->setGeometry(44, 36, 575, 18);
    QFont tabFont(QStringLiteral("Arial"));
    tabFont.setPixelSize(12);
    TabSet1->setFont(tabFont);
    TabSet1->installEventFilter(this);
    connect(TabSet1, &TTabSet::currentChanged, this, [this] { Guarded([this] { TabSet1Click(); }); });

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    // gauge: a reading every second from the start; the drive component answers its figures.
    DISK1 = new TDISK(*platform_.system, this);
    DISK1->setObjectName(QStringLiteral("DISK1"));
    connect(Timer1, &QTimer::timeout, this, [this] { GaugeTimer(); });
    Timer1->start();
    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(100);

    Keys->setFocus();
    // Whatever else comes to hold the keyboard inside the bar hands it back to the key box;
    // only the inline box keeps it while it is open.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) {
        if (now && now != Keys && now != PageName && now->window() == this)
            Keys->setFocus();
    });
}

QAction *TForm1::AddItem(QMenu *menu, const QString &name, const QString &caption,
                         void (TForm1::*handler)(), ItemKind kind) {
    QAction *action = NewItem(menu, name, caption, kind == ItemKind::Checkable);
    if (handler)
        connect(action, &QAction::triggered, this,
                [this, handler] { Guarded([this, handler] { (this->*handler)(); }); });
    return action;
}

QAction *TForm1::AddItem(QMenu *menu, const QString &name, const QString &caption,
                         void (TForm1::*handler)(QAction *), ItemKind kind) {
    QAction *action = NewItem(menu, name, caption, kind == ItemKind::Checkable);
    connect(action, &QAction::triggered, this, [this, handler, action] {
        Guarded([this, handler, action] { (this->*handler)(action); });
    });
    return action;
}

void TForm1::BuildMenus() {
    BuildButtonMenu();
    BuildPageMenu();
    BuildSetupMenu();

    PopupMenu4 = new QMenu(this);
    PopupMenu4->setObjectName(QStringLiteral("PopupMenu4"));
    ExitMenuItems &exit = items_.exit;
    exit.ExitOrvane1 =
        AddItem(PopupMenu4, QStringLiteral("ExitOrvane1"), QStringLiteral("&Exit Orvane"));
    PopupMenu4->addSeparator();
    exit.ExitWin1 = AddItem(PopupMenu4, QStringLiteral("ExitWin1"),
                            QStringLiteral("Shut &Down Computer"), &TForm1::ExitWin1Click);
    exit.RestartWin1 = AddItem(PopupMenu4, QStringLiteral("RestartWin1"),
                               QStringLiteral("&Restart Computer"), &TForm1::RestartWin1Click);

    BuildRecentMenu();
    gaugeMenu_ = PopupMenu3;
}

void TForm1::BuildSetupMenu() {
    PopupMenu3 = new QMenu(this);
    PopupMenu3->setObjectName(QStringLiteral("PopupMenu3"));
    SetupMenuItems &setup = items_.setup;
    constexpr auto checkable = ItemKind::Checkable;
    setup.LastLaunched =
        AddItem(PopupMenu3, QStringLiteral("LastLaunched"),
                QStringLiteral("Switch to &Last Launched menu >"), &TForm1::LastLaunchedClick);
    AddGaugeItems(PopupMenu3);
    PopupMenu3->addSeparator();
    setup.ConfirmExit1 =
        AddItem(PopupMenu3, QStringLiteral("ConfirmExit1"), QStringLiteral("Show &Exit Options"),
                &TForm1::ConfirmExit1Click, checkable);
    setup.StayonTop1 =
        AddItem(PopupMenu3, QStringLiteral("StayonTop1"), QStringLiteral("Always Stay on &Top"),
                &TForm1::StayonTop1Click, checkable);
    setup.AutoExpand1 =
        AddItem(PopupMenu3, QStringLiteral("AutoExpand1"), QStringLiteral("&Auto Expand/Show"),
                &TForm1::AutoExpand1Click, checkable);
    setup.AutoExpand1->setChecked(true);
    setup.HideGraph1 = AddItem(PopupMenu3, QStringLiteral("HideGraph1"), QString(),
                               &TForm1::HideGraph1Click, checkable);
    setup.ShrinkOnLaunch1 =
        AddItem(PopupMenu3, QStringLiteral("ShrinkOnLaunch1"), QStringLiteral("&Shrink on Launch"),
                &TForm1::ShrinkOnLaunch1Click, checkable);
    setup.ShrinkOnLaunch1->setChecked(true);
    PopupMenu3->addSeparator();
    setup.LockGraphLocation1 = AddItem(PopupMenu3, QStringLiteral("LockGraphLocation1"),
                                       QStringLiteral("Lock &Graph Location"),
                                       &TForm1::LockGraphLocation1Click, checkable);
    setup.LockoutModify1 =
        AddItem(PopupMenu3, QStringLiteral("LockoutModify1"), QStringLiteral("Lockout &Modify"),
                &TForm1::LockoutModify1Click, checkable);
    PopupMenu3->addSeparator();
    setup.StartWithDesktop1 = AddItem(PopupMenu3, QStringLiteral("StartWithDesktop1"),
                                      QStringLiteral("Start with the &Desktop"),
                                      &TForm1::StartWithDesktop1Click, checkable);
    // The entry can change outside the bar: its tick is read again whenever the menu opens.
    connect(PopupMenu3, &QMenu::aboutToShow, this, &TForm1::ShowAutostartState);
}

// ---------------------------------------------------------------------------------------------
// Creation

void TForm1::FormCreate() {
    ISystemInfo &system = *platform_.system;
    const int screenHeight = system.ScreenHeight();
    const int menuHeight = system.MenuBarHeight();
    const int defaultTop = screenHeight - (menuHeight + 85);
    locationSavingSuppressed_ = true;

    profile_ = ProfileFromArguments(platform_.environment.arguments, [&system] { return system.UserName(); });
    paths_ = ResolveSettingsPaths(platform_.environment.programDirectory,
                                  platform_.environment.configHome, profile_.name);
    if (paths_.usable)
        QDir().mkpath(paths_.directory);
    const TNewIniFile ini = Ini();
    AttachRecentList();
    ShowAutostartState(); // this profile's entry

    keyCursor_.position = 0;
    keyCursor_.atStart = true;
    TrayIcon->setHint(kCaptionPrefix + profile_.name);
    items_.setup.HideGraph1->setText(QStringLiteral("&Hide on Launch"));
    // gauge: the first reading (of the type held from a previous pass) and the drive items
    GasGage();
    CountDrives();
    FormCaption();

    // A new installation has no usable "Top": absent, empty or unreadable values read as the
    // default, and that default means a new installation (a stored -50 is a position).
    int storedTop = 0;
    const bool newInstallation = !TNewIniFile::ParseInteger(
        ini.ReadString(QStringLiteral("Location"), QStringLiteral("Top"), QString()), &storedTop);
    ReadStartSettings(ini);
    CheckPassword(settings_.user);
    settings_.top = ini.ReadInteger(QStringLiteral("Location"), QStringLiteral("Top"), defaultTop);

    perPageMaximum_ = PerPageMaximum(system.UsableScreenWidth());
    const bool sizeItems = perPageMaximum_ != 16;
    for (QAction *item :
         {items_.page.PButton16, items_.page.PButton21, items_.page.PageSizeSeparator})
        item->setVisible(sizeItems);
    buttonsPerPage_ = settings_.buttonCount > 0 ? qMin(settings_.buttonCount, kMaxButtons) : 16;
    if (newInstallation && settings_.buttonCount == 0)
        buttonsPerPage_ = perPageMaximum_;
    if (newInstallation)
        LoadProgman();

    ApplyMenuSettings();
    CreateButtons();
    FormCaption(); // the page count is known now
    ApplyTabColors();

    const bool taller = buttonsPerPage_ > perPageMaximum_;
    settings_.top = CorrectedTop(settings_.top, screenHeight, menuHeight, taller);
    MoveToBarLocation();

    presentation_.shrunk = false;
    items_.setup.LockGraphLocation1->setChecked(settings_.lockedGraph);
    if (presentation_.shrinkOnLaunch.IsYesOrNo())
        items_.setup.ShrinkOnLaunch1->setChecked(presentation_.shrinkOnLaunch.IsYes());
    if (settings_.windowState == QLatin1String("Min"))
        setWindowState(windowState() | Qt::WindowMinimized);
    else if (settings_.windowState == QLatin1String("Norm"))
        setWindowState(windowState() & ~Qt::WindowMinimized);
    geometry_ = ComputeBarGeometry(buttonsPerPage_, perPageMaximum_, menuHeight,
                                   system.UsableScreenWidth(), presentation_.onTop.IsYes());
    if (presentation_.onTop.IsYesOrNo()) {
        items_.setup.StayonTop1->setChecked(geometry_.onTop);
        ApplyGeometry();
    } else {
        ApplyScrollRange();
    }
    requestedCount_ = buttonsPerPage_;
    setAcceptDrops(true);
    created_ = true;
    Load();
}

void TForm1::ReadStartSettings(const TNewIniFile &ini) {
    const QString loc = QStringLiteral("Location");
    auto yesNo = [&ini, &loc](const char *key, bool byDefault) {
        return YesNoOption::FromWord(
            ini.ReadString(loc, QLatin1String(key), YesNoOption::Word(byDefault)));
    };
    settings_.user = ini.ReadString(loc, QStringLiteral("User"), QStringLiteral("UpdateMe"));
    presentation_.hide = yesNo("Hide", false);
    settings_.menuShow = ini.ReadString(QStringLiteral("Menu"), QStringLiteral("Show"), QString());
    settings_.left = ini.ReadInteger(loc, QStringLiteral("Left"), 0);
    presentation_.lockedGaugeAt = QPoint(ini.ReadInteger(loc, QStringLiteral("ShrinkX"), 0),
                                         ini.ReadInteger(loc, QStringLiteral("ShrinkY"), 0));
    settings_.buttonCount = ini.ReadInteger(loc, QStringLiteral("ButtonCount"), 0);
    settings_.lockedGraph = yesNo("LockedGraph", false).IsYes();
    presentation_.onTop = yesNo("OnTop", false);
    settings_.windowState =
        ini.ReadString(QStringLiteral("Window"), QStringLiteral("State"), QStringLiteral("Norm"));
    presentation_.shrinkOnLaunch = yesNo("Shrink", true);
    settings_.checkExit = yesNo("CheckExit", false);
    settings_.autoExpand = yesNo("AutoExpand", true);
    ReadGaugeType(ini);
    prefs_.selectedColor =
        tabcolors::ReadTabColor(ini, QStringLiteral("SelectedColor"), tabcolors::kDefaultSelected);
    prefs_.unselectedColor = tabcolors::ReadTabColor(ini, QStringLiteral("UnselectedColor"),
                                                     tabcolors::kDefaultUnselected);
}

void TForm1::ApplyMenuSettings() {
    CheckGaugeType(); // gauge
    auto tick = [](QAction *item, const YesNoOption &value) {
        if (value.IsYesOrNo())
            item->setChecked(value.IsYes());
    };
    tick(items_.setup.ConfirmExit1, settings_.checkExit);
    tick(items_.setup.AutoExpand1, settings_.autoExpand);
    tick(items_.setup.HideGraph1, presentation_.hide);
    gaugeMenu_ = PopupMenu3;
    SetTrayMenu(PopupMenu5);
    if (settings_.menuShow == QLatin1String("Setup")) {
        gaugeMenu_ = PopupMenu3;
        SetTrayMenu(PopupMenu3);
    } else if (settings_.menuShow == QLatin1String("Launched")) {
        gaugeMenu_ = PopupMenu5;
        SetTrayMenu(PopupMenu5);
    }
}

void TForm1::ApplyGeometry() {
    const BarGeometry &g = geometry_;
    Qt::WindowFlags flags = windowFlags() & ~(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    if (g.onTop)
        flags |= Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint;
    if (flags != windowFlags()) {
        const bool visible = isVisible();
        if (visible)
            QWidget::hide(); // unmapped while the frame comes or goes, as the desktop needs
        ApplyStyleFlags(flags);
        if (visible) {
            show();
            TellKeepAbove();
        }
    }
    Notebook1->setGeometry(BarGeometry::GaugeColumn, 0, g.pageAreaWidth, BarGeometry::PageHeight);
    setFixedSize(g.ClientWidth(), g.clientHeight);
    presentation_.expandedSize = size();
    ApplyScrollRange();
}

void TForm1::ApplyScrollRange() {
    const int range = geometry_.scrollRange;
    // The tab row is as wide as the page area, but its scroll arrows must stay in sight where
    // the frame takes the page area's last pixels.
    const int tabWidth = range > 0 ? Notebook1->width()
                                   : qMin(Notebook1->width(), width() - BarGeometry::GaugeColumn);
    TabSet1->setGeometry(BarGeometry::GaugeColumn, 36, tabWidth, BarGeometry::TabHeight);
    client_->resize(qMax(range, BarGeometry::GaugeColumn + Notebook1->width()),
                    BarGeometry::PageHeight + BarGeometry::TabHeight - 1);
    scroller_->setHorizontalScrollBarPolicy(range > 0 ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    scroller_->setGeometry(rect());
}

void TForm1::resizeEvent(QResizeEvent *) {
    scroller_->setGeometry(rect());
    // The two buttons under the gauge reach one row into its panel: a window no taller than
    // the panel (the shrunk bar) shows the gauge alone.
    const bool roomBelowGauge = height() > Panel1->height();
    HelpButton->setVisible(roomBelowGauge);
    RunButton->setVisible(roomBelowGauge);
    MakeButtonsInView();
}

// ---------------------------------------------------------------------------------------------
// Loading the button records

void TForm1::Load() {
    locationSavingSuppressed_ = false;
    loading_ = true;
    ++loadCount_;
    const TNewIniFile ini = Ini();
    const int pages = TabSet1->count();
    const int count = pages * buttonsPerPage_;
    const int pageCount = ini.ReadInteger(QStringLiteral("Pages"), QStringLiteral("Count"), 20);
    // One look at the file per section, not per key: this runs for every button.
    QList<QHash<QString, QString>> sections;
    for (const QString &section : ButtonRecordSections())
        sections.append(ini.ReadSectionValues(section));
    const QHash<QString, QString> tabs = ini.ReadSectionValues(QStringLiteral("Tabs"));
    // Only the numbers the file holds a key for: walking every number of thousands of pages
    // would cost far more than the few records a file has.
    QList<int> numbers;
    for (const QHash<QString, QString> &values : std::as_const(sections))
        for (auto it = values.keyBegin(); it != values.keyEnd(); ++it) {
            const int n = ButtonNumber(*it);
            if (n >= 1 && n <= count && ButtonKey(n).toCaseFolded() == *it)
                numbers.append(n);
        }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    QList<std::pair<QString, QString>> emptyKeys;
    for (const int n : std::as_const(numbers)) {
        const QString key = ButtonKey(n);
        const QString folded = key.toCaseFolded();
        QStringList values;
        for (int i = 0; i < sections.size(); ++i) {
            const auto found = sections[i].constFind(folded);
            QString value = found == sections[i].constEnd() ? QString() : *found;
            if (i == 3) { // "IconSelection": an integer, absent or 0 alike
                int index = 0;
                value = TNewIniFile::ParseInteger(value, &index) && index != 0 ? QString::number(index) : QString();
            }
            if (value.isEmpty() && found != sections[i].constEnd())
                emptyKeys.append({ButtonRecordSections()[i], key});
            values.append(value);
        }
        if (!values[0].isEmpty()) {
            ButtonRecord record;
            record.Programs = values[0];
            record.Parameters = values[1];
            record.Icons = values[2];
            record.IconSelection = values[3].toInt();
            record.Names = values[4];
            record.Shrink = values[5];
            record.Select = values[6];
            record.Working = values[7];
            record.SoundSelect = values[8];
            record.SoundLaunch = values[9];
            // Only pages already made: the others read their records when they are made.
            if (QToolButton *button = buttons_.value(key))
                ShowRecord(button, record);
        }
    }
    for (int n = 1; n <= qMin(pageCount, pages); ++n) {
        const QString name = tabs.value((QStringLiteral("PageTab") + QString::number(n)).toCaseFolded());
        TabSet1->setTabText(n - 1, name.isEmpty() ? QStringLiteral("Page") + QString::number(n) : name);
    }
    // Writers that switch an option off leave an empty value; clear them out in one rewrite.
    // Loading goes on to its end even when that rewrite is refused, and reports it once.
    QString refused;
    if (!emptyKeys.isEmpty()) {
        try {
            TNewIniFile file = Ini();
            SettingsTransaction transaction(file);
            for (const auto &[section, key] : emptyKeys)
                file.EraseKey(section, key);
            transaction.Commit();
        } catch (const SettingsWriteError &error) {
            refused = QString::fromUtf8(error.what());
        }
    }
    pageMaking_.recordsLoaded = true;
    loading_ = false;
    if (!refused.isEmpty())
        platform_.dialogs->Error(refused);
}

// ---------------------------------------------------------------------------------------------
// Settings

TNewIniFile TForm1::Ini() const {
    return paths_.usable ? TNewIniFile(paths_.iniFile) : TNewIniFile::Refusing(paths_.iniFile);
}

// ---------------------------------------------------------------------------------------------
// Location, caption, window state

void TForm1::FormCaption() {
    const QString date = QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat);
    const QString blanks(6, QLatin1Char(' '));
    setWindowTitle(kCaptionPrefix + profile_.name + blanks + date + blanks +
                   QStringLiteral("Page ") + QString::number(TabSet1->currentIndex() + 1) +
                   QStringLiteral(" of ") + QString::number(TabSet1->count()));
}

void TForm1::SaveLocation() {
    const QPoint at = FramePosition();
    settings_.top = at.y();
    settings_.left = at.x();
    const QString state = (windowState() & Qt::WindowMinimized) ? QStringLiteral("Min") : QStringLiteral("Norm");
    TNewIniFile ini = Ini();
    SettingsTransaction transaction(ini);
    ini.WriteInteger(QStringLiteral("Location"), QStringLiteral("Top"), settings_.top);
    ini.WriteInteger(QStringLiteral("Location"), QStringLiteral("Left"), settings_.left);
    ini.WriteString(QStringLiteral("Window"), QStringLiteral("State"), state);
    transaction.Commit();
}

// The window manager places the window shown first as it likes: it adds its frame, may choose
// the place itself, and maps a window asked to start minimised as a normal one first. None of
// that is the user moving or restoring the bar. It places and frames a window before it maps
// it, and the toolkit hands on those moves before the window's first exposure: the placing of
// a bar shown normal ends there, and from then on its moves and state changes are the user's.
// A bar to be shown minimised is not on the screen for the user meanwhile, and desktops differ
// in how they map it (normal first, or not at all): its placing ends once it has been left
// alone for a moment, and a stored minimised state lost by then is asked for again.
constexpr int kMinimisedPlacementQuietMs = 1000;

void TForm1::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    TellKeepAbove(); // the window is mapped right after: the state goes with it
    if (placement_.placed || placement_.started)
        return;
    placement_.started = true;
    if (settings_.windowState != QLatin1String("Min")) {
        windowHandle()->installEventFilter(this); // its first exposure: EndPlacement
        return;
    }
    placement_.timer = new QTimer(this);
    placement_.timer->setSingleShot(true);
    placement_.timer->setInterval(kMinimisedPlacementQuietMs);
    connect(placement_.timer, &QTimer::timeout, this, [this] { EndPlacement(); });
    placement_.timer->start();
    QTimer::singleShot(0, this, [this] { setWindowState(windowState() | Qt::WindowMinimized); });
}

void TForm1::EndPlacement() {
    if (placement_.timer && !(windowState() & Qt::WindowMinimized) && !placement_.retried) {
        placement_.retried = true; // once: a desktop that cannot minimise must not keep us waiting
        setWindowState(windowState() | Qt::WindowMinimized);
        placement_.timer->start();
        return;
    }
    placement_.placed = true;
    windowHandle()->removeEventFilter(this);
    if (placement_.timer)
        placement_.timer->deleteLater();
    placement_.timer = nullptr;
}

void TForm1::moveEvent(QMoveEvent *event) {
    QWidget::moveEvent(event);
    if (!placement_.placed) {
        if (placement_.timer)
            placement_.timer->start();
        return;
    }
    if (!locationSavingSuppressed_ && created_ && isVisible() && !presentation_.shrunk)
        Guarded([this] { SaveLocation(); });
}

void TForm1::changeEvent(QEvent *event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !created_ || loading_)
        return;
    if (!placement_.placed) {
        if (placement_.timer)
            placement_.timer->start();
        return;
    }
    const auto *change = static_cast<QWindowStateChangeEvent *>(event);
    const bool was = change->oldState() & Qt::WindowMinimized;
    const bool is = windowState() & Qt::WindowMinimized;
    if (is && !was) {
        Guarded([this] { AppMin(); });
    } else if (was && !is) {
        // Restored by the desktop: the native window still asks to be mapped minimised, as it
        // was told at start, and would come back so after the next hide (shrinking, the tray).
        if (platform_.tray)
            platform_.tray->ShowNormalWhenMapped(this);
        Guarded([this] { AppNorm(); });
    }
}

void TForm1::AppMin() { Ini().WriteString(QStringLiteral("Window"), QStringLiteral("State"), QStringLiteral("Min")); }
void TForm1::AppNorm() { Ini().WriteString(QStringLiteral("Window"), QStringLiteral("State"), QStringLiteral("Norm")); }

// ---------------------------------------------------------------------------------------------
// Handlers, shared mode

void TForm1::Guarded(const std::function<void()> &handler) {
    {
        DepthGuard depth(requests_.handlerDepth);
        try {
            handler();
        } catch (const SettingsWriteError &error) {
            platform_.dialogs->Error(QString::fromUtf8(error.what()));
        }
    }
    if (requests_.handlerDepth == 0 && (requests_.reloadWaiting || requests_.rebuildWaiting))
        QTimer::singleShot(0, this, [this] { RunWaitingRequests(); });
}

bool TForm1::Busy() const {
    return requests_.handlerDepth > 0 || InlineBoxOpen() || QApplication::activeModalWidget() ||
           QApplication::activePopupWidget();
}

void TForm1::OnInstanceMessage(const QString &name, quint32 first, qint32) {
    if (first != 1)
        return;
    if (name == RebuildMessageName()) {
        if (requests_.ownRebuildEchoes > 0) { // this copy rebuilt when it posted the request
            --requests_.ownRebuildEchoes;
            return;
        }
        requests_.rebuildWaiting = true;
    }
    else if (name == ReloadMessageName())
        requests_.reloadWaiting = true;
    else
        return;
    // Worked off once the messages already here are in: a flood of requests costs one reload
    // (or one rebuild), and never holds up the rest of the event loop.
    if (!requests_.waitTimer.isActive())
        requests_.waitTimer.start(0, this);
}

void TForm1::RunWaitingRequests() {
    if (!requests_.reloadWaiting && !requests_.rebuildWaiting)
        return;
    if (Busy()) {
        // Something is under way (a handler, a dialog, a menu, the inline box, a placing):
        // try again shortly; the requests run once it is over.
        if (!requests_.waitTimer.isActive())
            requests_.waitTimer.start(50, this);
        return;
    }
    const bool rebuild = requests_.rebuildWaiting;
    requests_.reloadWaiting = requests_.rebuildWaiting = false;
    Guarded([this, rebuild] {
        if (rebuild)
            PageUpdate(); // a rebuild loads every record: a waiting reload is done with it
        else
            Load();
    });
}

void TForm1::timerEvent(QTimerEvent *event) {
    if (event->timerId() == requests_.waitTimer.timerId()) {
        requests_.waitTimer.stop();
        RunWaitingRequests();
        return;
    }
    QWidget::timerEvent(event);
}

void TForm1::PostReload() {
    if (profile_.shared && platform_.bus && platform_.bus->Available())
        platform_.bus->Post(ReloadMessageName(), 1, 0);
}

void TForm1::RebuildEverywhere() {
    // The request comes back to this copy too: it is skipped then, as this copy has rebuilt.
    PageUpdate();
    if (profile_.shared && platform_.bus && platform_.bus->Available()) {
        ++requests_.ownRebuildEchoes;
        platform_.bus->Post(RebuildMessageName(), 1, 0);
    }
}

// ---------------------------------------------------------------------------------------------
// Help and interaction mode

void TForm1::SetMode(InteractionMode mode) {
    if (mode == mode_)
        return;
    mode_ = mode;
    UpdateScreenCursor();
    if (mode_ == InteractionMode::Normal)
        RunWaitingRequests();
}

void TForm1::UpdateScreenCursor() {
    std::optional<Qt::CursorShape> shape;
    if (screenCursor_.hourglassDepth > 0)
        shape = Qt::WaitCursor;
    else if (mode_ == InteractionMode::Help)
        shape = Qt::UpArrowCursor;
    else if (mode_ == InteractionMode::PlaceButton)
        shape = Qt::DragMoveCursor;
    else if (mode_ == InteractionMode::MovePage)
        shape = Qt::DragCopyCursor;
    if (!shape) {
        if (screenCursor_.set)
            QApplication::restoreOverrideCursor();
        screenCursor_.set = false;
    } else if (screenCursor_.set) {
        QApplication::changeOverrideCursor(*shape);
    } else {
        QApplication::setOverrideCursor(*shape);
        screenCursor_.set = true;
    }
}

bool TForm1::HelpModeClick(int topic) {
    if (mode_ != InteractionMode::Help)
        return false;
    platform_.help->ShowTopic(topic);
    SetMode(InteractionMode::Normal);
    return true;
}

void TForm1::HelpButtonClick() {
    platform_.help->ShowContents();
    if (mode_ == InteractionMode::Help)
        SetMode(InteractionMode::Normal);
}

void TForm1::HelpButtonMouseDown() { SetMode(InteractionMode::Help); }

void TForm1::GaugeClick() { SmallSizeClick(false); }

void TForm1::ShowPopup(QMenu *menu, const QPoint &screenPos) {
    if (QAction *chosen = platform_.dialogs->PopupMenu(menu, screenPos))
        chosen->trigger();
}

bool TForm1::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::Expose && watched == windowHandle() && !placement_.placed &&
        windowHandle()->isExposed()) {
        EndPlacement();
        return false;
    }
    if (event->type() == QEvent::MouseButtonPress) {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (watched == HelpButton && mouse->button() == Qt::RightButton) {
            Guarded([this] { HelpButtonMouseDown(); });
            return true;
        }
        if (watched == Gauge1 && mouse->button() == Qt::RightButton) {
            const QPoint at = mouse->globalPosition().toPoint();
            Guarded([this, at] { ShowPopup(gaugeMenu_, at); });
            return true;
        }
        if (watched == Gauge1 && mouse->button() == Qt::LeftButton) {
            Guarded([this] { GaugeClick(); });
            return true;
        }
        if (mouse->button() == Qt::RightButton) {
            if (auto *button = qobject_cast<QToolButton *>(watched); button && buttons_.value(button->objectName()) == button) {
                Guarded([this, button] { SpeedRightMouseDown(button); });
                return true;
            }
            if (watched == TabSet1) {
                const QPoint at = mouse->position().toPoint();
                Guarded([this, at] { TabSet1MouseDown(at); });
                return true;
            }
        }
        if (watched == TabSet1 && mouse->button() == Qt::LeftButton && mode_ == InteractionMode::Help) {
            // The tab still changes; the help topic opens from TabSet1Click.
            tabHelpPending_ = true;
        }
    }
    if (watched == Keys && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        Guarded([this, key] { KeysKeyDown(key); });
        return true;
    }
    if (watched == PageName && PageName && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        bool handled = false;
        Guarded([this, key, &handled] { handled = PageNameKeyDown(key); });
        if (handled)
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------------
// Closing

bool TForm1::FormCloseQuery() {
    if (!items_.setup.ConfirmExit1->isChecked())
        return true;
    if (!platform_.dialogs->Question(QStringLiteral("Are you sure you want to exit?")))
        return false;
    ShowPopup(PopupMenu4, QPoint(x() + 250, y()));
    return true;
}

void TForm1::closeEvent(QCloseEvent *event) {
    bool close = true;
    if (!closingWithoutQuestions_)
        Guarded([this, &close] { close = FormCloseQuery(); });
    if (!close) {
        event->ignore();
        return;
    }
    Guarded([this] { FormDestroy(); });
    event->accept();
    emit Closed();
}

void TForm1::FormDestroy() {
    HideTrayIcon();
    // Nothing waiting to be placed is lost with the bar.
    CancelPlacing();
    CancelPageMove();
}

void TForm1::CloseWithoutQuestions() {
    closingWithoutQuestions_ = true;
    close();
}

void TForm1::ConfirmExit1Click() {
    QAction *item = items_.setup.ConfirmExit1;
    // The item has toggled its tick already when it was triggered.
    Ini().WriteString(QStringLiteral("Location"), QStringLiteral("CheckExit"),
                      YesNoOption::Word(item->isChecked()));
}

void TForm1::ExitWin1Click() {
    const QString refusal = platform_.session->PowerOff();
    if (!refusal.isEmpty())
        platform_.dialogs->Message(QStringLiteral("The computer could not be shut down: ") + refusal);
}

void TForm1::RestartWin1Click() {
    const QString refusal = platform_.session->Reboot();
    if (!refusal.isEmpty())
        platform_.dialogs->Message(QStringLiteral("The computer could not be restarted: ") + refusal);
}
