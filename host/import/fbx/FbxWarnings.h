// The warnings of one FBX load: one line per kind of thing the reader meets
// and does not evaluate (or evaluates otherwise than the file's program),
// naming the first item it met it on and how many more there were.
//
//   FbxWarnings warnings([](const std::string& line) { ... });
//   warnings.Warn("constraint", "the constraint \"aim1\" is not evaluated");
//   warnings.Flush();   // hands each kind's line to the sink, in first-met order
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace host {

class FbxWarnings {
  public:
    using Sink = std::function<void(const std::string& line)>;
    explicit FbxWarnings(Sink sink = nullptr) : m_sink(std::move(sink)) {}
    FbxWarnings(const FbxWarnings&) = delete;
    FbxWarnings& operator=(const FbxWarnings&) = delete;

    // Notes a warning of a kind; only the first message of a kind is kept,
    // the later ones are counted.
    void Warn(const std::string& kind, const std::string& message);
    // Hands one line per kind to the sink (the first message, and "(N more
    // like it)" when there were more), then forgets them.
    void Flush();
    // The lines Flush would hand over, in order.
    std::vector<std::string> Lines() const;

  private:
    struct Entry {
        std::string kind;
        std::string message;
        size_t more = 0;
    };
    Sink m_sink;
    std::vector<Entry> m_entries;
};

} // namespace host
