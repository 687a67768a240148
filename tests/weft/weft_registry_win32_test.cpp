#include "weft/weft_registry_win32.h"

#include <gtest/gtest.h>

#include <cstring>

#include "weft/weft_log.h"
#include "weft/weft_protocol.h"

namespace {

constexpr char kTestKey[] = "Software\\Weftworks\\Weft\\TessalineTest";

class WeftRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    const char path[] = "C:\\Weft\\path.txt";
    RegSetValueExA(key, "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(path), sizeof path);
    const DWORD number = 42;
    RegSetValueExA(key, "Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                   sizeof number);
    RegCloseKey(key);
  }
  void TearDown() override { RegDeleteKeyA(HKEY_CURRENT_USER, kTestKey); }
};

TEST_F(WeftRegistryTest, ReadDwordReadsOnlyDwordsAndWarnsOnFailedReads) {
  DWORD value = 0;
  EXPECT_TRUE(weft::ReadDwordFromRegistry(HKEY_CURRENT_USER, kTestKey, "Number", &value));
  EXPECT_EQ(value, 42u);

  weft::LogNotice("marker");
  EXPECT_FALSE(weft::ReadDwordFromRegistry(HKEY_CURRENT_USER, kTestKey, "", &value));
  EXPECT_FALSE(weft::ReadDwordFromRegistry(HKEY_CURRENT_USER, "", "Number", &value));
  EXPECT_FALSE(weft::ReadDwordFromRegistry(HKEY_CURRENT_USER, kTestKey, "Number", nullptr));
  EXPECT_EQ(weft::LastLogMessage(), "marker");  // missing input is silent

  EXPECT_FALSE(weft::ReadDwordFromRegistry(HKEY_CURRENT_USER, kTestKey, "Path", &value));
  EXPECT_EQ(weft::LastLogMessage(), "ReadDwordFromRegistry - could not read [Path] from registry");
}

TEST_F(WeftRegistryTest, ReadPathCopiesTheStoredBytesOrReportsTheSizeItNeeds) {
  char buffer[64];
  std::memset(buffer, 'x', sizeof buffer);
  ASSERT_TRUE(
      weft::ReadPathFromRegistry(HKEY_CURRENT_USER, kTestKey, "Path", buffer, sizeof buffer));
  EXPECT_STREQ(buffer, "C:\\Weft\\path.txt");

  char small[4];
  EXPECT_FALSE(
      weft::ReadPathFromRegistry(HKEY_CURRENT_USER, kTestKey, "Path", small, sizeof small));
  EXPECT_EQ(weft::LastLogMessage(),
            "ReadPathFromRegistry -  buffer size (4) not large enough (17)");

  EXPECT_FALSE(
      weft::ReadPathFromRegistry(HKEY_CURRENT_USER, kTestKey, "Missing", buffer, sizeof buffer));
  EXPECT_EQ(weft::LastLogMessage(),
            "ReadPathFromRegistry - could not read [Missing] from registry");

  weft::LogNotice("marker");
  EXPECT_FALSE(weft::ReadPathFromRegistry(HKEY_CURRENT_USER, "Software\\NoSuchKeyHere", "Path",
                                          buffer, sizeof buffer));
  EXPECT_EQ(weft::LastLogMessage(), "marker");  // a missing key is silent
}

}  // namespace
