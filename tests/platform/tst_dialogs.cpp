#include "FakePlatform.h"
#include "app/Icons.h"
#include "platform/Help.h"
#include "platform/linux/LinuxDialogs.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>

class RecordingHelp : public IHelp {
public:
    void ShowContents() override { topics.append(0); }
    void ShowTopic(int topic) override { topics.append(topic); }
    QList<int> topics;
};

// Runs each step on the popup or modal box that is open at that moment, one step per event
// loop turn, so that menus and boxes opened by earlier steps are there for later ones.
static void Script(QList<std::function<void(QWidget *)>> steps, bool popup) {
    QTimer::singleShot(0, [steps, popup]() mutable {
        QWidget *target =
            popup ? QApplication::activePopupWidget() : QApplication::activeModalWidget();
        if (!target || steps.isEmpty()) { // not open yet: try again
            if (!steps.isEmpty())
                Script(steps, popup);
            return;
        }
        auto step = steps.takeFirst();
        step(target);
        if (!steps.isEmpty())
            Script(steps, popup);
    });
}

static std::function<void(QWidget *)> Key(Qt::Key key) {
    return [key](QWidget *w) { QTest::keyClick(w, key); };
}

static std::function<void(QWidget *)> Press(QMessageBox::StandardButton which) {
    return [which](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        QVERIFY(box);
        QVERIFY(box->button(which));
        box->button(which)->click();
    };
}

using Steps = QList<std::function<void(QWidget *)>>;

// The file dialog's own controls, as a user sees them.
static QLineEdit *NameEdit(QWidget *dialog) {
    return dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
}

// The names the file dialog lists in the directory it shows, sorted.
static QStringList Listed(QWidget *dialog) {
    const auto *view = dialog->findChild<QListView *>(QStringLiteral("listView"));
    QStringList names;
    if (!view)
        return names;
    const QAbstractItemModel *model = view->model();
    for (int row = 0; row < model->rowCount(view->rootIndex()); ++row)
        names << model->index(row, 0, view->rootIndex()).data().toString();
    names.sort();
    return names;
}

// Types a directory into the name box and presses Enter: the dialog goes there.
static std::function<void(QWidget *)> GoTo(const QString &directory) {
    return [directory](QWidget *w) {
        NameEdit(w)->setText(directory);
        QTest::keyClick(NameEdit(w), Qt::Key_Return);
    };
}

// Waits until the dialog lists `present` (which every filter shows), then records the list.
static std::function<void(QWidget *)> Record(QStringList &listed, const QString &present) {
    return [&listed, present](QWidget *w) {
        QTest::qWaitFor([&] { return Listed(w).contains(present); }, 10000);
        listed = Listed(w);
    };
}

// Chooses the next (Down) or previous (Up) file type with the keyboard.
static std::function<void(QWidget *)> FileType(Qt::Key key) {
    return [key](QWidget *w) {
        QTest::keyClick(w->findChild<QComboBox *>(QStringLiteral("fileTypeCombo")), key);
    };
}

// Writes a file with the given permissions.
static bool Make(const QString &path, QFile::Permissions permissions) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("x") == 1 &&
           file.setPermissions(permissions);
}

class TestDialogs : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void filters_data();
    void filters();
    void programsFilter();
    void iconDialogOfTheBar();
    void selectDirectory_data();
    void selectDirectory();
    void errorBoxOfItsOwn();
    void warningWithHelp();
    void escapeClosesBoxWithHelp_data();
    void escapeClosesBoxWithHelp();
    void colourWithHelp();
    void popupMenu_data();
    void popupMenu();
    void question_data();
    void question();
};

void TestDialogs::initTestCase() {
    // The file dialog keeps its state in the user's settings: not in the real ones.
    static QTemporaryDir home;
    QVERIFY(home.isValid());
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral(".config"))));
}

void TestDialogs::filters_data() {
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("expected");
    QTest::newRow("programs by what they are") << "Programs|*.EXE;*.COM;*.BAT;*.PIF|All Files|*.*"
                                               << "Programs (*);;All Files (*)";
    QTest::newRow("other filters by name")
        << "Programs of old|*.EXE;*.COM|All Files|*.*"
        << "Programs of old (*.EXE *.exe *.COM *.com);;All Files (*)";
    QTest::newRow("lower case") << "Sound Files|*.wav"
                                << "Sound Files (*.wav *.WAV)";
    QTest::newRow("qt form kept") << "Images (*.png *.xpm)"
                                  << "Images (*.png *.xpm)";
    QTest::newRow("empty") << ""
                           << "";
}

