#include "host/import/fbx/FbxWarnings.h"

namespace host {

void FbxWarnings::Warn(const std::string& kind, const std::string& message) {
    for (Entry& e : m_entries) {
        if (e.kind == kind) {
            ++e.more;
            return;
        }
    }
    m_entries.push_back({kind, message, 0});
}

std::vector<std::string> FbxWarnings::Lines() const {
    std::vector<std::string> out;
    for (const Entry& e : m_entries) {
        out.push_back(e.more == 0 ? e.message
                                  : e.message + " (and " + std::to_string(e.more) + " more)");
    }
    return out;
}

void FbxWarnings::Flush() {
    if (m_sink) {
        for (const std::string& line : Lines()) {
            m_sink(line);
        }
    }
    m_entries.clear();
}

} // namespace host
