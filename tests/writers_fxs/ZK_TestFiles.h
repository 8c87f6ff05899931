// Test helpers: a scratch folder removed at the end, whole-file reads, the
// writers' message sink captured, and byte strings written as hex text.
#pragma once

#include "writers/ZK_Output.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

class ZK_ScratchDir {
  public:
    ZK_ScratchDir() {
        char pattern[] = "/tmp/zk_test_XXXXXX";
        const char* made = mkdtemp(pattern);
        m_path = made ? made : "";
    }
    ~ZK_ScratchDir() {
        if (DIR* dir = opendir(m_path.c_str())) {
            while (dirent* entry = readdir(dir)) {
                const std::string name = entry->d_name;
                if (name != "." && name != "..")
                    unlink((m_path + "/" + name).c_str());
            }
            closedir(dir);
        }
        rmdir(m_path.c_str());
    }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

  private:
    std::string m_path;
};

inline bool ZK_FileExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

inline std::string ZK_ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline std::vector<unsigned char> ZK_ReadBytes(const std::string& path) {
    const std::string text = ZK_ReadText(path);
    return std::vector<unsigned char>(text.begin(), text.end());
}

// "01 00 0a ff" -> bytes; spaces and line breaks are ignored.
inline std::vector<unsigned char> ZK_Hex(const std::string& hex) {
    std::vector<unsigned char> bytes;
    std::string digits;
    for (char c : hex)
        if (std::isxdigit(static_cast<unsigned char>(c)))
            digits += c;
    for (size_t i = 0; i + 1 < digits.size(); i += 2)
        bytes.push_back(static_cast<unsigned char>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return bytes;
}

inline std::vector<unsigned char> ZK_Bytes(const std::string& text) {
    return std::vector<unsigned char>(text.begin(), text.end());
}

inline std::vector<unsigned char> operator+(std::vector<unsigned char> a,
                                            const std::vector<unsigned char>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Collects every message the writers report while it lives.
class ZK_MessageCapture {
  public:
    ZK_MessageCapture() {
        Messages().clear();
        m_previous = ZK_GetMessageSink();
        ZK_SetMessageSink([](const char* message) { Messages().push_back(message); });
    }
    ~ZK_MessageCapture() { ZK_SetMessageSink(m_previous); }
    static std::vector<std::string>& Messages() {
        static std::vector<std::string> messages;
        return messages;
    }

  private:
    ZK_MessageSink m_previous = nullptr;
};

// Counts the occurrences of text in a file's content.
inline int ZK_Count(const std::string& content, const std::string& text) {
    int count = 0;
    for (size_t at = content.find(text); at != std::string::npos;
         at = content.find(text, at + text.size()))
        ++count;
    return count;
}
