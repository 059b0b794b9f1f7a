// The settings-file parser's cost grows with the file's size only, whatever the file repeats:
// the index counts its steps (hash probes and duplicate links), and a file ten times larger
// must cost about ten times the steps, not a hundred.

#include "settings/IniDocument.h"

#include <QTest>

namespace {

using Maker = QByteArray (*)(int n);

QByteArray RepeatedSection(int n) {
    QByteArray out;
    for (int i = 0; i < n; ++i)
        out += "[Programs]\r\nSpeedButton1=/usr/bin/xterm\r\n";
    return out;
}

QByteArray RepeatedKey(int n) {
    QByteArray out = "[Programs]\r\n";
    for (int i = 0; i < n; ++i)
        out += "speedbutton1 = /usr/bin/xterm\r\n";
    return out;
}

QByteArray DistinctKeys(int n) {
    QByteArray out = "[Programs]\r\n";
    for (int i = 0; i < n; ++i)
        out += "SpeedButton" + QByteArray::number(i) + "=/usr/bin/xterm\r\n";
    return out;
}

QByteArray DistinctSections(int n) {
    QByteArray out;
    for (int i = 0; i < n; ++i)
        out += "[Page" + QByteArray::number(i) + "]\r\nName=Page " + QByteArray::number(i) + "\r\n";
    return out;
}

// Steps to parse the file, read from it, write to it and erase from it.
quint64 Steps(const QByteArray &bytes) {
    IniDocument doc(bytes);
    doc.Value(u"PROGRAMS", u"SpeedButton1");
    doc.Value(u"Page7", u"Name");
    doc.Values(u"Programs");
    doc.Write(u"Programs", u"SpeedButton1", QStringLiteral("/usr/bin/true"));
    doc.Write(u"Programs", u"Added", QStringLiteral("1"));
    doc.EraseKey(u"Programs", u"SpeedButton1");
    doc.EraseSection(u"Programs");
    doc.Serialize();
    return doc.IndexSteps();
}

} // namespace

class TestIniCost : public QObject {
    Q_OBJECT

private slots:
    void linear_data() {
        QTest::addColumn<quintptr>("maker");
        QTest::newRow("one section repeated") << quintptr(&RepeatedSection);
        QTest::newRow("one key repeated") << quintptr(&RepeatedKey);
        QTest::newRow("distinct keys") << quintptr(&DistinctKeys);
        QTest::newRow("distinct sections") << quintptr(&DistinctSections);
    }

    void linear() {
        QFETCH(quintptr, maker);
        const Maker make = reinterpret_cast<Maker>(maker);
        const quint64 small = Steps(make(2000));
        const quint64 large = Steps(make(20000));
        QVERIFY(small > 0);
        // Ten times the lines: about ten times the work; a quadratic index would take 100 times.
        QVERIFY2(large <= 15 * small, qPrintable(QStringLiteral("%1 steps for 2000 repeats, %2 "
                                                                "for 20000")
                                                     .arg(small)
                                                     .arg(large)));
    }

    // What the cost test relies on: the repeated names are really found, first one first.
    void repeatsReadAsFirstOccurrence() {
        IniDocument sections(RepeatedSection(3).replace("xterm", "a"));
        QCOMPARE(sections.Value(u"programs", u"speedbutton1"), QString("/usr/bin/a"));
        IniDocument keys("[P]\nk=1\nK=2\n k =3\n");
        QCOMPARE(keys.Value(u"P", u"k"), QString("1"));
        QVERIFY(keys.EraseKey(u"P", u"K"));
        QCOMPARE(keys.Value(u"P", u"k"), std::nullopt); // the later ones go with the first
        QCOMPARE(keys.Serialize(), QByteArray("[P]\n"));
    }
};

QTEST_GUILESS_MAIN(TestIniCost)
#include "tst_inicost.moc"
