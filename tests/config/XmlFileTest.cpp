// The XML description file reader.
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

} // namespace
