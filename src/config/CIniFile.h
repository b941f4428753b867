#pragma once
// An INI settings file, read and written the way the program's users know
// from Windows' private-profile functions: [sections] and key=value lines,
// names matched without regard to ASCII case, values trimmed (a matching pair
// of quotes around a value is removed), the first of duplicate sections or
// keys wins, and a rewrite keeps every line it does not set byte for byte as
// it was, line ending included (CR CR LF stays CR CR LF).
//
// Encoding: decided line by line. A line that is valid UTF-8 is UTF-8; a line
// that is not is read as CP949, the code page a Korean Windows PC writes these
// files in, so one stray byte cannot turn the rest of the file into mojibake.
// Lines that are set are written as UTF-8; untouched lines keep their bytes,
// whatever they were. A UTF-8 BOM is kept. A file with a UTF-16 BOM is read as
// UTF-16 and written back as UTF-8 as a whole.
//
// Writes replace the file atomically (see WriteFileAtomically): a crash or a
// full disk leaves the old file, never a half-written one.

#include "FileSystem.h"

#include <string>
#include <string_view>
#include <vector>

class CIniFile {
public:
    explicit CIniFile(std::string path);

    // Reads the file. A missing file reads as empty (and the first Save
    // creates it): true. A file that exists but cannot be read, or is larger
    // than any settings file should be, leaves the object empty, returns
    // false and makes Save refuse, so its content is never replaced.
    bool Load();

    // The trimmed value of key in section; false (value untouched) when missing.
    bool GetString(const std::string& section, const std::string& key, std::string& value) const;
    std::string GetString(const std::string& section, const std::string& key,
                          const std::string& defaultValue) const;

    // Sets key in section in memory, adding the section (at the end) or the
    // key (after the section's last key) when missing. Line breaks in value
    // become spaces, so a value can never add lines of its own; a value with
    // outer blanks or outer quotes is quoted so that it reads back unchanged.
    // False for a section or key name that a file cannot hold.
    bool SetString(const std::string& section, const std::string& key, const std::string& value);

    // Writes the file atomically; false when it could not (the old file
    // stays), with the reason in *failure when given: a read-only file is
    // ReadOnly, a file Load could not read is Unreadable or NotRegular.
    bool Save(EFileWrite* failure = nullptr) const;

    // The file as Save writes it.
    std::string Text() const;

    const std::string& Path() const { return m_strPath; }

    // One-call forms: read one value from a file; set one value and rewrite.
    static std::string ReadString(const std::string& path, const std::string& section,
                                  const std::string& key, const std::string& defaultValue);
    static bool WriteString(const std::string& path, const std::string& section,
                            const std::string& key, const std::string& value);

    // Settings files are small; anything bigger is not one of ours.
    static constexpr std::size_t kMaxFileBytes = 4u << 20;

private:
    // Index of the header line of section, or npos.
    std::size_t FindSection(const std::string& section) const;
    // Index of key's line within the section whose header is at header, or npos.
    std::size_t FindKey(std::size_t header, const std::string& key) const;

    struct SLine {
        std::string m_strText;     // the line as UTF-8, without its ending
        std::string m_strBytes;    // the line as read, without its ending
        std::string m_strEnding;   // "\n" after any CRs, "" for a last line without one
        bool m_bSet;               // written from m_strText (set here, or re-encoded)
    };

    void SplitLines(std::string_view bytes, bool reencode);
    void AddLine(std::size_t at, const std::string& text);

    std::string m_strPath;
    std::vector<SLine> m_aLines;
    std::string m_strBom;       // a UTF-8 BOM the file began with
    std::string m_strEol;       // ending of lines added here: the file's first one
    EFileWrite m_eLoadFailure = EFileWrite::Ok;   // Unreadable/NotRegular: Save refuses
};
