// Profile names from the command line and where the settings file lives.
#include "settings/Profile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class ProfileTest : public QObject {
    Q_OBJECT
private slots:
    void fromArguments_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("shared");
        QTest::newRow("none") << QStringList() << "" << false;
        QTest::newRow("word") << QStringList{"Work"} << "Work" << false;
        QTest::newRow("word as typed") << QStringList{"-style", "x"} << "-style" << false;
        QTest::newRow("/n") << QStringList{"/n", "ignored"} << "tester" << false;
        QTest::newRow("/N") << QStringList{"/N"} << "tester" << false;
        QTest::newRow("/m name") << QStringList{"/m", "Team"} << "Team" << true;
        QTest::newRow("/M name") << QStringList{"/M", "Team"} << "Team" << true;
        QTest::newRow("/m alone") << QStringList{"/m"} << "" << true;
        QTest::newRow("non-ASCII") << QStringList{QString::fromUtf8("Büro")} << QString::fromUtf8("Büro") << false;
    }
    void fromArguments() {
        QFETCH(QStringList, arguments);
        const ProfileChoice choice = ProfileFromArguments(arguments, [] { return QStringLiteral("tester"); });
        QTEST(choice.name, "name");
        QTEST(choice.shared, "shared");
    }

    void usableNames_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("usable");
        QTest::newRow("empty") << "" << true;
        QTest::newRow("plain") << "Work" << true;
        QTest::newRow("slash") << "a/b" << false;
        QTest::newRow("dots") << ".." << true; // "OV...INI" is a plain file name
        QTest::newRow("too long") << QString(300, 'x') << false;
    }
    void usableNames() {
        QFETCH(QString, name);
        QTEST(IsUsableProfileName(name), "usable");
    }

    void settingsLocation() {
        QTemporaryDir program, config;
        const QString programDir = program.path() + "/";
        // No settings file beside the program: the configuration home.
        SettingsPaths paths = ResolveSettingsPaths(programDir, config.path(), "Work");
        QCOMPARE(paths.iniFile, config.path() + "/orvane/OVWork.INI");
        QCOMPARE(paths.datFile, config.path() + "/orvane/OVWork.DAT");
        // A portable install keeps its file beside the program, per profile.
        QFile portable(programDir + "OVWork.INI");
        QVERIFY(portable.open(QIODevice::WriteOnly));
        portable.close();
        paths = ResolveSettingsPaths(programDir, config.path(), "Work");
        QCOMPARE(paths.iniFile, programDir + "OVWork.INI");
        QCOMPARE(ResolveSettingsPaths(programDir, config.path(), "").iniFile,
                 config.path() + "/orvane/OV.INI");
        QVERIFY(!ResolveSettingsPaths(programDir, config.path(), "a/b").usable);
    }
};

QTEST_GUILESS_MAIN(ProfileTest)
#include "tst_profile.moc"
