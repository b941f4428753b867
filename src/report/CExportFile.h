#pragma once
// A file written beside its target under a temporary name and put in the
// target's place only when all of it was written: a failed export leaves
// any earlier file untouched and no temporary file behind.
//
//   CExportFile file(path);
//   if (!file.Open(&error)) ...
//   file.Write(...) / or let a library write file.TempPath() after Release()
//   if (!file.Commit(&error)) ...        // the destructor cleans up otherwise
//
// Errors are Korean sentences naming the path and the system's reason.

#include <string>
#include <string_view>

class CExportFile {
public:
    explicit CExportFile(std::string target);
    ~CExportFile();
    CExportFile(const CExportFile&) = delete;
    CExportFile& operator=(const CExportFile&) = delete;

    // Creates the empty temporary file. A target that is a link is written
    // where the link points; a target that exists but is not a plain file
    // (a folder, a device) is refused.
    bool Open(std::string* error);

    // Buffered; false once anything failed (the first error is kept for
    // Commit).
    bool Write(std::string_view bytes);

    // Closes the temporary file so that another writer (a library that takes
    // a file name) may write TempPath() itself.
    void Release();
    const std::string& TempPath() const { return m_strTemp; }
    const std::string& Target() const { return m_strTarget; }

    // Flushes, makes the data durable and renames the temporary file over
    // the target, which keeps the old file's permissions. On any failure the
    // temporary file is removed and the target left as it was.
    bool Commit(std::string* error);

    // Removes the temporary file (also done by the destructor unless
    // committed).
    void Discard();

private:
    bool Flush();
    bool Fail(const std::string& reason, std::string* error);

    std::string m_strTarget;
    std::string m_strTemp;
    std::string m_strBuffer;
    std::string m_strWriteError;
    int m_nFd = -1;
    unsigned m_nMode = 0;        // the old file's permissions, when there was one
    bool m_bKeepMode = false;
    bool m_bCommitted = false;
};
