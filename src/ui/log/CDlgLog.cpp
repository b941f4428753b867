#include "CDlgLog.h"

#include "CSupportBundle.h"
#include "CUiPrompts.h"
#include "CWaitCursor.h"

#include "FileSystem.h"
#include "ILinkClock.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>

#include <cstdio>
#include <ctime>

namespace {
bool ToLocalTime(int64_t seconds, std::tm& out)
{
    const std::time_t t = std::time_t(seconds);
#ifdef _WIN32
    return localtime_s(&out, &t) == 0;
#else
    return localtime_r(&t, &out) != nullptr;
#endif
}

std::string FormatTime(int64_t seconds, const char* format)
{
    std::tm tm{};
    char text[64] = {0};
    if (!ToLocalTime(seconds, tm) || std::strftime(text, sizeof(text), format, &tm) == 0)
        return std::string();
    return text;
}
}   // namespace

const CDlgTemplate& CDlgLog::DialogTemplate()
{
    static const CDlgTemplate s_template{
        IDD, "Log", 577, 351,
        WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT,
        "MS Shell Dlg", 8, 400, false,
        {
            {IDOK, EDlgItemKind::DefPushButton, "확인", 198, 330, 50, 14, WS_DISABLED | WS_TABSTOP},
            {IDCANCEL, EDlgItemKind::PushButton, "Close", 520, 5, 50, 14, WS_VISIBLE | WS_TABSTOP},
            {IDC_STATIC, EDlgItemKind::StaticText, "PACKET", 7, 15, 36, 8, WS_VISIBLE},
            {IDC_EDIT_PACKET, EDlgItemKind::Edit, "", 7, 24, 563, 320,
             WS_VISIBLE | WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_AUTOHSCROLL | ES_READONLY},
            {IDC_CHECK_SAVE, EDlgItemKind::AutoCheckBox, "Log Save", 455, 9, 52, 10,
             WS_VISIBLE | WS_TABSTOP},
            {IDC_BUTTON_CLEAR, EDlgItemKind::PushButton, "Clear", 377, 7, 50, 14,
             WS_VISIBLE | WS_TABSTOP},
            {IDC_BUTTON_SUPPORT, EDlgItemKind::PushButton, "지원 파일 만들기", 287, 7, 84, 14,
             WS_VISIBLE | WS_TABSTOP},
        },
    };
    return s_template;
}

CDlgLog::CDlgLog(QWidget* parent, const std::string& logDir, ILinkClock& clock)
    : CDlgComm(DialogTemplate(), parent)
    , m_szLogDir(logDir)
    , m_clock(clock)
{
    if (!m_szLogDir.empty() && !IsPathSeparator(m_szLogDir.back()))
        m_szLogDir += kPathSeparator;
    m_chkSave = GetDlgItemAs<QCheckBox>(IDC_CHECK_SAVE);
    m_editPacket = GetDlgItemAs<QPlainTextEdit>(IDC_EDIT_PACKET);
    m_btnClear = GetDlgItemAs<QPushButton>(IDC_BUTTON_CLEAR);
    connect(m_btnClear, &QPushButton::clicked, this, &CDlgLog::OnClear);
    OnClicked(IDC_BUTTON_SUPPORT, [this] { OnSupportFile(); });
    // A tool window of its owner: kept in front of it, never modal, so it
    // stays usable beside the main and administrator windows.
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setModal(false);
    // The view follows new entries while it shows the end of the box; a user
    // who scrolls up to read stays where he is until he scrolls back down.
    QScrollBar* bar = m_editPacket->verticalScrollBar();
    connect(bar, &QScrollBar::valueChanged, this,
            [this, bar](int value) { m_bFollowEnd = value >= bar->maximum(); });
    // Made like a modeless window: set up at once, shown only on request.
    InitDialog();
}

CDlgLog::~CDlgLog() = default;

void CDlgLog::InitControls()
{
    // The box keeps every line until it is emptied; entries carry no undo record.
    m_editPacket->setMaximumBlockCount(0);
    m_editPacket->setUndoRedoEnabled(false);
}

void CDlgLog::OnCancel()
{
    hide();
}

void CDlgLog::OnClear()
{
    m_editPacket->clear();
    m_bFollowEnd = true;
}

void CDlgLog::ToggleVisible()
{
    if (isVisible()) {
        hide();
    } else {
        show();
        raise();
        activateWindow();
        if (m_bFollowEnd)
            m_editPacket->verticalScrollBar()->setValue(m_editPacket->verticalScrollBar()->maximum());
    }
}

