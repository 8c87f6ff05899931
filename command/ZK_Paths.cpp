// Output path checks.
#include "command/ZK_Paths.h"

#include <xsi_application.h>
#include <xsi_string.h>

#include <sys/stat.h>

#include <string>

namespace {

// The mode bits that the checks look at: the directory type bit and the
// owner-write permission bit. Only the owner-write bit counts; whether the
// current user could write through group or other permissions does not.
constexpr unsigned long kDirectoryBit = 0x4000;
constexpr unsigned long kOwnerWriteBit = 0x80;

// Looks the path up. When the first look-up fails and the path ends in a
// separator, it is looked up once more without that last character.
bool LookUp(const std::string& path, unsigned long* mode) {
    struct stat st;
    if (stat(path.c_str(), &st) == 0) {
        *mode = st.st_mode;
        return true;
    }
    if (!path.empty() && (path.back() == '/' || path.back() == '\\')) {
        const std::string cut = path.substr(0, path.size() - 1);
        if (stat(cut.c_str(), &st) == 0) {
            *mode = st.st_mode;
            return true;
        }
    }
    return false;
}

// Logs "<first><label><second><path>" as one error line. The label and the
// path become host text byte for byte.
void LogRefusal(const wchar_t* first, const char* label, const wchar_t* second,
                const std::string& path) {
    XSI::CString labelText;
    labelText.PutAsciiString(label);
    XSI::CString pathText;
    pathText.PutAsciiString(path.c_str());
    XSI::CString message(first);
    message += labelText;
    message += second;
    message += pathText;
    XSI::Application().LogMessage(message, XSI::siErrorMsg);
}

XSI::CStatus CheckPath(const std::string& path, unsigned long kind, const char* label) {
    unsigned long mode = 0;
    const bool exists = LookUp(path, &mode);

    if (kind == ZK_PATH_FOLDER) {
        if (!exists)
            return XSI::CStatus::OK; // a missing folder is accepted; nothing is created
        if (!(mode & kDirectoryBit)) {
            LogRefusal(L"ZK_XSI_Baker - the ", label, L" folder is invalid: ", path);
            return XSI::CStatus::InvalidArgument;
        }
        if (!(mode & kOwnerWriteBit)) {
            LogRefusal(L"ZK_XSI_Baker - The ", label,
                       L" folder is readonly and cannot be used to generate files: ", path);
            return XSI::CStatus::InvalidArgument;
        }
        return XSI::CStatus::OK;
    }

    if (kind == ZK_PATH_FILE) {
        if (exists && (mode & kDirectoryBit)) {
            LogRefusal(L"ZK_XSI_Baker - the ", label, L" file is invalid: ", path);
            return XSI::CStatus::InvalidArgument;
        }
        if (!exists) {
            // The folder part: the path up to and including its last
            // separator, a backslash counting as one but kept as it stands;
            // the current folder when there is no separator.
            const std::string::size_type last = path.find_last_of("/\\");
            const std::string folder =
                last == std::string::npos ? std::string(".") : path.substr(0, last + 1);
            return CheckPath(folder, ZK_PATH_FOLDER, label);
        }
        if (!(mode & kOwnerWriteBit)) {
            LogRefusal(L"ZK_XSI_Baker - The ", label,
                       L" file is readonly and cannot be processed: ", path);
            return XSI::CStatus::InvalidArgument;
        }
        return XSI::CStatus::OK;
    }

    return XSI::CStatus::Unexpected;
}

} // namespace

XSI::CStatus _EnsureFilePath(char* path, unsigned long kind, const char* label) {
    // The checks work on a copy, so the caller's text is left as it was
    // whatever its length.
    return CheckPath(path ? std::string(path) : std::string(), kind, label ? label : "");
}
