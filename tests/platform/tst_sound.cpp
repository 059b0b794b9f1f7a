#include "platform/linux/LinuxSound.h"

#include "commandline/CommandLine.h"
#include "platform/linux/LinuxDialogs.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <link.h>
#include <memory>
#include <sys/stat.h>
#include <vector>

// A wave file of a few milliseconds of silence: 16-bit mono PCM at 8000 Hz.
static QByteArray SilentWave(int milliseconds) {
    const quint32 rate = 8000, bytes = rate * 2 * quint32(milliseconds) / 1000;
    QByteArray wave;
    QDataStream out(&wave, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("RIFF", 4);
    out << quint32(36 + bytes);
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(1) << rate << quint32(rate * 2) << quint16(2)
        << quint16(16);
    out.writeRawData("data", 4);
    out << bytes;
    wave.append(QByteArray(int(bytes), '\0'));
    return wave;
}

// Sounds go to ALSA's null device: played for real, heard by no one.
static void UseNullDevice() {
    qputenv("CANBERRA_DRIVER", "alsa");
    qputenv("CANBERRA_DEVICE", "null");
}

// The shared objects loaded in this process.
static QSet<QByteArray> LoadedObjects() {
    QSet<QByteArray> names;
    dl_iterate_phdr(
        [](dl_phdr_info *info, size_t, void *data) {
            static_cast<QSet<QByteArray> *>(data)->insert(info->dlpi_name);
            return 0;
        },
        &names);
    return names;
}

// Exit codes of PlayAndEnd.
enum { Ended = 0, NotPlayed = 2, DriverUnloaded = 3 };

// The bar's life with sounds, over and over, in a child process so that a crash shows as its exit
// status: a player plays in the background and ends while the sound plays; in the end the process
// itself ends while one plays. Ending a player must leave loaded whatever playing loaded: a sound
// thread may still be running in it.
static int PlayAndEnd(const char *file) {
    UseNullDevice();
    const QString path = QFile::decodeName(file);
    QSet<QByteArray> whilePlaying;
    for (int i = 0; i < 200; ++i) {
        LinuxSound sound;
        if (!sound.Play(path, true, false))
            return NotPlayed;
        if (i == 0)
            whilePlaying = LoadedObjects();
    }
    if (!LoadedObjects().contains(whilePlaying))
        return DriverUnloaded;
    LinuxSound last;
    return last.Play(path, true, false) ? Ended : NotPlayed;
}

class TestSound : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void play_data();
    void play();
    void endWhilePlaying();
    void dialogShowsWhatPlays_data();
    void dialogShowsWhatPlays();

private:
    QTemporaryDir dir_;
    bool haveBell_ = false;
};

void TestSound::initTestCase() {
    UseNullDevice();
    QVERIFY(dir_.isValid());
    const QByteArray wave = SilentWave(20);
    for (const QString &name :
         {QStringLiteral("ding.wav"), QStringLiteral("my sounds/it's $1.wav")}) {
        QDir().mkpath(QFileInfo(dir_.filePath(name)).absolutePath());
        QFile file(dir_.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(wave);
    }
    QFile text(dir_.filePath(QStringLiteral("text.wav")));
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("not a sound\n");
    QCOMPARE(
        ::mkfifo(QFile::encodeName(dir_.filePath(QStringLiteral("fifo.wav"))).constData(), 0600),
        0);
    haveBell_ = !QStandardPaths::locate(QStandardPaths::GenericDataLocation,
                                        QStringLiteral("sounds/freedesktop/stereo/bell.oga"))
                     .isEmpty();
}

void TestSound::play_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("asynchronous");
    QTest::addColumn<bool>("useDefault");
    QTest::addColumn<bool>("played");
    QTest::addColumn<bool>("needsBell");
    const QString wave = dir_.filePath(QStringLiteral("ding.wav"));
    const QString missing = dir_.filePath(QStringLiteral("gone.wav"));
    const QString text = dir_.filePath(QStringLiteral("text.wav"));
    QTest::newRow("launch sound, waited for") << wave << false << false << true << false;
    QTest::newRow("keyboard sound, in the background") << wave << true << true << true << false;
    QTest::newRow("quoted path with blanks")
        << LongPath(dir_.filePath(QStringLiteral("my sounds/it's $1.wav"))) << false << false
        << true << false;
    QTest::newRow("missing, no default") << missing << false << false << false << false;
    QTest::newRow("missing, no default, background") << missing << true << false << false << false;
    QTest::newRow("not a sound, no default") << text << false << false << false << false;
    QTest::newRow("fifo, no default")
        << dir_.filePath(QStringLiteral("fifo.wav")) << false << false << false << false;
    QTest::newRow("empty, no default") << QString() << false << false << false << false;
    QTest::newRow("missing: the theme's bell") << missing << true << true << true << true;
    QTest::newRow("not a sound: the bell, waited for") << text << false << true << true << true;
}

