// Working the bar from the keyboard: a table of (pages, buttons per page, shown page, keys)
// → (cursor, pressed button, shown page), and what Enter, Escape and the caption do.
#include "FakePlatform.h"
#include "app/Icons.h"

#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QToolButton>
#include <memory>

namespace {
using Keys = QList<int>;
const int L = Qt::Key_Left, R = Qt::Key_Right, PgUp = Qt::Key_PageUp, PgDn = Qt::Key_PageDown,
          Home = Qt::Key_Home, End = Qt::Key_End, Esc = Qt::Key_Escape, Up = Qt::Key_Up;
} // namespace

class KeyboardTest : public QObject {
    Q_OBJECT
    std::unique_ptr<FakePlatform> fake;
    std::unique_ptr<TForm1> form;

    void Start(int pages, int n, const QString &extra = QString()) {
        fake->WriteIni(QString("[Location]\nTop=100\nButtonCount=%1\n[Pages]\nCount=%2\n").arg(n).arg(pages) + extra);
        form = std::make_unique<TForm1>(fake->Get());
        form->show();
    }
    void Press(const Keys &keys) {
        for (int key : keys)
            QTest::keyClick(form->KeyBox(), Qt::Key(key));
    }
    int DownButton() const {
        int down = 0;
        for (int i = 1; i <= form->TabRow()->count() * form->ButtonsPerPage(); ++i)
            if (form->FindButton(i)->isChecked())
                down = down ? -1 : i; // -1: more than one is down
        return down;
    }

private slots:
    void init() { fake = std::make_unique<FakePlatform>(); }
    void cleanup() {
        form.reset();
        QVERIFY2(fake->dialogs.Unmet().isEmpty(), qPrintable(fake->dialogs.Unmet()));
        fake.reset();
    }

    void moves_data() {
        QTest::addColumn<int>("pages");
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("shown");
        QTest::addColumn<Keys>("keys");
        QTest::addColumn<int>("down");   // the pressed button, 0 for none
        QTest::addColumn<int>("page");   // the page shown afterwards
        QTest::addColumn<bool>("atStart");
        QTest::newRow("right from page 0's start") << 3 << 16 << 0 << Keys{R} << 1 << 0 << false;
        QTest::newRow("left from page 0's start") << 3 << 16 << 0 << Keys{L} << 48 << 2 << false;
        QTest::newRow("right from page 1's start") << 3 << 16 << 1 << Keys{R} << 17 << 1 << false;
        QTest::newRow("left from page 1's start") << 3 << 16 << 1 << Keys{L} << 16 << 0 << false;
        QTest::newRow("right off a page's end") << 3 << 16 << 0 << Keys(17, R) << 17 << 1 << false;
        QTest::newRow("right off the last page") << 2 << 16 << 1 << Keys(17, R) << 1 << 0 << false;
        QTest::newRow("left off button 1") << 3 << 16 << 0 << Keys{R, L} << 48 << 2 << false;
        QTest::newRow("left within a page") << 3 << 21 << 0 << Keys{R, R, R, L} << 2 << 0 << false;
        QTest::newRow("page up on the last page") << 3 << 16 << 2 << Keys{R, PgUp} << 0 << 0 << true;
        QTest::newRow("page down on page 0") << 3 << 16 << 0 << Keys{R, PgDn} << 0 << 2 << true;
        QTest::newRow("page up, then right") << 3 << 16 << 2 << Keys{PgUp, R} << 1 << 0 << false;
        QTest::newRow("escape") << 3 << 16 << 1 << Keys{R, R, Esc} << 0 << 1 << true;
        QTest::newRow("escape, then right") << 3 << 16 << 1 << Keys{R, R, Esc, R} << 17 << 1 << false;
        QTest::newRow("home") << 3 << 16 << 2 << Keys{R, Home} << 0 << 0 << true;
        QTest::newRow("end") << 3 << 16 << 0 << Keys{R, End} << 0 << 2 << true;
        // The page keys reset the cursor even when the page stays the one shown.
        QTest::newRow("home on page 0, then right") << 3 << 16 << 0 << Keys{R, R, R, R, R, Home, R} << 1 << 0 << false;
        QTest::newRow("end on the last page, then right") << 3 << 16 << 2 << Keys{R, R, R, End, R} << 33 << 2 << false;
        QTest::newRow("one page: page up, then right") << 1 << 16 << 0 << Keys{R, R, R, PgUp, R} << 1 << 0 << false;
        QTest::newRow("one page: page down, then right") << 1 << 16 << 0 << Keys{R, R, R, PgDn, R} << 1 << 0 << false;
        QTest::newRow("one page: home") << 1 << 16 << 0 << Keys{R, R, Home} << 0 << 0 << true;
        QTest::newRow("up and down move nothing") << 3 << 16 << 0 << Keys{R, Up, Qt::Key_Down} << 1 << 0 << false;
        // One page: the start position and the last button stay apart.
        QTest::newRow("one page: left from start") << 1 << 16 << 0 << Keys{L} << 16 << 0 << false;
        QTest::newRow("one page: left twice") << 1 << 16 << 0 << Keys{L, L} << 15 << 0 << false;
        QTest::newRow("one page: right wraps") << 1 << 16 << 0 << Keys(17, R) << 1 << 0 << false;
        QTest::newRow("one page: right from start") << 1 << 16 << 0 << Keys{R} << 1 << 0 << false;
        QTest::newRow("no page") << 0 << 16 << 0 << Keys{L, R, PgUp, PgDn, Home, End, Esc, Qt::Key_Return}
                                 << 0 << -1 << true;
    }
    void moves() {
        QFETCH(int, pages);
        QFETCH(int, n);
        QFETCH(int, shown);
        QFETCH(Keys, keys);
        Start(pages, n);
        if (pages > 0)
            form->TabRow()->setCurrentIndex(shown);
        Press(keys);
        QTEST(DownButton(), "down");
        QTEST(form->TabRow()->currentIndex(), "page");
        QTEST(form->KeyAtStart(), "atStart");
        if (DownButton() > 0) {
            QCOMPARE(form->KeyPosition(), DownButton());
            QCOMPARE(form->CurrentButton(), ButtonKey(DownButton()));
        }
    }

