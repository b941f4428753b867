#include "CUiPrompts.h"

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
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    CArrowCursor arrow;
    return box.exec() == QMessageBox::Yes;
}

void CUiPrompts::ShowInfo(QWidget* parent, const QString& text, const QString& caption)
{
    if (Info()) {
        Info()(text, caption);
        return;
    }
    QMessageBox box(QMessageBox::Information, caption, text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("확인"));
    CArrowCursor arrow;
    box.exec();
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
