#include "CIniFile.h"

#include "FileSystem.h"
#include "TextCodec.h"

#include <utility>

namespace {

constexpr std::size_t npos = std::string::npos;

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string Trim(const std::string& s, std::size_t from = 0, std::size_t to = npos)
{
    if (to > s.size())
        to = s.size();
    while (from < to && IsBlank(s[from]))
        ++from;
    while (to > from && IsBlank(s[to - 1]))
        --to;
    return s.substr(from, to - from);
}

bool EqualNoCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = char(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = char(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

// "[name]" with blanks allowed around and inside; text after ']' is ignored.
bool ParseSection(const std::string& line, std::string& name)
{
    std::size_t i = 0;
    while (i < line.size() && IsBlank(line[i]))
        ++i;
    if (i >= line.size() || line[i] != '[')
        return false;
    const std::size_t close = line.find(']', i + 1);
    name = Trim(line, i + 1, close);
    return true;
}

bool IsComment(const std::string& line)
{
    for (char c : line) {
        if (IsBlank(c))
            continue;
        return c == ';' || c == '#';
    }
    return false;
}

bool ParseKey(const std::string& line, std::string& key, std::string& value)
{
    if (IsComment(line))
        return false;
    const std::size_t eq = line.find('=');
    if (eq == npos)
        return false;
    key = Trim(line, 0, eq);
    value = Trim(line, eq + 1);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return !key.empty();
}

bool IsUsableName(const std::string& name, bool isKey)
{
    if (name.empty() || Trim(name) != name)
        return false;
    for (char c : name)
        if (c == '\r' || c == '\n' || c == ']' || (isKey && (c == '=' || c == '[')))
            return false;
    if (isKey && (name[0] == ';' || name[0] == '#'))
        return false;
    return true;
}

std::string FormatValue(const std::string& text)
{
    // An ill-formed byte would make the line read as CP949 next time.
    std::string value = SanitizeUtf8(text);
    for (char& c : value)
        if (c == '\r' || c == '\n')
            c = ' ';
    const bool outerBlank = !value.empty() && (IsBlank(value.front()) || IsBlank(value.back()));
    const bool outerQuotes = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                             value.back() == value.front();
    if (outerBlank || outerQuotes)
        return '"' + value + '"';
    return value;
}

} // namespace

namespace {

#ifdef _WIN32
const char* const kNativeEol = "\r\n";
#else
const char* const kNativeEol = "\n";
#endif

} // namespace

CIniFile::CIniFile(std::string path)
    : m_strPath(std::move(path))
    , m_strEol(kNativeEol)
{
}

bool CIniFile::Load()
{
    m_aLines.clear();
    m_strBom.clear();
    m_strEol = kNativeEol;
    m_eLoadFailure = EFileWrite::Ok;
    std::string bytes;
    switch (ReadWholeFile(m_strPath, bytes, kMaxFileBytes)) {
    case EFileRead::Ok:
        break;
    case EFileRead::Missing:
        return true;
    case EFileRead::NotRegular:
        m_eLoadFailure = EFileWrite::NotRegular;
        return false;
    case EFileRead::Failed:
        m_eLoadFailure = EFileWrite::Unreadable;
        return false;
    }
    const std::string_view all = bytes;
    if (all.substr(0, 3) == "\xEF\xBB\xBF") {
        m_strBom = "\xEF\xBB\xBF";
        SplitLines(all.substr(3), false);
    } else if (all.substr(0, 2) == "\xFF\xFE" || all.substr(0, 2) == "\xFE\xFF") {
        SplitLines(DecodeTextFile(all), true);
    } else {
        SplitLines(all, false);
    }
    if (!m_aLines.empty() && !m_aLines.front().m_strEnding.empty())
        m_strEol = m_aLines.front().m_strEnding;
    return true;
}

void CIniFile::SplitLines(std::string_view bytes, bool reencode)
{
    // '\r' and '\n' never occur inside a UTF-8 or CP949 character, so the
    // bytes can be cut into lines before anything is decoded.
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        const bool lastUnended = end == npos;
        if (lastUnended)
            end = bytes.size();
        std::size_t contentEnd = end;
        while (!lastUnended && contentEnd > start && bytes[contentEnd - 1] == '\r')
            --contentEnd;
        SLine line;
        line.m_strBytes = std::string(bytes.substr(start, contentEnd - start));
        line.m_strEnding = lastUnended ? std::string() : std::string(bytes.substr(contentEnd, end + 1 - contentEnd));
        line.m_strText = IsValidUtf8(line.m_strBytes) ? line.m_strBytes : Cp949ToUtf8(line.m_strBytes);
        line.m_bSet = reencode;
        m_aLines.push_back(std::move(line));
        start = end + 1;
    }
}

void CIniFile::AddLine(std::size_t at, const std::string& text)
{
    // The line before gains an ending when it was the file's unended last one.
    if (at > 0 && m_aLines[at - 1].m_strEnding.empty())
        m_aLines[at - 1].m_strEnding = m_strEol;
    m_aLines.insert(m_aLines.begin() + static_cast<std::ptrdiff_t>(at), SLine {text, {}, m_strEol, true});
}

std::size_t CIniFile::FindSection(const std::string& section) const
{
    std::string name;
    for (std::size_t i = 0; i < m_aLines.size(); ++i)
        if (ParseSection(m_aLines[i].m_strText, name) && EqualNoCase(name, section))
            return i;
    return npos;
}

std::size_t CIniFile::FindKey(std::size_t header, const std::string& key) const
{
    std::string name, value;
    for (std::size_t i = header + 1; i < m_aLines.size(); ++i) {
        if (ParseSection(m_aLines[i].m_strText, name))
            break;
        if (ParseKey(m_aLines[i].m_strText, name, value) && EqualNoCase(name, key))
            return i;
    }
    return npos;
}

bool CIniFile::GetString(const std::string& section, const std::string& key, std::string& value) const
{
    const std::size_t header = FindSection(section);
    if (header == npos)
        return false;
    const std::size_t line = FindKey(header, key);
    if (line == npos)
        return false;
    std::string name;
    return ParseKey(m_aLines[line].m_strText, name, value);
}

std::string CIniFile::GetString(const std::string& section, const std::string& key,
                                const std::string& defaultValue) const
{
    std::string value;
    return GetString(section, key, value) ? value : defaultValue;
}

bool CIniFile::SetString(const std::string& section, const std::string& key, const std::string& value)
{
    if (!IsUsableName(section, false) || !IsUsableName(key, true) || !IsValidUtf8(section) ||
        !IsValidUtf8(key))
        return false;
    const std::string line = key + '=' + FormatValue(value);
    const std::size_t header = FindSection(section);
    if (header == npos) {
        if (!m_aLines.empty() && !Trim(m_aLines.back().m_strText).empty())
            AddLine(m_aLines.size(), std::string());
        AddLine(m_aLines.size(), '[' + section + ']');
        AddLine(m_aLines.size(), line);
        return true;
    }
    const std::size_t existing = FindKey(header, key);
    if (existing != npos) {
        m_aLines[existing].m_strText = line;   // its own line ending stays
        m_aLines[existing].m_bSet = true;
        return true;
    }
    // After the section's last key, so that blank lines and comments that
    // lead into the next section stay with it.
    std::size_t insertAt = header + 1;
    std::string name, v;
    for (std::size_t i = header + 1; i < m_aLines.size(); ++i) {
        if (ParseSection(m_aLines[i].m_strText, name))
            break;
        if (ParseKey(m_aLines[i].m_strText, name, v))
            insertAt = i + 1;
    }
    AddLine(insertAt, line);
    return true;
}

std::string CIniFile::Text() const
{
    std::string text = m_strBom;
    for (const SLine& line : m_aLines) {
        text += line.m_bSet ? line.m_strText : line.m_strBytes;
        text += line.m_strEnding;
    }
    return text;
}

bool CIniFile::Save(EFileWrite* failure) const
{
    if (m_eLoadFailure != EFileWrite::Ok) {
        if (failure)
            *failure = m_eLoadFailure;
        return false;
    }
    return WriteFileAtomically(m_strPath, Text(), failure);
}

std::string CIniFile::ReadString(const std::string& path, const std::string& section,
                                 const std::string& key, const std::string& defaultValue)
{
    CIniFile file(path);
    file.Load();
    return file.GetString(section, key, defaultValue);
}

bool CIniFile::WriteString(const std::string& path, const std::string& section,
                           const std::string& key, const std::string& value)
{
    CIniFile file(path);
    return file.Load() && file.SetString(section, key, value) && file.Save();
}
