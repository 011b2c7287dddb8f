#include "Conversion.h"

#include "PhoneComponents.h"
#include "common/ErrorFlow.h"
#include "common/Paths.h"
#include "common/Resource.h"
#include "common/Trace.h"
#include "localisation/ProgressDialog.h"
#include "mirror/MirrorFolders.h"
#include "mirror/MirrorRefresh.h"
#include "services/PhoneServices.h"
#include "shortcut/ShortcutFiles.h"

#include <vector>

namespace services {

namespace {

const localisation::ProgressTitle kConvertingTitle = {5014, L"Converting...", 256, true};

// After the phone folder has been read anew: the shortcut file in `folder` whose
// phone path is the new file's, letter case aside.
HRESULT FindConvertedFile(const RequestContext& context, phone::PhoneFileSystem& phoneFs, const std::wstring& folder,
                          const std::wstring& newName, std::wstring& outputFile)
{
    // Both refreshes only bring the mirror up to date; the search below decides.
    Refresh(context, ITEM, folder);
    mirror::RefreshFolder(phoneFs, context.Mappings(), folder.c_str(), VARIANT_TRUE, nullptr);
    std::wstring expected;
    RETURN_IF_FAILED(context.Mappings().ConvertPCNameToVFSName(folder.c_str(), expected));
    if (expected.empty() || expected.back() != L'\\')
        expected += L'\\';
    expected += newName;
    std::vector<std::wstring> files, folders;
    mirror::GetPcFolderContents(folder.c_str(), files, folders);
    for (const std::wstring& name : files) {
        const std::wstring pcPath = paths::Join(folder, name);
        std::wstring phonePath;
        // Other PC files in a mirror folder stand for no phone file.
        if (!shortcut::IsShortcutFile(pcPath.c_str()) ||
            FAILED(context.Mappings().ConvertPCNameToVFSName(pcPath.c_str(), phonePath)))
            continue;
        if (CompareStringOrdinal(phonePath.c_str(), -1, expected.c_str(), -1, TRUE) == CSTR_EQUAL) {
            outputFile = pcPath;
            return S_OK;
        }
    }
    QTRACE(L"(): no shortcut file of %s in %s\n", newName.c_str(), folder.c_str());
    return E_FAIL;
}

unique_bstr Bstr(const std::wstring& text)
{
    return unique_bstr(text.data(), static_cast<UINT>(text.size()));
}

} // namespace

HRESULT Convert(const RequestContext& context, const std::wstring& filename, short targetFormat, short sourceFormat,
                HWND parent, std::wstring& outputFile)
{
    outputFile.clear();
    if (filename.size() >= MAX_PATH)
        return kPathTooLong;
    std::wstring deviceFolder;
    if (!mirror::FindPhoneRootFolder(filename.c_str(), deviceFolder))
        return E_FAIL;

    // Nothing is converted unless the phone answers.
    phone::PhoneFileSystem phoneFs;
    std::wstring imei;
    HRESULT hr = context.FreshPhone(phoneFs);
    if (SUCCEEDED(hr))
        hr = phoneFs.GetImei(paths::LastComponent(deviceFolder), imei);
    if (FAILED(hr)) {
        QTRACE(L"(): VFSGetIMEI failed! (hr = 0x%X)\n", hr);
        return hr;
    }

    com_ptr<IPhoneCommands> commands;
    hr = CoCreateInstance(CLSID_PhoneCommands, nullptr, CLSCTX_ALL, IID_IPhoneCommands, commands.put_void());
    if (FAILED(hr)) {
        QTRACE(L"(): pPhoneCommands.CoCreateInstance failed! (hr = 0x%X)\n", hr);
        return hr;
    }
    // Over the caller's window and laid out as it is. Without a dialog the
    // conversion runs all the same; nobody asks it for a cancel.
    localisation::ProgressDialog dialog;
    dialog.SetTitle(context.Language(), kConvertingTitle);
    dialog.SetAnimation(context.Graphics(), localisation::ProgressAnimationId(parent));
    dialog.Start(parent, localisation::kProgressWithoutBar);
    std::wstring phonePath;
    hr = context.Mappings().ConvertPCNameToVFSName(filename.c_str(), phonePath);
    // A file of no mapped phone (a disconnected phone, a synchronisation
    // folder) has no phone path to hand to the component.
    if (FAILED(hr) || phonePath.empty()) {
        QTRACE(L"(): Failed to convet pc name to vfs name! (%s)\n", filename.c_str());
        return FAILED(hr) ? hr : E_FAIL;
    }
    dialog.SetLine(1, paths::LastComponent(phonePath));
    unique_bstr newName;
    hr = commands->Convert(Bstr(phonePath).get(), targetFormat, sourceFormat, newName.put());
    if (FAILED(hr)) {
        QTRACE(L"(): pPhoneCommands->Convert(%s) failed! (hr = 0x%X)\n", phonePath.c_str(), hr);
        return hr;
    }
    return FindConvertedFile(context, phoneFs, paths::Parent(filename), std::wstring(newName.c_str(), newName.length()),
                             outputFile);
}

} // namespace services
