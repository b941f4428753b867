#pragma once
// brevane-cli run as a child process the way a script runs it: standard
// input closed, standard output and standard error captured apart, a few
// environment variables set for it, its exit code.

#include <string>
#include <vector>

struct CliRun {
    int nExit = -1;          // the exit code; -1 when it had to be killed
    std::string strOut;
    std::string strErr;
};

class CCliProcess {
public:
    // env: "NAME=value" entries that replace or add to this process's environment.
    static CliRun Run(const std::string& executable, const std::vector<std::string>& arguments,
                      const std::vector<std::string>& env = {}, int timeoutMs = 30000);
};
