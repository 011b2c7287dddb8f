#include "ConfigCommands.h"

namespace obex {
namespace {

const wchar_t kUsage[] = L"Usage: ObexPhones.exe add ALIAS ADDRESS [--imei TEXT] [--model TEXT]\n"
                         L"       ObexPhones.exe list\n"
                         L"       ObexPhones.exe remove ALIAS\n";

int Usage(const std::wstring& problem, std::wstring& error)
{
    error = problem + L"\n" + kUsage;
    return kExitUsage;
}

int Failure(HRESULT hr, const std::wstring& why, std::wstring& error)
{
    if (hr == config_error::AlreadyExists || hr == config_error::NotFound) {
        error = why + L"\n";
        return kExitConflict;
    }
    if (hr == config_error::BadName || hr == config_error::NameTooLong) {
        error = why + L"\n";
        return kExitUsage;
    }
    wchar_t code[16];
    swprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(hr));
    error = L"The phone configuration could not be read or written (" + std::wstring(code) + L").\n";
    return kExitRegistry;
}

int Add(const std::vector<std::wstring>& arguments, const PhoneConfig& config, std::wstring& out, std::wstring& error)
{
    if (arguments.size() < 3)
        return Usage(L"add needs an alias and an address.", error);
    PhoneEntry phone{arguments[1], arguments[2], L"", L""};
    bool imeiGiven = false;
    for (size_t i = 3; i < arguments.size(); i += 2) {
        const std::wstring& option = arguments[i];
        if (option != L"--imei" && option != L"--model")
            return Usage(L"Unknown option \"" + option + L"\".", error);
        if (i + 1 >= arguments.size())
            return Usage(option + L" needs a value.", error);
        if (option == L"--imei") {
            imeiGiven = true;
            phone.imei = arguments[i + 1];
        } else {
            phone.model = arguments[i + 1];
        }
    }
    std::wstring why;
    HRESULT hr = imeiGiven ? CheckImei(phone.imei, why) : S_OK;
    if (SUCCEEDED(hr))
        hr = config.Add(phone, why);
    if (FAILED(hr))
        return Failure(hr, why, error);
    if (FAILED(hr = config.Find(phone.alias, phone)))
        return Failure(hr, why, error);
    out = L"Added " + phone.alias + L" (" + phone.address + L", IMEI " + phone.imei + L").\n";
    return kExitOk;
}

} // namespace

bool IsConfigCommand(const std::vector<std::wstring>& arguments)
{
    return !arguments.empty() && (arguments[0] == L"add" || arguments[0] == L"list" || arguments[0] == L"remove");
}

int RunConfigCommand(const std::vector<std::wstring>& arguments, const PhoneConfig& config, std::wstring& out,
                     std::wstring& error)
{
    out.clear();
    error.clear();
    if (!IsConfigCommand(arguments))
        return Usage(arguments.empty() ? L"No command given." : L"Unknown command \"" + arguments[0] + L"\".", error);
    if (arguments[0] == L"add")
        return Add(arguments, config, out, error);
    if (arguments[0] == L"list") {
        if (arguments.size() != 1)
            return Usage(L"list takes no arguments.", error);
        std::vector<PhoneEntry> phones;
        HRESULT hr = config.List(phones);
        if (FAILED(hr))
            return Failure(hr, L"", error);
        for (const PhoneEntry& phone : phones)
            out += phone.alias + L"\t" + phone.address + L"\t" + phone.imei + L"\t" + phone.model + L"\n";
        return kExitOk;
    }
    if (arguments.size() != 2)
        return Usage(L"remove needs exactly one alias.", error);
    HRESULT hr = config.Remove(arguments[1]);
    if (FAILED(hr))
        return Failure(hr, L"No phone is named \"" + arguments[1] + L"\".", error);
    out = L"Removed " + arguments[1] + L".\n";
    return kExitOk;
}

} // namespace obex
