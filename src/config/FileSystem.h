#pragma once
// The few file-system services the frame needs, with UTF-8 paths on every
// platform.

#include <cstddef>
#include <string>
#include <string_view>

#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

// True for the platform's separator (and '/' on Windows as well).
bool IsPathSeparator(char c);

// Creates every directory named by a prefix of path that ends in a separator,
// from the shortest to the longest; the root ("/", "C:\", "\\server\share\")
// is never created. A prefix that already is a directory counts as made.
// Returns true when the end of the path was reached, false at the first
// prefix that could neither be created nor found as a directory (the longer
// prefixes are not attempted). A last part without separator (a file name)
// is not created.
bool MakeDirectoryPath(const std::string& path);

// Full path of the running executable, empty when the platform cannot tell.
std::string ExecutablePath();

// True when a file can be created in dir (tried for real: permission bits do
// not tell the truth for root, read-only mounts or pseudo file systems).
bool IsDirectoryWritable(const std::string& dir);

// Whether a folder belongs to the operating system's installed programs
// (/usr, /opt, /bin … on Linux; the Program Files folders on Windows): a
// program installed there keeps its own files in the per-user folder even
// when it could write beside itself (as root or an administrator).
bool IsSystemProgramDir(const std::string& dir);

// The program may keep its files in dir: writable and not a system folder.
bool IsProgramDirUsable(const std::string& dir);

// The per-user application data folder of the program, without trailing
// separator: $XDG_DATA_HOME/brevane or ~/.local/share/brevane on Linux,
// %LOCALAPPDATA%\Brevane on Windows. Empty when none can be found.
std::string UserDataDir();

enum class EFileRead { Ok, Missing, Failed, NotRegular };

// Reads a whole file into content. Missing: the file does not exist (content
// empty). NotRegular: something other than a plain file is there (a folder,
// a FIFO, a device); it is never read, so a FIFO cannot stall the caller.
// Failed: it exists but could not be read, or is larger than maxBytes.
EFileRead ReadWholeFile(const std::string& path, std::string& content, std::size_t maxBytes);

// Why a file was not written, for a message that names the file.
enum class EFileWrite {
    Ok,
    ReadOnly,     // the file is there and marked read-only (or is not ours to write)
    NotRegular,   // a folder, FIFO or device stands where the file should be
    Unreadable,   // the file could not be read, so its content could not be kept
    Failed,       // the write itself failed: no folder, no room, no permission on the folder
};

// Replaces path by a file holding content, atomically: the bytes go to a
// temporary file in the same folder, are flushed to the disk, and the
// temporary file is renamed over path. On any failure the old file stays as
// it was, the temporary file is removed, the result is false and *failure
// (when given) says why. An existing file keeps its permission bits, and one
// that is read-only is left alone rather than replaced behind its owner's
// back (the rename alone would need only the folder's permission); a symbolic
// link keeps pointing at its target, which is the file replaced.
bool WriteFileAtomically(const std::string& path, std::string_view content, EFileWrite* failure = nullptr);
