// GetFilesAndFolders against the bare XML parser on a large listing: the
// parser loads the same text and reads every attribute of every "folder" and
// "file" element. Prints both times and their ratio; the goal is at most 2.
#include "BenchTiming.h"
#include "mirror/Listing.h"
#include "mirror/XmlDocument.h"
#include "common/Resource.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>

namespace {

constexpr int kFiles = 10000;
constexpr int kFolders = 2000;
constexpr int kRounds = 3;

// Folder names come in pairs that differ only in case, so half of them are renumbered.
std::wstring MakeListing(bool collidingFolders)
{
    std::wstring xml = L"<?xml version=\"1.0\"?>\r\n<folder-listing version=\"1.0\">\r\n";
    wchar_t line[512];
    for (int i = 0; i < kFolders; ++i) {
        if (collidingFolders)
            _snwprintf(line, 512, L"<folder name=\"Holiday pictures from the summer, part %d\" %ls/>\r\n", i,
                       L"created=\"20040229T120000\" user-perm=\"RWD\" label=\"Phone memory\" mem-type=\"DEV\"");
        else
            _snwprintf(line, 512, L"<folder name=\"%ls %d\" %ls/>\r\n", i % 2 ? L"ALBUM" : L"album", i / 2,
                       L"created=\"20040229T120000\" user-perm=\"RWD\" label=\"Phone memory\" mem-type=\"DEV\"");
        xml += line;
    }
    for (int i = 0; i < kFiles; ++i) {
        _snwprintf(line, 512,
                   L"<file name=\"IMG_%05d.jpg\" size=\"%d\" created=\"20050228T134509Z\" "
                   L"modified=\"20050301T080000Z\" user-perm=\"RW\" mem-type=\"MMC\" type=\"image/jpeg\"/>\r\n",
                   i, 100000 + i);
        xml += line;
    }
    xml += L"</folder-listing>\r\n";
    return xml;
}

using bench::Check;
using bench::Now;

// The baseline: load, then every attribute's name and text of each element.
HRESULT WalkWithParser(BSTR listing, long& attributesRead)
{
    com_ptr<IXMLDOMDocument2> document;
    HRESULT hr = mirror::CreateXmlDocument(document);
    if (FAILED(hr))
        return hr;
    VARIANT_BOOL loaded = VARIANT_FALSE;
    hr = document->loadXML(listing, &loaded);
    if (FAILED(hr) || loaded != VARIANT_TRUE)
        return E_FAIL;
    attributesRead = 0;
    for (const wchar_t* tag : {L"folder", L"file"}) {
        unique_bstr name(tag);
        com_ptr<IXMLDOMNodeList> elements;
        if (FAILED(hr = document->getElementsByTagName(name.get(), elements.put())))
            return hr;
        for (;;) {
            com_ptr<IXMLDOMNode> element;
            if (FAILED(hr = elements->nextNode(element.put())))
                return hr;
            if (!element)
                break;
            com_ptr<IXMLDOMNamedNodeMap> attributes;
            if (FAILED(hr = element->get_attributes(attributes.put())))
                return hr;
            long count = 0;
            attributes->get_length(&count);
            for (long i = 0; i < count; ++i) {
                com_ptr<IXMLDOMNode> attribute;
                if (FAILED(hr = attributes->get_item(i, attribute.put())))
                    return hr;
                unique_bstr attributeName, value;
                attribute->get_nodeName(attributeName.put());
                attribute->get_text(value.put());
                ++attributesRead;
            }
        }
    }
    return S_OK;
}

int Measure(const char* title, const char* tag, bool collidingFolders)
{
    const std::wstring text = MakeListing(collidingFolders);
    unique_bstr listing(text.c_str());
    double parserBest = 1e30, listingBest = 1e30;
    for (int round = 0; round < kRounds; ++round) {
        long attributesRead = 0;
        double start = Now();
        if (!Check(WalkWithParser(listing.get(), attributesRead), "parser walk"))
            return 1;
        parserBest = std::min(parserBest, Now() - start);

        std::vector<phone::VFSItem> files, folders;
        start = Now();
        if (!Check(mirror::GetFilesAndFolders(listing.get(), files, folders, L"C:\\Mirror\\Phone\\C"),
                   "GetFilesAndFolders"))
            return 1;
        listingBest = std::min(listingBest, Now() - start);
        if (files.size() != kFiles || folders.size() != kFolders) {
            std::printf("unexpected result: %u files, %u folders\n", static_cast<unsigned>(files.size()),
                        static_cast<unsigned>(folders.size()));
            return 1;
        }
    }
    std::printf("%s (%d files, %d folders, %u characters, best of %d)\n", title, kFiles, kFolders,
                static_cast<unsigned>(text.size()), kRounds);
    std::printf("  parser load and walk:  %8.1f ms\n", parserBest * 1000);
    std::printf("  GetFilesAndFolders:    %8.1f ms\n", listingBest * 1000);
    std::printf("  ratio:                 %8.2f\n", listingBest / parserBest);
    bench::Result(tag, listingBest, "bare XML parser", parserBest, listingBest / parserBest, "<= 2");
    return 0;
}

} // namespace

int wmain()
{
    com_apartment apartment;
    if (!Check(apartment.result(), "CoInitializeEx"))
        return 1;
    int failed = Measure("listing, folder names colliding in pairs", "listing parse, names in pairs", false);
    failed |=
        Measure("listing, long folder names sharing their first 30 characters", "listing parse, long names", true);
    return failed;
}
