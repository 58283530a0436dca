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

void UseAspiAsNonAdministrator() {
  winsim::machine().token.member = false;
  winsim::machine().aspiPresent = true;
}

TEST_F(InventoryTest, PassThroughScanSkipsGapsInDeviceNumbers) {
  winsim::AddCdRom(0, 1, 0, 0);
  winsim::AddCdRom(2, 2, 1, 0);
  winsim::AddCdRom(200, 3, 0, 1);
  ASSERT_TRUE(InitAspiSpti(tpAuto));
  ExpectAddresses({{1, 0, 0}, {2, 1, 0}, {3, 0, 1}});
}

TEST_F(InventoryTest, PassThroughKeepsADriveWhoseAddressQueryFails) {
  const size_t index = winsim::AddCdRom(0, 1, 2, 3);
  M().devices[index]->failAddress = true;
  winsim::AddCdRom(1, 1, 0, 0);
  ASSERT_TRUE(InitAspiSpti(tpAuto));
  ExpectAddresses({{0, 0, 0}, {1, 0, 0}});
}

TEST_F(InventoryTest, PassThroughPathIdIsNotKept) {
  const size_t index = winsim::AddCdRom(0, 1, 2, 3);
  M().devices[index]->pathId = 7;
  ASSERT_TRUE(InitAspiSpti(tpAuto));
  ExpectAddresses({{1, 2, 3}});
}

TEST_F(InventoryTest, AspiScanVisitsEveryAddressLunInnermost) {
  UseAspiAsNonAdministrator();
  M().aspi.adapterCount = 2;
  ASSERT_TRUE(InitAspiSpti(tpAuto));
  std::vector<aspiwire::Request> queries;
  for (const aspiwire::Request& r : M().aspi.log)
    if (r.cmd == 1) queries.push_back(r);
  ASSERT_EQ(2u * 8 * 8, queries.size());
  for (size_t i = 0; i < queries.size(); ++i) {
    EXPECT_EQ(i / 64, queries[i].haId) << i;
    EXPECT_EQ(i / 8 % 8, queries[i].target) << i;
    EXPECT_EQ(i % 8, queries[i].lun) << i;
  }
}

TEST_F(InventoryTest, AspiListsCdRomDevicesInScanOrderOnly) {
  UseAspiAsNonAdministrator();
  M().aspi.adapterCount = 2;
  winsim::AddAspiDrive(1, 0, 1);
  winsim::AddAspiDrive(0, 2, 0);
  winsim::AddAspiDrive(0, 0, 3);
  const size_t disk = winsim::AddAspiDrive(0, 1, 0);
  M().aspi.devices[disk].deviceType = 0;  // a direct-access device
  const size_t silent = winsim::AddAspiDrive(0, 1, 1);
  M().aspi.devices[silent].queryFails = true;
  winsim::AddAspiDrive(2, 0, 0);  // behind an adapter the library does not report
  ASSERT_TRUE(InitAspiSpti(tpAuto));
  ExpectAddresses({{0, 0, 3}, {0, 2, 0}, {1, 0, 1}});
}

TEST_F(InventoryTest, LettersOnNtComeFromPassThroughEvenOnAspi) {
  UseAspiAsNonAdministrator();
  const size_t drive = winsim::AddAspiDrive(0, 1, 0, 3);
  (void)drive;
  winsim::AddCdRom(0, 0, 1, 0, 'E');  // port 0 matches ASPI adapter 0 here
  winsim::AddAspiDrive(0, 2, 0, 4);   // no pass-through device reports 0:2:0
  ASSERT_TRUE(InitAspiSpti(tpAuto));
  ASSERT_EQ(tpAspi, activetransport);
  ASSERT_EQ(2u, cddrives.size());
  EXPECT_EQ('E', cddrives[0].letter);
  EXPECT_EQ(' ', cddrives[1].letter);
  for (const aspiwire::Request& r : M().aspi.log) EXPECT_NE(6, r.cmd) << "disk-information query sent";
}

TEST_F(InventoryTest, LettersOnNonNtComeFromTheLibrary) {
  winsim::SetNonNT();
  M().aspiPresent = true;
  winsim::AddAspiDrive(0, 1, 0, 4);
  const size_t failing = winsim::AddAspiDrive(0, 2, 0, 5);
  M().aspi.devices[failing].queryFails = true;
  winsim::AddAspiDrive(0, 3, 0, 0xFF);  // no DOS drive number
  winsim::AddCdRom(0, 0, 1, 0, 'X');    // never asked on this platform
  ASSERT_TRUE(InitAspiSpti(tpAuto));
  ASSERT_EQ(2u, cddrives.size());  // the failing one answers type 31 too
  EXPECT_EQ('E', cddrives[0].letter);
  EXPECT_EQ(' ', cddrives[1].letter);
  EXPECT_EQ("0:3:0 ACME     DVD-RW X1        1.0  (:)", cddrives[1].description);
  EXPECT_EQ(0, Calls(Api::GetDriveTypeA));
  EXPECT_EQ(0, Calls(Api::CreateFileA));
}

