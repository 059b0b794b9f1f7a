#pragma once

// The set-up the launch benchmarks share: a home with the settings of a full bar whose button 1
// starts bench_launch_child, which writes its clock reading to a pipe the benchmark reads.

#include "BenchCommon.h"
#include "BenchTools.h"
#include "app/Icons.h"
#include "platform/Platform.h"
#include "platform/linux/LinuxPlatform.h"
#include "settings/NewIniFile.h"

#include <QByteArray>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QToolButton>
#include <fcntl.h>
#include <unistd.h>

namespace bench {

class LaunchBenchHome {
public:
    // False when the home or the pipe cannot be made. The children inherit the pipe's write end
    // (its number is their argument); the benchmark reads the other end, ClockPipe().
    bool Make(const QByteArray &child, const QString &moreArguments = QString()) {
        if (!home_.isValid() || ::pipe2(pipe_, O_CLOEXEC) != 0 || ::fcntl(pipe_[1], F_SETFD, 0) != 0)
            return false;
        fdArgument_ = QByteArray::number(pipe_[1]);
        configHome_ = home_.filePath(QStringLiteral("config"));
        QDir().mkpath(configHome_ + QStringLiteral("/orvane"));
        iniPath_ = configHome_ + QStringLiteral("/orvane/OV.INI");
        if (!WriteFile(iniPath_, FullSettings()))
            return false;
        TNewIniFile ini(iniPath_);
        ini.WriteString(QStringLiteral("Programs"), QStringLiteral("SpeedButton1"), QString::fromLocal8Bit(child));
        ini.WriteString(QStringLiteral("Parameters"), QStringLiteral("SpeedButton1"),
                        QString::fromLatin1(fdArgument_) + moreArguments);
        ini.WriteString(QStringLiteral("Working"), QStringLiteral("SpeedButton1"), home_.path());
        return true;
    }
    QString IniPath() const { return iniPath_; }
    int ClockPipe() const { return pipe_[0]; }
    const QByteArray &FdArgument() const { return fdArgument_; }
    AppEnvironment Environment() const {
        AppEnvironment environment;
        environment.programDirectory = home_.path() + QLatin1Char('/');
        environment.configHome = configHome_;
        return environment;
    }

private:
    QTemporaryDir home_;
    int pipe_[2] = {-1, -1};
    QByteArray fdArgument_;
    QString configHome_;
    QString iniPath_;
};

// Shows the bar and gives its button 1, which the benchmarks click; null, after saying why, when
// it is not on the page shown.
inline QToolButton *ShowBarWithButtonOne(LinuxPlatform &platform, TForm1 &form) {
    platform.SetDialogParent(&form);
    form.show();
    if (!QTest::qWaitForWindowExposed(&form))
        QTextStream(stderr) << "the window was not exposed; measuring anyway\n";
    QCoreApplication::processEvents();
    QToolButton *button = form.FindButton(1);
    if (!button || !button->isVisible()) {
        QTextStream(stderr) << "button 1 is not on the shown page\n";
        return nullptr;
    }
    return button;
}

} // namespace bench
