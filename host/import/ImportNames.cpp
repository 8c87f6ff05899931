#include "host/import/ImportNames.h"

namespace host {

std::string CleanName(const std::string& in) {
    std::string out;
    for (size_t i = 0; i < in.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(in[i]);
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            c == '_') {
            out.push_back(static_cast<char>(c));
            continue;
        }
        out.push_back('_');
        if (c >= 0xC0) {
            while (i + 1 < in.size() && (static_cast<unsigned char>(in[i + 1]) & 0xC0) == 0x80) {
                ++i;
            }
        }
    }
    return out;
}

std::wstring Widen(const std::string& s) {
    return std::wstring(s.begin(), s.end());
}

std::string OneLine(std::string s) {
    for (char& c : s) {
        if (c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    while (!s.empty() && s.back() == ' ') {
        s.pop_back();
    }
    return s;
}

std::string UniqueNames::Take(const std::string& name) {
    if (m_taken.insert(name).second) {
        return name;
    }
    unsigned long& next = m_next[name];
    for (unsigned long n = next > 0 ? next : 1;; ++n) {
        std::string candidate = name + std::to_string(n);
        if (!m_asked.count(candidate) && m_taken.insert(candidate).second) {
            next = n + 1;
            return candidate;
        }
    }
}

} // namespace host