void TestDialogs::filters() {
    QFETCH(QString, given);
    QTEST(LinuxDialogs::QtFilter(given), "expected");
}

// The program dialogs: "Programs" lists what can be run here (executable files, through
// symbolic links as well, and desktop entries) and the directories to get about; "All Files"
// everything. A program is then chosen as usual.
void TestDialogs::programsFilter() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const auto exe = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    const auto plain = QFile::ReadOwner | QFile::WriteOwner;
    QVERIFY(Make(dir.filePath("tool"), exe));
    QVERIFY(QFile::link(dir.filePath("tool"), dir.filePath("tool-link")));
    QVERIFY(Make(dir.filePath("setup.EXE"), plain)); // a Windows name, not runnable here
    QVERIFY(Make(dir.filePath("editor.desktop"), plain));
    QVERIFY(QDir(dir.path()).mkdir("sub"));

    QStringList programs, all, programsAgain;
    Script({Record(programs, "sub"), FileType(Qt::Key_Down), Record(all, "sub"),
            FileType(Qt::Key_Up), Record(programsAgain, "sub"),
            [](QWidget *w) {
                NameEdit(w)->setText(QStringLiteral("tool"));
                QTest::keyClick(NameEdit(w), Qt::Key_Return);
            }},
           false);
    LinuxDialogs dialogs;
    const QStringList chosen = dialogs.OpenFiles(
        QStringLiteral("Select Program to Run"),
        QStringLiteral("Programs|*.EXE;*.COM;*.BAT;*.PIF|All Files|*.*"), dir.path(), false);

    QCOMPARE(programs, QStringList({"editor.desktop", "sub", "tool", "tool-link"}));
    QCOMPARE(all, QStringList({"editor.desktop", "setup.EXE", "sub", "tool", "tool-link"}));
    QCOMPARE(programsAgain, programs);
    QCOMPARE(chosen, QStringList{dir.filePath("tool")});
}

// "Change Icon" on the bar: its dialog lists every kind of file the bar takes icons from.
void TestDialogs::iconDialogOfTheBar() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QStringList icons{"a.png", "b.svg",     "c.xpm", "d.bmp",
                            "e.ico", "f.desktop", "g.exe", "h.dll"};
    for (const QString &name : icons + QStringList{"notes.txt"})
        QVERIFY(Make(dir.filePath(name), QFile::ReadOwner | QFile::WriteOwner));
    QVERIFY(QDir(dir.path()).mkdir("sub"));

    FakePlatform fake;
    fake.WriteIni("[Location]\nTop=100\n[Pages]\nCount=1\n"
                  "[Programs]\nSpeedButton1=/usr/bin/gedit\n[Icons]\nSpeedButton1=Default\n");
    LinuxDialogs dialogs;
    Platform platform = fake.Get();
    platform.dialogs = &dialogs;
    TForm1 form(platform);
    QStringList listed;
    Script({GoTo(dir.path()), Record(listed, "sub"), Key(Qt::Key_Escape)}, false);
    form.KeysKeyDown(Qt::Key_Right); // the keys choose the first button for the button menu
    QCOMPARE(form.CurrentButton(), QStringLiteral("SpeedButton1"));
    form.Items().button.ChangeIcon1->trigger();

    QCOMPARE(listed, QStringList(icons + QStringList{"sub"}));
}

void TestDialogs::selectDirectory_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("byButton");    // accepted with the choose button, else with Enter
    QTest::addColumn<QString>("expected"); // $D: the directory the dialog starts in
    QTest::newRow("new directory in full") << "$D/new/deeper" << false << "$D/new/deeper";
    QTest::newRow("new directory by button") << "$D/new" << true << "$D/new";
    QTest::newRow("new name in the directory shown") << "fresh" << false << "$D/fresh";
    QTest::newRow("existing directory") << "$D/sub" << true << "$D/sub";
    QTest::newRow("nothing typed: the directory shown") << "" << true << "$D";
}

