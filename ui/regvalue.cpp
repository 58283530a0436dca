#include "ui/regvalue.h"

tregvalue::tregvalue(HKEY key, const std::string& name) : key_(key), name_(name) {
  found_ = RegQueryValueExA(key_, name_.c_str(), nullptr, &type_, nullptr, &size_) == ERROR_SUCCESS;
}

bool tregvalue::Read() {
  data_.assign(size_, '\0');
  read_ = size_;
  return RegQueryValueExA(key_, name_.c_str(), nullptr, nullptr,
                          reinterpret_cast<LPBYTE>(data_.data()), &read_) == ERROR_SUCCESS;
}

std::string tregvalue::Bytes(size_t length) const {
  return std::string(data_.data(), length < data_.size() ? length : data_.size());
}

std::string tregvalue::Text() const {
  // A value stored without its terminating NUL ends at the data's end.
  const size_t length = read_ < size_ ? read_ : size_;
  size_t end = 0;
  while (end < length && data_[end] != '\0') ++end;
  return std::string(data_.data(), end);
}
