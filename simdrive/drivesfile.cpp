#include "simdrive/drivesfile.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <utility>

namespace e2edrives {
namespace {

std::string Trim(const std::string& s) {
  const auto first = s.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  const auto last = s.find_last_not_of(" \t\r");
  return s.substr(first, last - first + 1);
}

bool ParseNumber(const std::string& text, unsigned long max, unsigned long& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  value = std::strtoul(text.c_str(), &end, 0);
  return *end == '\0' && value <= max;
}

// A number no greater than max into a narrower field.
template <typename T>
bool ParseInto(const std::string& text, unsigned long max, T& field) {
  unsigned long value;
  if (!ParseNumber(text, max, value)) return false;
  field = T(value);
  return true;
}

bool ParseAddress(const std::string& text, aspiwire::Device& device) {
  const auto c1 = text.find(':');
  const auto c2 = text.find(':', c1 == std::string::npos ? c1 : c1 + 1);
  if (c1 == std::string::npos || c2 == std::string::npos) return false;
  return ParseInto(text.substr(0, c1), 255, device.adapter) &&
         ParseInto(text.substr(c1 + 1, c2 - c1 - 1), 255, device.target) &&
         ParseInto(text.substr(c2 + 1), 255, device.lun);
}

// The text between the first and the last double quote, blanks kept.
bool ParseQuoted(const std::string& text, std::string& out) {
  const auto open = text.find('"');
  const auto close = text.rfind('"');
  if (open == std::string::npos || close == open) return false;
  out = text.substr(open + 1, close - open - 1);
  return true;
}

bool ParseSpeeds(const std::string& text, std::vector<uint16_t>& speeds) {
  speeds.clear();
  std::istringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) {
    unsigned long v;
    if (!ParseNumber(Trim(item), 65535, v)) return false;
    speeds.push_back(uint16_t(v));
  }
  return !speeds.empty();
}

// One of the words of a table into its value.
template <typename T, size_t N>
bool ParseWord(const std::string& text, const std::pair<const char*, T> (&words)[N], T& value) {
  for (const auto& word : words) {
    if (text == word.first) {
      value = word.second;
      return true;
    }
  }
  return false;
}

bool ParseMedium(const std::string& text, uint16_t& profile) {
  static const std::pair<const char*, uint16_t> kMedia[] = {
      {"none", simdrive::kNoMedium}, {"cd", simdrive::kCdRom},
      {"cdr", simdrive::kCdR},       {"cdrw", simdrive::kCdRw},
      {"dvd", simdrive::kDvdRom},    {"dvd+r-dl", simdrive::kDvdPlusRDl},
      {"bd", simdrive::kBdRom}};
  return ParseWord(text, kMedia, profile) || ParseInto(text, 65535, profile);
}

bool ParseFault(const std::string& text, simdrive::Drive& drive) {
  static const std::pair<const char*, simdrive::Fault> kFaults[] = {
      {"check", simdrive::Fault::CheckCondition},
      {"notransfer", simdrive::Fault::NoTransfer},
      {"callfails", simdrive::Fault::CallFails}};
  std::istringstream in(text);
  std::string opcode, kind;
  in >> opcode >> kind;
  unsigned long op;
  simdrive::Fault fault;
  if (!ParseNumber("0x" + opcode, 255, op) || !ParseWord(kind, kFaults, fault)) return false;
  drive.SetFault(uint8_t(op), fault);
  return true;
}

// "PATH MAJOR:MINOR"; the path may not hold blanks.
bool ParseNode(const std::string& text, Node& node) {
  const auto space = text.find_last_of(" \t");
  if (space == std::string::npos) return false;
  const std::string numbers = text.substr(space + 1);
  const auto colon = numbers.find(':');
  unsigned long major, minor;
  if (colon == std::string::npos || !ParseNumber(numbers.substr(0, colon), 4095, major) ||
      !ParseNumber(numbers.substr(colon + 1), 1048575, minor))
    return false;
  node.path = Trim(text.substr(0, space));
  node.major = unsigned(major);
  node.minor = unsigned(minor);
  return !node.path.empty() && node.path.find_first_of(" \t") == std::string::npos;
}

// One setting of the current device; false when the key or value is unknown.
bool ParseDeviceSetting(const std::string& key, const std::string& value, aspiwire::Device& device,
                        simdrive::Drive& drive, Node& node) {
  if (key == "node") return ParseNode(value, node);
  if (key == "channel") return ParseInto(value, 255, node.channel);
  if (key == "vendor") return ParseQuoted(value, drive.vendor);
  if (key == "product") return ParseQuoted(value, drive.product);
  if (key == "revision") return ParseQuoted(value, drive.revision);
  if (key == "letter") {
    if (value == "none") {
      device.driveNumber = 0xFF;
      return true;
    }
    if (value.size() != 1 || value[0] < 'A' || value[0] > 'Z') return false;
    device.driveNumber = uint8_t(value[0] - 'A');
    return true;
  }
  if (key == "medium") return ParseMedium(value, drive.profile);
  if (key == "cd-speeds") return ParseSpeeds(value, drive.cdSpeeds);
  if (key == "dvd-speeds") return ParseSpeeds(value, drive.dvdSpeeds);
  if (key == "current") return ParseInto(value, 65535, drive.currentSpeed);
  if (key == "ignores-set-speed") {
    drive.ignoresSetSpeed = true;
    return value.empty();
  }
  if (key == "fault") return ParseFault(value, drive);
  if (key == "device-type") return ParseInto(value, 255, device.deviceType);
  if (key == "query-fails") {
    device.queryFails = true;
    return value.empty();
  }
  if (key == "no-mmc") {
    device.drive = nullptr;
    return true;
  }
  return false;
}

bool ParseGlobalSetting(const std::string& key, const std::string& value, Setup& setup) {
  if (key == "adapters") return ParseInto(value, 255, setup.library.adapterCount);
  if (key == "support-status") return ParseInto(value, 255, setup.library.supportStatus);
  if (key == "complete") {
    static const std::pair<const char*, Completion> kCompletions[] = {
        {"pending", Completion::Pending},
        {"signalled", Completion::Signalled},
        {"atonce", Completion::AtOnce}};
    if (!ParseWord(value, kCompletions, setup.completion)) return false;
    setup.library.completeAtOnce = setup.completion == Completion::AtOnce;
    return true;
  }
  if (key == "complete-delay-ms") return ParseInto(value, 10000, setup.completeDelayMs);
  if (key == "over-pass-through") {
    setup.library.overPassThrough = true;
    return value.empty();
  }
  return false;
}

}  // namespace