// A directory may be typed, one that does not exist yet included: the caller offers to
// create it.
void TestDialogs::selectDirectory() {
    QFETCH(QString, typed);
    QFETCH(bool, byButton);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkdir("sub"));
    typed.replace("$D", dir.path());

    bool enabled = false;
    bool refused = false;
    Script({[&](QWidget *w) {
               NameEdit(w)->setText(typed);
               QPushButton *choose =
                   w->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Open);
               enabled = choose->isEnabled();
               // Qt refuses with a box of its own: note it and close it. (Bound to the dialog, so
               // that it is gone with it.)
               QTimer::singleShot(0, w, [&refused] {
                   if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                       refused = true;
                       box->close();
                   }
               });
               if (byButton)
                   choose->click();
               else
                   QTest::keyClick(NameEdit(w), Qt::Key_Return);
               if (w->isVisible()) // not accepted: do not wait forever
                   w->close();
           }},
           false);
    LinuxDialogs dialogs;
    const QString chosen = dialogs.SelectDirectory(QStringLiteral("Select Directory"), dir.path());

    QVERIFY(enabled);
    QVERIFY(!refused);
    QCOMPARE(chosen, expected.replace("$D", dir.path()));
    QVERIFY(!QFileInfo::exists(dir.filePath("new"))); // the dialog itself creates nothing
}

// The shortcut reader's boxes: a caption of their own and no owner, whoever shows them.
void TestDialogs::errorBoxOfItsOwn() {
    QWidget bar;
    bar.show();
    LinuxDialogs dialogs(&bar);
    QString caption, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QWidget *owner = &bar;
    Script({[&](QWidget *w) {
               caption = w->windowTitle();
               owner = w->parentWidget();
               if (auto *box = qobject_cast<QMessageBox *>(w)) {
                   icon = box->icon();
                   text = box->text();
               }
               w->close();
           }},
           false);
    dialogs.ErrorBox(QStringLiteral("!! Error !!"), QStringLiteral("Error in get IL"));

    QCOMPARE(caption, QStringLiteral("!! Error !!"));
    QCOMPARE(owner, static_cast<QWidget *>(nullptr));
    QCOMPARE(icon, QMessageBox::Critical);
    QCOMPARE(text, QStringLiteral("Error in get IL"));
}

// A warning: its own caption and icon, and Help shows the topic while the box stays to be closed.
void TestDialogs::warningWithHelp() {
    RecordingHelp help;
    LinuxDialogs dialogs(nullptr, &help);
    QString caption;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    Script({[&](QWidget *w) {
                caption = w->windowTitle();
                if (auto *box = qobject_cast<QMessageBox *>(w))
                    icon = box->icon();
                Press(QMessageBox::Help)(w);
            },
            Press(QMessageBox::Ok)},
           false);
    dialogs.Warning(QStringLiteral("Incorrect Password"), 40);
    QCOMPARE(caption, QStringLiteral("Warning"));
    QCOMPARE(icon, QMessageBox::Warning);
    QCOMPARE(help.topics, QList<int>{40});
}

// A box with OK and Help closes on Escape, as every box does: Help is no way out.
void TestDialogs::escapeClosesBoxWithHelp_data() {
    QTest::addColumn<bool>("warning");
    QTest::newRow("warning") << true;
    QTest::newRow("message") << false;
}

void TestDialogs::escapeClosesBoxWithHelp() {
    QFETCH(bool, warning);
    RecordingHelp help;
    LinuxDialogs dialogs(nullptr, &help);
    bool stillOpen = false;
    Script({[&](QWidget *w) {
        QTest::keyClick(w, Qt::Key_Escape);
        // Left open, the box is closed here so that the test goes on.
        QTimer::singleShot(0, w, [&stillOpen, w] {
            if (!w->isVisible())
                return;
            stillOpen = true;
            qobject_cast<QMessageBox *>(w)->button(QMessageBox::Ok)->click();
        });
    }},
           false);
    if (warning)
        dialogs.Warning(QStringLiteral("Incorrect Password"), 40);
    else
        dialogs.Message(QStringLiteral("Done"), 14);
    QVERIFY2(!stillOpen, "Escape left the box open");
    QCOMPARE(help.topics, QList<int>{});
}

// The colour dialog: Help shows the topic and the dialog stays for the choice.
void TestDialogs::colourWithHelp() {
    RecordingHelp help;
    LinuxDialogs dialogs(nullptr, &help);
    auto button = [](QWidget *w, QDialogButtonBox::StandardButton which) {
        auto *buttons = w->findChild<QDialogButtonBox *>();
        QVERIFY(buttons && buttons->button(which));
        buttons->button(which)->click();
    };
    Script({[&](QWidget *w) { button(w, QDialogButtonBox::Help); },
            [&](QWidget *w) { button(w, QDialogButtonBox::Ok); }},
           false);
    QList<QColor> custom(16, QColor(Qt::white));
    const std::optional<QColor> chosen = dialogs.ChooseColor(QColor(0, 0, 0x80), custom, 32);
    QCOMPARE(help.topics, QList<int>{32});
    QCOMPARE(chosen, std::optional<QColor>(QColor(0, 0, 0x80)));
}

