#include "ui/speedlist.h"

#include <windows.h>

#include <string>

#include "scsi/winhandles.h"
#include "ui/errors.h"
#include "ui/regvalue.h"

const char* const kSpeedListKeyPath = "\\Software\\Orun\\Kelvarin";

namespace {

std::string Formatted(const char* before, const std::string& name, const char* after) {
  return std::string(before) + name + after;
}

// One key under a root, held for a single read or write and closed on every
// path, without flushing.
class tregistry {
 public:
  explicit tregistry(HKEY root) : root_(root) {}

  // The registry refuses a sub-key path with a leading backslash, so an
  // absolute path is taken relative to the root here.
  bool OpenKey(const std::string& path, bool canCreate) {
    const std::string sub = (!path.empty() && path[0] == '\\') ? path.substr(1) : path;
    HKEY key = nullptr;
    LSTATUS status;
    if (canCreate) {
      DWORD disposition = 0;
      status = RegCreateKeyExA(root_, sub.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                               KEY_ALL_ACCESS, nullptr, &key, &disposition);
    } else {
      status = RegOpenKeyExA(root_, sub.c_str(), 0, KEY_ALL_ACCESS, &key);
    }
    if (status != ERROR_SUCCESS) return false;
    key_.reset(key);
    return true;
  }

  std::string ReadString(const std::string& name) {
    tregvalue value(key_.get(), name);
    if (!value.Found() || value.Size() == 0) return std::string();
    if (!value.Read()) throw ERegistryException(Formatted("Failed to get data for '", name, "'"));
    if (value.Type() != REG_SZ && value.Type() != REG_EXPAND_SZ)
      throw ERegistryException(Formatted("Invalid data type for '", name, "'"));
    return value.Text();
  }

  void WriteString(const std::string& name, const std::string& text) {
    if (RegSetValueExA(key_.get(), name.c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>(text.size() + 1)) != ERROR_SUCCESS)
      throw ERegistryException(Formatted("Failed to set data for '", name, "'"));
  }

 private:
  HKEY root_;
  unique_key key_;
};

}  // namespace

std::string SpeedListKey(const std::string& description, uint8_t mediaclass) {
  return mediaclass == kMediaDvd ? description + " DVD" : description;
}

std::string FormatSpeedList(const tdynwordarray& speeds) {
  std::string text = std::string("65535") + kFieldDelimiter;
  for (size_t i = 0; i < speeds.size(); ++i) {
    text += std::to_string(speeds[i]);
    if (i + 1 < speeds.size()) text += kFieldDelimiter;
  }
  return text;
}

std::string ReadSpeedList(const std::string& name) {
  tregistry registry(HKEY_CURRENT_USER);
  if (!registry.OpenKey(kSpeedListKeyPath, false)) return std::string();
  return registry.ReadString(name);
}

void WriteSpeedList(const std::string& name, const std::string& list) {
  tregistry registry(HKEY_CURRENT_USER);
  if (!registry.OpenKey(kSpeedListKeyPath, true)) return;
  registry.WriteString(name, list);
}
