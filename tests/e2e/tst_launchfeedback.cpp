// A launch is announced to the desktop: a "new:" startup message on the root window whose ID
// the program finds in DESKTOP_STARTUP_ID, and, for programs that show no window, a "remove:"
// from the bar when the program ends, or while it still runs once the bar stops waiting for it.

#include "BarDriver.h"

#include <QtTest>
#include <xcb/xcb.h>

using namespace e2e;

namespace {
// The startup messages sent on the display's root window, put together from their pieces.
class StartupMessages {
public:
    StartupMessages() : connection_(xcb_connect(nullptr, nullptr)) {
        if (xcb_connection_has_error(connection_))
            return;
        begin_ = Atom("_NET_STARTUP_INFO_BEGIN");
        more_ = Atom("_NET_STARTUP_INFO");
        clock_ = Atom("ORVANE_TEST_CLOCK");
        const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
        xcb_change_window_attributes(connection_, root, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(connection_);
    }
    ~StartupMessages() { xcb_disconnect(connection_); }
    bool IsValid() const { return begin_ && more_ && clock_; }

    // The X server's time now: the time of a property change of the test's own.
    quint32 ServerTime() {
        time_ = 0;
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
        xcb_change_property(connection_, XCB_PROP_MODE_APPEND, root, clock_, XCB_ATOM_STRING, 8, 0,
                            nullptr);
        xcb_flush(connection_);
        PollUntil([this] {
            Received();
            return time_ != 0;
        });
        return time_;
    }

    // Every whole message so far: its kind ("new", "remove", ...) and its keys.
    struct Message {
        QString kind;
        QMap<QString, QString> keys;
    };
    const QList<Message> &Received() {
        while (xcb_generic_event_t *event = xcb_poll_for_event(connection_)) {
            if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY) {
                const auto *change = reinterpret_cast<xcb_property_notify_event_t *>(event);
                if (change->atom == clock_)
                    time_ = change->time;
            } else if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
                const auto *message = reinterpret_cast<xcb_client_message_event_t *>(event);
                if (message->type == begin_ || message->type == more_) {
                    QByteArray &text = partial_[message->window];
                    if (message->type == begin_)
                        text.clear();
                    const QByteArray piece(reinterpret_cast<const char *>(message->data.data8), 20);
                    const qsizetype end = piece.indexOf('\0');
                    text += piece.left(end < 0 ? 20 : end);
                    if (end >= 0)
                        received_ << Parse(QString::fromUtf8(partial_.take(message->window)));
                }
            }
            std::free(event);
        }
        return received_;
    }
    // The first whole message of a kind for an ID, or nothing yet.
    std::optional<Message> Find(const QString &kind, const QString &id) {
        for (const Message &message : Received()) {
            if (message.kind == kind && message.keys.value(QStringLiteral("ID")) == id)
                return message;
        }
        return std::nullopt;
    }
    qsizetype IndexOf(const QString &kind, const QString &id) {
        const QList<Message> &all = Received();
        for (qsizetype i = 0; i < all.size(); ++i) {
            if (all[i].kind == kind && all[i].keys.value(QStringLiteral("ID")) == id)
                return i;
        }
        return -1;
    }

private:
    xcb_atom_t Atom(const char *name) {
        xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
            connection_, xcb_intern_atom(connection_, 0, uint16_t(strlen(name)), name), nullptr);
        const xcb_atom_t atom = reply ? reply->atom : XCB_ATOM_NONE;
        std::free(reply);
        return atom;
    }
    // "kind: KEY=value KEY="quoted \"value\"" ..."
    static Message Parse(const QString &text) {
        Message message;
        const qsizetype colon = text.indexOf(QLatin1Char(':'));
        message.kind = text.left(colon);
        qsizetype at = colon + 1;
        while (at < text.size()) {
            while (at < text.size() && text[at] == QLatin1Char(' '))
                ++at;
            const qsizetype equals = text.indexOf(QLatin1Char('='), at);
            if (equals < 0)
                break;
            const QString key = text.mid(at, equals - at);
            QString value;
            bool quoted = false;
            for (at = equals + 1; at < text.size(); ++at) {
                const QChar c = text[at];
                if (c == QLatin1Char('\\') && at + 1 < text.size())
                    value += text[++at];
                else if (c == QLatin1Char('"'))
                    quoted = !quoted;
                else if (c == QLatin1Char(' ') && !quoted)
                    break;
                else
                    value += c;
            }
            message.keys.insert(key, value);
        }
        return message;
    }

    xcb_connection_t *connection_;
    xcb_atom_t begin_ = XCB_ATOM_NONE;
    xcb_atom_t more_ = XCB_ATOM_NONE;
    xcb_atom_t clock_ = XCB_ATOM_NONE;
    quint32 time_ = 0;
    QHash<xcb_window_t, QByteArray> partial_;
    QList<Message> received_;
};

