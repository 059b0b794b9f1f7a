// Startup notification messages put together from their pieces, and the bound on what waits
// for its end: any client may send pieces from as many windows as it likes.
#include "platform/linux/StartupMessageAssembler.h"

#include <QtTest>

namespace {
constexpr int kBound = StartupMessageAssembler::kMaxUnfinished;

struct Piece {
    quint32 window;
    bool begins;
    QByteArray bytes; // at most 20; fewer are padded with NULs, as on the wire
};

// A message as its sender cuts it: the text and its closing NUL in pieces of 20 bytes.
QList<Piece> Cut(quint32 window, const QByteArray &message) {
    QList<Piece> pieces;
    const QByteArray text = message + '\0';
    for (qsizetype at = 0; at < text.size(); at += 20)
        pieces.append({window, at == 0, text.mid(at, 20)});
    return pieces;
}

// What the assembler gives back for the pieces, in order.
QByteArrayList Feed(StartupMessageAssembler &assembler, const QList<Piece> &pieces) {
    QByteArrayList complete;
    for (const Piece &piece : pieces) {
        QByteArray wire = piece.bytes;
        wire.resize(20, '\0');
        if (const std::optional<QByteArray> message =
                assembler.Add(piece.window, piece.begins, wire))
            complete.append(*message);
    }
    return complete;
}

// The first 20 bytes of a message that never ends, from each of windows first .. first+count-1.
QList<Piece> Beginnings(quint32 first, int count) {
    QList<Piece> pieces;
    for (int i = 0; i < count; ++i)
        pieces.append({first + quint32(i), true, QByteArray(20, 'b')});
    return pieces;
}
} // namespace

Q_DECLARE_METATYPE(QList<Piece>)

class TestStartupMessages : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void assembly_data();
    void assembly();
    void bound_data();
    void bound();
};

void TestStartupMessages::assembly_data() {
    QTest::addColumn<QList<Piece>>("pieces");
    QTest::addColumn<QByteArrayList>("complete");
    const QByteArray shortOne = "remove: ID=a";
    const QByteArray longOne =
        "new: ID=\"orvane-1-host-2_TIME0\" NAME=\"A program with a long name\" SCREEN=0";
    const QByteArray other = "remove: ID=\"another-program's-start\"";

    QTest::newRow("one piece") << Cut(7, shortOne) << QByteArrayList{shortOne};
    QTest::newRow("many pieces") << Cut(7, longOne) << QByteArrayList{longOne};
    QTest::newRow("exactly 20 bytes: the NUL comes alone")
        << Cut(7, QByteArray(20, 'x')) << QByteArrayList{QByteArray(20, 'x')};
    {
        // Two senders at once, their pieces interleaved.
        const QList<Piece> a = Cut(1, longOne), b = Cut(2, other);
        QList<Piece> mixed;
        for (qsizetype i = 0; i < std::max(a.size(), b.size()); ++i) {
            if (i < a.size())
                mixed.append(a[i]);
            if (i < b.size())
                mixed.append(b[i]);
        }
        QTest::newRow("two senders interleaved") << mixed << QByteArrayList{other, longOne};
    }
    QTest::newRow("the rest of a message whose beginning was missed")
        << Cut(7, longOne).mid(1) + Cut(8, shortOne) << QByteArrayList{shortOne};
    QTest::newRow("a new beginning drops the unfinished message")
        << Cut(7, longOne).mid(0, 2) + Cut(7, other) << QByteArrayList{other};
    {
        // Every window waits; the first one sends another piece, so the second has waited
        // longest when one more sender begins: the second one's message is dropped.
        QList<Piece> pieces = Beginnings(100, kBound);
        pieces.append({100, false, QByteArray(20, 'm')});
        pieces += Beginnings(1000, 1);
        pieces.append({101, false, "-lost"});
        pieces.append({100, false, "-end"});
        QTest::newRow("the one that waited longest is dropped")
            << pieces << QByteArrayList{QByteArray(20, 'b') + QByteArray(20, 'm') + "-end"};
    }
}

void TestStartupMessages::assembly() {
    QFETCH(QList<Piece>, pieces);
    StartupMessageAssembler assembler;
    QTEST(Feed(assembler, pieces), "complete");
}

void TestStartupMessages::bound_data() {
    QTest::addColumn<int>("senders");
    QTest::addColumn<int>("piecesEach"); // none of them ends the message
    QTest::addColumn<bool>("interleaved");
    QTest::addColumn<int>("unfinished");

    QTest::newRow("a few senders") << 3 << 5 << false << 3;
    QTest::newRow("as many as the bound") << kBound << 1 << false << kBound;
    QTest::newRow("one over the bound") << kBound + 1 << 1 << false << kBound;
    QTest::newRow("200,000 senders") << 200000 << 1 << false << kBound;
    QTest::newRow("20,000 senders x 200 pieces") << 20000 << 200 << false << kBound;
    QTest::newRow("1,000 senders x 200 pieces, interleaved") << 1000 << 200 << true << kBound;
    // 300 pieces pass the length bound: each message ends there.
    QTest::newRow("100 senders x 300 pieces") << 100 << 300 << false << 0;
}

void TestStartupMessages::bound() {
    QFETCH(int, senders);
    QFETCH(int, piecesEach);
    QFETCH(bool, interleaved);
    QFETCH(int, unfinished);

    StartupMessageAssembler assembler;
    const QByteArray filler(20, 'f');
    int complete = 0, most = 0;
    qsizetype longest = 0;
    auto add = [&](quint32 window, bool begins) {
        if (const auto message = assembler.Add(window, begins, filler)) {
            ++complete;
            longest = std::max(longest, message->size());
        }
        most = std::max(most, assembler.Unfinished());
    };
    if (interleaved) {
        for (int piece = 0; piece < piecesEach; ++piece)
            for (int s = 0; s < senders; ++s)
                add(quint32(s + 1), piece == 0);
    } else {
        for (int s = 0; s < senders; ++s)
            for (int piece = 0; piece < piecesEach; ++piece)
                add(quint32(s + 1), piece == 0);
    }
    QCOMPARE(assembler.Unfinished(), unfinished);
    QVERIFY(most <= kBound);
    const qsizetype perMessage = qsizetype(piecesEach) * 20;
    // Messages that pass the length bound end there, cut to it.
    const bool cut = perMessage >= StartupMessageAssembler::kMaxLength;
    QCOMPARE(complete, cut ? senders : 0);
    QCOMPARE(longest, cut ? StartupMessageAssembler::kMaxLength : 0);

    // A program's own "remove:" still gets through after the flood.
    const QByteArray remove = "remove: ID=\"orvane-7\"";
    QCOMPARE(Feed(assembler, Cut(0xffffff, remove)), QByteArrayList{remove});
    // The last sender of the flood can still end its message, unless the flood ended them all.
    if (unfinished > 0) {
        const QByteArrayList last = Feed(assembler, {{quint32(senders), false, "!"}});
        QCOMPARE(last.size(), 1);
        QCOMPARE(last.first().size(), perMessage + 1);
    }
}

QTEST_APPLESS_MAIN(TestStartupMessages)
#include "tst_startupmessages.moc"
