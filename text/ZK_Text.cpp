// The host-free text helpers: narrowing, slash rules and text fields.
#include "text/ZK_Text.h"

#include <cstring>

void ZK_Wide2Char(const wchar_t* source, char* destination) {
    char* out = destination;
    for (const wchar_t* in = source; *in != L'\0'; ++in)
        *out++ = static_cast<char>(static_cast<unsigned long>(*in) & 0xFFu);
    *out = '\0';
}

void ZK_Wide2Field(const std::wstring& source, char (&field)[ZK_TEXT_SIZE]) {
    ZK_Wide2Char(source.substr(0, ZK_TEXT_SIZE - 1).c_str(), field);
}

void linuxSafePath(char* text) {
    for (; *text; ++text)
        if (*text == '\\')
            *text = '/';
}

void flipSlash(char* text) {
    linuxSafePath(text);
}

void ZK_AddDoubleSlash(const char* source, char* destination) {
    for (; *source; ++source) {
        if (*source == '\\')
            *destination++ = '\\';
        *destination++ = *source;
    }
    *destination = '\0';
}

std::string ZK_FieldText(const char* field) {
    return std::string(field, strnlen(field, ZK_TEXT_SIZE - 1));
}

bool ZK_CopyField(const std::string& text, char (&field)[ZK_TEXT_SIZE]) {
    if (text.size() >= static_cast<size_t>(ZK_TEXT_SIZE)) {
        field[0] = '\0';
        return false;
    }
    std::memcpy(field, text.c_str(), text.size() + 1);
    return true;
}
