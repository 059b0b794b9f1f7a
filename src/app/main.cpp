#include "app/Icons.h"
#include "app/QtPlatformChoice.h"
#include "appearance/Pickicon.h"
#include "bar/BarStyle.h"
#include "platform/linux/LinuxPlatform.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QTextStream>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {
int signalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 1;
    [[maybe_unused]] ssize_t written = ::write(signalPipe[1], &byte, 1);
}

bool PrintInformation(const QStringList &arguments) {
    if (arguments.isEmpty())
        return false;
    QTextStream out(stdout);
    if (arguments.first() == QLatin1String("--version")) {
        out << "orvane " << ORVANE_VERSION << "\n";
        return true;
    }
    if (arguments.first() == QLatin1String("--help")) {
        out << "Usage: orvane [PROFILE | /n | /m PROFILE]\n"
               "A program-launcher bar.\n\n"
               "  PROFILE     use the settings file OVPROFILE.INI\n"
               "  /n          use the login name as the profile name\n"
               "  /m PROFILE  use PROFILE and follow the changes of other copies using it\n"
               "  --help      show this help and exit\n"
               "  --version   show the version and exit\n";
        return true;
    }
    return false;
}

// The bar's own icon picker, which the platform shows for "Change Icon".
std::optional<int> PickIcon(IShell &shell, IHelp &help, const QString &file, QWidget *parent) {
    return TForm2(shell, help, file, parent).Pick();
}
} // namespace

int main(int argc, char **argv) {
    // The first argument is the profile name exactly as typed: take it before Qt removes
    // the options it knows.
    const AppEnvironment environment = LinuxPlatform::CaptureEnvironment(argc, argv);
    if (PrintInformation(environment.arguments))
        return 0;

    // On a Wayland session with XWayland the bar runs as an X11 window, which alone may keep
    // its place and stay on top there.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QByteArray qtPlatform = ChooseQtPlatform(QProcessEnvironment::systemEnvironment(), arguments);
    char platformOption[] = "-platform";
    std::vector<char *> qtArguments(argv, argv + argc);
    if (!qtPlatform.isEmpty())
        qtArguments.insert(qtArguments.begin() + 1, {platformOption, qtPlatform.data()});
    int qtArgumentCount = int(qtArguments.size());
    qtArguments.push_back(nullptr);

    QApplication app(qtArgumentCount, qtArguments.data());
    QApplication::setApplicationName(QStringLiteral("orvane"));
    QApplication::setDesktopFileName(QStringLiteral("io.orvane.Orvane"));
    // The application menu's own scalable icon (the tray icon takes it too): sharp at every size.
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/io.orvane.Orvane.svg")));
    QApplication::setStyle(new BarStyle);

    LinuxPlatform platform(environment, PickIcon);
    TForm1 form(platform.Get());
    platform.SetDialogParent(&form);

    // SIGTERM, SIGHUP and the end of the session close the bar the normal way.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) == 0) {
        auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &form, [&form] {
            char byte;
            [[maybe_unused]] ssize_t got = ::read(signalPipe[0], &byte, 1);
            form.CloseWithoutQuestions();
        });
        struct sigaction action = {};
        action.sa_handler = OnSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGTERM, &action, nullptr);
        sigaction(SIGHUP, &action, nullptr);
        sigaction(SIGINT, &action, nullptr);
    }
    QObject::connect(&form, &TForm1::Closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &form,
                     [&form](QSessionManager &) { form.CloseWithoutQuestions(); });

    form.show();
    return app.exec();
}
