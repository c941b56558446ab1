#include "Diagnostics.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace {

class CStderrSink : public CDiagnosticsSink
{
public:
    void Write(const char* text) override
    {
        std::fputs(text, stderr);
        std::fflush(stderr);
    }
};

CStderrSink g_stderrSink;
std::mutex g_sinkMutex;
CDiagnosticsSink* g_pSink = &g_stderrSink;

} // namespace

CDiagnosticsSink* SetDiagnosticsSink(CDiagnosticsSink* sink)
{
    std::lock_guard<std::mutex> lock(g_sinkMutex);
    CDiagnosticsSink* previous = g_pSink;
    g_pSink = sink ? sink : &g_stderrSink;
    return previous;
}

void DebugOutput(const char* text)
{
    std::lock_guard<std::mutex> lock(g_sinkMutex);
    g_pSink->Write(text ? text : "");
}

void DebugOutputF(const char* format, ...)
{
    char line[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    DebugOutput(line);
}

CDiagnosticsCapture::CDiagnosticsCapture() : m_pPrevious(SetDiagnosticsSink(this)) {}

CDiagnosticsCapture::~CDiagnosticsCapture()
{
    SetDiagnosticsSink(m_pPrevious);
}

void CDiagnosticsCapture::Write(const char* text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lines.emplace_back(text);
}

std::vector<std::string> CDiagnosticsCapture::Lines() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lines;
}

bool CDiagnosticsCapture::Contains(const std::string& line) const
{
    return Count(line) > 0;
}

size_t CDiagnosticsCapture::Count(const std::string& line) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    size_t n = 0;
    for (const std::string& l : m_lines)
        if (l == line)
            ++n;
    return n;
}

void CDiagnosticsCapture::Clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lines.clear();
}
