#include "CArchiveSink.h"

#include "CSqliteArchive.h"

CArchiveSink::CArchiveSink(std::string archivePath) : m_strPath(std::move(archivePath)) {}

CArchiveSink::CArchiveSink(IMeasurementArchive& archive) : m_pArchive(&archive) {}

CArchiveSink::~CArchiveSink() = default;

void CArchiveSink::NoteError(const std::string& error)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_strLastError.empty())
        m_strLastError = error;
}

bool CArchiveSink::BeginDownload(const DownloadMeter& meter, const DownloadRequest& request,
                                 std::string* error)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bHaveLast = false;
        m_last = ArchiveDownload();
        m_strLastError.clear();
    }
    m_nDownload = 0;
    std::string why;
    if (!m_strPath.empty()) {
        m_pOwned = std::make_unique<CSqliteArchive>();
        // The program's own open has already set a damaged file aside; this
        // connection only reports what it finds.
        const EArchiveOpen opened = m_pOwned->Open(m_strPath, false);
        if (opened == EArchiveOpen::Failed || opened == EArchiveOpen::TooNew) {
            why = m_pOwned->OpenMessage();
            m_pOwned.reset();
        }
        m_pArchive = m_pOwned.get();
    }
    if (m_pArchive && why.empty())
        m_nDownload = m_pArchive->BeginDownload(meter, request, &why);
    if (m_nDownload == 0) {
        if (why.empty())
            why = "보관함이 열려 있지 않아 기록을 보관하지 못했습니다.";
        NoteError(why);
        if (error)
            *error = why;
        m_pOwned.reset();
        if (!m_strPath.empty())
            m_pArchive = nullptr;
        return false;
    }
    return true;
}

bool CArchiveSink::SetOutputSummary(const uint8_t* summary, std::string* error)
{
    std::string why = "보관함에 시작되지 않은 다운로드입니다.";
    if (m_nDownload != 0 && m_pArchive->SetOutputSummary(m_nDownload, summary, &why))
        return true;
    NoteError(why);
    if (error)
        *error = why;
    return false;
}

bool CArchiveSink::AddRecords(const std::vector<DownloadedRecord>& batch, std::string* error)
{
    std::string why = "보관함에 시작되지 않은 다운로드입니다.";
    if (m_nDownload != 0 && m_pArchive->AddRecords(m_nDownload, batch, &why))
        return true;
    NoteError(why);
    if (error)
        *error = why;
    return false;
}

void CArchiveSink::EndDownload(int result, bool complete)
{
    if (m_nDownload != 0) {
        std::string why;
        if (!m_pArchive->EndDownload(m_nDownload, result, complete, &why))
            NoteError(why);
        ArchiveDownload row;
        const bool found = m_pArchive->FindDownload(m_nDownload, &row);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bHaveLast = found;
        m_last = row;
    }
    m_nDownload = 0;
    if (m_pOwned) {
        m_pOwned.reset();
        m_pArchive = nullptr;
    }
}

bool CArchiveSink::LastDownload(ArchiveDownload* out) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_bHaveLast && out)
        *out = m_last;
    return m_bHaveLast;
}

std::string CArchiveSink::LastError() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_strLastError;
}

std::string CArchiveSink::LastSummaryText() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_bHaveLast)
        return m_strLastError;
    return "새 기록 " + std::to_string(m_last.nNew) + "건, 이미 보관된 기록 " +
           std::to_string(m_last.nKnown) + "건";
}
