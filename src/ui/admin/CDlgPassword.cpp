#include "CDlgPassword.h"

#include "CAdminPassword.h"
#include "CUiPrompts.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QString kCaption = QStringLiteral("관리자 비밀번호");

CDlgPassword::AskHook& Hook()
{
    static CDlgPassword::AskHook s_hook;
    return s_hook;
}

}  // namespace

CDlgPassword::CDlgPassword(QWidget* parent, const QString& prompt) : QDialog(parent)
{
    setWindowTitle(kCaption);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(prompt, this));
    m_pEdit = new QLineEdit(this);
    m_pEdit->setEchoMode(QLineEdit::Password);
    layout->addWidget(m_pEdit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("확인"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("취소"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    setMinimumWidth(320);
}

QString CDlgPassword::Text() const
{
    return m_pEdit->text();
}

void CDlgPassword::SetAskHook(AskHook hook)
{
    Hook() = std::move(hook);
}

std::optional<QString> CDlgPassword::Ask(QWidget* parent, const QString& prompt)
{
    if (Hook())
        return Hook()(prompt);
    CDlgPassword dlg(parent, prompt);
    if (dlg.exec() != QDialog::Accepted)
        return std::nullopt;
    return dlg.Text();
}

bool CDlgPassword::Unlock(QWidget* parent, CAdminPassword& password)
{
    using R = CAdminPassword::EResult;
    if (!password.IsSet())
        return true;
    for (;;) {
        if (password.SecondsToWait() > 0) {
            CUiPrompts::ShowWarning(parent, password.Message(R::Waiting), kCaption);
            return false;
        }
        const std::optional<QString> typed = Ask(parent, QStringLiteral("관리자 비밀번호를 입력하십시오."));
        if (!typed)
            return false;
        const R result = password.Verify(*typed);
        if (result == R::Ok || result == R::NotSet)
            return true;
        CUiPrompts::ShowWarning(parent, password.Message(result), kCaption);
        if (result != R::Wrong && result != R::Empty)
            return false;
    }
}

void CDlgPassword::Manage(QWidget* parent, CAdminPassword& password)
{
    using R = CAdminPassword::EResult;
    // A new password is typed twice, so that a slip of the finger does not
    // lock the window.
    const auto askNew = [parent]() -> std::optional<QString> {
        const std::optional<QString> first = Ask(parent, QStringLiteral("새 관리자 비밀번호를 입력하십시오."));
        if (!first)
            return std::nullopt;
        const std::optional<QString> second = Ask(parent, QStringLiteral("새 비밀번호를 한 번 더 입력하십시오."));
        if (!second)
            return std::nullopt;
        if (*first != *second) {
            CUiPrompts::ShowWarning(parent, QStringLiteral("두 번 입력한 비밀번호가 서로 다릅니다."), kCaption);
            return std::nullopt;
        }
        return first;
    };
    const auto tell = [parent, &password](R result, const QString& done) {
        if (result == R::Ok)
            CUiPrompts::ShowInfo(parent, done, kCaption);
        else
            CUiPrompts::ShowWarning(parent, password.Message(result), kCaption);
    };

    if (!password.IsSet()) {
        if (!CUiPrompts::AskYesNo(parent,
                                  QStringLiteral("관리자 비밀번호를 설정하시겠습니까?\n설정하면 관리자 모드와 펌웨어 "
                                                 "업로드 창을 열 때 비밀번호를 묻습니다."),
                                  kCaption))
            return;
        if (const std::optional<QString> chosen = askNew())
            tell(password.Set(*chosen), QStringLiteral("관리자 비밀번호를 설정했습니다."));
        return;
    }
    if (CUiPrompts::AskYesNo(parent, QStringLiteral("관리자 비밀번호를 변경하시겠습니까?"), kCaption)) {
        const std::optional<QString> old = Ask(parent, QStringLiteral("현재 관리자 비밀번호를 입력하십시오."));
        if (!old)
            return;
        if (const std::optional<QString> chosen = askNew())
            tell(password.Change(*old, *chosen), QStringLiteral("관리자 비밀번호를 변경했습니다."));
        return;
    }
    if (CUiPrompts::AskYesNo(parent, QStringLiteral("관리자 비밀번호를 삭제하시겠습니까?"), kCaption)) {
        const std::optional<QString> old = Ask(parent, QStringLiteral("현재 관리자 비밀번호를 입력하십시오."));
        if (old)
            tell(password.Remove(*old), QStringLiteral("관리자 비밀번호를 삭제했습니다."));
    }
}
