// brevane-cli: the meter and its archive without the window, for scripts,
// scheduled downloads and machines without a desktop. The same session
// layer, archive and report writers as the windows.
//
//   brevane-cli [options] list | info | clock | download memory|output
//                       | archive meters|export | report
//
// The command line is checked whole, and --out is checked writable, before
// the meter, the archive or any file is touched. Exit codes: CCliOptions.h,
// --help and brevane-cli(1).

#include "CCliCommands.h"
#include "CCliOptions.h"
#include "CCliOutput.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <cstdio>
#include <ctime>
#include <memory>
#include <string>

namespace {

// Qt's own notes go to standard error like the tool's, except the one the
// offscreen platform gives where no desktop session set a runtime folder
// (cron, ssh): the tool uses none, and a scheduled job would mail it daily.
void OnQtMessage(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtDebugMsg || type == QtInfoMsg ||
        message.startsWith(QStringLiteral("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    std::fprintf(stderr, "brevane-cli: %s\n", message.toLocal8Bit().constData());
}

} // namespace

int main(int argc, char** argv)
{
    CCliOptions options;
    std::string error;
    if (!options.Parse(argc, argv, int64_t(std::time(nullptr)), &error)) {
        std::fprintf(stderr, "brevane-cli: %s (brevane-cli --help lists the commands)\n", error.c_str());
        return CLI_BAD_ARGUMENTS;
    }
    if (options.m_bHelp) {
        CCliOptions::PrintUsage(stdout);
        return CLI_OK;
    }
    if (options.m_bVersion) {
        std::printf("brevane-cli %s\n", BREVANE_VERSION);
        return CLI_OK;
    }
    if (!options.m_strOut.empty() && !CCliOutput::CheckWritable(options.m_strOut, &error)) {
        std::fprintf(stderr, "brevane-cli: %s\n", error.c_str());
        return CLI_BAD_ARGUMENTS;
    }

    // The PDF report draws with Qt Gui, which needs a platform: the
    // offscreen one, so that no display is ever needed. Everything else
    // runs on a core application.
    qInstallMessageHandler(OnQtMessage);
    QCoreApplication::setApplicationName(QStringLiteral("brevane-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(BREVANE_VERSION));
    std::unique_ptr<QCoreApplication> app;
    if (options.m_eFormat == ECliFormat::Pdf) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    return CCliCommands(options).Run();
}
