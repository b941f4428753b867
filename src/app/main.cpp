// The program: the application object, the bridge to the meter (the FT260
// on USB as a HID device or as its serial port, a serial device named with
// --port, or the simulated meter with --simulate), the main window.

#include "CArchiveSink.h"
#include "CArchiveSync.h"
#include "CBrevaneApp.h"
#include "CBrevaneDlg.h"
#include "CCompositeBridgeLibrary.h"
#include "CHidFt260Library.h"
#include "CMeterSession.h"
#include "CSimBridge.h"
#include "CSimMeter.h"
#include "CSqliteArchive.h"
#include "CSystemClock.h"
#include "CTtyBridgeLibrary.h"
#include "CUiPrompts.h"

#include <QCommandLineParser>

#include <memory>

namespace {

// --help and --version must work on a plain terminal, where the toolkit
// would stop for want of a display: they are answered before the application
// object exists, with a core application that needs none, and end the
// process. The command line is only looked at here; its errors are reported
// by the full parse, after the toolkit has taken its own options (-platform …).
void AnswerHelpOrVersion(QCommandLineParser& parser, const QCommandLineOption& help,
                         const QCommandLineOption& version, int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    parser.parse(arguments);
    const bool helpAll = parser.optionNames().contains(QStringLiteral("help-all"));
    if (!parser.isSet(help) && !parser.isSet(version) && !helpAll)
        return;
    QCoreApplication core(argc, argv);
    if (parser.isSet(version))
        parser.showVersion();
    if (helpAll)
        parser.process(core);   // Qt's own help with the toolkit's options
    parser.showHelp(0);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication::setApplicationName(QStringLiteral("brevane"));
    QCoreApplication::setApplicationVersion(QStringLiteral(BREVANE_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Brevane - 압력 계측기 프로그램 (portable pressure meter).\n"
        "Without options the program looks for the meter's FT260 bridge on USB, as a HID\n"
        "device or as the bridge's serial port (/dev/ttyFT*)."));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption simulate(
        QStringLiteral("simulate"),
        QStringLiteral("Run on the built-in simulated meter instead of a meter on USB."));
    parser.addOption(simulate);
    const QCommandLineOption port(
        QStringLiteral("port"),
        QStringLiteral("Talk to the meter through the serial device PATH (a /dev/ttyFT* port, a USB\n"
                       "serial port or a pseudo-terminal such as brevane-meter-sim's) instead of\n"
                       "looking for it. The meter counts as plugged in while PATH exists and can be\n"
                       "opened."),
        QStringLiteral("PATH"));
    parser.addOption(port);
    AnswerHelpOrVersion(parser, help, version, argc, argv);

    CBrevaneApp app(argc, argv);
    parser.process(app);

    CSystemClock clock;
    std::unique_ptr<CSimMeter> simMeter;
    std::unique_ptr<IBridgeLibrary> bridge;
    if (parser.isSet(simulate)) {
        simMeter = std::make_unique<CSimMeter>(clock);
        bridge = std::make_unique<CSimBridge>(*simMeter, clock);
    } else if (parser.isSet(port)) {
        bridge = CTtyBridgeLibrary::ForFixedPort(parser.value(port).toStdString());
    } else {
        auto both = std::make_unique<CCompositeBridgeLibrary>();
        both->Add(std::make_unique<CHidFt260Library>());
        both->Add(std::make_unique<CTtyBridgeLibrary>());
        bridge = std::move(both);
    }

    // The session owns the link on its own thread; the main window is its
    // view, shown with the application's event loop (not modal), and the
    // program ends when it closes.
    app.SetMainWindowRunner([&](CBrevaneApp& a) {
        // Every download is archived as it arrives: the session hands it to
        // a sink that opens the archive file on the link's thread, while the
        // windows read through the connection opened here. A file that
        // cannot take records (damaged beyond opening, read-only, written by
        // a newer program) leaves the program running without archiving.
        const std::string archivePath = CSqliteArchive::ArchivePath(a.m_sysInfo.m_szDataDir);
        CSqliteArchive archive;
        const EArchiveOpen opened = archive.Open(archivePath);
        const bool writable = opened == EArchiveOpen::Ok || opened == EArchiveOpen::Created ||
                              opened == EArchiveOpen::Migrated || opened == EArchiveOpen::SetAside;
        std::unique_ptr<CArchiveSink> sink;
        if (writable)
            sink = std::make_unique<CArchiveSink>(archivePath);

        // The session is destroyed before the sink it writes through.
        CMeterSession session(*bridge, clock);
        session.SetDownloadSink(sink.get());
        // With a lab server set ([ARCHIVE] SERVER), a worker of its own sends
        // the archive there in the background, and again after every job
        // that may have added rows (not the once-a-second detection).
        const std::unique_ptr<CArchiveSync> sync =
            CArchiveSync::StartIfConfigured(archivePath, a.m_sysInfo.m_szArchiveServer);
        if (sync)
            QObject::connect(&session, &CMeterSession::JobFinished, sync.get(), [&sync](const SessionResult& r) {
                if (r.eJob != ESessionJob::Detect)
                    sync->PushSoon();
            });
        CBrevaneDlg dlg(session, clock, a.m_sysInfo);
        dlg.SetArchive(archive.IsOpen() ? &archive : nullptr, sink.get());
        QObject::connect(&dlg, &QDialog::finished, &a, &QCoreApplication::quit);
        dlg.show();
        if (!archive.OpenMessage().empty() || !archive.IsOpen()) {
            QString text = QString::fromStdString(archive.OpenMessage());
            if (!writable)
                text += QStringLiteral("\n\n이번 실행에서 받는 기록은 보관함에 저장되지 않습니다.");
            CUiPrompts::ShowWarning(&dlg, text.trimmed(), QStringLiteral("기록 보관함"));
        }
        return a.exec();
    });
    const int code = app.Run();
    bridge.reset();
    return code;
}
