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
    // One ill-formed byte would make the whole file read as CP949 next time.
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

CIniFile::CIniFile(std::string path)
    : m_strPath(std::move(path))
#ifdef _WIN32
    , m_bCrLf(true)
#else
    , m_bCrLf(false)
#endif
{
}

bool CIniFile::Load()
{
    m_aLines.clear();
    m_bUnreadable = false;
    std::string bytes;
    const EFileRead read = ReadWholeFile(m_strPath, bytes, kMaxFileBytes);
    if (read == EFileRead::Missing)
        return true;
    if (read == EFileRead::Failed) {
        m_bUnreadable = true;
        return false;
    }
    const std::string text = DecodeTextFile(bytes);
    const std::size_t firstBreak = text.find('\n');
    if (firstBreak != npos)
        m_bCrLf = firstBreak > 0 && text[firstBreak - 1] == '\r';
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == npos)
            end = text.size();
        std::size_t lineEnd = end;
        if (lineEnd > start && text[lineEnd - 1] == '\r')
            --lineEnd;
        m_aLines.push_back(text.substr(start, lineEnd - start));
        start = end + 1;
    }
    return true;
}

std::size_t CIniFile::FindSection(const std::string& section) const
{
    std::string name;
    for (std::size_t i = 0; i < m_aLines.size(); ++i)
        if (ParseSection(m_aLines[i], name) && EqualNoCase(name, section))
            return i;
    return npos;
}

std::size_t CIniFile::FindKey(std::size_t header, const std::string& key) const
{
    std::string name, value;
    for (std::size_t i = header + 1; i < m_aLines.size(); ++i) {
        if (ParseSection(m_aLines[i], name))
            break;
        if (ParseKey(m_aLines[i], name, value) && EqualNoCase(name, key))
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
    return ParseKey(m_aLines[line], name, value);
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
        if (!m_aLines.empty() && !Trim(m_aLines.back()).empty())
            m_aLines.emplace_back();
        m_aLines.push_back('[' + section + ']');
        m_aLines.push_back(line);
        return true;
    }
    const std::size_t existing = FindKey(header, key);
    if (existing != npos) {
        m_aLines[existing] = line;
        return true;
    }
    // After the section's last key, so that blank lines and comments that
    // lead into the next section stay with it.
    std::size_t insertAt = header + 1;
    std::string name, v;
    for (std::size_t i = header + 1; i < m_aLines.size(); ++i) {
        if (ParseSection(m_aLines[i], name))
            break;
        if (ParseKey(m_aLines[i], name, v))
            insertAt = i + 1;
    }
    m_aLines.insert(m_aLines.begin() + static_cast<std::ptrdiff_t>(insertAt), line);
    return true;
}

std::string CIniFile::Text() const
{
    const char* eol = m_bCrLf ? "\r\n" : "\n";
    std::string text;
    for (const std::string& line : m_aLines) {
        text += line;
        text += eol;
    }
    return text;
}

bool CIniFile::Save() const
{
    if (m_bUnreadable)
        return false;
    return WriteFileAtomically(m_strPath, Text());
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
