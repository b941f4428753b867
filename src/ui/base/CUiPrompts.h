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

    // True when the user answers Yes. No is the default button, so Return
    // alone never agrees to anything.
    static bool AskYesNo(QWidget* parent, const QString& text, const QString& caption);
    static void ShowInfo(QWidget* parent, const QString& text, const QString& caption);
    // As ShowInfo with the warning icon. The info hook answers it too, so a
    // test that collects messages sees warnings among them.
    static void ShowWarning(QWidget* parent, const QString& text, const QString& caption);

    // A message for a failed link exchange: one sentence saying what to check
    // for that kind of failure, a line break, then the link's own text
    // (linkMessage; when empty, the code's message or the bare code). Codes
    // without advice of their own, a cancelled exchange among them, get the
    // link's text alone.
    static QString LinkFailureText(int result, const QString& linkMessage);
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
