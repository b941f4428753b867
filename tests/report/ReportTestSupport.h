#pragma once
// Shared helpers of the report tests: scratch paths and a workbook built,
// saved and read back strictly in one step.

#include "CXlsTestReader.h"
#include "CXlsWorkbook.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>

inline std::string ScratchPath(const std::string& name)
{
    return ::testing::TempDir() + "brevane_report_" + std::to_string(getpid()) + "_" + name;
}

// Saves the workbook, reads it back and fails the test on any problem.
inline void SaveAndRead(const CXlsWorkbook& book, CXlsTestReader* reader,
                        const std::string& name = "book.xls")
{
    const std::string path = ScratchPath(name);
    std::string error;
    ASSERT_TRUE(book.Save(path, &error)) << error;
    reader->Load(path);
    std::remove(path.c_str());
    ASSERT_TRUE(reader->Problems().empty()) << reader->ProblemText();
}