TEST_F(InventoryTest, IdentifiesEachDriveWithInquiryAndDescribesIt) {
  const size_t index = winsim::AddCdRom(0, 1, 0, 0, 'E');
  DeviceDrive(index).vendor = "ACME    ";
  DeviceDrive(index).product = "DVD-RW X1       ";
  DeviceDrive(index).revision = "1.0 ";
  ASSERT_TRUE(InitAspiSpti(tpAuto));
  ASSERT_EQ(1u, cddrives.size());
  const tcddriveinfo& info = cddrives[0];
  EXPECT_EQ("ACME    ", info.vendor);  // kept as read
  EXPECT_EQ("DVD-RW X1       ", info.product);
  EXPECT_EQ("1.0 ", info.revision);
  EXPECT_EQ('E', info.letter);
  EXPECT_EQ("1:0:0 ACME     DVD-RW X1        1.0  (E:)", info.description);
}

TEST_F(InventoryTest, FailedInquiryKeepsNulFieldsAndPrintsThemEmpty) {
  const size_t index = winsim::AddCdRom(0, 1, 0, 0);
  DeviceDrive(index).SetFault(0x12, simdrive::Fault::CheckCondition);
  ASSERT_TRUE(InitAspiSpti(tpAuto));
  ASSERT_EQ(1u, cddrives.size());
  EXPECT_EQ(std::string(8, '\0'), cddrives[0].vendor);
  EXPECT_EQ(std::string(16, '\0'), cddrives[0].product);
  EXPECT_EQ(std::string(4, '\0'), cddrives[0].revision);
  EXPECT_EQ(' ', cddrives[0].letter);
  EXPECT_EQ("1:0:0 " + std::string(8, ' ') + ' ' + std::string(16, ' ') + ' ' +
                std::string(4, ' ') + " (:)",
            cddrives[0].description);
}

TEST_F(InventoryTest, SameIdentificationAtTwoAddressesGivesTwoDescriptions) {
  winsim::AddCdRom(0, 1, 0, 0);
  winsim::AddCdRom(1, 1, 1, 0);
  ASSERT_TRUE(InitAspiSpti(tpAuto));
  ASSERT_EQ(2u, cddrives.size());
  EXPECT_NE(cddrives[0].description, cddrives[1].description);
}

TEST_F(InventoryTest, DescriptionTrimsBlanksAndControlsButNotHighBytes) {
  struct Case {
    tcddriveinfo info;
    std::string line;
  };
  auto info = [](uint8_t a, uint8_t t, uint8_t l, std::string v, std::string p, std::string r,
                 char letter) {
    tcddriveinfo i;
    i.adapter = a, i.target = t, i.lun = l;
    i.vendor = std::move(v), i.product = std::move(p), i.revision = std::move(r);
    i.letter = letter;
    return i;
  };
  const Case cases[] = {
      {info(1, 0, 0, "ACME", "DVD-RW X1", "1.0", 'E'), "1:0:0 ACME     DVD-RW X1        1.0  (E:)"},
      {info(255, 7, 7, std::string("\0\t AB\x1f ", 7), " \r\nP\x01Q\x7f", std::string("\0\0\0\0", 4), '\0'),
       std::string("255:7:7 AB       P\x01Q\x7f") + std::string(12 + 1 + 4 + 1, ' ') + "(:)"},
      {info(0, 0, 0, "\xA0Vendor\xE9", "\xFF", "\x80", 'Z'),
       "0:0:0 \xA0Vendor\xE9 \xFF                \x80    (Z:)"},
      {info(2, 3, 4, "LONGERVENDOR", "A PRODUCT LONGER THAN 16", "REV12", ' '),
       "2:3:4 LONGERVENDOR A PRODUCT LONGER THAN 16 REV12 (:)"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.line, FormatDescription(c.info));
}

TEST_F(InventoryTest, AspiDiscoveryStopsAt255Drives) {
  UseAspiAsNonAdministrator();
  M().aspi.adapterCount = 5;  // 320 addresses
  for (int i = 0; i < 300; ++i)
    winsim::AddAspiDrive(static_cast<uint8_t>(i / 64), static_cast<uint8_t>(i / 8 % 8),
                         static_cast<uint8_t>(i % 8));
  ASSERT_TRUE(InitAspiSpti(tpAuto));
  ASSERT_EQ(255u, cddrives.size());
  EXPECT_EQ(3, cddrives[254].adapter);  // entry 254 is address 254 in scan order
  EXPECT_EQ(7, cddrives[254].target);
  EXPECT_EQ(6, cddrives[254].lun);
  EXPECT_EQ("3:7:6 ", cddrives[254].description.substr(0, 6));
}

TEST_F(InventoryTest, PassThroughDiscoveryStopsAt255Drives) {
  for (int i = 0; i < 300; ++i)
    winsim::AddCdRom(i, static_cast<uint8_t>(i / 64), static_cast<uint8_t>(i / 8 % 8),
                     static_cast<uint8_t>(i % 8));
  ASSERT_TRUE(InitAspiSpti(tpAuto));
  ASSERT_EQ(255u, cddrives.size());
  EXPECT_EQ(3, cddrives[254].adapter);
  EXPECT_EQ(7, cddrives[254].target);
  EXPECT_EQ(6, cddrives[254].lun);
}

}  // namespace
