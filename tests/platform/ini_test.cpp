// The INI service. The same cases run natively against our own implementation
// and under wine against GetPrivateProfileStringW / WritePrivateProfileStringW,
// so that both are shown to behave alike for everything the recorder relies on.
#include <gtest/gtest.h>

#include "platform/ini.h"
#include "settings/ini_file.h"
#include "tests/support/temp_dir.h"

namespace {

std::string Utf16LeWithBom(const std::u16string& text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  return bytes;
}

class IniTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::wstring path = dir.file(L"test.ini");
};

}  // namespace

TEST_F(IniTest, MissingFileSectionOrKeyReadsEmpty) {
  EXPECT_EQ(IniReadString(path, L"Setting", L"RecordWay", 254), L"");
  ASSERT_TRUE(WriteFileBytes(path, "[Setting]\r\nRecordWay=2\r\nEmpty=\r\n"));
  EXPECT_EQ(IniReadString(path, L"Other", L"RecordWay", 254), L"");
  EXPECT_EQ(IniReadString(path, L"Setting", L"SaveLF", 254), L"");
  EXPECT_EQ(IniReadString(path, L"Setting", L"Empty", 254), L"");
  EXPECT_EQ(IniReadString(path, L"Setting", L"RecordWay", 254), L"2");
}

TEST_F(IniTest, NamesIgnoreCaseAndBlanksAroundKeysAndValuesDrop) {
  ASSERT_TRUE(WriteFileBytes(path, "[Setting]\r\n  SaveLF =   1  \r\nWavePath= C:\\My Rec \r\n"));
  EXPECT_EQ(IniReadString(path, L"setting", L"saveLF", 254), L"1");
  EXPECT_EQ(IniReadString(path, L"SETTING", L"WAVEPATH", 254), L"C:\\My Rec");
}

TEST_F(IniTest, QuotedValuesLoseTheirQuotes) {
  ASSERT_TRUE(WriteFileBytes(path, "[S]\r\nA=\"quoted value\"\r\nB='single'\r\nC=\"open\r\n"));
  EXPECT_EQ(IniReadString(path, L"S", L"A", 254), L"quoted value");
  EXPECT_EQ(IniReadString(path, L"S", L"B", 254), L"single");
  EXPECT_EQ(IniReadString(path, L"S", L"C", 254), L"\"open");
}

TEST_F(IniTest, EachSectionKeepsItsOwnKeys) {
  ASSERT_TRUE(WriteFileBytes(path, "[Chs]\nYear=Y1\n[Cht]\nYear=Y2\n"));
  EXPECT_EQ(IniReadString(path, L"Chs", L"Year", 254), L"Y1");
  EXPECT_EQ(IniReadString(path, L"Cht", L"Year", 254), L"Y2");
}

TEST_F(IniTest, LongValuesAreCutToTheBuffer) {
  std::string value(300, 'v');
  ASSERT_TRUE(WriteFileBytes(path, "[S]\r\nLong=" + value + "\r\n"));
  IniFile ini(path);
  EXPECT_EQ(ini.ReadString(L"S", L"Long"), std::wstring(254, L'v'));
  EXPECT_EQ(IniReadString(path, L"S", L"Long", 1024), std::wstring(300, L'v'));
  EXPECT_EQ(IniReadString(path, L"S", L"Long", 10), std::wstring(10, L'v'));
}

TEST_F(IniTest, WritingCreatesFileAndSectionAndUpdatesInPlace) {
  IniFile ini(path);
  EXPECT_TRUE(ini.WriteString(L"Setting", L"WavePath", L"C:\\Rec"));
  EXPECT_TRUE(FileExists(path));
  EXPECT_TRUE(ini.WriteNumber(L"Setting", L"RecordFormat", 17));
  EXPECT_TRUE(ini.WriteNumber(L"Setting", L"Negative", -5));
  EXPECT_TRUE(ini.WriteString(L"Other", L"WavePath", L"D:\\Else"));
  EXPECT_TRUE(ini.WriteString(L"Setting", L"WavePath", L"E:\\New"));
  EXPECT_EQ(ini.ReadString(L"Setting", L"WavePath"), L"E:\\New");
  EXPECT_EQ(ini.ReadString(L"Setting", L"RecordFormat"), L"17");
  EXPECT_EQ(ini.ReadString(L"Setting", L"Negative"), L"-5");
  EXPECT_EQ(ini.ReadString(L"Other", L"WavePath"), L"D:\\Else");
  // The new key went into its own section, not after the later one.
  std::string bytes = ReadFileBytes(path);
  EXPECT_LT(bytes.find("RecordFormat=17"), bytes.find("[Other]"));
}

TEST_F(IniTest, WritingIntoAMissingFolderFails) {
  IniFile ini(dir.file(L"no such folder") + L"\\x.ini");
  EXPECT_FALSE(ini.WriteString(L"S", L"K", L"V"));
  EXPECT_FALSE(ini.lastResult());
  EXPECT_EQ(ini.ReadString(L"S", L"K"), L"");
}

TEST_F(IniTest, Utf16FileWithByteOrderMarkIsReadAsUnicode) {
  ASSERT_TRUE(WriteFileBytes(path, Utf16LeWithBom(u"[LANGUAGE]\r\nLanguage_1=简体中文\r\n[Chs]\r\nYear=年\r\n")));
  EXPECT_EQ(IniReadString(path, L"LANGUAGE", L"Language_1", 254), L"简体中文");
  EXPECT_EQ(IniReadString(path, L"Chs", L"Year", 254), L"年");
}

TEST_F(IniTest, WritingKeepsAUnicodeFileUnicode) {
  ASSERT_TRUE(WriteFileBytes(path, Utf16LeWithBom(u"[Chs]\r\nYear=年\r\n")));
  EXPECT_TRUE(IniWriteString(path, L"Chs", L"Month", L"月"));
  EXPECT_TRUE(IniWriteString(path, L"Cht", L"Day", L"日"));
  EXPECT_EQ(IniReadString(path, L"Chs", L"Year", 254), L"年");
  EXPECT_EQ(IniReadString(path, L"Chs", L"Month", 254), L"月");
  EXPECT_EQ(IniReadString(path, L"Cht", L"Day", 254), L"日");
  std::string bytes = ReadFileBytes(path);
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
}
