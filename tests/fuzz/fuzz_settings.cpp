// The settings reader on a real file: any file content is loaded, a few
// values are set, the file is saved and read again. What was set reads back
// as set, and every other line of the file stays as it was.
//
// Input: the file's length (two bytes) and content, then up to four
// (section, key, value) texts.

#include "CFuzzInput.h"
#include "CIniFile.h"
#include "TextCodec.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct Setting {
    std::string strSection, strKey, strValue;
};

std::string Lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return text;
}

std::string Trimmed(const std::string& text)
{
    const char* const blanks = " \t\r\n\v\f";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

const std::string kBom = "\xEF\xBB\xBF";

bool HasBom(const std::string& text)
{
    return text.compare(0, kBom.size(), kBom) == 0;
}

// Lines of a file text; line ends of either kind count alike. A UTF-8
// byte-order mark at the start is the file's mark, not part of a line: a
// file of the mark alone has no lines, and a section set in it follows the mark.
std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = HasBom(text) ? kBom.size() : 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        while (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

// A line that sets one of the keys that were set (in any section).
bool IsSetKeyLine(const std::string& line, const std::vector<Setting>& set)
{
    const size_t eq = line.find('=');
    const std::string head = Trimmed(line);
    if (eq == std::string::npos || head.empty() || head[0] == ';' || head[0] == '#')
        return false;
    const std::string key = Lower(Trimmed(line.substr(0, eq)));
    for (const Setting& s : set)
        if (Lower(s.strKey) == key)
            return true;
    return false;
}

// A line a set may add: a blank line, the header of a set section, a key line.
bool IsAddable(const std::string& line, const std::vector<Setting>& set)
{
    const std::string t = Trimmed(line);
    if (t.empty() || IsSetKeyLine(line, set))
        return true;
    if (t[0] != '[')
        return false;
    const size_t close = t.find(']');
    const std::string name = Lower(Trimmed(t.substr(1, close == std::string::npos ? std::string::npos : close - 1)));
    for (const Setting& s : set)
        if (Lower(s.strSection) == name)
            return true;
    return false;
}

// after is before with set-key lines replaced and addable lines inserted.
bool OnlySetLinesChanged(const std::vector<std::string>& before, const std::vector<std::string>& after,
                         const std::vector<Setting>& set)
{
    size_t i = 0, j = 0;
    while (i < before.size() && j < after.size()) {
        if (before[i] == after[j]) {
            ++i;
            ++j;
        } else if (IsAddable(after[j], set) && j + 1 < after.size() && after[j + 1] == before[i]) {
            ++j;
        } else if (IsSetKeyLine(before[i], set) && IsSetKeyLine(after[j], set)) {
            ++i;
            ++j;
        } else if (IsAddable(after[j], set)) {
            ++j;
        } else {
            return false;
        }
    }
    for (; j < after.size(); ++j)
        if (!IsAddable(after[j], set))
            return false;
    return i == before.size();
}

// The value as it must read back: valid UTF-8, no line breaks.
std::string AsStored(const std::string& value)
{
    std::string stored = SanitizeUtf8(value);
    for (char& c : stored)
        if (c == '\r' || c == '\n')
            c = ' ';
    return stored;
}

std::string ScratchPath()
{
    static std::string s_strPath;
    if (s_strPath.empty()) {
        // A memory file system where there is one: every save is flushed to
        // the disk, which would cost most of the fuzzer's time elsewhere.
        const char* tmp = std::getenv("TMPDIR");
        std::string base = tmp && *tmp ? tmp : "/tmp";
        if (access("/dev/shm", W_OK) == 0)
            base = "/dev/shm";
        std::string dir = base + "/brevane-fuzz-XXXXXX";
        if (!mkdtemp(&dir[0]))
            FuzzFail("a scratch folder can be made", __FILE__, __LINE__);
        s_strPath = dir + "/brevane.ini";
        static std::string s_strDir = dir;
        std::atexit([] {
            std::remove(s_strPath.c_str());
            rmdir(s_strDir.c_str());
        });
    }
    return s_strPath;
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CFuzzInput in(data, size);
    const std::vector<uint8_t> content = in.Block(in.Word() % 4096);
    const std::string path = ScratchPath();
    FILE* file = std::fopen(path.c_str(), "wb");
    FUZZ_CHECK(file != nullptr);
    if (!content.empty())
        FUZZ_CHECK(std::fwrite(content.data(), 1, content.size(), file) == content.size());
    std::fclose(file);

    CIniFile ini(path);
    FUZZ_CHECK(ini.Load());
    const std::string before = ini.Text();

    std::vector<Setting> set;
    const int nSets = in.Byte() % 5;
    for (int i = 0; i < nSets; ++i) {
        Setting s;
        s.strSection = in.Text(16);
        s.strKey = in.Text(16);
        s.strValue = in.Text(64);
        const std::string text = ini.Text();
        if (ini.SetString(s.strSection, s.strKey, s.strValue))
            set.push_back(s);
        else
            FUZZ_CHECK(ini.Text() == text);   // a refused name changes nothing
    }
    FUZZ_CHECK(ini.Save());

    CIniFile reread(path);
    FUZZ_CHECK(reread.Load());
    for (size_t i = 0; i < set.size(); ++i) {
        // The last value set under a name (names match without ASCII case).
        bool bLater = false;
        for (size_t k = i + 1; k < set.size(); ++k)
            bLater = bLater || (Lower(set[k].strSection) == Lower(set[i].strSection)
                                && Lower(set[k].strKey) == Lower(set[i].strKey));
        if (bLater)
            continue;
        std::string value;
        FUZZ_CHECK(reread.GetString(set[i].strSection, set[i].strKey, value));
        FUZZ_CHECK(value == AsStored(set[i].strValue));
    }
    FUZZ_CHECK(HasBom(reread.Text()) == HasBom(before));
    FUZZ_CHECK(OnlySetLinesChanged(Lines(before), Lines(reread.Text()), set));
    return 0;
}
