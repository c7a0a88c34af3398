#include "report/MachineId.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "base/Md5.h"
#include "base/TextConvert.h"
#include "tests/support/TestSupport.h"

using namespace OrvoMacID;
using testing_support::ReadFileBytes;
using testing_support::ScratchDir;
using testing_support::WriteFileBytes;

namespace {

std::string Hash(const std::string& text) { return Md5Hex(text.data(), text.size()); }

MachineFacts Machine(MacAddress mac, std::optional<DiskDescription> disk, std::string brand) {
  MachineFacts facts;
  facts.mac = mac;
  facts.disk = std::move(disk);
  facts.processorBrand = std::move(brand);
  return facts;
}

const MacAddress kMacA = {0x00, 0x0C, 0x29, 0x01, 0x02, 0x03};
const MacAddress kMacB = {0x00, 0x0C, 0x29, 0x0A, 0x0B, 0x0C};
const DiskDescription kDiskA{"WD-1", "WDC", "01"};
const DiskDescription kDiskB{"S3Z", "Samsung", "2B6Q"};

// A user's application-data folder of this test.
class Profile {
 public:
  std::string folder() const { return WideToAnsi(dir_.path()); }
  std::wstring file() const { return dir_.path() + L"\\Quenlo\\DeskUpdate\\GlobalMgr.db"; }
  std::string text() const { return ReadFileBytes(file()); }
  MachineIdBytes Run(const MachineFacts& facts) const { return MachineIdFromFacts(facts, folder()); }

 private:
  ScratchDir dir_;
};

}  // namespace

TEST(MachineIdTest, NoHardwareGivesTheFixedAddressIdentifier) {
  const Profile profile;
  const MachineIdBytes id = profile.Run(Machine(kFallbackMac, std::nullopt, ""));
  EXPECT_EQ(MachineIdText(id), Hash("1a2b3c4d5e6f"));
  EXPECT_EQ(profile.text(), "[Profile]\r\nconfig1=" + Hash("1a2b3c4d5e6f") + "\r\nconfig2=" + Hash("1a2b3c4d5e6f") +
                                "\r\nconfig3=\r\nconfig4=\r\nconfig5=1\r\n");
}

TEST(MachineIdTest, SecondRunReadsTheStoredIdentifier) {
  const Profile profile;
  const MachineFacts facts = Machine(kMacA, kDiskA, "Brand X");
  const MachineIdBytes first = profile.Run(facts);
  EXPECT_EQ(MachineIdText(first), Hash(AdapterText(kMacA) + "WD-1WDC01"));

  // An identifier the hardware would not give shows it is read, not recomputed.
  std::string text = profile.text();
  const std::string planted = "0123456789abcdef0123456789abcdef";
  text.replace(text.find(MachineIdText(first)), 32, planted);
  ASSERT_TRUE(WriteFileBytes(profile.file(), text));
  EXPECT_EQ(MachineIdText(profile.Run(facts)), planted);
  EXPECT_EQ(profile.text(), text);  // left unchanged
}

TEST(MachineIdTest, HardwareChanges) {
  const Profile profile;
  const MachineIdBytes original = profile.Run(Machine(kMacA, kDiskA, "Brand X"));
  // Disk replaced, adapter and processor kept: same identifier.
  EXPECT_EQ(profile.Run(Machine(kMacA, kDiskB, "Brand X")), original);
  // Adapter replaced as well: a new one.
  const MachineIdBytes replaced = profile.Run(Machine(kMacB, DiskDescription{"N", "M", "F"}, "Brand X"));
  EXPECT_NE(replaced, original);
  EXPECT_EQ(MachineIdText(replaced), Hash(AdapterText(kMacB) + "NMF" + "Brand X"));
  EXPECT_EQ(profile.Run(Machine(kMacB, DiskDescription{"N", "M", "F"}, "Brand X")), replaced);
  // Another processor: always a new one, even with adapter and disk kept.
  const MachineIdBytes other = profile.Run(Machine(kMacB, DiskDescription{"N", "M", "F"}, "Brand Y"));
  EXPECT_NE(other, replaced);
  EXPECT_NE(other, original);
}