// A program that writes the startup ID it was given to <itself>.id, then runs until the file
// <itself>.go exists (when waits) and leaves <itself>.ended behind. It shows no window.
bool InstallProgram(const QString &path, bool waits) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    file.write("#!/bin/sh\n"
               "printf '%s' \"${DESKTOP_STARTUP_ID-<unset>}\" > \"$0.part\" && mv \"$0.part\" \"$0.id\"\n");
    if (waits)
        file.write("while [ ! -e \"$0.go\" ]; do sleep 0.1; done\n");
    file.write("touch \"$0.ended\"\n");
    file.close();
    return file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QString ReadId(const QString &program) {
    QFile file(program + QStringLiteral(".id"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}
} // namespace

class TestLaunchFeedback : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "run through tests/e2e/with-display.sh"); }
    void launchIsAnnouncedAndEnded();
    void buttonShowsTheStartUntilTheWindow();
};

void TestLaunchFeedback::launchIsAnnouncedAndEnded() {
    BarHome home;
    QVERIFY(home.IsValid());
    QTemporaryDir files;
    QVERIFY(files.isValid());
    // Button 3 runs until told to end; button 4 ends at once. Blanks and quotes in the names.
    const QString lasting = files.filePath(QStringLiteral("my \"lasting\" it's"));
    const QString brief = files.filePath(QStringLiteral("brief_TIME9 one"));
    QVERIFY(InstallProgram(lasting, true) && InstallProgram(brief, false));
    QVERIFY(home.WriteSettings("[Location]\nTop=100\nLeft=50\nButtonCount=16\nOnTop=No\n"
                               "[Programs]\nSpeedButton3=" + ShellWord(lasting).toUtf8() +
                               "\nSpeedButton4=" + ShellWord(brief).toUtf8() +
                               "\n[Shrink]\nSpeedButton3=No\nSpeedButton4=No\n"));
    StartupMessages messages;
    QVERIFY(messages.IsValid());

    Bar bar(home, {});
    QVERIFY2(bar.WaitForWindow(), qPrintable(bar.Diagnostics()));
    const quint32 beforeFirst = messages.ServerTime();
    QVERIFY(ClickAt(bar, ButtonCentre(3)));
    QVERIFY2(PollUntil([&] { return !ReadId(lasting).isEmpty(); }), qPrintable(bar.Diagnostics()));
    const quint32 beforeSecond = messages.ServerTime();
    QVERIFY(ClickAt(bar, ButtonCentre(4)));
    QVERIFY2(PollUntil([&] { return QFile::exists(brief + QStringLiteral(".ended")); }),
             qPrintable(bar.Diagnostics()));
    const quint32 afterSecond = messages.ServerTime();
    QVERIFY(beforeFirst != 0 && afterSecond != 0);
    const QString lastingId = ReadId(lasting);
    const QString briefId = ReadId(brief);
    QVERIFY2(!lastingId.isEmpty() && lastingId != QStringLiteral("<unset>") && lastingId != briefId,
             qPrintable(lastingId + QLatin1Char(' ') + briefId));

    // Each start was announced, under the ID its program got, with its program's name and
    // the server time of the click that started it, in TIMESTAMP and once as the ID's "_TIME".
    struct Start {
        QString program, id;
        quint32 after, before;
    };
    for (const Start &start : {Start{lasting, lastingId, beforeFirst, beforeSecond},
                               Start{brief, briefId, beforeSecond, afterSecond}}) {
        const QString &id = start.id;
        QVERIFY2(PollUntil([&] { return messages.Find(QStringLiteral("new"), id).has_value(); }), qPrintable(id));
        const auto announced = *messages.Find(QStringLiteral("new"), id);
        QCOMPARE(announced.keys.value(QStringLiteral("NAME")), QFileInfo(start.program).fileName());
        QCOMPARE(announced.keys.value(QStringLiteral("BIN")), start.program);
        QCOMPARE(announced.keys.value(QStringLiteral("SCREEN")), QStringLiteral("0"));
        bool number = false;
        const quint32 time = announced.keys.value(QStringLiteral("TIMESTAMP")).toUInt(&number);
        QVERIFY2(number && time >= start.after && time <= start.before,
                 qPrintable(QStringLiteral("TIMESTAMP %1 not between %2 and %3")
                                .arg(announced.keys.value(QStringLiteral("TIMESTAMP")))
                                .arg(start.after)
                                .arg(start.before)));
        QVERIFY2(id.endsWith(QStringLiteral("_TIME%1").arg(time)) &&
                     id.count(QStringLiteral("_TIME")) == 1,
                 qPrintable(id));
    }
    // The program that ended is done with at once: before the one started earlier, which
    // is still running when the bar stops waiting for its window.
    QVERIFY2(PollUntil([&] { return messages.IndexOf(QStringLiteral("remove"), lastingId) >= 0; }, 30000),
             "no remove: for a program that runs on without a window");
    QVERIFY(!QFile::exists(lasting + QStringLiteral(".ended")));
    const qsizetype briefRemoved = messages.IndexOf(QStringLiteral("remove"), briefId);
    QVERIFY2(briefRemoved >= 0 && briefRemoved < messages.IndexOf(QStringLiteral("remove"), lastingId),
             "the ended program's startup was not removed when it ended");

    QVERIFY(QFile(lasting + QStringLiteral(".go")).open(QIODevice::WriteOnly));
    QVERIFY(PollUntil([&] { return QFile::exists(lasting + QStringLiteral(".ended")); }));
}

