// The debugger output of the tool: one line per event, written exactly as the
// operations word them. Standard error by default; front ends and tests may
// install another sink (a capture, or nothing at all).
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

class CDiagnosticsSink
{
public:
    virtual ~CDiagnosticsSink() = default;
    // Called with the whole line as the operation formatted it (most end in "\n").
    virtual void Write(const char* text) = 0;
};

// Installs a sink for the whole process; null restores standard error.
// Returns the sink that was installed before.
CDiagnosticsSink* SetDiagnosticsSink(CDiagnosticsSink* sink);

// Writes one line to the installed sink. Lines from several threads never mix.
void DebugOutput(const char* text);
// printf-style variant; the text is formatted into a fixed stack buffer
// (no heap), cut at 1023 characters.
void DebugOutputF(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A sink that drops every line.
class CNullDiagnosticsSink : public CDiagnosticsSink
{
public:
    void Write(const char*) override {}
};

// A sink that keeps every line, for tests and for callers that show the lines later.
class CDiagnosticsCapture : public CDiagnosticsSink
{
public:
    CDiagnosticsCapture();   // installs itself
    ~CDiagnosticsCapture() override;   // restores the previous sink
    CDiagnosticsCapture(const CDiagnosticsCapture&) = delete;
    CDiagnosticsCapture& operator=(const CDiagnosticsCapture&) = delete;

    void Write(const char* text) override;
    std::vector<std::string> Lines() const;
    bool Contains(const std::string& line) const;
    size_t Count(const std::string& line) const;
    void Clear();

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
    CDiagnosticsSink* m_pPrevious;
};
