#include "report/MachineIdRules.h"

#include <gtest/gtest.h>

#include <cctype>

#include "base/Md5.h"

using namespace OrvoMacID;

namespace {

std::string Hash(const std::string& text) { return Md5Hex(text.data(), text.size()); }

// A 512-byte identify block with text laid into words first..last, two
// characters per word, high byte first.
void PutIdentifyText(std::array<std::uint8_t, 512>& block, int firstWord, int lastWord, const std::string& text) {
  for (int word = firstWord; word <= lastWord; ++word) {
    const size_t at = static_cast<size_t>(word - firstWord) * 2;
    block[2 * word + 1] = at < text.size() ? static_cast<std::uint8_t>(text[at]) : ' ';
    block[2 * word] = at + 1 < text.size() ? static_cast<std::uint8_t>(text[at + 1]) : ' ';
  }
}

}  // namespace

TEST(MachineIdRulesTest, TextForms) {
  MachineIdBytes id{};
  for (int i = 0; i < 16; ++i) id[i] = static_cast<std::uint8_t>(i * 0x11);
  EXPECT_EQ(MachineIdText(id), "00112233445566778899aabbccddeeff");
  id = {0x0A, 0x01};
  EXPECT_EQ(MachineIdText(id), "0a010000000000000000000000000000");
  EXPECT_EQ(AdapterText(kFallbackMac), "1a2b3c4d5e6f");
  EXPECT_EQ(AdapterText({0x00, 0x0C, 0x29, 0xAB, 0xCD, 0xEF}), "000c29abcdef");
}

TEST(MachineIdRulesTest, IdentifyDataWords) {
  std::array<std::uint8_t, 512> block{};
  PutIdentifyText(block, 10, 19, "  WD-WCC4N1234567");
  PutIdentifyText(block, 23, 26, "01.01A0");
  PutIdentifyText(block, 27, 46, "WDC WD10EZEX-08WN4A0");
  const DiskDescription disk = DecodeIdentifyData(block);
  EXPECT_EQ(disk.serial, "  WD-WCC4N1234567");  // leading spaces stay, trailing ones go
  EXPECT_EQ(disk.firmware, "01.01A0");
  EXPECT_EQ(disk.model, "WDC WD10EZEX-08WN4A0");

  block = {};
  block[2 * 10 + 1] = 'A';  // high byte of word 10 comes first
  block[2 * 10] = 'B';
  EXPECT_EQ(DecodeIdentifyData(block).serial, "AB");  // zero bytes end the text
  EXPECT_EQ(DecodeIdentifyData(block).model, "");
}

TEST(MachineIdRulesTest, DescriptorStrings) {
  struct Case {
    std::string text;  // at offset 4, then a zero
    bool swap;
    std::string expected;
  } const kCases[] = {
      {"5744433132", false, "WDC12"},          // hex pairs
      {"2020574420", false, "WD"},             // spaces decoded, then trimmed
      {"  5744", false, ""},                   // a space pair decodes to zero, which ends the text
      {"414200434445", false, "AB"},           // a decoded zero ends the text
      {"3231", true, "12"},                    // hex, then pairs swapped
      {"BADC", true, "ABCD"},                  // 0xBA is unprintable: taken as written, swapped
      {"ST1000DM003-1CH1", false, "ST1000DM003-1CH1"},
      {" Samsung SSD 860 ", false, "Samsung SSD 860"},
      {"ABC", false, "ABC"},                   // half a pair: not hex text
      {"S3Z9NB0K", true, "3S9ZBNK0"},
      {"", false, ""},
      {"AB\x01" "CD", false, ""},              // unprintable before the end: nothing
  };
  for (const Case& c : kCases) {
    std::vector<std::uint8_t> descriptor(4, 0xEE);
    descriptor.insert(descriptor.end(), c.text.begin(), c.text.end());
    descriptor.push_back(0);
    EXPECT_EQ(CleanDescriptorString(descriptor, 4, c.swap), c.expected) << c.text;
  }
  const std::vector<std::uint8_t> descriptor = {'x', 'A', 'B', 0};
  EXPECT_EQ(CleanDescriptorString(descriptor, 0, false), "");   // no string
  EXPECT_EQ(CleanDescriptorString(descriptor, 4, false), "");   // past the end
  EXPECT_EQ(CleanDescriptorString(descriptor, 900, false), "");
  const std::vector<std::uint8_t> unterminated = {0, 'Q', 'R', 'S'};
  EXPECT_EQ(CleanDescriptorString(unterminated, 1, false), "");  // cut off by the buffer's end

  EXPECT_TRUE(IsUsableDescriptorSerial("S3Z9"));
  EXPECT_FALSE(IsUsableDescriptorSerial(""));
  EXPECT_FALSE(IsUsableDescriptorSerial("-"));
  EXPECT_TRUE(IsUsableDescriptorSerial("-------------------9"));
  EXPECT_FALSE(IsUsableDescriptorSerial("-------------------"));
}

