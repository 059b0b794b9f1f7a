// With changes locked behind the password, every way of changing buttons and pages does
// nothing and writes nothing, while launching goes on. Each action also runs unlocked, to show
// that it would have done something.
#include "FakePlatform.h"
#include "app/Autostart.h"
#include "app/Icons.h"
#include "prefs/Lockout.h"

#include <QAction>
#include <QDropEvent>
#include <QFile>
#include <QFrame>
#include <QMimeData>
#include <QTest>
#include <QToolButton>
#include <memory>

namespace {
QByteArray ReadAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
}
// Button 1 holds an editor; button 2 is empty.
const QString kBar = "[Location]\nTop=100\nButtonCount=16\nUser=tester\n[Pages]\nCount=2\n"
                     "[Programs]\nSpeedButton1=/usr/bin/gedit\n[Names]\nSpeedButton1=Editor\n";
} // namespace

class LockedTest : public QObject {
    Q_OBJECT
    std::unique_ptr<FakePlatform> fake;
    std::unique_ptr<TForm1> form;

    void Drop(const QString &file, int slot) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(file)});
        const QPoint at(44 + 36 * (slot - 1) + 18, 18);
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        static_cast<QObject *>(form.get())->event(&enter);
        QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        static_cast<QObject *>(form.get())->event(&drop);
    }

private slots:
    void init() {
        fake = std::make_unique<FakePlatform>();
        fake->shell.associations = {{"/docs/letter.txt", "/usr/bin/gedit"},
                                    {"/usr/bin/gimp", "/usr/bin/gimp"}};
        fake->shell.iconCounts = {{"/usr/bin/gedit", 1}, {"/usr/bin/gimp", 1}};
    }
    void cleanup() {
        form.reset();
        QVERIFY2(fake->dialogs.Unmet().isEmpty(), qPrintable(fake->dialogs.Unmet()));
        fake.reset();
    }

    void actions_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("locked");
        for (const char *action :
             {"right click on a configured button", "right click on a tab", "F6", "F2",
              "F5 on a configured button", "click on an empty button", "drop on an empty button",
              "Show Exit Options from the gauge menu", "Start with the Desktop from the gauge menu",
              "click on a configured button", "drop on a configured button"}) {
            QTest::addRow("%s, unlocked", action) << QString::fromLatin1(action) << false;
            QTest::addRow("%s, locked", action) << QString::fromLatin1(action) << true;
        }
    }
    void actions() {
        QFETCH(QString, action);
        QFETCH(bool, locked);
        fake->WriteIni(kBar);
        const QString dat = fake->SettingsDirectory() + "OV.DAT";
        lockout::WriteScrambled(dat,
                                lockout::Encrypt(locked ? "secret" : lockout::kUnlockedMarker));
        form = std::make_unique<TForm1>(fake->Get());
        form->show();
        QCOMPARE(form->ModifyLocked(), locked);
        const QByteArray settings = ReadAll(fake->IniPath());
        const QByteArray record = ReadAll(dat);
        const bool launches = action.contains("on a configured button") &&
                              !action.startsWith("right") && !action.startsWith("F5");

        if (action == "right click on a configured button") {
            if (!locked)
                fake->dialogs.ExpectPopup("");
            QTest::mousePress(form->FindButton(1), Qt::RightButton);
        } else if (action == "right click on a tab") {
            if (!locked)
                fake->dialogs.ExpectPopup("");
            QTest::mousePress(form->TabRow(), Qt::RightButton, {},
                              form->TabRow()->tabRect(1).center());
        } else if (action == "F6") {
            if (!locked)
                fake->dialogs.ExpectPopup("");
            QTest::keyClick(form->KeyBox(), Qt::Key_F6);
        } else if (action == "F2") {
            // Stay on top, toggled and stored; locked, the window keeps its stacking.
            QTest::keyClick(form->KeyBox(), Qt::Key_F2);
            QCOMPARE(form->windowFlags().testFlag(Qt::WindowStaysOnTopHint), !locked);
        } else if (action == "F5 on a configured button") {
            if (!locked)
                fake->dialogs.ExpectPopup("");
            QTest::keyClick(form->KeyBox(), Qt::Key_Right);
            QTest::keyClick(form->KeyBox(), Qt::Key_F5);
        } else if (action == "click on an empty button") {
            if (!locked)
                fake->dialogs.ExpectOpenFiles({"/usr/bin/gimp"});
            QTest::mouseClick(form->FindButton(2), Qt::LeftButton);
        } else if (action == "drop on an empty button") {
            Drop("/docs/letter.txt", 2);
        } else if (action == "Show Exit Options from the gauge menu") {
            // Locked, the item is there but cannot be chosen: the menu is left.
            fake->dialogs.ExpectPopup(locked ? "" : "Show Exit Options");
            QTest::mousePress(form->Gauge(), Qt::RightButton);
            QCOMPARE(form->Items().setup.ConfirmExit1->isEnabled(), !locked);
        } else if (action == "Start with the Desktop from the gauge menu") {
            // The lock holds changes to the session too: locked, no autostart entry is made.
            fake->dialogs.ExpectPopup(locked ? "" : "Start with the Desktop");
            QTest::mousePress(form->Gauge(), Qt::RightButton);
            QCOMPARE(form->Items().setup.StartWithDesktop1->isEnabled(), !locked);
            const QString entry = autostart::EntryPath(fake->Get().environment.configHome,
                                                       {form->ProfileName(), form->SharedMode()});
            QCOMPARE(QFile::exists(entry), !locked);
        } else if (action == "click on a configured button") {
            QTest::mouseClick(form->FindButton(1), Qt::LeftButton);
        } else if (action == "drop on a configured button") {
            Drop("/docs/letter.txt", 1);
        }

        // Launching is never locked.
        QCOMPARE(fake->processes.started.size(), launches ? 1 : 0);
        QCOMPARE(ReadAll(dat), record);
        if (locked) {
            // A launch puts its entry at the top of the recently launched list; nothing else.
            const QByteArray after = ReadAll(fake->IniPath());
            QCOMPARE(after.left(settings.size()), settings);
            QCOMPARE(after.mid(settings.size()),
                     launches ? QByteArray("[MRU]\nCount=1\n1=Editor  |1\n") : QByteArray());
            QVERIFY(form->FindButton(2)->toolTip() ==
                    form->FindButton(3)->toolTip()); // still empty
        } else if (action.endsWith("on an empty button") || action.startsWith("Show Exit") || action == "F2") {
            QVERIFY(ReadAll(fake->IniPath()) != settings);
        }
    }
};

QTEST_MAIN(LockedTest)
#include "tst_locked.moc"
