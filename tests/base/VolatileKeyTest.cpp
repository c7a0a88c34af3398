#include <gtest/gtest.h>

#include "base/Handles.h"
#include "base/utils.h"
#include "tests/support/TestSupport.h"

namespace {

LSTATUS CreateKey(const wchar_t* path, DWORD options) {
  UniqueHKey key;
  return RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, options, KEY_READ | KEY_WRITE, nullptr, key.put(),
                         nullptr);
}

bool KeyExists(const wchar_t* path) {
  UniqueHKey key;
  return RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

constexpr wchar_t kProductKey[] = L"Software\\Quenlo\\Lumora";
constexpr wchar_t kComponentKey[] = L"Software\\Quenlo\\Lumora\\Portalis";

}  // namespace

TEST(VolatileKeyTest, VolatileProductKeyIsRemovedSoLastingKeysCanBeMade) {
  testing_support::RegistryOverride registry;
  ASSERT_EQ(CreateKey(L"Software\\Quenlo", REG_OPTION_NON_VOLATILE), ERROR_SUCCESS);
  ASSERT_EQ(CreateKey(kProductKey, REG_OPTION_VOLATILE), ERROR_SUCCESS);
  ASSERT_EQ(CreateKey(L"Software\\Quenlo\\Lumora\\Temp", REG_OPTION_VOLATILE), ERROR_SUCCESS);
  ASSERT_EQ(CreateKey(kComponentKey, REG_OPTION_NON_VOLATILE), ERROR_CHILD_MUST_BE_VOLATILE);

  RemoveVolatileProductKey();

  EXPECT_FALSE(KeyExists(kProductKey));
  EXPECT_TRUE(KeyExists(L"Software\\Quenlo"));
  EXPECT_EQ(CreateKey(kComponentKey, REG_OPTION_NON_VOLATILE), ERROR_SUCCESS);
}

TEST(VolatileKeyTest, VolatileParentKeyIsRemoved) {
  testing_support::RegistryOverride registry;
  ASSERT_EQ(CreateKey(L"Software", REG_OPTION_NON_VOLATILE), ERROR_SUCCESS);
  ASSERT_EQ(CreateKey(L"Software\\Quenlo", REG_OPTION_VOLATILE), ERROR_SUCCESS);
  ASSERT_EQ(CreateKey(L"Software\\Quenlo\\Other", REG_OPTION_VOLATILE), ERROR_SUCCESS);
  ASSERT_EQ(CreateKey(kProductKey, REG_OPTION_NON_VOLATILE), ERROR_CHILD_MUST_BE_VOLATILE);

  RemoveVolatileProductKey();

  EXPECT_FALSE(KeyExists(L"Software\\Quenlo"));
  EXPECT_TRUE(KeyExists(L"Software"));
  EXPECT_EQ(CreateKey(kComponentKey, REG_OPTION_NON_VOLATILE), ERROR_SUCCESS);
}

TEST(VolatileKeyTest, MissingProductKeyIsLeftCreated) {
  testing_support::RegistryOverride registry;
  RemoveVolatileProductKey();
  // The repair's own create makes a lasting key when there was none.
  EXPECT_TRUE(KeyExists(kProductKey));
  EXPECT_EQ(CreateKey(kComponentKey, REG_OPTION_NON_VOLATILE), ERROR_SUCCESS);
}
