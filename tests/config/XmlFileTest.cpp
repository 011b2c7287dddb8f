// The XML description file reader and its result codes.
#include "mirror/XmlFile.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace testing_support;
using mirror::CXmlFile;

namespace {

TEST(XmlFile, ReadsTheFirstElementText)
{
    TempDir dir;
    WriteText(dir / L"Folder.xml", "<?xml version=\"1.0\"?><Folder><Name>A</Name><CLSID>first</CLSID>"
                                   "<CLSID>second</CLSID><Sub><CLSID>inner</CLSID></Sub></Folder>");
    CXmlFile file((dir / L"Folder.xml").c_str());
    EXPECT_TRUE(file.Exists());
    ASSERT_EQ(1, file.IsLoaded());
    ASSERT_EQ(0, file.SelectElement(L"CLSID"));
    wchar_t text[260];
    EXPECT_EQ(0, file.GetText(L"CLSID", text, 260));
    EXPECT_STREQ(L"first", text);
    EXPECT_EQ(0, file.GetText(L"Name", text, 260));
    EXPECT_STREQ(L"A", text);
    wchar_t small[4];
    EXPECT_EQ(0, file.GetText(L"CLSID", small, 4));
    EXPECT_STREQ(L"fir", small);
}

TEST(XmlFile, ResultCodesOfEveryFailure)
{
    TempDir dir;
    WriteText(dir / L"Folder.xml", "<Folder><CLSID>x</CLSID></Folder>");
    WriteText(dir / L"Broken.xml", "<Folder><CLSID>x</Folder>");
    wchar_t text[16];

    CXmlFile missing((dir / L"Missing.xml").c_str());
    EXPECT_FALSE(missing.Exists());
    EXPECT_EQ(0, missing.IsLoaded());
    EXPECT_EQ(0x6207, missing.SelectElement(L"CLSID"));
    EXPECT_EQ(0x6207, missing.GetText(L"CLSID", text, 16));

    CXmlFile broken((dir / L"Broken.xml").c_str());
    EXPECT_TRUE(broken.Exists());
    EXPECT_EQ(0, broken.IsLoaded());

    CXmlFile file((dir / L"Folder.xml").c_str());
    ASSERT_EQ(1, file.IsLoaded());
    EXPECT_EQ(0x6201, file.GetText(L"CLSID", text, 16)); // nothing selected yet
    EXPECT_EQ(static_cast<long>(E_HANDLE), file.SelectElement(nullptr));
    EXPECT_EQ(0x6201, file.SelectElement(L"Nothing"));
    ASSERT_EQ(0, file.SelectElement(L"CLSID"));
    EXPECT_EQ(static_cast<long>(E_HANDLE), file.GetText(nullptr, text, 16));
    EXPECT_EQ(static_cast<long>(E_HANDLE), file.GetText(L"CLSID", nullptr, 16));
    EXPECT_EQ(0x6201, file.GetText(L"Other", text, 16));
}

} // namespace