TEST(MachineIdRulesTest, AdapterClassAndChoice) {
  EXPECT_EQ(AdapterClass(true, 1, "PCI\\VEN_8086&DEV_15B8"), 0);
  EXPECT_EQ(AdapterClass(true, 2, "PCI\\VEN_8086"), 1);
  EXPECT_EQ(AdapterClass(true, 1, "USB\\VID_0B95"), 2);
  EXPECT_EQ(AdapterClass(true, 1, "pci\\ven_8086"), 2);
  EXPECT_EQ(AdapterClass(true, 7, "PCI\\VEN_8086"), 3);
  EXPECT_EQ(AdapterClass(false, 1, "PCI\\VEN_8086"), 3);

  const MacAddress a = {1, 0, 0, 0, 0, 1}, b = {2, 0, 0, 0, 0, 2}, c = {3, 0, 0, 0, 0, 3};
  struct Case {
    std::vector<AdapterFacts> adapters;
    std::optional<MacAddress> expected;
  } const kCases[] = {
      {{}, std::nullopt},
      {{{71, a, 3}}, a},                             // the first is taken whatever it is
      {{{71, a, 1}, {6, b, 0}}, b},                  // a wired PCI adapter beats wireless
      {{{71, a, 3}, {71, b, 0}}, a},                 // only Ethernet or type 23 replace
      {{{6, a, 2}, {23, b, 1}, {6, c, 1}}, b},       // strictly better only
      {{{6, a, 0}, {6, b, 0}}, a},
      {{{6, MacAddress{}, 3}}, std::nullopt},        // all zeros is no address
      {{{6, MacAddress{}, 3}, {6, b, 0}}, b},
  };
  for (size_t i = 0; i < std::size(kCases); ++i) {
    EXPECT_EQ(ChooseAdapterAddress(kCases[i].adapters), kCases[i].expected) << "case " << i;
  }
}

TEST(MachineIdRulesTest, BrandFromRegisters) {
  const std::string brand = "Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz";
  std::array<std::uint32_t, 12> registers{};
  for (size_t i = 0; i < brand.size(); ++i) {
    registers[i / 4] |= static_cast<std::uint32_t>(static_cast<unsigned char>(brand[i])) << (8 * (i % 4));
  }
  EXPECT_EQ(BrandFromCpuidRegisters(registers), brand);
  registers.fill(0x41414141);  // 48 characters with no zero among them
  EXPECT_EQ(BrandFromCpuidRegisters(registers), std::string(48, 'A'));
  registers.fill(0);
  EXPECT_EQ(BrandFromCpuidRegisters(registers), "");
}

TEST(MachineIdRulesTest, ProfileParsing) {
  const StoredProfile p = ParseProfile(
      "; note\r\n[Other]\r\nconfig1=nope\r\n[ profile ]\r\nCONFIG1 = 0123456789abcdef0123456789abcdef99\r\n"
      "config2=aa\r\nconfig2=bb\r\nconfig3=\r\nconfig4=  dd  \nconfig5=12x\r\n");
  EXPECT_EQ(p.config1, "0123456789abcdef0123456789abcdef");  // cut to the 33-byte buffer
  EXPECT_EQ(p.config2, "aa");                                // the first entry wins
  EXPECT_EQ(p.config3, "");
  EXPECT_EQ(p.config4, "dd");
  EXPECT_EQ(p.config5, 12);
  EXPECT_EQ(ParseProfile("[Profile]\r\nconfig5=abc\r\n").config5, 0);
  EXPECT_EQ(ParseProfile("config1=x\r\n").config1, "");  // outside any section
  EXPECT_EQ(ParseProfile(std::string("\0\xff[Profile\r\n=\r\n", 14)).config1, "");
}