void TestDialogs::popupMenu_data() {
    QTest::addColumn<QList<Qt::Key>>("keys");
    QTest::addColumn<QString>("chosen"); // object name of the action returned; empty: none
    using K = QList<Qt::Key>;
    QTest::newRow("first") << K{Qt::Key_Down, Qt::Key_Return} << "first";
    QTest::newRow("checkable") << K{Qt::Key_Down, Qt::Key_Down, Qt::Key_Return} << "second";
    QTest::newRow("mnemonic") << K{Qt::Key_S} << "second";
    QTest::newRow("disabled skipped")
        << K{Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Right, Qt::Key_Return} << "inner";
    QTest::newRow("added when opened") << K{Qt::Key_Up, Qt::Key_Return} << "late";
    QTest::newRow("escape") << K{Qt::Key_Escape} << "";
}

// The chosen action comes back untouched: not triggered, its check mark not flipped.
void TestDialogs::popupMenu() {
    QFETCH(QList<Qt::Key>, keys);
    QFETCH(QString, chosen);

    QMenu menu;
    QAction *first = menu.addAction(QStringLiteral("&First"));
    QAction *second = menu.addAction(QStringLiteral("&Second"));
    second->setCheckable(true);
    second->setChecked(true);
    QAction *off = menu.addAction(QStringLiteral("&Off"));
    off->setEnabled(false);
    menu.addSeparator();
    QMenu *sub = menu.addMenu(QStringLiteral("S&ub"));
    QAction *inner = sub->addAction(QStringLiteral("&Inner"));
    first->setObjectName(QStringLiteral("first"));
    second->setObjectName(QStringLiteral("second"));
    inner->setObjectName(QStringLiteral("inner"));
    // Menus that fill themselves when opened, like the recently launched list, still work.
    connect(&menu, &QMenu::aboutToShow, &menu, [&menu] {
        menu.addAction(QStringLiteral("&Late"))->setObjectName(QStringLiteral("late"));
    });
    QSignalSpy triggered(&menu, &QMenu::triggered);
    QSignalSpy subTriggered(sub, &QMenu::triggered);
    QSignalSpy toggled(second, &QAction::toggled);

    QList<std::function<void(QWidget *)>> steps;
    for (Qt::Key key : keys)
        steps.append(Key(key));
    Script(steps, true);
    LinuxDialogs dialogs;
    QAction *result = dialogs.PopupMenu(&menu, QPoint(10, 10));

    QCOMPARE(result ? result->objectName() : QString(), chosen);
    QCOMPARE(triggered.size(), 0);
    QCOMPARE(subTriggered.size(), 0);
    QCOMPARE(toggled.size(), 0);
    QVERIFY(second->isChecked());
}

void TestDialogs::question_data() {
    QTest::addColumn<QList<std::function<void(QWidget *)>>>("steps");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<QList<int>>("helpShown");
    using S = QList<std::function<void(QWidget *)>>;
    QTest::newRow("yes") << S{Press(QMessageBox::Yes)} << true << QList<int>{};
    QTest::newRow("no") << S{Press(QMessageBox::No)} << false << QList<int>{};
    QTest::newRow("enter means no") << S{Key(Qt::Key_Return)} << false << QList<int>{};
    QTest::newRow("escape means no") << S{Key(Qt::Key_Escape)} << false << QList<int>{};
    // Help shows the topic and the question is still there to answer.
    QTest::newRow("help, then yes")
        << S{Press(QMessageBox::Help), Press(QMessageBox::Help), Press(QMessageBox::Yes)} << true
        << QList<int>{19, 19};
}

void TestDialogs::question() {
    QFETCH(QList<std::function<void(QWidget *)>>, steps);
    RecordingHelp help;
    LinuxDialogs dialogs(nullptr, &help);
    Script(steps, false);
    QTEST(dialogs.Question(QStringLiteral("New installation?"), 19), "answer");
    QTEST(help.topics, "helpShown");
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
