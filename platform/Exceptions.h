#pragma once
// The error types of the program. Every failure travels as an exception carrying the text
// the user will read; the application object shows it in the general error box.
#include <stdexcept>
#include <string>

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string &message) : std::runtime_error(message) {}
    std::string message() const { return what(); }
};

// An input or output failure of a file, with the text of its error number.
class EInOutError : public Exception {
public:
    explicit EInOutError(int errorCode);
    int errorCode() const { return code; }

private:
    int code;
};

// A text that does not convert to a number: "'%s' is not a valid integer value".
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// Whole-file loads and saves of a string list: "Cannot open file %s", "Cannot create file %s".
class EFOpenError : public Exception {
public:
    using Exception::Exception;
};
class EFCreateError : public Exception {
public:
    using Exception::Exception;
};

// A settings value that cannot be written: "Unable to write to %s".
class EIniFileException : public Exception {
public:
    using Exception::Exception;
};

// A field that cannot be stored in a Deck line (character outside the code page, separator, CR).
class EFieldError : public Exception {
public:
    using Exception::Exception;
};

// The GIF codec's error, with one of its fixed messages.
class GIFException : public Exception {
public:
    using Exception::Exception;
};

// The user's text for an errno value ("File not found", "Disk full", "I/O error %d" ...).
std::string InOutErrorText(int errorCode);

// Throws EInOutError for the current errno.
[[noreturn]] void RaiseLastInOutError();

// "'%s' is not a valid integer value"
[[noreturn]] void RaiseInvalidInteger(const std::string &text);

// Text to integer the way the settings and the edit fields read numbers: optional blanks and
// sign, decimal digits, or hexadecimal after 0x, 0X or $. Returns false when it does not convert.
bool TryStrToInt(const std::string &text, int &value);
int StrToInt(const std::string &text); // throws EConvertError
