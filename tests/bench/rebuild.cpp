// Rebuild benchmark: the bar's window (with the real platform) on a fully configured settings
// file of 20 pages of 21 buttons, timing
//   - the switch to 16 buttons per page and back to 21 and to 16 again (re-paging all records
//     in the file, then rebuilding every page),
//   - a rebuild that changes nothing (PageUpdate),
//   - a reload (Load, as a shared-mode request runs it) with every page shown, after another
//     copy changed one button's description, and with nothing changed,
// against the floor of any change to that file: one parse and atomic rewrite by TNewIniFile.
//
//   bench_rebuild [ROUNDS]
//
// Runs on any Qt platform (run.sh uses the virtual display). Prints figures; judges nothing.

#include "BenchTools.h"
#include "BenchCommon.h"
#include "app/Icons.h"
#include "platform/linux/LinuxPlatform.h"
#include "settings/NewIniFile.h"

#include <QAction>
#include <QApplication>
#include <QDir>
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
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 5;
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    const QString configHome = home.filePath(QStringLiteral("config"));
    QDir().mkpath(configHome + QStringLiteral("/orvane"));
    const QString iniPath = configHome + QStringLiteral("/orvane/OV.INI");
    const std::string settings = bench::FullSettings();

    // The window as main() makes it, without arguments, reading the benchmark's settings.
    AppEnvironment environment;
    environment.programDirectory = home.path() + QLatin1Char('/');
    environment.configHome = configHome;

    std::map<QString, std::vector<double>> ms;
    const QStringList order = {QStringLiteral("21 -> 16"), QStringLiteral("16 -> 21"),
                               QStringLiteral("21 -> 16 again"), QStringLiteral("rebuild (21, nothing changed)"),
                               QStringLiteral("reload, one button changed"), QStringLiteral("reload, nothing changed"),
                               QStringLiteral("TNewIniFile parse"), QStringLiteral("TNewIniFile parse + atomic rewrite")};
    for (int round = 0; round < rounds; ++round) {
        if (!WriteFile(iniPath, settings))
            return 1;
        LinuxPlatform platform(environment);
        TForm1 form(platform.Get());
        platform.SetDialogParent(&form);
        form.show();
        QCoreApplication::processEvents();
        if (form.ButtonsPerPage() != 21 || !form.Items().page.PButton16) {
            QTextStream(stderr) << "the bar did not start with 21 buttons per page and the 16/21 items\n";
            return 1;
        }
        ms[order[0]].push_back(Time([&] { form.PButton16Click(form.Items().page.PButton16); }));
        ms[order[1]].push_back(Time([&] { form.PButton16Click(form.Items().page.PButton21); }));
        ms[order[2]].push_back(Time([&] { form.PButton16Click(form.Items().page.PButton16); }));
        form.PButton16Click(form.Items().page.PButton21);
        ms[order[3]].push_back(Time([&] { form.PageUpdate(); }));
        for (int page = 1; page <= form.TabRow()->count(); ++page)
            form.FindButton(page * form.ButtonsPerPage()); // every page made, as after a look at each
        TNewIniFile(iniPath).WriteString(QStringLiteral("Names"), QStringLiteral("SpeedButton5"),
                                         QStringLiteral("Changed %1").arg(round));
        ms[order[4]].push_back(Time([&] { form.Load(); }));
        ms[order[5]].push_back(Time([&] { form.Load(); }));
        form.close();
    }

    // The same file, read by a TNewIniFile that has not seen it yet: once only parsed, once
    // parsed and replaced by one write. Every round uses fresh copies, so no cached parse helps.
    for (int i = 0; i < std::max(rounds, 10); ++i) {
        const QString readCopy = iniPath + QStringLiteral(".read%1").arg(i);
        const QString writeCopy = iniPath + QStringLiteral(".write%1").arg(i);
        if (!WriteFile(readCopy, settings) || !WriteFile(writeCopy, settings))
            return 1;
        const TNewIniFile reader(readCopy);
        ms[order[6]].push_back(Time([&] {
            reader.ReadString(QStringLiteral("Location"), QStringLiteral("Left"), QString());
        }));
        TNewIniFile writer(writeCopy);
        ms[order[7]].push_back(Time([&] {
            writer.WriteString(QStringLiteral("Location"), QStringLiteral("Left"), QString::number(i));
        }));
    }

    QTextStream out(stdout);
    const double floor = Median(ms[order[7]]);
    const double floorMin = *std::min_element(ms[order[7]].begin(), ms[order[7]].end());
    out << "Rebuilds on a settings file of 20 pages x 21 buttons (" << settings.size() << " bytes), "
        << rounds << " rounds\n";
    // The floor's rewrite waits for the disk, whose time varies a lot on a busy machine: the
    // ratios of the medians and of the minima are both shown.
    out << QStringLiteral("%1 %2 %3 %4 %5\n").arg(QString(), -36).arg(QStringLiteral("median ms"), 10)
               .arg(QStringLiteral("min ms"), 10).arg(QStringLiteral("x floor"), 9)
               .arg(QStringLiteral("min x min"), 10);
    for (const QString &name : order) {
        const std::vector<double> &values = ms[name];
        const double least = *std::min_element(values.begin(), values.end());
        out << QStringLiteral("%1 %2 %3 %4 %5\n").arg(name, -36).arg(Median(values), 10, 'f', 2)
                   .arg(least, 10, 'f', 2).arg(Median(values) / floor, 9, 'f', 1)
                   .arg(least / floorMin, 10, 'f', 1);
    }
    out << "(budget: each switch and the rebuild at most 20 x the parse + atomic rewrite)\n";
    return 0;
}
