#include "ProgressDialog.h"

#include "LanguageResources.h"
#include "VexaUtil.h"
#include "common/Trace.h"

namespace localisation {

namespace {

const CLSID kProgressDialogClsid = {0xF8383852, 0xFCD3, 0x11D1, {0xA6, 0xB9, 0x00, 0x60, 0x97, 0xDF, 0x5B, 0xD4}};
const IID kProgressDialogIid = {0xEBBC7C04, 0x315E, 0x11D2, {0xB6, 0x2F, 0x00, 0x60, 0x97, 0xDF, 0x5B, 0xD4}};

std::wstring Cut(std::wstring text, size_t buffer)
{
    if (buffer > 0 && text.size() >= buffer)
        text.resize(buffer - 1);
    return text;
}

} // namespace

bool HasRightToLeftLayout(HWND window)
{
    const DWORD layout = window ? static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE)) : 0;
    return (layout & kRightToLeftLayout) != 0;
}

UINT ProgressAnimationId(HWND layoutWindow)
{
    return HasRightToLeftLayout(layoutWindow) ? kAnimationRightToLeft : kAnimationLeftToRight;
}

HWND DesktopWindow()
{
    return FindWindowW(L"Progman", nullptr);
}

std::wstring LanguageText(CVexaUtil& language, UINT id, const wchar_t* defaultText, size_t buffer)
{
    return Cut(language.GetString(id, defaultText), buffer);
}

ProgressDialog::ProgressDialog()
{
    const HRESULT hr =
        CoCreateInstance(kProgressDialogClsid, nullptr, CLSCTX_INPROC_SERVER, kProgressDialogIid, dialog_.put_void());
    if (FAILED(hr)) {
        QTRACE(L"(): CoCreateInstance(CLSID_ProgressDialog) failed (hr = 0x%X)\n", hr);
        dialog_.reset();
    }
}

void ProgressDialog::SetTitle(CVexaUtil& language, const ProgressTitle& title)
{
    if (!dialog_)
        return;
    if (!language.IsLoaded() && !title.withoutLanguageFile)
        return;
    SetTitle(Cut(language.GetString(title.id, title.defaultText), title.buffer));
}

void ProgressDialog::SetTitle(const std::wstring& text)
{
    if (dialog_)
        dialog_->SetTitle(text.c_str());
}

void ProgressDialog::SetLine(DWORD line, const std::wstring& text)
{
    if (dialog_)
        dialog_->SetLine(line, text.c_str(), FALSE, nullptr);
}

void ProgressDialog::SetAnimation(HMODULE graphics, UINT id)
{
    if (!dialog_ || id == lastAnimation_)
        return;
    lastAnimation_ = id;
    dialog_->SetAnimation(graphics, id);
}

HRESULT ProgressDialog::Start(HWND parent, DWORD flags)
{
    if (!dialog_)
        return S_OK;
    const HRESULT hr = dialog_->StartProgressDialog(parent, nullptr, flags, nullptr);
    if (FAILED(hr))
        QTRACE(L"(): IProgressDialog::StartProgressDialog failed! (hr = 0x%x)\n", hr);
    return hr;
}

HRESULT ProgressDialog::SetProgress(ULONGLONG position, ULONGLONG range)
{
    if (!dialog_)
        return S_OK;
    const HRESULT hr = dialog_->SetProgress64(position, range);
    if (FAILED(hr))
        QTRACE(L"(): IProgressDialog::SetProgress failed! (hr = 0x%X)\n", hr);
    return hr;
}

bool ProgressDialog::HasUserCancelled() const
{
    return dialog_ && dialog_->HasUserCancelled();
}

void ProgressDialog::Stop()
{
    if (!dialog_)
        return;
    dialog_->StopProgressDialog();
    dialog_.reset();
}

} // namespace localisation
