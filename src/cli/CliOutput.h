// What `pellaro` shows: standard output and standard error behind one lock (a
// worker thread prints progress and messages while the main thread waits), a
// small JSON writer, the progress display of the flash transfers, the trace of
// the HID requests and the diagnostics sink of --verbose.
#pragma once

#include "DeviceSession.h"
#include "Diagnostics.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

class CCliConsole
{
public:
    CCliConsole(FILE* out, FILE* err, bool errIsTerminal);

    bool ErrIsTerminal() const { return m_bErrIsTerminal; }

    // Standard output, as given.
    void Out(const std::string& text);
    // One line on standard error (a line feed is added when missing). A
    // progress bar on the terminal is cleared first and drawn again by its next update.
    void ErrLine(const std::string& text);
    // "pellaro: <what>: <why>" on standard error.
    void Error(const std::string& what, const std::string& why);

    // The progress bar line of a terminal: drawn over itself with a carriage return.
    void DrawBar(const std::string& text);
    // Leaves the bar line as it stands and moves to the next line.
    void EndBar();

private:
    void ClearBarLocked();

    std::mutex m_mutex;
    FILE* m_out;
    FILE* m_err;
    bool m_bErrIsTerminal;
    bool m_bBarShown = false;
    size_t m_nBarWidth = 0;
};

// Builds one compact JSON value. Keys and strings are escaped; numbers are
// written as JSON numbers.
class CJsonWriter
{
public:
    CJsonWriter& BeginObject();
    CJsonWriter& EndObject();
    CJsonWriter& BeginArray();
    CJsonWriter& EndArray();
    CJsonWriter& Key(const char* key);
    CJsonWriter& String(const std::string& value);
    CJsonWriter& Number(uint64_t value);
    CJsonWriter& Bool(bool value);
    CJsonWriter& Null();
    // Shorthands for a key and its value.
    CJsonWriter& Field(const char* key, const std::string& value) { return Key(key).String(value); }
    CJsonWriter& Field(const char* key, const char* value) { return Key(key).String(value); }
    CJsonWriter& Field(const char* key, uint64_t value) { return Key(key).Number(value); }
    CJsonWriter& Field(const char* key, uint32_t value) { return Key(key).Number(value); }
    CJsonWriter& Field(const char* key, bool value) { return Key(key).Bool(value); }

    // The text with a final line feed.
    std::string Line() const { return m_text + "\n"; }
    const std::string& Text() const { return m_text; }

private:
    void BeforeValue();

    std::string m_text;
    std::vector<bool> m_first;   // per open container: nothing written in it yet
    bool m_bAfterKey = false;
};

enum class ProgressMode
{
    Off,     // --json without --verbose
    Bar,     // standard error is a terminal
    Lines,   // occasional plain lines
};

// The progress of the flash transfers, as each burst reports it: a bar with
// bytes, rate and time left on a terminal, or a line at every tenth of a range.
class CProgressDisplay : public CTransferObserver
{
public:
    using Clock = std::chrono::steady_clock;

    CProgressDisplay(CCliConsole& console, ProgressMode mode);

    void SetStatusText(const char* text) override;
    void SetTotalText(const char*) override {}
    void SetCurrentText(const char*) override {}
    void SetProgressRange(uint32_t total) override;
    void SetProgressPos(uint32_t position) override;

    // Ends a range that is still shown (after a transfer that stopped early).
    void Finish();

private:
    void Show(bool final);
    std::string Label() const;

    CCliConsole& m_console;
    ProgressMode m_mode;
    std::mutex m_mutex;
    bool m_bActive = false;
    std::string m_status;
    uint32_t m_nTotal = 0;
    uint32_t m_nPos = 0;
    uint32_t m_nNextTenth = 0;   // Lines: the next tenth worth a line
    Clock::time_point m_start;
    Clock::time_point m_lastDraw;
};

// One line per HID request on standard error:
//   hid> <length in decimal> <bytes of the Output report>
//   hid< 0x<length argument> <bytes received, up to the slot length>
// with " FAILED" at the end of a refused request.
class CCliTracer : public CExchangeTracer
{
public:
    explicit CCliTracer(CCliConsole& console) : m_console(console) {}
    void OnOutputReport(const uint8_t* report, uint32_t length, bool ok) override;
    void OnInputReport(uint32_t lengthArgument, const uint8_t* received, uint32_t shown,
                       bool ok) override;

private:
    CCliConsole& m_console;
    std::string m_line;
};

// The diagnostics lines: shown on standard error with --verbose, and kept in
// short so that an error line can say which step failed.
class CCliDiagnostics : public CDiagnosticsSink
{
public:
    CCliDiagnostics(CCliConsole& console, bool show);
    ~CCliDiagnostics() override;   // restores the sink it replaced
    CCliDiagnostics(const CCliDiagnostics&) = delete;
    CCliDiagnostics& operator=(const CCliDiagnostics&) = delete;

    void Write(const char* text) override;

    // The first step that failed since the last Reset, in words
    // ("REPORT_REG_READ failed", "REPORT_FLASH_READ was not sent: ..."), or "".
    std::string Failure() const;
    // The range of the first compare difference ("0x00181000~0x00182000"), or "".
    std::string Compare() const;
    void Reset();

private:
    CCliConsole& m_console;
    bool m_bShow;
    mutable std::mutex m_mutex;
    std::string m_failed;    // row or step name of the first failure line
    std::string m_refusal;   // why that step was not even sent, when known
    std::string m_compare;   // range of the first compare difference
    CDiagnosticsSink* m_pPrevious;
};

// "1.5 MiB", "512 KiB", "300 B".
std::string FormatByteSize(uint64_t bytes);