TEST(MachineIdTest, ShortStoredIdentifierIsNotReused) {
  const Profile profile;
  const MachineFacts facts = Machine(kMacA, kDiskA, "Brand X");
  const MachineIdBytes first = profile.Run(facts);
  std::string text = profile.text();
  text.replace(text.find(MachineIdText(first)), 32, "0123456789abcdef0123456789abcde");  // 31
  ASSERT_TRUE(WriteFileBytes(profile.file(), text));
  const MachineIdBytes again = profile.Run(facts);
  EXPECT_EQ(again, first);  // computed anew, without the processor
  EXPECT_NE(profile.text().find("config1=" + MachineIdText(first) + "\r\n"), std::string::npos);
}

TEST(MachineIdTest, OldProfileIsMigrated) {
  const Profile profile;
  const MachineFacts facts = Machine(kMacA, std::nullopt, "Brand X");
  profile.Run(facts);  // makes the folders
  const std::string adapterHash = Hash(AdapterText(kMacA));
  ASSERT_TRUE(WriteFileBytes(profile.file(), "[Profile]\r\nconfig1=" + Hash("old") + "\r\nconfig2=" + adapterHash + "\r\n"));
  const MachineIdBytes id = profile.Run(facts);
  EXPECT_EQ(MachineIdText(id), Hash(AdapterText(kMacA) + "Brand X"));
  EXPECT_EQ(profile.text(), "[Profile]\r\nconfig1=" + MachineIdText(id) + "\r\nconfig2=" + adapterHash +
                                "\r\nconfig3=\r\nconfig4=" + Hash("Brand X") + "\r\nconfig5=1\r\n");
  EXPECT_EQ(profile.Run(facts), id);  // and kept from then on
}

TEST(MachineIdTest, LongerProfileIsRewrittenWhole) {
  const Profile profile;
  const MachineFacts facts = Machine(kMacA, kDiskA, "Brand X");
  profile.Run(facts);
  ASSERT_TRUE(WriteFileBytes(profile.file(), "[Profile]\r\nconfig1=short\r\n" + std::string(5000, ';') + "\r\n"));
  const MachineIdBytes id = profile.Run(facts);
  EXPECT_EQ(profile.text(), FormatProfile(id, HashMachineFacts(facts)));
}

TEST(MachineIdTest, UnusableProfileFolderStillGivesAnIdentifier) {
  const Profile profile;
  ASSERT_TRUE(WriteFileBytes(AnsiToWide(profile.folder()) + L"\\Quenlo", "a file where the folder goes"));
  const MachineIdBytes id = profile.Run(Machine(kMacA, kDiskA, "Brand X"));
  EXPECT_EQ(MachineIdText(id), Hash(AdapterText(kMacA) + "WD-1WDC01"));
  EXPECT_FALSE(testing_support::FileExists(profile.file()));
  EXPECT_EQ(MachineIdText(MachineIdFromFacts(Machine(kMacA, kDiskA, ""), "")), Hash(AdapterText(kMacA) + "WD-1WDC01"));
}

TEST(MachineIdTest, ConcurrentCallersShareOneComputation) {
  std::atomic<int> computations{0};
  std::atomic<bool> go{false};
  CSeqIDGenerator generator([&] {
    ++computations;
    // Hold the store busy so that the other caller arrives while it computes.
    while (!go.load()) SwitchToThread();
    MachineIdBytes id{};
    for (int i = 0; i < 16; ++i) id[i] = static_cast<std::uint8_t>(0xA0 + i);
    return id;
  });
  unsigned char first[16] = {}, second[16] = {};
  std::thread a([&] { EXPECT_TRUE(generator.Get(first)); });
  while (computations.load() == 0) SwitchToThread();
  std::thread b([&] { EXPECT_TRUE(generator.Get(second)); });
  go = true;
  a.join();
  b.join();
  EXPECT_EQ(computations.load(), 1);
  EXPECT_EQ(std::memcmp(first, second, 16), 0);
  EXPECT_EQ(first[0], 0xA0);
  unsigned char third[16] = {};
  generator.Get(third);
  EXPECT_EQ(computations.load(), 1);
  EXPECT_EQ(std::memcmp(first, third, 16), 0);
}

// Whatever the system under test offers (under Wine several queries give
// nothing), gathering ends in well-formed facts rather than a failure.
TEST(MachineIdTest, GatheringThisMachineGivesUsableFacts) {
  const MachineFacts facts = GatherMachineFacts();
  EXPECT_EQ(AdapterText(facts.mac).size(), 12u);
  EXPECT_NE(facts.mac, MacAddress{});
  EXPECT_LE(facts.processorBrand.size(), 48u);
  if (facts.disk) {
    EXPECT_FALSE((facts.disk->serial + facts.disk->model + facts.disk->firmware).empty());
  }
}
