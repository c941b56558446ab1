#include "CliOutput.h"

#include "HexFormat.h"

#include <cstring>

// ---------------------------------------------------------------------------
// Console

CCliConsole::CCliConsole(FILE* out, FILE* err, bool errIsTerminal)
    : m_out(out), m_err(err), m_bErrIsTerminal(errIsTerminal)
{
}

void CCliConsole::Out(const std::string& text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::fwrite(text.data(), 1, text.size(), m_out);
    std::fflush(m_out);
}

void CCliConsole::ClearBarLocked()
{
    if (!m_bBarShown)
        return;
    std::fputc('\r', m_err);
    for (size_t i = 0; i < m_nBarWidth; ++i)
        std::fputc(' ', m_err);
    std::fputc('\r', m_err);
    m_bBarShown = false;
}

void CCliConsole::ErrLine(const std::string& text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ClearBarLocked();
    std::fwrite(text.data(), 1, text.size(), m_err);
    if (text.empty() || text.back() != '\n')
        std::fputc('\n', m_err);
    std::fflush(m_err);
}

void CCliConsole::Error(const std::string& what, const std::string& why)
{
    ErrLine(what.empty() ? "pellaro: " + why : "pellaro: " + what + ": " + why);
}

void CCliConsole::DrawBar(const std::string& text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::fputc('\r', m_err);
    std::fwrite(text.data(), 1, text.size(), m_err);
    for (size_t i = text.size(); i < m_nBarWidth; ++i)
        std::fputc(' ', m_err);
    m_nBarWidth = text.size();
    m_bBarShown = true;
    std::fflush(m_err);
}

void CCliConsole::EndBar()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_bBarShown)
        return;
    std::fputc('\n', m_err);
    std::fflush(m_err);
    m_bBarShown = false;
    m_nBarWidth = 0;
}

// ---------------------------------------------------------------------------
// JSON

void CJsonWriter::BeforeValue()
{
    if (m_bAfterKey) {
        m_bAfterKey = false;
        return;
    }
    if (!m_first.empty()) {
        if (!m_first.back())
            m_text += ',';
        m_first.back() = false;
    }
}

CJsonWriter& CJsonWriter::BeginObject()
{
    BeforeValue();
    m_text += '{';
    m_first.push_back(true);
    return *this;
}

CJsonWriter& CJsonWriter::EndObject()
{
    m_text += '}';
    if (!m_first.empty())
        m_first.pop_back();
    return *this;
}

CJsonWriter& CJsonWriter::BeginArray()
{
    BeforeValue();
    m_text += '[';
    m_first.push_back(true);
    return *this;
}

CJsonWriter& CJsonWriter::EndArray()
{
    m_text += ']';
    if (!m_first.empty())
        m_first.pop_back();
    return *this;
}

CJsonWriter& CJsonWriter::Key(const char* key)
{
    String(key);
    m_text += ':';
    m_bAfterKey = true;
    return *this;
}

CJsonWriter& CJsonWriter::String(const std::string& value)
{
    BeforeValue();
    static const char digits[] = "0123456789abcdef";
    m_text += '"';
    for (const char c : value) {
        const unsigned char u = static_cast<unsigned char>(c);
        switch (c) {
        case '"': m_text += "\\\""; break;
        case '\\': m_text += "\\\\"; break;
        case '\n': m_text += "\\n"; break;
        case '\r': m_text += "\\r"; break;
        case '\t': m_text += "\\t"; break;
        default:
            if (u < 0x20 || u == 0x7F) {
                m_text += "\\u00";
                m_text += digits[u >> 4];
                m_text += digits[u & 0x0F];
            } else {
                m_text += c;
            }
        }
    }
    m_text += '"';
    return *this;
}

CJsonWriter& CJsonWriter::Number(uint64_t value)
{
    BeforeValue();
    m_text += std::to_string(value);
    return *this;
}

CJsonWriter& CJsonWriter::Bool(bool value)
{
    BeforeValue();
    m_text += value ? "true" : "false";
    return *this;
}

CJsonWriter& CJsonWriter::Null()
{
    BeforeValue();
    m_text += "null";
    return *this;
}

// ---------------------------------------------------------------------------
// Progress

