#include "FileSystem.h"

#include <cstring>

#include <cerrno>
#include <cstdlib>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

bool IsPathSeparator(char c)
{
#ifdef _WIN32
    return c == '\\' || c == '/';
#else
    return c == '/';
#endif
}

namespace {

// Characters at the start of path that name its root and are never created.
std::size_t RootLength(const std::string& path)
{
#ifdef _WIN32
    if (path.size() >= 2 && IsPathSeparator(path[0]) && IsPathSeparator(path[1])) {
        // \\server\share\ : the share is the root.
        std::size_t seen = 0;
        for (std::size_t i = 2; i < path.size(); ++i)
            if (IsPathSeparator(path[i]) && ++seen == 2)
                return i + 1;
        return path.size();
    }
    if (path.size() >= 2 && path[1] == ':')
        return (path.size() >= 3 && IsPathSeparator(path[2])) ? 3 : 2;
#endif
    std::size_t n = 0;
    while (n < path.size() && IsPathSeparator(path[n]))
        ++n;
    return n;
}

bool Fail(EFileWrite* failure, EFileWrite why)
{
    if (failure)
        *failure = why;
    return false;
}

std::size_t FindSeparator(const std::string& path, std::size_t from)
{
    for (std::size_t i = from; i < path.size(); ++i)
        if (IsPathSeparator(path[i]))
            return i;
    return std::string::npos;
}

#ifdef _WIN32

std::wstring Widen(const std::string& s)
{
    if (s.empty())
        return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), nullptr, 0);
    std::wstring w(std::size_t(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), w.data(), n);
    return w;
}

std::string Narrow(const std::wstring& w)
{
    if (w.empty())
        return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(std::size_t(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

bool IsDirectory(const std::string& path)
{
    const DWORD attr = GetFileAttributesW(Widen(path).c_str());
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
}

bool CreateOneDirectory(const std::string& path)
{
    return CreateDirectoryW(Widen(path).c_str(), nullptr) != 0;
}

#else

bool IsDirectory(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateOneDirectory(const std::string& path)
{
    return mkdir(path.c_str(), 0777) == 0;
}

bool WriteAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t n = write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

#endif

} // namespace

bool MakeDirectoryPath(const std::string& path)
{
    std::size_t n = RootLength(path);
    for (;;) {
        const std::size_t k = FindSeparator(path, n);
        if (k == std::string::npos)
            return true;
        n = k + 1;
        const std::string prefix = path.substr(0, n);
        // "Already exists" is only good when what exists is a directory: a
        // file in its place stops here, as would any other failure.
        if (!CreateOneDirectory(prefix) && !IsDirectory(prefix))
            return false;
    }
}

#ifdef _WIN32

std::string ExecutablePath()
{
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
        if (n == 0)
            return {};
        if (n < buffer.size())
            return Narrow(std::wstring(buffer.data(), n));
        if (buffer.size() >= 32768)
            return {};
        buffer.resize(buffer.size() * 2);
    }
}

bool IsDirectoryWritable(const std::string& dir)
{
    std::wstring probe = Widen(dir);
    if (!probe.empty() && probe.back() != L'\\' && probe.back() != L'/')
        probe += L'\\';
    probe += L".brevane-probe-" + std::to_wstring(GetCurrentProcessId());
    HANDLE h = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(h);
    return true;
}

bool IsSystemProgramDir(const std::string& dir)
{
    const std::wstring folder = Widen(dir);
    for (const wchar_t* name : {L"ProgramFiles", L"ProgramFiles(x86)", L"ProgramW6432"}) {
        const wchar_t* base = _wgetenv(name);
        if (!base || !*base)
            continue;
        const std::wstring prefix(base);
        if (folder.size() >= prefix.size()
            && _wcsnicmp(folder.c_str(), prefix.c_str(), prefix.size()) == 0
            && (folder.size() == prefix.size() || folder[prefix.size()] == L'\\'
                || folder[prefix.size()] == L'/'))
            return true;
    }
    return false;
}

std::string UserDataDir()
{
    const wchar_t* base = _wgetenv(L"LOCALAPPDATA");
    if (!base || !*base)
        return {};
    return Narrow(base) + "\\Brevane";
}

EFileRead ReadWholeFile(const std::string& path, std::string& content, std::size_t maxBytes)
{
    content.clear();
    const DWORD attr = GetFileAttributesW(Widen(path).c_str());
    if (attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY))
        return EFileRead::NotRegular;
    HANDLE h = CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD err = GetLastError();
        return (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) ? EFileRead::Missing
                                                                            : EFileRead::Failed;
    }
    if (GetFileType(h) != FILE_TYPE_DISK) {
        CloseHandle(h);
        return EFileRead::NotRegular;
    }
    LARGE_INTEGER size {};
    EFileRead result = EFileRead::Failed;
    if (GetFileSizeEx(h, &size) && std::size_t(size.QuadPart) <= maxBytes) {
        content.resize(std::size_t(size.QuadPart));
        DWORD got = 0;
        if (content.empty() || (ReadFile(h, content.data(), DWORD(content.size()), &got, nullptr) &&
                                got == content.size()))
            result = EFileRead::Ok;
    }
    CloseHandle(h);
    if (result != EFileRead::Ok)
        content.clear();
    return result;
}