void TestSound::play() {
    QFETCH(QString, file);
    QFETCH(bool, asynchronous);
    QFETCH(bool, useDefault);
    QFETCH(bool, played);
    QFETCH(bool, needsBell);
    if (needsBell && !haveBell_)
        QSKIP("needs the freedesktop sound theme (sound-theme-freedesktop)");
    LinuxSound sound;
    QCOMPARE(sound.Play(file, asynchronous, useDefault), played);
    // A second sound on the same player works as well, cutting off a background one.
    QCOMPARE(sound.Play(file, asynchronous, useDefault), played);
}

// Ending a player, or the bar, while a sound plays must never crash. It did only now and then, so
// a few copies at once repeat it, which also keeps the processors busy, when it showed most.
void TestSound::endWhilePlaying() {
    const QString wave = dir_.filePath(QStringLiteral("ding.wav"));
    std::vector<std::unique_ptr<QProcess>> children;
    for (int i = 0; i < 4; ++i) {
        auto &child = children.emplace_back(std::make_unique<QProcess>());
        child->setProcessChannelMode(QProcess::ForwardedChannels);
        child->start(QCoreApplication::applicationFilePath(),
                     {QStringLiteral("--play-and-end"), wave});
        QVERIFY(child->waitForStarted());
    }
    for (const auto &child : children)
        QVERIFY(child->waitForFinished(120000));
    for (const auto &child : children) {
        QCOMPARE(child->exitStatus(), QProcess::NormalExit);
        QVERIFY2(child->exitCode() != DriverUnloaded, "ending a player unloaded the sound driver");
        QCOMPARE(child->exitCode(), int(Ended));
    }
}

// Every format the player reads is offered by the sound dialog's filter, in either case.
void TestSound::dialogShowsWhatPlays_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("ogg");
    QTest::newRow("wave") << "ding.wav" << false;
    QTest::newRow("wave, upper case") << "DING.WAV" << false;
    QTest::newRow("Ogg audio") << "bell.oga" << true;
    QTest::newRow("Ogg") << "bell.ogg" << true;
    QTest::newRow("Ogg, upper case") << "BELL.OGG" << true;
}

void TestSound::dialogShowsWhatPlays() {
    QFETCH(QString, name);
    QFETCH(bool, ogg);
    const QString bell = QStandardPaths::locate(
        QStandardPaths::GenericDataLocation, QStringLiteral("sounds/freedesktop/stereo/bell.oga"));
    if (ogg && bell.isEmpty())
        QSKIP("needs an Ogg sound: the freedesktop sound theme (sound-theme-freedesktop)");
    const QString file = dir_.filePath(QStringLiteral("formats/") + name);
    QDir().mkpath(dir_.filePath(QStringLiteral("formats")));
    QFile::remove(file);
    if (ogg) {
        QVERIFY(QFile::copy(bell, file));
    } else {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(SilentWave(20));
    }
    LinuxSound sound;
    QVERIFY(sound.Play(file, false, false));

    const QString filter = LinuxDialogs::QtFilter(SoundFilesFilter());
    const QString patterns = filter.section(QLatin1Char('('), 1).chopped(1);
    bool shown = false;
    for (const QString &pattern : patterns.split(QLatin1Char(' ')))
        shown =
            shown || QRegularExpression(QRegularExpression::wildcardToRegularExpression(pattern))
                         .match(name)
                         .hasMatch();
    QVERIFY2(shown, qPrintable(name + QStringLiteral(" is not shown by ") + filter));
}

int main(int argc, char **argv) {
    if (argc > 2 && qstrcmp(argv[1], "--play-and-end") == 0)
        return PlayAndEnd(argv[2]);
    QCoreApplication app(argc, argv);
    TestSound test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_sound.moc"
