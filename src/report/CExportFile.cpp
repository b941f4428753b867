#include "CExportFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr size_t kBufferBytes = 1 << 20;

// "<what>: <path> (<system reason>)"
std::string Reason(const char* what, const std::string& path, int code)
{
    return std::string(what) + ": " + path + " (" + std::strerror(code) + ")";
}

std::string DirectoryOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string FileNameOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}   // namespace

CExportFile::CExportFile(std::string target)
    : m_strTarget(std::move(target))
{
}

CExportFile::~CExportFile()
{
    if (!m_bCommitted)
        Discard();
}

bool CExportFile::Fail(const std::string& reason, std::string* error)
{
    Discard();
    if (error)
        *error = reason;
    return false;
}

bool CExportFile::Open(std::string* error)
{
    if (m_strTarget.empty())
        return Fail("파일 이름이 없습니다", error);
    if (m_strTarget.back() == '/')
        return Fail("파일 이름이 아니라 폴더입니다: " + m_strTarget, error);

    struct stat st {};
    if (lstat(m_strTarget.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        // Renaming over the link would replace the link by a plain file.
        char* real = realpath(m_strTarget.c_str(), nullptr);
        if (!real)
            return Fail(Reason("링크가 가리키는 파일이 없습니다", m_strTarget, errno), error);
        m_strTarget = real;
        std::free(real);
    }
    if (stat(m_strTarget.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode))
            return Fail("일반 파일이 아니어서 바꿀 수 없습니다: " + m_strTarget, error);
        m_nMode = st.st_mode & 07777;
        m_bKeepMode = true;
    }

    // A hidden name nobody else has, in the same folder so that the rename
    // stays on one file system. Mode 0666 lets the umask decide, as for any
    // new file.
    thread_local std::mt19937_64 s_random {std::random_device {}()};
    const std::string stem = DirectoryOf(m_strTarget) + "/." + FileNameOf(m_strTarget) + ".";
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string candidate = stem + std::to_string(s_random() % 1000000000ull) + ".tmp";
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            m_nFd = fd;
            m_strTemp = candidate;
            if (m_bKeepMode)
                fchmod(fd, m_nMode);
            m_strBuffer.reserve(kBufferBytes);
            return true;
        }
        if (errno != EEXIST)
            return Fail(Reason("파일을 만들 수 없습니다", m_strTarget, errno), error);
    }
    return Fail("임시 파일 이름을 정할 수 없습니다: " + m_strTarget, error);
}

bool CExportFile::Flush()
{
    size_t done = 0;
    while (done < m_strBuffer.size()) {
        const ssize_t n = ::write(m_nFd, m_strBuffer.data() + done, m_strBuffer.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            m_strWriteError = Reason("파일을 쓸 수 없습니다", m_strTarget, n < 0 ? errno : EIO);
            m_strBuffer.clear();
            return false;
        }
        done += size_t(n);
    }
    m_strBuffer.clear();
    return true;
}

bool CExportFile::Write(std::string_view bytes)
{
    if (m_nFd < 0 || !m_strWriteError.empty())
        return false;
    m_strBuffer.append(bytes);
    return m_strBuffer.size() < kBufferBytes || Flush();
}

void CExportFile::Release()
{
    if (m_nFd < 0)
        return;
    Flush();
    ::close(m_nFd);
    m_nFd = -1;
}

bool CExportFile::Commit(std::string* error)
{
    if (m_strTemp.empty())
        return Fail("파일이 열려 있지 않습니다: " + m_strTarget, error);
    if (m_nFd >= 0) {
        Flush();
    } else {
        // Another writer filled it; open it again only to make it durable.
        m_nFd = ::open(m_strTemp.c_str(), O_RDONLY | O_CLOEXEC);
        if (m_nFd < 0)
            return Fail(Reason("파일을 쓸 수 없습니다", m_strTarget, errno), error);
        if (m_bKeepMode)
            fchmod(m_nFd, m_nMode);
    }
    if (!m_strWriteError.empty())
        return Fail(m_strWriteError, error);
    if (fsync(m_nFd) != 0)
        return Fail(Reason("파일을 쓸 수 없습니다", m_strTarget, errno), error);
    const int closed = ::close(m_nFd);
    m_nFd = -1;
    if (closed != 0)
        return Fail(Reason("파일을 쓸 수 없습니다", m_strTarget, errno), error);
    if (std::rename(m_strTemp.c_str(), m_strTarget.c_str()) != 0)
        return Fail(Reason("파일을 바꿀 수 없습니다", m_strTarget, errno), error);
    m_bCommitted = true;
    m_strTemp.clear();
    // Make the rename itself durable; the data already is.
    const int dirFd = ::open(DirectoryOf(m_strTarget).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

void CExportFile::Discard()
{
    if (m_nFd >= 0) {
        ::close(m_nFd);
        m_nFd = -1;
    }
    if (!m_strTemp.empty()) {
        ::unlink(m_strTemp.c_str());
        m_strTemp.clear();
    }
    m_strBuffer.clear();
}
