// The program: the application object, the bridge to the meter (the real
// FT260 on USB, or the simulated meter with --simulate), the main window.

#include "CBrevaneApp.h"
#include "CBrevaneDlg.h"
#include "CHidFt260Library.h"
#include "CSimBridge.h"
#include "CSimMeter.h"
#include "CSystemClock.h"

#include <QCommandLineParser>

#include <memory>

int main(int argc, char** argv)
{
    CBrevaneApp app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("brevane"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Brevane - 압력 계측기 프로그램 (portable pressure meter).\n"
        "Without options the program looks for the meter's FT260 bridge on USB."));
    parser.addHelpOption();
    const QCommandLineOption simulate(
        QStringLiteral("simulate"),
        QStringLiteral("Run on the built-in simulated meter instead of a meter on USB."));
    parser.addOption(simulate);
    parser.process(app);

    CSystemClock clock;
    std::unique_ptr<CSimMeter> simMeter;
    std::unique_ptr<IBridgeLibrary> bridge;
    if (parser.isSet(simulate)) {
        simMeter = std::make_unique<CSimMeter>(clock);
        bridge = std::make_unique<CSimBridge>(*simMeter, clock);
    } else {
        bridge = std::make_unique<CHidFt260Library>();
    }

    app.SetMainWindowRunner([&](CBrevaneApp& a) {
        CBrevaneDlg dlg(*bridge, clock, a.m_sysInfo);
        return dlg.exec();
    });
    const int code = app.Run();
    bridge.reset();
    return code;
}