std::string FormatByteSize(uint64_t bytes)
{
    char text[32];
    if (bytes >= 1024u * 1024u)
        std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1024.0 * 1024.0));
    else if (bytes >= 1024u)
        std::snprintf(text, sizeof text, "%.1f KiB", static_cast<double>(bytes) / 1024.0);
    else
        std::snprintf(text, sizeof text, "%u B", static_cast<unsigned>(bytes));
    return text;
}

namespace {

std::string FormatDuration(double seconds)
{
    if (seconds < 0)
        seconds = 0;
    const unsigned long total = static_cast<unsigned long>(seconds + 0.5);
    char text[32];
    if (total >= 3600)
        std::snprintf(text, sizeof text, "%lu:%02lu:%02lu", total / 3600, total / 60 % 60, total % 60);
    else
        std::snprintf(text, sizeof text, "%lu:%02lu", total / 60, total % 60);
    return text;
}

constexpr auto kBarInterval = std::chrono::milliseconds(100);
constexpr size_t kBarCells = 20;   // the whole line stays within 80 columns

} // namespace

CProgressDisplay::CProgressDisplay(CCliConsole& console, ProgressMode mode)
    : m_console(console), m_mode(mode)
{
}

std::string CProgressDisplay::Label() const
{
    return m_status.empty() ? std::string("Transfer") : m_status;
}

void CProgressDisplay::SetProgressRange(uint32_t total)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_mode == ProgressMode::Off)
        return;
    if (m_bActive && m_mode == ProgressMode::Bar)
        m_console.EndBar();
    m_bActive = true;
    m_status.clear();
    m_nTotal = total;
    m_nPos = 0;
    m_nNextTenth = 1;
    m_start = Clock::now();
    m_lastDraw = Clock::time_point();
}

void CProgressDisplay::SetStatusText(const char* text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_mode == ProgressMode::Off || !text)
        return;
    const char* word = std::strncmp(text, "Status: ", 8) == 0 ? text + 8 : text;
    if (std::strcmp(word, "Wait") == 0) {
        if (m_bActive) {
            Show(true);
            m_bActive = false;
        }
        return;
    }
    m_status = word;
}

void CProgressDisplay::SetProgressPos(uint32_t position)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_mode == ProgressMode::Off || !m_bActive)
        return;
    m_nPos = position;
    if (position > 0)
        Show(false);
}

void CProgressDisplay::Finish()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_mode == ProgressMode::Off || !m_bActive)
        return;
    m_bActive = false;
    Show(true);
}

void CProgressDisplay::Show(bool final)
{
    const Clock::time_point now = Clock::now();
    const double elapsed = std::chrono::duration<double>(now - m_start).count();
    const double rate = elapsed > 0.0 ? static_cast<double>(m_nPos) / elapsed : 0.0;
    const uint32_t percent =
        m_nTotal ? static_cast<uint32_t>(static_cast<uint64_t>(m_nPos) * 100u / m_nTotal) : 100u;
    char text[256];

    const bool incomplete = final && m_nPos < m_nTotal;   // the range ended early
    if (m_mode == ProgressMode::Lines) {
        if (incomplete) {
            m_console.ErrLine(Label() + ": ended at " + std::to_string(m_nPos) + " of " +
                              std::to_string(m_nTotal) + " bytes");
            return;
        }
        const uint32_t tenth =
            m_nTotal ? static_cast<uint32_t>(static_cast<uint64_t>(m_nPos) * 10u / m_nTotal) : 10u;
        if (!final && (tenth < m_nNextTenth || tenth >= 10))
            return;   // the last tenth is written once, when the range is done
        m_nNextTenth = tenth + 1;
        if (final)
            std::snprintf(text, sizeof text, "%s: %u%% (%u of %u bytes) in %s, %s/s", Label().c_str(),
                          percent, m_nPos, m_nTotal, FormatDuration(elapsed).c_str(),
                          FormatByteSize(static_cast<uint64_t>(rate)).c_str());
        else
            std::snprintf(text, sizeof text, "%s: %u%% (%u of %u bytes, %s/s, %s left)",
                          Label().c_str(), percent, m_nPos, m_nTotal,
                          FormatByteSize(static_cast<uint64_t>(rate)).c_str(),
                          rate > 0.0 ? FormatDuration((m_nTotal - m_nPos) / rate).c_str() : "--:--");
        m_console.ErrLine(text);
        return;
    }

    if (!final && now - m_lastDraw < kBarInterval)
        return;
    m_lastDraw = now;
    const size_t filled =
        m_nTotal ? static_cast<size_t>(static_cast<uint64_t>(m_nPos) * kBarCells / m_nTotal) : kBarCells;
    std::string bar(filled, '#');
    bar.append(kBarCells - filled, '-');
    const std::string left = incomplete ? "ended after " + FormatDuration(elapsed)
                             : final    ? "done in " + FormatDuration(elapsed)
                             : rate > 0.0 ? FormatDuration((m_nTotal - m_nPos) / rate) + " left"
                                          : "--:-- left";
    std::snprintf(text, sizeof text, "%-7s [%s] %3u%% %s / %s %s/s %s", Label().c_str(),
                  bar.c_str(), percent, FormatByteSize(m_nPos).c_str(),
                  FormatByteSize(m_nTotal).c_str(), FormatByteSize(static_cast<uint64_t>(rate)).c_str(),
                  left.c_str());
    m_console.DrawBar(text);
    if (final)
        m_console.EndBar();
}

