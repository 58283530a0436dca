// The preloaded library's state: which plain files stand for device nodes,
// the drives behind them, their state file and the request log. Only the
// process whose command line names KELVARIN_SGDRIVE_PROGRAM takes part;
// in every other process that inherits the library it stays out of the way.
// Environment (Unix paths):
//   KELVARIN_SGDRIVE_DRIVES   the drives file (simdrive/drivesfile.h)
//   KELVARIN_SGDRIVE_LOG      every request on a node is appended here
//   KELVARIN_SGDRIVE_STATE    drive state kept across runs of the program
//   KELVARIN_SGDRIVE_PROGRAM  e.g. "kelvarin.exe"; unset: every process
#include "sgdrive.h"

#include <fcntl.h>
#include <linux/cdrom.h>
#include <linux/stat.h>
#include <scsi/scsi.h>
#include <scsi/sg.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "simdrive/drivesfile.h"
#include "simdrive/sgwire.h"

namespace {

struct Identity {
  unsigned devMajor = 0, devMinor = 0;
  unsigned long long ino = 0;
  bool operator==(const Identity& o) const {
    return devMajor == o.devMajor && devMinor == o.devMinor && ino == o.ino;
  }
};

struct Marker {
  Identity identity;
  size_t device;  // index into the library's devices
};

// Made on the first call, which may come before this library's own static
// constructors have run: only constant-initialised objects out here.
struct State {
  e2edrives::Setup setup;
  std::vector<Marker> markers;
  std::string logPath, statePath;
};

std::once_flag once;
std::mutex lock;
bool active = false;
State* state;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

void Log(const std::string& line) { e2edrives::WriteWhole(state->logPath, line + "\n", "ab"); }

// Straight to the kernel: the C library's stat calls are the ones this
// library answers, and statx's layout is the same on every architecture.
bool IdentityOf(int dirfd, const char* path, int flags, Identity& id) {
  struct statx stx;
  if (syscall(SYS_statx, dirfd, path, flags, STATX_INO, &stx) != 0) return false;
  id.devMajor = stx.stx_dev_major;
  id.devMinor = stx.stx_dev_minor;
  id.ino = stx.stx_ino;
  return true;
}

// The basename of any word of our command line, after '/' or '\'.
bool CommandLineNames(const std::string& program) {
  const int fd = open("/proc/self/cmdline", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  std::string text;
  char chunk[4096];
  ssize_t n;
  while ((n = read(fd, chunk, sizeof chunk)) > 0) text.append(chunk, size_t(n));
  close(fd);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\0', start);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(start, end - start);
    const auto slash = word.find_last_of("/\\");
    const std::string base = slash == std::string::npos ? word : word.substr(slash + 1);
    if (base.size() == program.size() && strncasecmp(base.c_str(), program.c_str(), base.size()) == 0)
      return true;
    start = end + 1;
  }
  return false;
}

void Load() {
  const std::string program = Env("KELVARIN_SGDRIVE_PROGRAM");
  const std::string drivesPath = Env("KELVARIN_SGDRIVE_DRIVES");
  if (drivesPath.empty() || (!program.empty() && !CommandLineNames(program))) return;
  state = new State;
  state->logPath = Env("KELVARIN_SGDRIVE_LOG");
  state->statePath = Env("KELVARIN_SGDRIVE_STATE");
  const std::string text = e2edrives::ReadWhole(drivesPath);
  std::string error;
  if (text.empty()) error = "cannot read drives file '" + drivesPath + "'";
  if (error.empty() && !e2edrives::ParseDrives(text, state->setup, error)) error = "drives file " + error;
  if (!error.empty()) {
    Log("ERROR " + error);
    return;
  }
  for (size_t i = 0; i < state->setup.nodes.size(); ++i) {
    const std::string& path = state->setup.nodes[i].path;
    if (path.empty()) continue;
    Marker m{{}, i};
    if (!IdentityOf(AT_FDCWD, path.c_str(), 0, m.identity)) {
      Log("ERROR cannot see node " + path);
      continue;
    }
    state->markers.push_back(m);
  }
  active = !state->markers.empty();
}

const Marker* Find(const Identity& id) {
  for (const Marker& m : state->markers)
    if (m.identity == id) return &m;
  return nullptr;
}

std::string AddressOf(const aspiwire::Device& d) {
  return std::to_string(d.adapter) + ":" + std::to_string(d.target) + ":" + std::to_string(d.lun);
}

sgwire::Target TargetOf(size_t index) {
  const aspiwire::Device& d = state->setup.library.devices[index];
  sgwire::Target t;
  t.drive = d.drive;
  t.host = d.adapter;
  t.channel = state->setup.nodes[index].channel;
  t.id = d.target;
  t.lun = d.lun;
  t.addressFails = d.queryFails;
  return t;
}

std::string Hex(unsigned long value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%04lx", value);
  return text;
}

std::string Result(const sgwire::Answer& a) {
  return a.ret == -1 ? "ret=-1 errno=" + std::to_string(a.error) : "ret=" + std::to_string(a.ret);
}

}  // namespace

