// Discovery of the drives on both transports, their letters and the
// description line.
#include "device_fixture.h"

using winsim::Api;

namespace {

using InventoryTest = DeviceTest;

struct Address {
  uint8_t adapter, target, lun;
};

void ExpectAddresses(const std::vector<Address>& expected) {
  ASSERT_EQ(expected.size(), cddrives.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(expected[i].adapter, cddrives[i].adapter) << "entry " << i;
    EXPECT_EQ(expected[i].target, cddrives[i].target) << "entry " << i;
    EXPECT_EQ(expected[i].lun, cddrives[i].lun) << "entry " << i;
  }
}

TEST_F(InventoryTest, PassThroughScanSkipsGapsAndKeepsDrivesWithoutAnAddress) {
  M().devices[winsim::AddCdRom(0, 1, 2, 3)]->failAddress = true;  // listed as 0:0:0
  M().devices[winsim::AddCdRom(2, 2, 1, 0)]->pathId = 7;          // the path id is not kept
  winsim::AddCdRom(200, 3, 0, 1);
  ASSERT_TRUE(InitAspiSpti(tpAuto));
  ExpectAddresses({{0, 0, 0}, {2, 1, 0}, {3, 0, 1}});
}

TEST_F(InventoryTest, AspiScanVisitsEveryAddressLunInnermost) {
  AspiForNonAdministrator();
  M().aspi.adapterCount = 2;
  ASSERT_TRUE(InitAspiSpti(tpAuto));
  const std::vector<aspiwire::Request> queries = AspiRequests(1);
  ASSERT_EQ(2u * 8 * 8, queries.size());
  for (size_t i = 0; i < queries.size(); ++i) {
    EXPECT_EQ(i / 64, queries[i].haId) << i;
    EXPECT_EQ(i / 8 % 8, queries[i].target) << i;
    EXPECT_EQ(i % 8, queries[i].lun) << i;
  }
}

TEST_F(InventoryTest, AspiListsCdRomDevicesInScanOrderOnly) {
  AspiForNonAdministrator();
  M().aspi.adapterCount = 2;
  winsim::AddAspiDrive(1, 0, 1);
  winsim::AddAspiDrive(0, 2, 0);
  winsim::AddAspiDrive(0, 0, 3);
  M().aspi.devices[winsim::AddAspiDrive(0, 1, 0)].deviceType = 0;  // a direct-access device
  M().aspi.devices[winsim::AddAspiDrive(0, 1, 1)].queryFails = true;
  winsim::AddAspiDrive(2, 0, 0);  // behind an adapter the library does not report
  ASSERT_TRUE(InitAspiSpti(tpAuto));
  ExpectAddresses({{0, 0, 3}, {0, 2, 0}, {1, 0, 1}});
}

TEST_F(InventoryTest, LettersOnNtComeFromPassThroughEvenOnAspi) {
  AspiForNonAdministrator();
  winsim::AddAspiDrive(0, 1, 0, 3);
  winsim::AddCdRom(0, 0, 1, 0, 'E');  // port 0 matches ASPI adapter 0 here
  winsim::AddAspiDrive(0, 2, 0, 4);   // no pass-through device reports 0:2:0
  ASSERT_TRUE(InitAspiSpti(tpAuto));
  ASSERT_EQ(tpAspi, activetransport);
  ASSERT_EQ(2u, cddrives.size());
  EXPECT_EQ('E', cddrives[0].letter);
  EXPECT_EQ(' ', cddrives[1].letter);
  EXPECT_TRUE(AspiRequests(6).empty()) << "disk-information query sent";
}

TEST_F(InventoryTest, LettersOnNonNtComeFromTheLibrary) {
  winsim::SetNonNT();
  M().aspiPresent = true;
  winsim::AddAspiDrive(0, 1, 0, 4);
  M().aspi.devices[winsim::AddAspiDrive(0, 2, 0, 5)].queryFails = true;
  winsim::AddAspiDrive(0, 3, 0, 0xFF);  // no DOS drive number
  winsim::AddCdRom(0, 0, 1, 0, 'X');    // never asked on this platform
  ASSERT_TRUE(InitAspiSpti(tpAuto));
  ASSERT_EQ(2u, cddrives.size());  // the failing one answers type 31 too
  EXPECT_EQ('E', cddrives[0].letter);
  EXPECT_EQ("0:3:0 ACME     DVD-RW X1        1.0  (:)", cddrives[1].description);
  EXPECT_EQ(0, Calls(Api::GetDriveTypeA));
  EXPECT_EQ(0, Calls(Api::CreateFileA));
}

TEST_F(InventoryTest, IdentifiesEachDriveWithInquiryAndDescribesItByAddress) {
  const size_t index = winsim::AddCdRom(0, 1, 0, 0, 'E');
  DeviceDrive(index).vendor = "ACME    ";
  DeviceDrive(index).product = "DVD-RW X1       ";
  DeviceDrive(index).revision = "1.0 ";
  winsim::AddCdRom(1, 1, 1, 0);  // the same identification elsewhere
  ASSERT_TRUE(InitAspiSpti(tpAuto));
  ASSERT_EQ(2u, cddrives.size());
  const tcddriveinfo& info = cddrives[0];
  EXPECT_EQ("ACME    ", info.vendor);  // kept as read
  EXPECT_EQ("DVD-RW X1       ", info.product);
  EXPECT_EQ("1.0 ", info.revision);
  EXPECT_EQ('E', info.letter);
  EXPECT_EQ("1:0:0 ACME     DVD-RW X1        1.0  (E:)", info.description);
  EXPECT_EQ("1:1:0 ACME     DVD-RW X1        1.0  (:)", cddrives[1].description);
}

TEST_F(InventoryTest, FailedInquiryKeepsNulFieldsAndPrintsThemEmpty) {
  DeviceDrive(winsim::AddCdRom(0, 1, 0, 0)).SetFault(0x12, simdrive::Fault::CheckCondition);
  ASSERT_TRUE(InitAspiSpti(tpAuto));
  ASSERT_EQ(1u, cddrives.size());
  EXPECT_EQ(std::string(8, '\0'), cddrives[0].vendor);
  EXPECT_EQ(std::string(16, '\0'), cddrives[0].product);
  EXPECT_EQ(std::string(4, '\0'), cddrives[0].revision);
  EXPECT_EQ("1:0:0" + std::string(1 + 8 + 1 + 16 + 1 + 4, ' ') + " (:)", cddrives[0].description);
}

TEST_F(InventoryTest, DescriptionTrimsBlanksAndControlsButNotHighBytes) {
  auto info = [](uint8_t a, uint8_t t, uint8_t l, std::string v, std::string p, std::string r,
                 char letter) {
    tcddriveinfo i;
    i.adapter = a, i.target = t, i.lun = l;
    i.vendor = std::move(v), i.product = std::move(p), i.revision = std::move(r);
    i.letter = letter;
    return i;
  };
  const struct {
    tcddriveinfo info;
    std::string line;
  } cases[] = {
      {info(255, 7, 7, std::string("\0\t AB\x1f ", 7), " \r\nP\x01Q\x7f", std::string(4, '\0'), '\0'),
       std::string("255:7:7 AB       P\x01Q\x7f") + std::string(12 + 1 + 4 + 1, ' ') + "(:)"},
      {info(0, 0, 0, "\xA0Vendor\xE9", "\xFF", "\x80", 'Z'),
       "0:0:0 \xA0Vendor\xE9 \xFF                \x80    (Z:)"},
      {info(2, 3, 4, "LONGERVENDOR", "A PRODUCT LONGER THAN 16", "REV12", ' '),
       "2:3:4 LONGERVENDOR A PRODUCT LONGER THAN 16 REV12 (:)"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.line, FormatDescription(c.info));
}

TEST_F(InventoryTest, DiscoveryStopsAt255DrivesOnBothTransports) {
  for (ttransport transport : {tpSpti, tpAspi}) {
    SCOPED_TRACE(transport == tpSpti ? "pass-through" : "ASPI");
    Fresh();
    if (transport == tpAspi) AspiForNonAdministrator();
    M().aspi.adapterCount = 5;  // 320 addresses
    for (int i = 0; i < 300; ++i) {
      const auto a = static_cast<uint8_t>(i / 64), t = static_cast<uint8_t>(i / 8 % 8),
                 l = static_cast<uint8_t>(i % 8);
      transport == tpSpti ? winsim::AddCdRom(i, a, t, l) : winsim::AddAspiDrive(a, t, l);
    }
    ASSERT_TRUE(InitAspiSpti(tpAuto));
    ASSERT_EQ(transport, activetransport);
    ASSERT_EQ(255u, cddrives.size());
    EXPECT_EQ("3:7:6 ", cddrives[254].description.substr(0, 6));  // address 254 in scan order
  }
}

}  // namespace