// ---------------------------------------------------------------------------
// Trace

void CCliTracer::OnOutputReport(const uint8_t* report, uint32_t length, bool ok)
{
    // Exchanges are serialised by the session, so the line buffer is never shared.
    m_line = "hid> " + std::to_string(length);
    if (report && length) {
        m_line += ' ';
        AppendHexBytes(m_line, report, length);
    }
    if (!ok)
        m_line += " FAILED";
    m_console.ErrLine(m_line);
}

void CCliTracer::OnInputReport(uint32_t lengthArgument, const uint8_t* received, uint32_t shown,
                               bool ok)
{
    char head[24];
    std::snprintf(head, sizeof head, "hid< 0x%04x", lengthArgument);
    m_line = head;
    if (!ok) {
        m_line += " FAILED";   // nothing was received
    } else if (received && shown) {
        m_line += ' ';
        AppendHexBytes(m_line, received, shown);
    }
    m_console.ErrLine(m_line);
}

// ---------------------------------------------------------------------------
// Diagnostics

CCliDiagnostics::CCliDiagnostics(CCliConsole& console, bool show)
    : m_console(console), m_bShow(show), m_pPrevious(SetDiagnosticsSink(this))
{
}

CCliDiagnostics::~CCliDiagnostics()
{
    SetDiagnosticsSink(m_pPrevious);
}

void CCliDiagnostics::Write(const char* text)
{
    if (!text)
        return;
    // Shown as written (less its line end); read with trailing blanks dropped.
    std::string shown = text;
    while (!shown.empty() && (shown.back() == '\n' || shown.back() == '\r'))
        shown.pop_back();
    std::string line = shown;
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        static const char kFailure[] = "Unknown error: Couldn't execute ";
        static const char kFunction[] = " function";
        static const char kRefused[] = " refused: ";
        static const char kCompare[] = "FlashWrite -- Compare data fail, data(";
        const size_t refused = line.find(kRefused);
        if (line.rfind(kCompare, 0) == 0 && m_compare.empty()) {
            m_compare = line.substr(sizeof kCompare - 1);
            const size_t close = m_compare.find(')');
            if (close != std::string::npos)
                m_compare.erase(close);
        }
        if (line.rfind(kFailure, 0) == 0 && m_failed.empty()) {
            std::string name = line.substr(sizeof kFailure - 1);
            if (name.size() > sizeof kFunction - 1 &&
                name.compare(name.size() - (sizeof kFunction - 1), std::string::npos, kFunction) == 0)
                name.erase(name.size() - (sizeof kFunction - 1));
            m_failed = name;
        } else if (refused != std::string::npos && m_failed.empty() && m_refusal.empty()) {
            m_refusal = line;
        }
    }
    if (m_bShow)
        m_console.ErrLine(shown);
}

std::string CCliDiagnostics::Failure() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_failed.empty())
        return std::string();
    const std::string prefix = m_failed + " refused: ";
    if (m_refusal.rfind(prefix, 0) == 0)
        return m_failed + " was not sent: " + m_refusal.substr(prefix.size());
    return m_failed + " failed";
}

std::string CCliDiagnostics::Compare() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_compare;
}

void CCliDiagnostics::Reset()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_compare.clear();
    m_failed.clear();
    m_refusal.clear();
}
