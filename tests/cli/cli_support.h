#pragma once

// Small helpers shared by the tests that run the real program.

#include <QFile>
#include <QProcess>
#include <QStringList>

#include <csignal>
#include <unistd.h>

namespace testsupport {

/// The whole file, or "(missing)" so a missing file never equals expected bytes.
inline QByteArray contentOf(const QString& fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

/// Sends signal to the program only while it runs, by its own id. A QProcess that has ended
/// answers 0 for its id, and kill(0, ...) would reach the whole process group: the test
/// itself and whatever started it. Answers whether the signal was sent.
inline bool signalChild(const QProcess& process, int signal)
{
    const qint64 id = process.processId();
    return process.state() == QProcess::Running && id > 0 && ::kill(pid_t(id), signal) == 0;
}

/// What runs a program as a user who is refused what permissions refuse: user nobody through
/// setpriv when the tests run as root (who passes every check), nothing otherwise.
inline QStringList asUnprivileged()
{
    if (::geteuid() != 0)
        return {};
    return {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
}

} // namespace testsupport
