#include "PhoneCommands.h"

#include "SuiteErrors.h"
#include "common/Resource.h"

#include <algorithm>

using store_names::PhonePath;

namespace {

// What the format numbers mean to this component: the extension of the new file.
struct Format {
    short number;
    const wchar_t* extension;
};
const Format kFormats[] = {{1, L"amr"}, {2, L"mp3"}, {3, L"wav"}, {4, L"aac"},
                           {5, L"3gp"}, {6, L"mp4"}, {7, L"jpg"}, {8, L"gif"}};

const wchar_t* ExtensionOf(short format)
{
    for (const Format& known : kFormats) {
        if (known.number == format)
            return known.extension;
    }
    return nullptr;
}

// The store's own spelling of an existing file whose name differs only in
// letter case: the phone's file system ignores case and keeps the old name.
std::wstring ExistingSpelling(const std::wstring& pcPath)
{
    WIN32_FIND_DATAW found;
    unique_find search(FindFirstFileW(pcPath.c_str(), &found));
    if (!search)
        return pcPath;
    return pcPath.substr(0, pcPath.find_last_of(L'\\') + 1) + found.cFileName;
}

} // namespace

PhoneCommands::PhoneCommands()
{
    std::wstring made;
    suite::TakeRecordedCall(L"PhoneCommands", made);
    suite::RecordCall(L"PhoneCommands", std::to_wstring(_wtol(made.c_str()) + 1));
}

// The converted file holds the source's bytes under the source's name with the
// target format's extension; a file of that name is replaced. A conversion takes
// as long as a transfer of the file would (the suite's transfer delay per chunk).
HRESULT PhoneCommands::Convert(BSTR path, short targetFormat, short sourceFormat, BSTR* newName)
{
    if (newName)
        *newName = nullptr;
    const std::wstring text = path ? path : L"";
    suite::RecordCall(L"Convert", text + L"|" + std::to_wstring(targetFormat) + L"|" + std::to_wstring(sourceFormat));
    HRESULT hr = suite::TakeFault(L"Convert");
    if (hr != S_OK)
        return hr;
    if (!newName)
        return E_POINTER;
    PhonePath source;
    const wchar_t* extension = ExtensionOf(targetFormat);
    if (!store_names::ParsePhonePath(text, source) || source.level != PhonePath::Level::Item || !extension)
        return suite_error::BadPath;
    PhoneStore store = suite::Store();
    std::wstring sourceFile;
    hr = store.ItemPath(source, true, sourceFile);
    if (FAILED(hr))
        return hr;
    if (!store_files::IsFile(sourceFile))
        return suite_error::NotFound;
    std::vector<unsigned char> bytes;
    hr = store_files::ReadWholeFile(sourceFile, bytes);
    if (FAILED(hr))
        return hr;

    const std::wstring& sourceName = source.names.back();
    const size_t dot = sourceName.find_last_of(L'.');
    const std::wstring name = sourceName.substr(0, dot == 0 ? sourceName.size() : dot) + L"." + extension;
    PhonePath target = source;
    target.names.back() = name;
    std::wstring targetFile;
    hr = store.ItemPath(target, true, targetFile);
    if (FAILED(hr))
        return hr;
    if (store_files::IsFolder(targetFile))
        return suite_error::AlreadyExists;

    const suite::TransferSettings settings = suite::Transfers();
    const size_t chunk = std::max<DWORD>(settings.chunkSize, 1);
    for (size_t done = 0; settings.delayMs && done < bytes.size(); done += chunk)
        suite::PumpMessagesFor(settings.delayMs);

    targetFile = ExistingSpelling(targetFile);
    hr = store_files::WriteWholeFile(targetFile, bytes);
    if (SUCCEEDED(hr))
        hr = store_files::SetModifiedTime(targetFile, store_files::Now());
    if (FAILED(hr))
        return hr;
    *newName = SysAllocStringLen(name.data(), static_cast<UINT>(name.size()));
    return *newName ? S_OK : E_OUTOFMEMORY;
}