bool WriteFileAtomically(const std::string& path, std::string_view content, EFileWrite* failure)
{
    const std::wstring target = Widen(path);
    const DWORD attr = GetFileAttributesW(target.c_str());
    if (attr != INVALID_FILE_ATTRIBUTES) {
        if (attr & FILE_ATTRIBUTE_DIRECTORY)
            return Fail(failure, EFileWrite::NotRegular);
        if (attr & FILE_ATTRIBUTE_READONLY)
            return Fail(failure, EFileWrite::ReadOnly);
    }
    const std::wstring temp = target + L".tmp-" + std::to_wstring(GetCurrentProcessId());
    HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return Fail(failure, EFileWrite::Failed);
    DWORD written = 0;
    bool ok = (content.empty() || (WriteFile(h, content.data(), DWORD(content.size()), &written, nullptr) &&
                                   written == content.size())) &&
              FlushFileBuffers(h);
    ok = CloseHandle(h) && ok;
    ok = ok && MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) {
        DeleteFileW(temp.c_str());
        return Fail(failure, EFileWrite::Failed);
    }
    if (failure)
        *failure = EFileWrite::Ok;
    return true;
}

#else

std::string ExecutablePath()
{
    std::vector<char> buffer(512);
    for (;;) {
        const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0)
            return {};
        if (static_cast<std::size_t>(n) < buffer.size()) {
            std::string path(buffer.data(), static_cast<std::size_t>(n));
            // An executable replaced while it runs (an update) still names
            // its folder correctly; only the kernel's marker must go.
            const std::string deleted = " (deleted)";
            if (path.size() > deleted.size() && path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0)
                path.resize(path.size() - deleted.size());
            return path;
        }
        if (buffer.size() >= 65536)
            return {};
        buffer.resize(buffer.size() * 2);
    }
}

bool IsDirectoryWritable(const std::string& dir)
{
    std::string probe = dir;
    if (probe.empty() || probe.back() != '/')
        probe += '/';
    probe += ".brevane-probe-XXXXXX";
    const int fd = mkstemp(probe.data());
    if (fd < 0)
        return false;
    close(fd);
    unlink(probe.c_str());
    return true;
}

bool IsSystemProgramDir(const std::string& dir)
{
    static const char* const kSystemPrefixes[] = {"/usr", "/opt", "/bin", "/sbin", "/lib", "/snap"};
    for (const char* prefix : kSystemPrefixes) {
        const std::size_t n = std::strlen(prefix);
        if (dir.compare(0, n, prefix) == 0 && (dir.size() == n || dir[n] == '/'))
            return true;
    }
    return false;
}

