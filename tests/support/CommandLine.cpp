#include "CommandLine.h"

#include "Servers.h"

#include <QProcess>
#include <QStringList>

namespace pelvar::test {

CliRun runLiveupdate(const std::vector<std::string>& args, const std::string& input) {
    QStringList list;
    for (const auto& a : args) {
        list << QString::fromStdString(a);
    }
    QProcess process;
    process.start(QString::fromStdString(binaryDir() + "/liveupdate"), list);
    if (!process.waitForStarted(10000)) {
        return {};
    }
    process.write(input.data(), qint64(input.size()));
    process.closeWriteChannel();
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished(5000);
        return {};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput().toStdString(),
            process.readAllStandardError().toStdString()};
}

} // namespace pelvar::test
