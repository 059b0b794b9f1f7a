#include "platform/Help.h"
#include "platform/linux/LinuxDialogs.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
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

class TestDialogs : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void filters_data();
    void filters();
    void popupMenu_data();
    void popupMenu();
    void question_data();
    void question();
};

void TestDialogs::filters_data() {
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("expected");
    QTest::newRow("programs") << "Programs|*.EXE;*.COM|All Files|*.*"
                              << "Programs (*.EXE *.exe *.COM *.com);;All Files (*)";
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