std::string CDlgLog::FormatEntry(int direction, const uint8_t* bytes, int count, int64_t seconds)
{
    static const char s_hex[] = "0123456789ABCDEF";
    std::string line;
    line.reserve(40 + (count > 0 ? std::size_t(count) * 3 : 0));
    line += direction != 0 ? "RECV" : "SEND";
    line += "-[";
    line += FormatTime(seconds, "%Y-%m-%d %H:%M:%S");
    line += "] ";
    // Without bytes nothing is listed, whatever the count says.
    if (bytes) {
        for (int i = 0; i < count; ++i) {
            line += s_hex[bytes[i] >> 4];
            line += s_hex[bytes[i] & 0x0F];
            line += ' ';
        }
    }
    char tail[32];
    std::snprintf(tail, sizeof(tail), " (%d BYTE)", count);
    line += tail;
    return line;
}

void CDlgLog::AppendPacket(int direction, const uint8_t* bytes, int count)
{
    const std::string line = FormatEntry(direction, bytes, count, m_clock.NowSeconds());

    // The box ends with a line break, so it holds one line more than entries:
    // 2000 entries make 2001 lines, and the next entry starts an empty box.
    if (m_editPacket->blockCount() > kMaxLines) {
        m_editPacket->clear();
        m_bFollowEnd = true;
    }
    // Always at the end, through a cursor of our own: the user's caret and
    // selection stay as they are, and no entry lands inside a selected text.
    QScrollBar* bar = m_editPacket->verticalScrollBar();
    const int shownTop = bar->value();
    QTextCursor end(m_editPacket->document());
    end.movePosition(QTextCursor::End);
    end.insertText(QString::fromLatin1(line.data(), int(line.size())) + QLatin1Char('\n'));
    bar->setValue(m_bFollowEnd ? bar->maximum() : shownTop);

    if (m_chkSave->isChecked())
        WriteLogFile(line);
}

void CDlgLog::WriteLogFile(const std::string& entry)
{
    if (m_szLogDir.empty())
        return;   // no log folder known: nothing to write to
    // The hour is read again: an entry stamped 09:59:59 may land in hour 10.
    const int64_t now = m_clock.NowSeconds();
    const std::string day = FormatTime(now, "%Y-%m-%d");
    const std::string hour = FormatTime(now, "%Y-%m-%d_%H");
    if (day.empty() || hour.empty())
        return;
    const std::string folder = m_szLogDir + day + kPathSeparator;
    MakeDirectoryPath(folder);   // a failure shows when the file does not open

    std::FILE* file = std::fopen((folder + hour + "_LOG.log").c_str(), "ab");
    if (!file)
        return;
    std::fwrite(entry.data(), 1, entry.size(), file);
    std::fwrite("\r\n", 1, 2, file);
    std::fclose(file);
}

void CDlgLog::SetSupportSource(std::function<SupportBundleInput()> source)
{
    m_fnSupportSource = std::move(source);
}

void CDlgLog::OnSupportFile()
{
    const QString caption = QStringLiteral("지원 파일 만들기");
    SupportBundleInput input;
    if (m_fnSupportSource)
        input = m_fnSupportSource();
    else
        input.strLogDir = QString::fromStdString(m_szLogDir);
    const QDateTime now = QDateTime::fromSecsSinceEpoch(m_clock.NowSeconds());
    if (!input.dtNow.isValid())
        input.dtNow = now;
    const QString suggested =
        QDir::home().filePath(QStringLiteral("brevane-지원-%1.zip").arg(now.toString(QStringLiteral("yyyyMMdd-HHmmss"))));
    const QString path = CUiPrompts::ChooseSaveFile(this, caption,
                                                    QStringLiteral("지원 파일 (*.zip)|*.zip;| All Files(*.*)|*.*||"),
                                                    suggested);
    if (path.isEmpty())
        return;
    CSupportBundle bundle(input);
    QString error;
    bool written = false;
    {
        CWaitCursor wait;
        written = bundle.Write(path, &error);
    }
    if (!written) {
        CUiPrompts::ShowWarning(this, error, caption);
        return;
    }
    CUiPrompts::ShowInfo(this,
                         QStringLiteral("지원 파일을 만들었습니다. 문제 신고에 첨부하십시오.\n%1\n(%2개 항목)")
                             .arg(path)
                             .arg(bundle.Entries().size()),
                         caption);
}