TEST(MachineIdRulesTest, ProfileText) {
  MachineFacts facts;
  facts.processorBrand = "Brand";
  const MachineHashes hashes = HashMachineFacts(facts);
  MachineIdBytes id{};
  id[15] = 1;
  EXPECT_EQ(FormatProfile(id, hashes), "[Profile]\r\nconfig1=00000000000000000000000000000001\r\nconfig2=" +
                                           Hash("1a2b3c4d5e6f") + "\r\nconfig3=\r\nconfig4=" + Hash("Brand") +
                                           "\r\nconfig5=1\r\n");
  // What we write reads back as written.
  const StoredProfile back = ParseProfile(FormatProfile(id, hashes));
  EXPECT_EQ(back.config1, MachineIdText(id));
  EXPECT_EQ(back.config2, hashes.adapter);
  EXPECT_EQ(back.config4, hashes.processor);
  EXPECT_EQ(back.config5, 1);
}

TEST(MachineIdRulesTest, ProfileComparison) {
  MachineFacts facts;
  facts.mac = {0, 1, 2, 3, 4, 5};
  facts.disk = DiskDescription{"SER", "MODEL", "FW"};
  facts.processorBrand = "CPU";
  const MachineHashes all = HashMachineFacts(facts);
  facts.disk.reset();
  const MachineHashes noDisk = HashMachineFacts(facts);
  const std::string id = "00112233445566778899AABBCCDDEEFF";  // case does not matter
  const std::string upperAdapter = [&] {
    std::string s = all.adapter;
    for (char& ch : s) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return s;
  }();

  struct Case {
    const char* what;
    StoredProfile stored;
    const MachineHashes* now;
    bool reuse;
    bool withProcessor;
  } const kCases[] = {
      {"all match", {id, all.adapter, all.disk, all.processor, 1}, &all, true, false},
      {"hash case ignored", {id, upperAdapter, "", all.processor, 1}, &noDisk, true, false},
      {"disk replaced", {id, all.adapter, "other", all.processor, 1}, &all, true, false},
      {"adapter replaced", {id, "other", all.disk, all.processor, 1}, &all, true, false},
      {"both replaced", {id, "x", "y", all.processor, 1}, &all, false, true},
      {"other processor", {id, all.adapter, all.disk, "z", 1}, &all, false, true},
      {"more found than stored", {id, all.adapter, "", all.processor, 1}, &all, false, true},
      {"31 characters", {id.substr(1), all.adapter, all.disk, all.processor, 1}, &all, false, false},
      {"not hex", {"zz" + id.substr(2), all.adapter, all.disk, all.processor, 1}, &all, false, false},
      {"old profile without processor", {id, noDisk.adapter, "", "", 0}, &noDisk, false, true},
      {"old profile, all three found", {id, all.adapter, all.disk, "", 0}, &all, false, true},
      {"old profile that matches", {id, noDisk.adapter, "", noDisk.processor, 0}, &noDisk, false, true},
      {"old profile with adapter and disk", {id, all.adapter, all.disk, all.processor, 0}, &all, true, false},
  };
  for (const Case& c : kCases) {
    const ProfileDecision d = CompareProfile(c.stored, *c.now);
    EXPECT_EQ(d.reuse, c.reuse) << c.what;
    EXPECT_EQ(d.withProcessor, c.withProcessor) << c.what;
    if (c.reuse) {
      EXPECT_EQ(MachineIdText(d.id), "00112233445566778899aabbccddeeff") << c.what;
    }
  }
}

TEST(MachineIdRulesTest, IdentifierText) {
  MachineFacts facts;
  facts.disk = DiskDescription{"S", "M", "F"};
  facts.processorBrand = "P";
  const MachineHashes hashes = HashMachineFacts(facts);
  EXPECT_EQ(hashes.foundCount, 3);
  EXPECT_EQ(hashes.diskText, "SMF");
  EXPECT_EQ(MachineIdText(ComputeIdentifier(hashes, false)), Hash("1a2b3c4d5e6fSMF"));
  EXPECT_EQ(MachineIdText(ComputeIdentifier(hashes, true)), Hash("1a2b3c4d5e6fSMFP"));
  const MachineHashes bare = HashMachineFacts(MachineFacts{});
  EXPECT_EQ(bare.foundCount, 1);
  EXPECT_EQ(bare.disk, "");
  EXPECT_EQ(bare.processor, "");
  EXPECT_EQ(MachineIdText(ComputeIdentifier(bare, true)), Hash("1a2b3c4d5e6f"));
}
