#include "CUiPrompts.h"

#include "LinkResult.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QRegularExpression>
#include <QStringList>

namespace {
// A question asked in the middle of a long operation must not show the
// wait cursor over its own buttons: the arrow is pushed for its lifetime.
class CArrowCursor {
public:
    CArrowCursor() : m_bPushed(QApplication::overrideCursor() != nullptr)
    {
        if (m_bPushed)
            QApplication::setOverrideCursor(Qt::ArrowCursor);
    }
    ~CArrowCursor()
    {
        if (m_bPushed)
            QApplication::restoreOverrideCursor();
    }
    CArrowCursor(const CArrowCursor&) = delete;
    CArrowCursor& operator=(const CArrowCursor&) = delete;

private:
    bool m_bPushed;
};

CUiPrompts::YesNoHook& YesNo()
{
    static CUiPrompts::YesNoHook s_hook;
    return s_hook;
}
CUiPrompts::InfoHook& Info()
{
    static CUiPrompts::InfoHook s_hook;
    return s_hook;
}
CUiPrompts::FileHook& OpenFile()
{
    static CUiPrompts::FileHook s_hook;
    return s_hook;
}
CUiPrompts::FileHook& SaveFile()
{
    static CUiPrompts::FileHook s_hook;
    return s_hook;
}
}   // namespace

bool CUiPrompts::AskYesNo(QWidget* parent, const QString& text, const QString& caption)
{
    if (YesNo())
        return YesNo()(text, caption);
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setTextFormat(Qt::PlainText);   // texts from files and the meter are shown as they are
    box.button(QMessageBox::Yes)->setText(QStringLiteral("예"));
    box.button(QMessageBox::No)->setText(QStringLiteral("아니요"));
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    CArrowCursor arrow;
    return box.exec() == QMessageBox::Yes;
}

namespace {
void ShowMessage(QWidget* parent, QMessageBox::Icon icon, const QString& text, const QString& caption)
{
    if (Info()) {
        Info()(text, caption);
        return;
    }
    QMessageBox box(icon, caption, text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("확인"));
    CArrowCursor arrow;
    box.exec();
}
}   // namespace

void CUiPrompts::ShowInfo(QWidget* parent, const QString& text, const QString& caption)
{
    ShowMessage(parent, QMessageBox::Information, text, caption);
}

void CUiPrompts::ShowWarning(QWidget* parent, const QString& text, const QString& caption)
{
    ShowMessage(parent, QMessageBox::Warning, text, caption);
}

QString CUiPrompts::LinkFailureText(int result, const QString& linkMessage)
{
    QString advice;
    switch (result) {
    case LINK_OPEN_FAILED:
    case LINK_FIND_FAILED:
        advice = QStringLiteral("USB 케이블 연결과 측정기 전원이 켜져 있는지 확인하십시오. "
                                "측정기가 연결되어 있는데도 열리지 않으면 udev 규칙(장치 접근 권한)을 확인하십시오.");
        break;
    case LINK_UART_INIT_FAILED:
    case LINK_UART_GET_CONFIG_FAILED:
    case LINK_UART_BAUD_FAILED:
    case LINK_UART_FLOW_FAILED:
    case LINK_UART_DATA_FAILED:
    case LINK_WRITE_FAILED:
        advice = QStringLiteral("USB 케이블 연결을 확인하고 측정기를 다시 연결하십시오.");
        break;
    case LINK_READ_FAILED:
    case LINK_TIMEOUT:
        advice = QStringLiteral("측정기 전원이 켜져 있는지, USB 케이블이 연결되어 있는지 확인하십시오.");
        break;
    case LINK_STX_ERROR:
    case LINK_ETX_ERROR:
    case LINK_LENGTH_ERROR:
    case LINK_ID_ERROR:
    case LINK_CRC_ERROR:
        advice = QStringLiteral("측정기의 응답이 올바르지 않습니다. 케이블을 확인하고 다시 시도하십시오.");
        break;
    case LINK_FW_HEADER_ERROR:
    case LINK_FW_CRC_ERROR:
        advice = QStringLiteral("펌웨어 파일이 올바르지 않습니다. 파일을 확인하십시오.");
        break;
    default:
        break;   // success, a cancelled exchange, or a code without advice
    }
    QString detail = linkMessage;
    if (detail.isEmpty() && result != LINK_OK) {
        detail = QString::fromStdString(LinkResultText(result));
        if (detail.isEmpty())
            detail = QStringLiteral("통신 오류 (%1)").arg(result);
    }
    if (advice.isEmpty())
        return detail;
    return detail.isEmpty() ? advice : advice + QLatin1Char('\n') + detail;
}

QString CUiPrompts::ChooseOpenFile(QWidget* parent, const QString& title, const QString& filter,
                                   const QString& directory)
{
    const QString qtFilter = ConvertFilter(filter);
    if (OpenFile())
        return OpenFile()(title, qtFilter, directory);
    CArrowCursor arrow;
    return QFileDialog::getOpenFileName(parent, title, directory, qtFilter);
}

QString CUiPrompts::ChooseSaveFile(QWidget* parent, const QString& title, const QString& filter,
                                   const QString& directory)
{
    const QString qtFilter = ConvertFilter(filter);
    if (SaveFile())
        return SaveFile()(title, qtFilter, directory);
    // QFileDialog asks before overwriting unless told not to.
    CArrowCursor arrow;
    return QFileDialog::getSaveFileName(parent, title, directory, qtFilter);
}

QString CUiPrompts::ConvertFilter(const QString& filter)
{
    static const QRegularExpression s_trailingPatterns(QStringLiteral("\\s*\\([^()]*\\)\\s*$"));
    static const QRegularExpression s_separators(QStringLiteral("[;\\s]+"));
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList result;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString name = parts[i].trimmed();
        if (name.isEmpty())
            break;   // "||" ends the list
        const QStringList patterns = parts[i + 1].split(s_separators, Qt::SkipEmptyParts);
        if (patterns.isEmpty())
            continue;
        // The display names carry their patterns already; Qt appends them again.
        name.remove(s_trailingPatterns);
        const QString joined = patterns.join(QLatin1Char(' '));
        result << (name.isEmpty() ? joined : name) + QStringLiteral(" (") + joined + QLatin1Char(')');
    }
    return result.join(QStringLiteral(";;"));
}

void CUiPrompts::SetYesNoHook(YesNoHook hook)
{
    YesNo() = std::move(hook);
}

void CUiPrompts::SetInfoHook(InfoHook hook)
{
    Info() = std::move(hook);
}

void CUiPrompts::SetOpenFileHook(FileHook hook)
{
    OpenFile() = std::move(hook);
}

void CUiPrompts::SetSaveFileHook(FileHook hook)
{
    SaveFile() = std::move(hook);
}

void CUiPrompts::ClearHooks()
{
    YesNo() = nullptr;
    Info() = nullptr;
    OpenFile() = nullptr;
    SaveFile() = nullptr;
}