std::string UserDataDir()
{
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == '/')   // a relative value is to be ignored
        return std::string(xdg) + "/brevane";
    std::string home;
    if (const char* env = std::getenv("HOME"); env && env[0] == '/') {
        home = env;
    } else {
        struct passwd pw {};
        struct passwd* found = nullptr;
        std::vector<char> buffer(16384);
        if (getpwuid_r(getuid(), &pw, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
            home = found->pw_dir;
    }
    if (home.empty())
        return {};
    while (home.size() > 1 && home.back() == '/')
        home.pop_back();
    return home + "/.local/share/brevane";
}

EFileRead ReadWholeFile(const std::string& path, std::string& content, std::size_t maxBytes)
{
    content.clear();
    // Opening a FIFO for reading waits for a writer, and opening a device may
    // do things of its own: only a plain file is opened at all, and without
    // waiting, in case something else was put in its place in between.
    struct stat st {};
    if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        return EFileRead::NotRegular;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return (errno == ENOENT || errno == ENOTDIR) ? EFileRead::Missing : EFileRead::Failed;
    if (fstat(fd, &st) != 0) {
        close(fd);
        return EFileRead::Failed;
    }
    if (!S_ISREG(st.st_mode)) {
        close(fd);
        return EFileRead::NotRegular;
    }
    EFileRead result = EFileRead::Failed;
    if (static_cast<std::size_t>(st.st_size) <= maxBytes) {
        char buffer[8192];
        for (;;) {
            const ssize_t n = read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                break;
            if (n == 0) {
                result = EFileRead::Ok;
                break;
            }
            content.append(buffer, static_cast<std::size_t>(n));
            if (content.size() > maxBytes)   // grew while we read
                break;
        }
    }
    close(fd);
    if (result != EFileRead::Ok)
        content.clear();
    return result;
}

bool WriteFileAtomically(const std::string& path, std::string_view content, EFileWrite* failure)
{
    std::string target = path;
    struct stat st {};
    bool exists = lstat(path.c_str(), &st) == 0;
    if (exists && S_ISLNK(st.st_mode)) {
        // Renaming over the link would turn it into a plain file; write where it points.
        if (char* real = realpath(path.c_str(), nullptr)) {
            target = real;
            std::free(real);
            exists = stat(target.c_str(), &st) == 0;
        } else {
            return Fail(failure, EFileWrite::Failed);   // a dangling link: leave it alone
        }
    }
    if (exists && !S_ISREG(st.st_mode))
        return Fail(failure, EFileWrite::NotRegular);
    // No write bit at all is read-only even for root, who passes access().
    if (exists && ((st.st_mode & 0222) == 0 || access(target.c_str(), W_OK) != 0))
        return Fail(failure, EFileWrite::ReadOnly);

    std::string temp = target + ".tmp-XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0)
        return Fail(failure, EFileWrite::Failed);
    if (exists) {
        fchmod(fd, st.st_mode & 07777);
        if (fchown(fd, st.st_uid, st.st_gid) != 0) {
            // Only root may give the file away; anyone else already owns it.
        }
    } else {
        fchmod(fd, 0644);
    }
    bool ok = WriteAll(fd, content) && fsync(fd) == 0;
    ok = (close(fd) == 0) && ok;
    ok = ok && rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        unlink(temp.c_str());
        return Fail(failure, EFileWrite::Failed);
    }
    // Make the rename itself durable; the data already is.
    const std::size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string(".") : target.substr(0, slash + 1);
    const int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        fsync(dirFd);
        close(dirFd);
    }
    if (failure)
        *failure = EFileWrite::Ok;
    return true;
}

#endif

bool IsProgramDirUsable(const std::string& dir)
{
    return !IsSystemProgramDir(dir) && IsDirectoryWritable(dir);
}
