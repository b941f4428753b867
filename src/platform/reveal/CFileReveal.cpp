#include "CFileReveal.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

#ifdef Q_OS_WIN
#include <QProcess>
#else
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#endif

namespace {

CFileReveal::Hook& RevealHook()
{
    static CFileReveal::Hook s_hook;
    return s_hook;
}

#ifndef Q_OS_WIN
// A file manager that is not running yet is started by the bus on the call,
// so a name that can be activated counts as well as one that is owned.
bool FileManagerReachable(const QDBusConnection& bus)
{
    const QDBusConnectionInterface* names = bus.interface();
    if (!names)
        return false;
    const QString service = QString::fromLatin1(CFileReveal::kService);
    const QDBusReply<bool> owned = names->isServiceRegistered(service);
    if (owned.isValid() && owned.value())
        return true;
    const QDBusReply<QStringList> activatable = names->activatableServiceNames();
    return activatable.isValid() && activatable.value().contains(service);
}
#endif

}   // namespace

void CFileReveal::SetHook(Hook hook)
{
    RevealHook() = std::move(hook);
}

bool CFileReveal::OpenFolder(const QString& folder)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

bool CFileReveal::ShowInFileManager(const QString& path, bool openFolderOtherwise)
{
    if (RevealHook()) {
        RevealHook()(path);
        return true;
    }
    const QFileInfo file(path);
    const QString absolute = file.absoluteFilePath();

#ifdef Q_OS_WIN
    // Explorer parses its own command line: the path is quoted after the
    // comma, which QProcess's argument quoting would get wrong.
    QProcess explorer;
    explorer.setProgram(QStringLiteral("explorer.exe"));
    explorer.setNativeArguments(QStringLiteral("/select,\"%1\"").arg(QDir::toNativeSeparators(absolute)));
    if (explorer.startDetached())
        return true;
    if (openFolderOtherwise)
        OpenFolder(file.absolutePath());
    return false;
#else
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !FileManagerReachable(bus)) {
        if (openFolderOtherwise)
            OpenFolder(file.absolutePath());
        return false;
    }
    // ShowItems(as uris, s startupId); an empty startup id is allowed.
    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(kService),
                                                       QString::fromLatin1(kObjectPath),
                                                       QString::fromLatin1(kInterface),
                                                       QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(absolute).toString(QUrl::FullyEncoded)} << QString();
    // The answer comes later: the window is not blocked while a file manager
    // starts, and a refusal still gets the folder opened.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 10000));
    const QString folder = file.absolutePath();
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [folder](QDBusPendingCallWatcher* done) {
                         if (done->isError())
                             OpenFolder(folder);
                         done->deleteLater();
                     });
    return true;
#endif
}
