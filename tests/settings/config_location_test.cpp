#include <gtest/gtest.h>

#include "platform/paths.h"
#include "settings/config_location.h"
#include "settings/ini_file.h"
#include "settings/settings.h"
#include "tests/support/temp_dir.h"

TEST(ConfigIniPlace, FollowsTheInstallersMarker) {
  const std::wstring program = L"C:\\Program Files\\Calvoro Record\\";
  const std::wstring roaming = L"C:\\Users\\ann\\AppData\\Roaming";
  const std::wstring local = L"C:\\Users\\ann\\AppData\\Local";

  ConfigIniPlace portable = ConfigIniPlaceFor(L"E:\\Tools\\Calvoro Record\\", false, roaming, local);
  EXPECT_EQ(portable.path, L"E:\\Tools\\Calvoro Record\\Config.ini");
  EXPECT_EQ(portable.folder, L"");
  EXPECT_TRUE(portable.earlierPaths.empty());

  ConfigIniPlace installed = ConfigIniPlaceFor(program, true, roaming, local);
  EXPECT_EQ(installed.folder, roaming + L"\\Calvoro Record");
  EXPECT_EQ(installed.path, roaming + L"\\Calvoro Record\\Config.ini");
  // The VirtualStore copy is what a program without a manifest really read.
  ASSERT_EQ(installed.earlierPaths.size(), 2u);
  EXPECT_EQ(installed.earlierPaths[0], local + L"\\VirtualStore\\Program Files\\Calvoro Record\\Config.ini");
  EXPECT_EQ(installed.earlierPaths[1], program + L"Config.ini");

  // Without an application data folder there is nowhere else to go.
  EXPECT_EQ(ConfigIniPlaceFor(program, true, L"", local).path, program + L"Config.ini");
  // A path without a drive (a network share) has no VirtualStore copy.
  ConfigIniPlace share = ConfigIniPlaceFor(L"\\\\server\\apps\\", true, roaming, local);
  ASSERT_EQ(share.earlierPaths.size(), 1u);
  EXPECT_EQ(share.earlierPaths[0], L"\\\\server\\apps\\Config.ini");
  EXPECT_EQ(VirtualStorePathOf(L"C:\\", local), L"");
}

namespace {

class ConfigIniCarryOver : public ::testing::Test {
 protected:
  void SetUp() override { OverrideDocumentsFolder(documents.path()); }
  void TearDown() override { OverrideDocumentsFolder(L""); }

  ConfigIniPlace Place() {
    ConfigIniPlace place;
    place.folder = appData.file(L"Calvoro Record");
    place.path = place.folder + L"\\Config.ini";  // the POSIX seam takes backslashes too
    place.earlierPaths = {virtualStore.file(L"Config.ini"), program.file(L"Config.ini")};
    return place;
  }

  TempDir program, virtualStore, appData, documents, records;
};

}  // namespace

TEST_F(ConfigIniCarryOver, TheNewPlaceTakesTheOldSettingsOnceAndKeepsItsOwnAfterwards) {
  ConfigIniPlace place = Place();
  ASSERT_TRUE(WriteFileBytes(program.file(L"Config.ini"), "[Setting]\r\nAutoRecord=0\r\nRecordFormat=2\r\n"));
  ASSERT_TRUE(WriteFileBytes(virtualStore.file(L"Config.ini"),
                             "[Setting]\r\nAutoRecord=1\r\nRecordFormat=17\r\nSaveLF=1\r\nWavePath=" +
                                 std::string(records.path().begin(), records.path().end()) + "\r\n"));

  EXPECT_EQ(PrepareConfigIni(place), place.path);
  IniFile carried(place.path);
  EXPECT_EQ(carried.ReadString(L"Setting", L"AutoRecord"), L"1");
  EXPECT_EQ(carried.ReadString(L"Setting", L"RecordFormat"), L"17");
  EXPECT_EQ(carried.ReadString(L"Setting", L"SaveLF"), L"1");
  EXPECT_EQ(carried.ReadString(L"Setting", L"WavePath", kRecordFolderMaxChars), records.path());
  // Every key the program knows is written, the ones the old file lacked too.
  EXPECT_EQ(carried.ReadString(L"Setting", L"CloseSkypeCallQualityWindow"), L"0");

  // Later starts read the new file: a change to an old one no longer counts.
  ASSERT_TRUE(WriteFileBytes(virtualStore.file(L"Config.ini"), "[Setting]\r\nAutoRecord=0\r\n"));
  std::string before = ReadFileBytes(place.path);
  EXPECT_EQ(PrepareConfigIni(place), place.path);
  EXPECT_EQ(ReadFileBytes(place.path), before);
  EXPECT_EQ(ReadSettings(place.path).autoRecord, 1);
}

TEST_F(ConfigIniCarryOver, NothingToCarryGivesAFreshFileAndAnUnwritablePlaceKeepsTheOldOne) {
  ConfigIniPlace fresh = Place();
  EXPECT_EQ(PrepareConfigIni(fresh), fresh.path);
  EXPECT_TRUE(PathExists(fresh.folder));
  EXPECT_FALSE(PathExists(fresh.path));  // written by the first load, with the defaults
  ReadSettings(fresh.path);
  EXPECT_EQ(IniFile(fresh.path).ReadString(L"Setting", L"WavePath"), documents.path() + L"\\Calvoro Record");

  // A new place that cannot be made: the settings are read where they are.
  ConfigIniPlace blocked = Place();
  blocked.folder = appData.file(L"missing\\deeper");
  blocked.path = blocked.folder + L"\\Config.ini";
  ASSERT_TRUE(WriteFileBytes(program.file(L"Config.ini"), "[Setting]\r\nAutoRecord=1\r\nRecordFormat=8\r\n"));
  EXPECT_EQ(PrepareConfigIni(blocked), program.file(L"Config.ini"));
  EXPECT_FALSE(PathExists(blocked.path));
}