bool ParseDrives(const std::string& text, Setup& setup, std::string& error) {
  std::istringstream in(text);
  std::string line;
  int number = 0;
  aspiwire::Device* device = nullptr;
  while (std::getline(in, line)) {
    ++number;
    const auto hash = line.find('#');
    const auto quote = line.find('"');
    if (hash != std::string::npos && (quote == std::string::npos || hash < quote)) line.erase(hash);
    line = Trim(line);
    if (line.empty()) continue;
    const auto space = line.find_first_of(" \t");
    const std::string key = line.substr(0, space);
    const std::string value = space == std::string::npos ? "" : Trim(line.substr(space));
    bool ok;
    if (key == "drive") {
      setup.drives.emplace_back();
      aspiwire::Device d;
      d.drive = &setup.drives.back();
      ok = ParseAddress(value, d);
      setup.library.devices.push_back(d);
      setup.nodes.emplace_back();
      device = &setup.library.devices.back();
    } else if (device) {
      ok = ParseDeviceSetting(key, value, *device, setup.drives.back(), setup.nodes.back());
    } else {
      ok = ParseGlobalSetting(key, value, setup);
    }
    if (!ok) {
      error = "line " + std::to_string(number) + ": " + line;
      return false;
    }
  }
  return true;
}

void ApplyState(const std::string& text, aspiwire::Library& library) {
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string address;
    fields >> address;
    aspiwire::Device parsed;
    if (!ParseAddress(address, parsed)) continue;
    aspiwire::Device* device = library.Find(parsed.adapter, parsed.target, parsed.lun);
    if (!device || !device->drive) continue;
    std::string field;
    while (fields >> field) {
      const auto eq = field.find('=');
      if (eq == std::string::npos) continue;
      const std::string name = field.substr(0, eq), value = field.substr(eq + 1);
      if (name == "profile") ParseMedium(value, device->drive->profile);
      if (name == "speed") ParseInto(value, 65535, device->drive->currentSpeed);
      if (name == "tray") ParseInto(value, 65535, device->drive->trayOpen);
    }
  }
}

std::string FormatState(const aspiwire::Library& library) {
  std::string text;
  for (const auto& d : library.devices) {
    if (!d.drive) continue;
    text += std::to_string(d.adapter) + ":" + std::to_string(d.target) + ":" + std::to_string(d.lun) +
            " speed=" + std::to_string(d.drive->currentSpeed) + " profile=" + std::to_string(d.drive->profile) +
            " tray=" + (d.drive->trayOpen ? "1" : "0") + "\n";
  }
  return text;
}

std::string ReadWhole(const std::string& path) {
  std::string text;
  if (FILE* f = path.empty() ? nullptr : std::fopen(path.c_str(), "rb")) {
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) text.append(chunk, n);
    std::fclose(f);
  }
  return text;
}

void WriteWhole(const std::string& path, const std::string& text, const char* mode) {
  if (FILE* f = path.empty() ? nullptr : std::fopen(path.c_str(), mode)) {
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
}

}  // namespace e2edrives
