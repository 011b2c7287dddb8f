// Fitting PC names of phone items into the path limit, unique in their folder.
#include "mirror/PcNameFit.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace testing_support;

TEST(PcNameFit, NamesAreShortenedForDeepFoldersAndNumberedWhenTaken)
{
    const struct {
        size_t folderLength;
        int limit;
        bool wholeName;
        std::vector<const wchar_t*> taken;
        const wchar_t* name;
        const wchar_t* fitted; // null: left alone, and 0 returned
    } cases[] = {
        // Deep folders lower the limit in steps: see the listing's folder names.
        {50, 30, true, {}, L"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789", L"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123"},
        {255, 30, true, {}, L"Photos", L"Phot"},       // 266 > 260: 259 - 255
        {250, 30, true, {}, L"name.jpg", L"name.jpg"}, // the whole name: no extension kept apart
        // Taken names are numbered at their end, whatever their case.
        {9, 30, true, {L"PICTURES", L"pictu(1)"}, L"Pictures", L"Pictu(2)"},
        {9,
         30,
         true,
         {L"Pictures", L"Pictu(1)", L"Pictu(2)", L"Pictu(3)", L"Pictu(4)", L"Pictu(5)", L"Pictu(6)", L"Pictu(7)",
          L"Pictu(8)", L"Pictu(9)"},
         L"Pictures",
         L"Pict(10)"},
        {9, 30, true, {L"ab"}, L"AB", L"AB(1)"}, // too short to hold the number at its end: it follows
        // Without the whole-name flag the extension is kept. 240 + 30 + 1 > 260: the limit falls to 10.
        {240, 30, false, {}, L"holiday-photo.jpeg", L"holid.jpeg"},
        {240, 30, false, {L"HOLID.JPEG"}, L"holiday-photo.jpeg", L"ho(1).jpeg"},
        // Nothing is done: a short path without the whole-name flag, empty names, no room.
        {259, 30, true, {L"Photos"}, L"Photos", nullptr}, // the limit falls to 0
        {20, 30, true, {L""}, L"", nullptr},
        {257, 30, false, {L"photo.jpg"}, L"photo.jpg", nullptr}, // the limit 2 leaves no room before ".jpg"
        {257, 30, true, {L"ab"}, L"AB", nullptr},                // the limit 2: "AB(1)" would exceed it
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.name) + " in " + std::to_string(c.folderLength));
        std::vector<phone::VFSItem> taken(c.taken.size());
        for (size_t i = 0; i < taken.size(); ++i)
            phone::CopyField(taken[i].pcName, c.taken[i]);
        std::wstring name = c.name;
        EXPECT_EQ(
            mirror::FitPcName(name, L"C:\\" + std::wstring(c.folderLength - 3, L'f'), c.limit, c.wholeName, taken),
            c.fitted ? wcslen(c.fitted) : 0u);
        EXPECT_EQ(name, c.fitted ? c.fitted : c.name);
    }
}
