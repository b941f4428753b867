#pragma once
// The administrator password's small dialog: one hidden text field. Unlock
// asks for the password before the administrator and firmware windows open
// (when one is set); Manage sets, changes or removes it from the
// administrator window. The counting of wrong tries and the wait after
// three of them are CAdminPassword's; this only asks and tells.
//
// Tests answer the dialog through SetAskHook, as CUiPrompts' hooks answer
// the message boxes.

#include <QDialog>
#include <QString>

#include <functional>
#include <optional>

class CAdminPassword;
class QLineEdit;

class CDlgPassword : public QDialog {
    Q_OBJECT
public:
    // The typed text, or none for Cancel.
    using AskHook = std::function<std::optional<QString>(const QString& prompt)>;

    CDlgPassword(QWidget* parent, const QString& prompt);
    QString Text() const;

    // The text typed after prompt; none when the user cancelled.
    static std::optional<QString> Ask(QWidget* parent, const QString& prompt);
    // True when no password is set or the right one was typed. A wrong one
    // is said and asked again until the wait after three wrong tries starts;
    // Cancel, the wait and an unreadable setting give false.
    static bool Unlock(QWidget* parent, CAdminPassword& password);
    // "관리자 비밀번호": set one, or change or remove the one set.
    static void Manage(QWidget* parent, CAdminPassword& password);

    static void SetAskHook(AskHook hook);

private:
    QLineEdit* m_pEdit = nullptr;
};
