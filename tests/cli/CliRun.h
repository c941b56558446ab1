// Running the command-line tool in the test process, with its output captured.
#pragma once

#include "CliCommands.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

struct CliResult
{
    int Status = -1;
    std::string Out;
    std::string Err;

    // The lines of standard error.
    std::vector<std::string> ErrLines() const
    {
        std::vector<std::string> lines;
        size_t begin = 0;
        while (begin < Err.size()) {
            size_t end = Err.find('\n', begin);
            if (end == std::string::npos)
                end = Err.size();
            lines.push_back(Err.substr(begin, end - begin));
            begin = end + 1;
        }
        return lines;
    }
};

inline CliResult RunCli(const std::vector<std::string>& args, bool errIsTerminal = false)
{
    char* outText = nullptr;
    char* errText = nullptr;
    size_t outSize = 0, errSize = 0;
    FILE* out = open_memstream(&outText, &outSize);
    FILE* err = open_memstream(&errText, &errSize);
    std::vector<const char*> argv{"pellaro"};
    for (const std::string& arg : args)
        argv.push_back(arg.c_str());
    CliResult result;
    result.Status = RunPellaro(static_cast<int>(argv.size()), argv.data(), out, err, errIsTerminal);
    std::fclose(out);
    std::fclose(err);
    result.Out.assign(outText, outSize);
    result.Err.assign(errText, errSize);
    std::free(outText);
    std::free(errText);
    return result;
}