// The launched button is dimmed from the click until the program's first window maps, here
// four seconds after the start (long enough to see the face on a busy machine).
void TestLaunchFeedback::buttonShowsTheStartUntilTheWindow() {
    BarHome home;
    QVERIFY(home.IsValid());
    QVERIFY(home.WriteSettings("[Location]\nTop=100\nLeft=50\nButtonCount=16\nOnTop=No\n"
                               "[Programs]\nSpeedButton5=" LATE_WINDOW_PROGRAM "\n[Parameters]\nSpeedButton5=4000\n"
                               "[Shrink]\nSpeedButton5=No\n"));
    Bar bar(home, {});
    QVERIFY2(bar.WaitForWindow(), qPrintable(bar.Diagnostics()));
    QTest::qWait(1500); // the window manager's placing is over
    const QRect face(ButtonCentre(5) - QPoint(12, 12), QSize(24, 24));
    auto buttonFace = [&] { return SettledGrab(bar.Window()).copy(face); };
    const QImage idle = buttonFace();

    QVERIFY(ClickAt(bar, ButtonCentre(5)));
    QVERIFY(Xdo({QStringLiteral("mousemove"), QStringLiteral("0"), QStringLiteral("0")}));
    auto lateWindowShown = [] {
        return !Tool(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                 QStringLiteral("--name"), QStringLiteral("^Late window$")})
                    .trimmed()
                    .isEmpty();
    };
    // The face changes soon after the click, while the program has no window yet.
    QVERIFY2(PollUntil([&] { return Grab(bar.Window()).copy(face) != idle || lateWindowShown(); }),
             qPrintable(bar.Diagnostics()));
    SaveScreenshot(QStringLiteral("starting"));
    QVERIFY2(!lateWindowShown(), "the launched button did not show that its program was starting");

    QVERIFY2(PollUntil(lateWindowShown), qPrintable(bar.Diagnostics()));
    // Well before the bar would give up waiting (10 s from the start, 4 s of it before the
    // window): the program's own message ended it.
    QVERIFY2(PollUntil([&] { return buttonFace() == idle; }, 4000), "the face did not end when the window mapped");
    Tool(QStringLiteral("pkill"), {QStringLiteral("-f"), QStringLiteral(LATE_WINDOW_PROGRAM)});
}

QTEST_GUILESS_MAIN(TestLaunchFeedback)
#include "tst_launchfeedback.moc"
