// One registry value read in the two steps the registry needs: its type and
// size first, then, when the caller still wants it, its data into a buffer of
// exactly that size. Both stored texts, the language's and the speed lists',
// are read through it; each caller keeps its own rules on what it accepts.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class tregvalue {
 public:
  // Asks for the type and size only.
  tregvalue(HKEY key, const std::string& name);

  bool Found() const { return found_; }
  DWORD Type() const { return type_; }
  DWORD Size() const { return size_; }
  // Reads the data, Size() bytes at most; false when that fails.
  bool Read();
  // The data's first length bytes (length at most Size()), NULs included.
  std::string Bytes(size_t length) const;
  // The data up to, not including, its first NUL or the end of what was read.
  std::string Text() const;

 private:
  HKEY key_;
  std::string name_;
  bool found_ = false;
  DWORD type_ = REG_NONE;
  DWORD size_ = 0;
  DWORD read_ = 0;
  std::vector<char> data_;
};
