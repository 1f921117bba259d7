#include "platform/Exceptions.h"

#include <cerrno>
#include <climits>
#include <cstdint>

namespace {
std::string ErrnoText(int errorCode)
{
    switch (errorCode) {
    case ENOENT:
    case ENOTDIR:
        return "File not found";
    case ENAMETOOLONG:
    case EINVAL:
    case EISDIR:
    case ELOOP:
        return "Invalid filename";
    case EMFILE:
    case ENFILE:
        return "Too many open files";
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
    case EBUSY:
        return "File access denied";
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return "Disk full";
    default:
        return "I/O error " + std::to_string(errorCode);
    }
}
} // namespace

std::string InOutErrorText(int errorCode) { return ErrnoText(errorCode); }

EInOutError::EInOutError(int errorCode) : Exception(ErrnoText(errorCode)), code(errorCode) {}

void RaiseLastInOutError() { throw EInOutError(errno); }

void RaiseInvalidInteger(const std::string &text)
{
    throw EConvertError("'" + text + "' is not a valid integer value");
}

bool TryStrToInt(const std::string &text, int &value)
{
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= text.size())
        return false;
    int64_t result = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false;
        result = result * base + digit;
        // Hexadecimal may fill all 32 bits (0xFFFFFFFF reads as -1); decimal must fit.
        if (result > (base == 16 ? int64_t(UINT32_MAX) : int64_t(INT32_MAX) + (negative ? 1 : 0)))
            return false;
    }
    if (base == 16)
        result = int32_t(uint32_t(result));
    value = int(negative ? -result : result);
    return true;
}

int StrToInt(const std::string &text)
{
    int value = 0;
    if (!TryStrToInt(text, value))
        RaiseInvalidInteger(text);
    return value;
}
