// Failures of the report engine: exceptions that carry the message the user reads.
#pragma once

#include <stdexcept>
#include <string>

namespace korvane {

/// Root of every failure the engine raises; what() is the user's message.
class TKorvaneError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

/// Bytes of the file or of the image that a table needs are missing or unreadable.
class TFormatError : public TKorvaneError {
public:
  using TKorvaneError::TKorvaneError;
};

/// The path names a device, a FIFO or a socket, which is refused before a
/// byte is read: "PATH is not a regular file".
class TNotRegularFileError : public TKorvaneError {
public:
  using TKorvaneError::TKorvaneError;
};

/// An operating-system call failed; Code() is the system's error number.
class TOsError : public TKorvaneError {
public:
  TOsError(int code, const std::string& message) : TKorvaneError(message), FCode(code) {}
  int Code() const { return FCode; }

private:
  int FCode;
};

/// Message used when the system reports a failure without an error code.
inline constexpr const char* OsFailureWithoutCode = "A call to an OS function failed";

/// The system's text without its trailing control characters, blanks and
/// full stops: a line break or a closing full stop of its own would end a
/// sentence of ours.
std::string TrimSystemText(std::string systemText);

/// "System Error.  Code: %d.\r\n%s" with the system's text trimmed.
std::string SystemErrorMessage(int code, std::string systemText);

} // namespace korvane