    void captionAndSound() {
        Start(2, 16, "[Programs]\nSpeedButton2=/usr/bin/gedit\n[Names]\nSpeedButton2=Editor\n"
                     "[SoundSelect]\nSpeedButton2=/snd/pick.wav\n");
        fake->shell.iconCounts["/usr/bin/gedit"] = 1;
        form->FormCaption();
        const QString normal = form->windowTitle();
        Press({R});
        QCOMPARE(form->windowTitle(), normal + QString(7, ' ') + "Empty");
        QVERIFY(fake->sound.played.isEmpty());
        Press({R});
        QCOMPARE(form->windowTitle(), normal + QString(7, ' ') + "Editor");
        QCOMPARE(fake->sound.played.size(), 1);
        QVERIFY(fake->sound.played[0].asynchronous);
        Press({Qt::Key_A}); // any key shows the caption and plays the sound again
        QCOMPARE(fake->sound.played.size(), 2);
        Press({Esc});
        QCOMPARE(form->windowTitle(), normal);
    }

    void enterLaunchesOrChooses() {
        Start(2, 16, "[Programs]\nSpeedButton2=/usr/bin/gedit\n");
        fake->shell.iconCounts["/usr/bin/gedit"] = 1;
        Press({R, R, Qt::Key_Return});
        QCOMPARE(fake->processes.started.value(0).commandLine, QString("/usr/bin/gedit "));
        QCOMPARE(DownButton(), 0);
        QCOMPARE(form->KeyPosition(), 2); // stays: the next Right selects button 3
        Press({R});
        QCOMPARE(DownButton(), 3);
        fake->dialogs.ExpectOpenFiles({}); // Enter on an empty button asks for a program
        Press({Qt::Key_Return});
    }

    void enterPlacesAndEscapeCancelsAWaitingMove() {
        Start(2, 16, "[Programs]\nSpeedButton1=/usr/bin/gedit\n");
        fake->shell.iconCounts["/usr/bin/gedit"] = 1;
        Press({R}); // the keys choose the button the menu acts on
        form->MoveButton();
        Press({R, R, Qt::Key_Return});
        QCOMPARE(TNewIniFile(fake->IniPath()).ReadString("Programs", "SpeedButton3", ""), QString("/usr/bin/gedit"));
        QCOMPARE(form->Mode(), InteractionMode::Normal);

        QCOMPARE(form->CurrentButton(), QString("SpeedButton3")); // placed there by the keys
        form->MoveButton();
        QCOMPARE(form->Mode(), InteractionMode::PlaceButton);
        Press({Esc});
        QCOMPARE(form->Mode(), InteractionMode::Normal);
        QCOMPARE(TNewIniFile(fake->IniPath()).ReadString("Programs", "SpeedButton3", ""), QString("/usr/bin/gedit"));
    }

    // While a moved button waits, F6 opens no page menu (the tab row opens none either): a page
    // added, deleted or moved then would leave the button waiting unseen, or put it back
    // elsewhere.
    void noPageMenuWhileAButtonWaits() {
        Start(2, 16, "[Programs]\nSpeedButton1=/usr/bin/gedit\n");
        fake->shell.iconCounts["/usr/bin/gedit"] = 1;
        Press({R});
        form->MoveButton();
        Press({Qt::Key_F6});
        QVERIFY(fake->dialogs.popups.isEmpty());
        QCOMPARE(form->Mode(), InteractionMode::PlaceButton);
        Press({Esc});
        QCOMPARE(TNewIniFile(fake->IniPath()).ReadString("Programs", "SpeedButton1", ""),
                 QString("/usr/bin/gedit"));
    }

    void functionKeys() {
        Start(2, 16, "[Programs]\nSpeedButton1=/usr/bin/gedit\n");
        fake->shell.iconCounts["/usr/bin/gedit"] = 1;
        Press({Qt::Key_F1});
        QCOMPARE(fake->help.topics, QList<int>{0});
        fake->dialogs.ExpectPopup(""); // F6: the page menu
        Press({Qt::Key_F6});
        QCOMPARE(fake->dialogs.popups.value(0)->objectName(), QString("PopupMenu2"));
        fake->dialogs.ExpectPopup(""); // F5 on a configured button: its options menu
        Press({R, Qt::Key_F5});
        QCOMPARE(fake->dialogs.popups.value(1)->objectName(), QString("PopupMenu1"));
        Press({R, Qt::Key_F5}); // an empty button has no menu
        QCOMPARE(fake->dialogs.popups.size(), 2);
    }
};

QTEST_MAIN(KeyboardTest)
#include "tst_keyboard.moc"
