// A strict JSON syntax check for the printers' output (RFC 8259 grammar).
#pragma once

#include <cctype>
#include <cstring>
#include <string>

class ZK_JsonCheck {
  public:
    // True when text is exactly one JSON value, with optional white space.
    static bool Valid(const std::string& text) {
        ZK_JsonCheck check(text);
        check.Space();
        if (!check.Value(0))
            return false;
        check.Space();
        return check.m_pos == text.size();
    }

  private:
    explicit ZK_JsonCheck(const std::string& text) : m_text(text) {}

    char Peek() const { return m_pos < m_text.size() ? m_text[m_pos] : '\0'; }
    bool Eat(char c) {
        if (Peek() != c)
            return false;
        ++m_pos;
        return true;
    }
    void Space() {
        while (m_pos < m_text.size() && std::strchr(" \t\r\n", m_text[m_pos]))
            ++m_pos;
    }
    bool Word(const char* word) {
        const size_t n = std::strlen(word);
        if (m_text.compare(m_pos, n, word) != 0)
            return false;
        m_pos += n;
        return true;
    }
    bool Digits() {
        const size_t start = m_pos;
        while (std::isdigit(static_cast<unsigned char>(Peek())))
            ++m_pos;
        return m_pos > start;
    }
    bool Number() {
        Eat('-');
        if (!Eat('0') && !Digits())
            return false;
        if (Eat('.') && !Digits())
            return false;
        if (Eat('e') || Eat('E')) {
            if (!Eat('+'))
                Eat('-');
            if (!Digits())
                return false;
        }
        return true;
    }
    bool String() {
        if (!Eat('"'))
            return false;
        while (m_pos < m_text.size()) {
            const unsigned char c = static_cast<unsigned char>(m_text[m_pos++]);
            if (c == '"')
                return true;
            if (c < 0x20)
                return false;
            if (c == '\\') {
                const char e = Peek();
                ++m_pos;
                if (e == 'u') {
                    for (int i = 0; i < 4; ++i)
                        if (!std::isxdigit(static_cast<unsigned char>(Peek())) || !++m_pos)
                            return false;
                } else if (!std::strchr("\"\\/bfnrt", e) || e == '\0') {
                    return false;
                }
            }
        }
        return false;
    }
    bool Value(int depth) {
        if (depth > 64)
            return false;
        const char c = Peek();
        if (c == '{' || c == '[') {
            const char close = c == '{' ? '}' : ']';
            ++m_pos;
            Space();
            if (Eat(close))
                return true;
            do {
                Space();
                if (c == '{') {
                    if (!String())
                        return false;
                    Space();
                    if (!Eat(':'))
                        return false;
                    Space();
                }
                if (!Value(depth + 1))
                    return false;
                Space();
            } while (Eat(','));
            return Eat(close);
        }
        if (c == '"')
            return String();
        if (c == 't')
            return Word("true");
        if (c == 'f')
            return Word("false");
        if (c == 'n')
            return Word("null");
        return Number();
    }

    const std::string& m_text;
    size_t m_pos = 0;
};