extern "C" int sgdrive_node(unsigned dev_major, unsigned dev_minor, unsigned long long ino,
                            unsigned* major, unsigned* minor) {
  std::call_once(once, Load);
  if (!active) return 0;
  const Marker* m = Find(Identity{dev_major, dev_minor, ino});
  if (!m) return 0;
  *major = state->setup.nodes[m->device].major;
  *minor = state->setup.nodes[m->device].minor;
  return 1;
}

extern "C" int sgdrive_ioctl(int fd, unsigned long request, void* arg, int* result) {
  std::call_once(once, Load);
  if (!active) return 0;
  Identity id;
  if (!IdentityOf(fd, "", AT_EMPTY_PATH, id)) return 0;
  const Marker* m = Find(id);
  if (!m) return 0;

  std::lock_guard<std::mutex> held(lock);
  e2edrives::Setup& setup = state->setup;
  e2edrives::ApplyState(e2edrives::ReadWhole(state->statePath), setup.library);
  const sgwire::Target target = TargetOf(m->device);
  const std::string who = AddressOf(setup.library.devices[m->device]);
  sgwire::Answer a;
  switch (request) {
    case SG_IO: {
      auto* h = static_cast<sg_io_hdr_t*>(arg);
      if (!h) {
        a = sgwire::Answer{-1, EFAULT};
        Log("SGIO " + who + " null -> " + Result(a));
        break;
      }
      a = sgwire::SgIo(target, *h);
      Log("SGIO " + who + " " + sgwire::DescribeSgIo(*h, a) + (target.drive ? " " + target.drive->Describe() : ""));
      e2edrives::WriteWhole(state->statePath, e2edrives::FormatState(setup.library), "wb");
      break;
    }
    case SG_GET_VERSION_NUM:
      if (arg) {
        const int version = 30527;
        std::memcpy(arg, &version, sizeof version);
      } else {
        a = sgwire::Answer{-1, EFAULT};
      }
      Log("VERSION " + who + " -> " + Result(a));
      break;
    case SCSI_IOCTL_GET_IDLUN:
      a = sgwire::IdLun(target, arg);
      Log("IDLUN " + who + " -> " + Result(a));
      break;
    case SCSI_IOCTL_GET_BUS_NUMBER:
      a = sgwire::BusNumber(target, arg);
      Log("BUSNUMBER " + who + " -> " + Result(a));
      break;
    case CDROM_DRIVE_STATUS:
      a = sgwire::DriveStatus(target);
      Log("DRIVESTATUS " + who + " -> " + Result(a));
      break;
    case CDROM_GET_CAPABILITY:
      a = sgwire::Capability(target);
      Log("CAPABILITY " + who + " -> " + Result(a));
      break;
    default:
      // Anything else reaches the plain file, as unanswered: logged so that
      // a scenario sees what Wine asked.
      Log("IOCTL " + who + " " + Hex(request) + " passed on");
      return 0;
  }
  *result = a.ret;
  if (a.ret == -1) errno = a.error;
  return 1;
}
