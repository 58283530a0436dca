// Errors that end a window handler and reach the error box.
#pragma once

#include <stdexcept>
#include <string>

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

// A stored speed list could not be read or written.
class ERegistryException : public Exception {
 public:
  using Exception::Exception;
};

// A field chosen by the user is not a valid integer.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};
