// Page operation benchmark: the settings-file work of the page menu on a fully configured file
// of 20 pages of 21 buttons, timing
//   - deleting page 1,
//   - inserting a page at position 1,
//   - moving page 1 behind page 20 (taking it out, then putting it back at the end),
// against the floor of any change to that file: one parse and atomic rewrite by TNewIniFile.
// The window's rebuild after each operation is not included (bench_rebuild times that).
//
//   bench_pages [ROUNDS]
//
// Every measurement starts from a fresh copy of the file, so no cached parse helps. Prints
// figures; judges nothing.

#include "BenchTools.h"
#include "BenchCommon.h"
#include "pages/PageShift.h"
#include "settings/NewIniFile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <functional>
#include <map>
#include <vector>

namespace {

using bench::Median;
using bench::Time;
using bench::WriteFile;

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 10;
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    const std::string settings = bench::FullSettings();
    const int perPage = bench::ButtonsPerPage;

    const QStringList order = {QStringLiteral("delete page 1"),
                               QStringLiteral("insert a page at 1"),
                               QStringLiteral("move page 1 behind page 20"),
                               QStringLiteral("  of which: take page 1 out"),
                               QStringLiteral("  of which: put it back at 20"),
                               QStringLiteral("TNewIniFile parse"),
                               QStringLiteral("TNewIniFile parse + atomic rewrite")};
    std::map<QString, std::vector<double>> ms;
    int copies = 0;
    auto fresh = [&] {
        const QString path = dir.filePath(QStringLiteral("OV%1.INI").arg(++copies));
        if (!WriteFile(path, settings))
            qFatal("cannot write %s", qPrintable(path));
        return path;
    };
    bool wrong = false;
    for (int round = 0; round < rounds; ++round) {
        {
            TNewIniFile ini(fresh());
            ms[order[0]].push_back(Time([&] { DeletePage(ini, 1, perPage, false); }));
            wrong |= ini.ReadInteger(QStringLiteral("Pages"), QStringLiteral("Count"), 0) != 19;
        }
        {
            TNewIniFile ini(fresh());
            ms[order[1]].push_back(Time([&] { InsertPage(ini, 1, perPage); }));
            wrong |= ini.ReadInteger(QStringLiteral("Pages"), QStringLiteral("Count"), 0) != 21;
        }
        {
            TNewIniFile ini(fresh());
            MovedPage taken;
            const double take = Time([&] { taken = DeletePage(ini, 1, perPage, true); });
            const double put = Time([&] { InsertPage(ini, 20, perPage, &taken); });
            ms[order[2]].push_back(take + put);
            ms[order[3]].push_back(take);
            ms[order[4]].push_back(put);
            wrong |= ini.ReadString(QStringLiteral("Tabs"), QStringLiteral("PageTab20"), {}) !=
                     QStringLiteral("Group 1");
        }
        const TNewIniFile reader(fresh());
        ms[order[5]].push_back(Time([&] {
            reader.ReadString(QStringLiteral("Location"), QStringLiteral("Left"), QString());
        }));
        TNewIniFile writer(fresh());
        ms[order[6]].push_back(Time([&] {
            writer.WriteString(QStringLiteral("Location"), QStringLiteral("Left"),
                               QString::number(round));
        }));
    }
    if (wrong) {
        QTextStream(stderr) << "a page operation did not do what it should\n";
        return 1;
    }

    QTextStream out(stdout);
    const double floor = Median(ms[order[6]]);
    out << "Page operations on a settings file of 20 pages x 21 buttons (" << settings.size()
        << " bytes), " << rounds << " rounds\n";
    out << QStringLiteral("%1 %2 %3 %4\n")
               .arg(QString(), -36)
               .arg(QStringLiteral("median ms"), 10)
               .arg(QStringLiteral("min ms"), 10)
               .arg(QStringLiteral("x floor"), 9);
    for (const QString &name : order) {
        const std::vector<double> &values = ms[name];
        out << QStringLiteral("%1 %2 %3 %4\n")
                   .arg(name, -36)
                   .arg(Median(values), 10, 'f', 2)
                   .arg(*std::min_element(values.begin(), values.end()), 10, 'f', 2)
                   .arg(Median(values) / floor, 9, 'f', 1);
    }
    out << "(budget: each operation, with its rebuild, at most 25 x the parse + atomic rewrite)\n";
    return 0;
}
