#pragma once

// A D-Bus session bus of the test's own, for as long as the object lives (and no longer than the
// test: it is killed with it).

#include "../e2e/BarHarness.h"

#include <QProcess>

namespace e2e {

class SessionBus {
public:
    ~SessionBus() { Stop(); }

    void Stop() {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.terminate();
        if (!process_.waitForFinished(15000)) {
            process_.kill();
            process_.waitForFinished();
        }
    }

    bool Start(QString *error) {
        process_.start(QStringLiteral("setpriv"),
                       {QStringLiteral("--pdeathsig"), QStringLiteral("KILL"),
                        QStringLiteral("dbus-daemon"), QStringLiteral("--session"),
                        QStringLiteral("--nofork"), QStringLiteral("--nosyslog"),
                        QStringLiteral("--print-address")});
        QByteArray address;
        PollUntil(
            [&] {
                address += process_.readAllStandardOutput();
                return address.contains('\n') || process_.state() == QProcess::NotRunning;
            },
            30000);
        address_ = QString::fromLocal8Bit(address).trimmed();
        if (address_.isEmpty()) {
            *error = QStringLiteral("the session bus did not start: ") +
                     QString::fromLocal8Bit(process_.readAllStandardError());
            return false;
        }
        return true;
    }

    // For DBUS_SESSION_BUS_ADDRESS.
    const QString &Address() const { return address_; }

private:
    QProcess process_;
    QString address_;
};

} // namespace e2e
