#include "platform/linux/LinuxProcesses.h"

#include <QDir>

ProcessStart LinuxProcesses::Start(const QString &commandLine) {
    ProcessStart result;
    result.error = QStringLiteral("Starting programs is not available yet");
    return result;
}

bool LinuxProcesses::IsRunning(qint64 handle) {
    return false;
}

QString LinuxProcesses::CurrentDirectory() {
    return QDir::currentPath();
}

bool LinuxProcesses::SetCurrentDirectory(const QString &directory) {
    return QDir::setCurrent(directory);
}
