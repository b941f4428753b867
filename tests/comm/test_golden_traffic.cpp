// Replays byte streams recorded from (or constructed for) the meter and
// checks what the link and the decoders make of them. One case per file in
// data/*.hex; a fault found in the field becomes a new file.
//
// File lines:
//   op exchange|long <command> <payload>   one request through SendPacket / SendLongPacket
//   op memory <from YYYY-MM-DD> <to YYYY-MM-DD>
//   op output
//   tx <hex>            the request the link must write
//   rx <ms> <hex>       bytes the meter sends <ms> after the request
//   result <code>       count <n>
//   reply <hex>         start of the reply payload handed to the caller
//   text <width> <text or "text"> | serial <text> | clock <time> | <stored number>
//   calibration <p0> <p1> <p2> <p3> | <present> | <c1> <c2> <c3>
//   summary <count> | <average> | <minimum> | <maximum> | <deviation>
//   record <index> <time> | <force> | <model>
// Every byte the meter sent must end up in the packet log as received.

#include "LinkTestSupport.h"
#include "MeterCommands.h"
#include "MeterRecords.h"

#include <algorithm>
#include <dirent.h>
#include <fstream>
#include <sstream>

namespace {

std::vector<std::string> GoldenFiles()
{
    std::vector<std::string> names;
    if (DIR* dir = opendir(BREVANE_COMM_TEST_DATA)) {
        while (dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".hex") == 0)
                names.push_back(name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string Trim(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return std::string();
    const size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

std::vector<std::string> SplitBars(const std::string& text)
{
    std::vector<std::string> parts;
    std::stringstream stream(text);
    std::string part;
    while (std::getline(stream, part, '|'))
        parts.push_back(Trim(part));
    return parts;
}

int64_t Noon(const std::string& date)
{
    int year = 0, month = 0, day = 0;
    std::sscanf(date.c_str(), "%d-%d-%d", &year, &month, &day);
    return LocalTime(year, month, day, 12);
}

class GoldenTrafficTest : public LinkTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(GoldenTrafficTest, Replays)
{
    std::ifstream file(std::string(BREVANE_COMM_TEST_DATA) + "/" + GetParam());
    ASSERT_TRUE(file.good());

    struct Expectation {
        std::string strKey;
        std::string strRest;
        int nLine;
    };
    std::vector<std::string> op;
    std::vector<std::pair<int, Bytes>> arrivals;
    std::vector<Expectation> expectations;
    std::string line;
    for (int nLine = 1; std::getline(file, line); ++nLine) {
        line = Trim(line);
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream words(line);
        std::string key;
        words >> key;
        std::string rest;
        std::getline(words, rest);
        rest = Trim(rest);
        if (key == "op") {
            std::istringstream opWords(rest);
            for (std::string word; opWords >> word;)
                op.push_back(word);
        } else if (key == "rx") {
            std::istringstream rxWords(rest);
            int delay = 0;
            rxWords >> delay;
            std::string bytes;
            std::getline(rxWords, bytes);
            arrivals.emplace_back(delay, Hex(bytes));
        } else {
            expectations.push_back({key, rest, nLine});
        }
    }
    ASSERT_FALSE(op.empty()) << "no op line";

    Bridge().m_onWrite = [this, arrivals](const Bytes&) {
        for (const auto& arrival : arrivals)
            Bridge().Schedule(arrival.first, arrival.second);
    };

    uint8_t reply[REPLY_BUFFER_LEN] = {};
    int nResult = 0;
    int nCount = -1;
    const bool bMemory = op[0] == "memory";
    if (op[0] == "exchange" || op[0] == "long") {
        ASSERT_GE(op.size(), 2u);
        const int command = Hex(op[1]).at(0);
        Bytes payload;
        for (size_t i = 2; i < op.size(); ++i) {
            const Bytes b = Hex(op[i]);
            payload.insert(payload.end(), b.begin(), b.end());
        }
        nResult = op[0] == "long"
                      ? m_link.SendLongPacket(command, payload.data(), int(payload.size()), reply)
                      : m_link.SendPacket(command, payload.data(), int(payload.size()), reply);
    } else if (bMemory) {
        ASSERT_EQ(3u, op.size());
        nResult = m_link.ReadMemoryRecords(Noon(op[1]), Noon(op[2]), &nCount);
    } else if (op[0] == "output") {
        nResult = m_link.ReadOutputRecords();
    } else {
        FAIL() << "unknown op " << op[0];
    }

    Bytes sent;
    for (const auto& arrival : arrivals)
        sent.insert(sent.end(), arrival.second.begin(), arrival.second.end());
    EXPECT_EQ(ToHex(sent), ToHex(m_owner.Logged(1))) << "not every received byte was logged";

    for (const Expectation& e : expectations) {
        SCOPED_TRACE("line " + std::to_string(e.nLine) + ": " + e.strKey + " " + e.strRest);
        if (e.strKey == "tx") {
            ASSERT_FALSE(Bridge().m_writes.empty());
            EXPECT_EQ(ToHex(Hex(e.strRest)), ToHex(Bridge().m_writes.front()));
        } else if (e.strKey == "result") {
            EXPECT_EQ(std::stoi(e.strRest), nResult);
        } else if (e.strKey == "count") {
            EXPECT_EQ(std::stoi(e.strRest), nCount);
        } else if (e.strKey == "reply") {
            const Bytes expected = Hex(e.strRest);
            EXPECT_EQ(ToHex(expected), ToHex(Bytes(reply, reply + expected.size())));
        } else if (e.strKey == "text") {
            std::istringstream words(e.strRest);
            size_t width = 0;
            words >> width;
            std::string text;
            std::getline(words, text);
            text = Trim(text);
            // Quotes keep spaces at the ends of a text.
            if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
                text = text.substr(1, text.size() - 2);
            EXPECT_EQ(text, DecodeTextReply(reply, width));
        } else if (e.strKey == "serial") {
            EXPECT_EQ(e.strRest, SerialNumberText(reply));
        } else if (e.strKey == "clock") {
            const std::vector<std::string> parts = SplitBars(e.strRest);
            ASSERT_EQ(2u, parts.size());
            const MeterClock clock = DecodeClockRecord(reply);
            EXPECT_EQ(parts[0], FormatRecordTime(clock.when));
            EXPECT_EQ(parts[1], FormatStoredNumber(clock.storedNumber));
        } else if (e.strKey == "calibration") {
            const CalibrationRecord record = DecodeCalibrationRecord(reply);
            std::ostringstream shown;
            shown << record.nPoints[0] << ' ' << record.nPoints[1] << ' ' << record.nPoints[2]
                  << ' ' << record.nPoints[3] << " | " << record.nPresent << " | "
                  << record.nCorrections[0] << ' ' << record.nCorrections[1] << ' '
                  << record.nCorrections[2];
            EXPECT_EQ(e.strRest, shown.str());
        } else if (e.strKey == "summary") {
            ASSERT_EQ(1u, m_owner.m_summaries.size());
            const OutputSummary summary = DecodeOutputSummary(m_owner.m_summaries[0].data());
            const std::string shown = std::to_string(summary.nCount) + " | "
                                      + FormatSummaryForce(summary.nAverage) + " | "
                                      + FormatSummaryForce(summary.nMinimum) + " | "
                                      + FormatSummaryForce(summary.nMaximum) + " | "
                                      + FormatSummaryForce(summary.nDeviation);
            EXPECT_EQ(e.strRest, shown);
        } else if (e.strKey == "record") {
            std::istringstream words(e.strRest);
            size_t index = 0;
            words >> index;
            std::string rest;
            std::getline(words, rest);
            const auto& records = bMemory ? m_owner.m_memory : m_owner.m_output;
            ASSERT_LT(index, records.size());
            EXPECT_EQ(int(index), records[index].nIndex);
            const MeasurementRecord record = DecodeMeasurementRecord(records[index].bytes.data());
            const std::string shown = FormatRecordTime(record.when) + " | "
                                      + (bMemory ? FormatForceTons(record.nRawForce)
                                                 : FormatForceKn(record.nRawForce))
                                      + " | " + LoadCellModelName(record.nLoadCellType);
            EXPECT_EQ(Trim(rest), Trim(shown));
        } else {
            ADD_FAILURE() << "unknown line";
        }
    }
    // Records the file does not list must not have been handed on.
    size_t listed = 0;
    for (const Expectation& e : expectations)
        listed += e.strKey == "record";
    EXPECT_EQ(listed, bMemory ? m_owner.m_memory.size() : m_owner.m_output.size());
}

std::string FileTestName(const ::testing::TestParamInfo<std::string>& info)
{
    std::string name = info.param.substr(0, info.param.size() - 4);
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Files, GoldenTrafficTest, ::testing::ValuesIn(GoldenFiles()),
                         FileTestName);

} // namespace
