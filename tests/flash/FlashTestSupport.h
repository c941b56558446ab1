// Helpers shared by the flash tests: scratch files and a recorder of message boxes.
#pragma once

#include "FlashFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

namespace flashtest {

struct Message
{
    std::string Text;
    std::string Caption;
    MessageIcon Icon;
    bool operator==(const Message&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Message& m)
{
    static const char* const icons[] = {"Error", "Information", "Warning"};
    return os << "{\"" << m.Text << "\", \"" << m.Caption << "\", " << icons[static_cast<int>(m.Icon)]
              << "}";
}

class CMessageRecorder : public CMessageSink
{
public:
    void ShowMessage(const char* text, const char* caption, MessageIcon icon) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_messages.push_back({text, caption, icon});
    }
    std::vector<Message> Messages() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_messages;
    }
    void ClearMessages()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_messages.clear();
    }

private:
    mutable std::mutex m_mutex;
    std::vector<Message> m_messages;
};

// A directory of its own for one test, removed afterwards. Dumps flush every
// chunk, so it lives in memory (/dev/shm) when the machine has it.
class CScratchDir
{
public:
    CScratchDir()
    {
        const std::filesystem::path shm = "/dev/shm";
        std::error_code ec;
        std::string base = std::filesystem::is_directory(shm, ec) ? shm.string() : testing::TempDir();
        std::string pattern = base + "/pellaro-flash-XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (mkdtemp(name.data()))
            m_path = name.data();
    }
    ~CScratchDir()
    {
        std::error_code ec;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ec);
    }
    CScratchDir(const CScratchDir&) = delete;
    CScratchDir& operator=(const CScratchDir&) = delete;

    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// Bytes that differ from one address to the next and from seed to seed.
inline std::vector<uint8_t> RandomBytes(size_t length, uint32_t seed)
{
    std::vector<uint8_t> bytes(length);
    uint64_t state = 0x9E3779B97F4A7C15ull * (seed + 1);
    for (size_t i = 0; i < length; i += 8) {
        uint64_t v = (state += 0x9E3779B97F4A7C15ull);   // splitmix64
        v = (v ^ (v >> 30)) * 0xBF58476D1CE4E5B9ull;
        v = (v ^ (v >> 27)) * 0x94D049BB133111EBull;
        v ^= v >> 31;
        std::memcpy(bytes.data() + i, &v, std::min<size_t>(8, length - i));
    }
    return bytes;
}

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in)
        return {};
    std::vector<uint8_t> bytes(static_cast<size_t>(in.tellg()));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

} // namespace flashtest
