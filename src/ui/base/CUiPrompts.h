#pragma once
// The questions and file choices the windows put to the user. The program
// asks with QMessageBox (Korean buttons 예 / 아니요 / 확인) and QFileDialog;
// a test installs hooks that answer instead, so that no window ever blocks a
// test run.
//
// File filters are written as the windows' tables have them,
// "Excel Files (*.xls)|*.xls;| All Files(*.*)|*.*||", and converted to
// Qt's "Excel Files (*.xls);;All Files (*.*)".

#include <QString>

#include <functional>

class QWidget;

class CUiPrompts {
public:
    using YesNoHook = std::function<bool(const QString& text, const QString& caption)>;
    using InfoHook = std::function<void(const QString& text, const QString& caption)>;
    // Returns the chosen path, or an empty string for Cancel.
    using FileHook = std::function<QString(const QString& title, const QString& qtFilter,
                                           const QString& directory)>;

    // True when the user answers Yes.
    static bool AskYesNo(QWidget* parent, const QString& text, const QString& caption);
    static void ShowInfo(QWidget* parent, const QString& text, const QString& caption);
    // An existing file to open; empty when cancelled.
    static QString ChooseOpenFile(QWidget* parent, const QString& title, const QString& filter,
                                  const QString& directory = QString());
    // A file to save to, asking before an existing file is overwritten; empty
    // when cancelled.
    static QString ChooseSaveFile(QWidget* parent, const QString& title, const QString& filter,
                                  const QString& directory = QString());

    static QString ConvertFilter(const QString& filter);

    static void SetYesNoHook(YesNoHook hook);
    static void SetInfoHook(InfoHook hook);
    static void SetOpenFileHook(FileHook hook);
    static void SetSaveFileHook(FileHook hook);
    static void ClearHooks();
};
