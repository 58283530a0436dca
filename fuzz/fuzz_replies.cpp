// A drive that answers INQUIRY, MODE SENSE and GET CONFIGURATION with any
// bytes, on either transport: the inventory line, the current speed, the
// medium class, detection and the window's first refresh must follow from
// those bytes alone, and everything opened must be closed again.
//
// Input: byte 0 picks the transport; then three chunks, each a length byte
// followed by up to that many bytes: the INQUIRY, MODE SENSE and GET
// CONFIGURATION replies.
#include <windows.h>
#include <winsim.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "drive/tcddrive.h"
#include "fuzz/fuzzcheck.h"
#include "scsi/aspispti.h"
#include "tests/fakeview.h"
#include "ui/Unit1.h"
#include "ui/speedlist.h"

namespace {

std::vector<uint8_t> Chunk(const uint8_t*& data, size_t& size) {
  if (size == 0) return {};
  const size_t length = std::min<size_t>(data[0], size - 1);
  std::vector<uint8_t> chunk(data + 1, data + 1 + length);
  data += 1 + length;
  size -= 1 + length;
  return chunk;
}

// The reply as the program's buffer holds it: zero-filled, then as much as
// the drive sent up to the buffer's length.
std::vector<uint8_t> Received(const std::vector<uint8_t>& reply, size_t bufferLength) {
  std::vector<uint8_t> buffer(bufferLength, 0);
  std::copy_n(reply.begin(), std::min(reply.size(), bufferLength), buffer.begin());
  return buffer;
}

std::string Field(const std::vector<uint8_t>& reply, size_t offset, size_t width) {
  std::string text(reply.begin() + offset, reply.begin() + offset + width);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.pop_back();
  size_t first = 0;
  while (first < text.size() && static_cast<unsigned char>(text[first]) <= ' ') ++first;
  text.erase(0, first);
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

// The MMC profile list, read afresh, with the class each medium stands for:
// 0 CD, 1 DVD, 2 anything else. The DVD-RW dual layer and DVD-Download are
// DVDs the program does not count; numbers not listed (none, disks, MO,
// DDCD, FFFFh) are 2 as well.
constexpr struct {
  uint16_t profile;
  uint8_t mediaclass;
} kProfiles[] = {
    {0x0008, 0}, {0x0009, 0}, {0x000A, 0},  // CD-ROM, CD-R, CD-RW
    {0x0010, 1}, {0x0011, 1}, {0x0012, 1},  // DVD-ROM, DVD-R sequential, DVD-RAM
    {0x0013, 1}, {0x0014, 1}, {0x0015, 1}, {0x0016, 1},  // DVD-RW (both), DVD-R DL (both)
    {0x0017, 2}, {0x0018, 2},                            // DVD-RW DL, DVD-Download
    {0x001A, 1}, {0x001B, 1}, {0x002A, 1}, {0x002B, 1},  // DVD+RW, DVD+R, their dual layers
    {0x0040, 2}, {0x0041, 2}, {0x0042, 2}, {0x0043, 2},  // BD-ROM, BD-R SRM, RRM, BD-RE
    {0x0050, 2}, {0x0051, 2}, {0x0052, 2}, {0x0053, 2}, {0x0058, 2}, {0x005A, 2},  // HD DVD
};

uint8_t ReferenceClass(uint16_t profile) {
  for (const auto& entry : kProfiles)
    if (entry.profile == profile) return entry.mediaclass;
  return 2;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const bool spti = (data[0] & 1) == 0;
  ++data;
  --size;
  const std::vector<uint8_t> inquiry = Chunk(data, size);
  const std::vector<uint8_t> modeSense = Chunk(data, size);
  const std::vector<uint8_t> configuration = Chunk(data, size);

  winsim::Reset();
  winsim::Machine& m = winsim::machine();
  simdrive::Drive* drive;
  std::string address;
  if (spti) {
    winsim::AddCdRom(0, 1, 0, 0, 'E');
    drive = &m.devices[0]->drive;
    address = "1:0:0";
  } else {
    winsim::SetNonNT();
    m.aspiPresent = true;
    winsim::AddAspiDrive(0, 1, 0, 4);
    drive = &m.aspiDevices[0]->drive;
    address = "0:1:0";
  }
  drive->rawReplies = {{0x12, inquiry}, {0x5A, modeSense}, {0x46, configuration}};

  const std::vector<uint8_t> identity = Received(inquiry, 36);
  const std::string description = address + " " + Field(identity, 8, 8) + " " +
                                  Field(identity, 16, 16) + " " + Field(identity, 32, 4) + " (E:)";
  const std::vector<uint8_t> page = Received(modeSense, 24);
  const uint16_t speed = static_cast<uint16_t>(page[22] << 8 | page[23]);
  const std::vector<uint8_t> header = Received(configuration, 8);
  const uint8_t mediaclass = ReferenceClass(static_cast<uint16_t>(header[6] << 8 | header[7]));

  FUZZ_CHECK(InitAspiSpti(tpAuto), "no transport");
  FUZZ_CHECK(cddrives.size() == 1, "drives: " + std::to_string(cddrives.size()));
  FUZZ_CHECK(cddrives[0].description == description, cddrives[0].description);
  {
    tcddrive probe(cddrives[0].adapter, cddrives[0].target, cddrives[0].lun);
    FUZZ_CHECK(probe.GetCurrentSpeed() == speed, std::to_string(probe.GetCurrentSpeed()));
    FUZZ_CHECK(probe.GetMediaClass() == mediaclass, std::to_string(probe.GetMediaClass()));
    tdynwordarray speeds{1, 2, 3};
    probe.DetectSpeeds(speeds);
    FUZZ_CHECK(speeds == tdynwordarray{speed}, "detected " + std::to_string(speeds.size()));
  }
  DoneAspiSpti();
  FUZZ_CHECK(winsim::NothingOpen(), "open after the inventory");

  // The window: no list yet, so the question; Yes detects and stores the
  // one speed, and the refresh shows it, selected unless it is MAX.
  RecordingView view;
  view.answers = {true};  // Yes to the first detection question only
  TForm1 form(view);
  form.FormCreate();
  FUZZ_CHECK(view.drives.items == std::vector<std::string>{description}, "drive list");
  FUZZ_CHECK(view.errors.empty(), fuzzcheck::First(view.errors));
  FUZZ_CHECK(view.questions.size() == 1, "questions: " + std::to_string(view.questions.size()));
  std::string name = SpeedListKey(description, mediaclass);
  name.resize(name.find('\0') == std::string::npos ? name.size() : name.find('\0'));
  const winsim::RegValue* stored =
      winsim::GetValue(HKEY_CURRENT_USER, "Software\\Orun\\Kelvarin", name);
  const std::string list = "65535," + std::to_string(speed);
  FUZZ_CHECK(stored && std::string(stored->data.begin(), stored->data.end()) == list + '\0',
             "stored under " + name);
  const std::string shown = SpeedText(std::to_string(speed), mediaclass);
  FUZZ_CHECK(view.speeds.items == (std::vector<std::string>{"MAX", shown}), shown);
  FUZZ_CHECK(view.speeds.index == (speed == 0xFFFF ? -1 : 1), std::to_string(view.speeds.index));
  form.FormDestroy();
  FUZZ_CHECK(winsim::NothingOpen(), "open after the window");
  FUZZ_CHECK(m.count.loadedModules == 0, "library still loaded");
  FUZZ_CHECK(m.misuse.empty(), fuzzcheck::First(m.misuse));
  return 0;
}
