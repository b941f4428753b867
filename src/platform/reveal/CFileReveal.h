#pragma once
// Shows a file in the desktop's file manager with the file selected: over
// the freedesktop FileManager1 D-Bus interface, falling back to opening its
// folder; on Windows with Explorer's /select switch.
//
// Failures are silent: showing the file is a courtesy after it was saved.

#include <QString>

#include <functional>

class CFileReveal {
public:
    // Receives the path instead of any file manager (tests).
    using Hook = std::function<void(const QString& path)>;

    // True when a file manager (or the hook) was asked to show the file.
    // Without one the file's folder is opened instead, unless
    // openFolderOtherwise is false: then nothing happens, so that the caller
    // can offer it.
    static bool ShowInFileManager(const QString& path, bool openFolderOtherwise = true);

    // Opens a folder with the desktop's default handler; false when none
    // took it.
    static bool OpenFolder(const QString& folder);

    // An empty hook restores the real behaviour.
    static void SetHook(Hook hook);

    static constexpr const char* kService = "org.freedesktop.FileManager1";
    static constexpr const char* kObjectPath = "/org/freedesktop/FileManager1";
    static constexpr const char* kInterface = "org.freedesktop.FileManager1";
};
