#include "Listing.h"

#include "PcNameFit.h"
#include "XmlDocument.h"
#include "common/GuardedResult.h"
#include "common/Resource.h"
#include "common/Trace.h"

#include <comdef.h>

#include <cmath>
#include <cstdlib>
#include <cwchar>
#include <new>

namespace mirror {

namespace {

// Listed folders get PC names of at most this many characters.
constexpr int kFolderNameLimit = 30;

constexpr double kSecondsPerDay = 86400.0;
// DATE 0.0 is 1899-12-30, this many days before 1970-01-01.
constexpr long long kDateEpochTo1970 = 25569;
constexpr DATE kFirstDate = -657434.0; // 0100-01-01
constexpr DATE kLastDate = 2958465.0;  // 9999-12-31

// Failed calls into the XML document end the parse with their HRESULT.
void Check(HRESULT hr)
{
    if (FAILED(hr))
        throw _com_error(hr);
}

long long FloorDivide(long long value, long long divisor)
{
    long long quotient = value / divisor;
    if ((value % divisor) != 0 && value < 0)
        --quotient;
    return quotient;
}

// Days since 1970-01-01 to the proleptic Gregorian calendar.
void CivilFromDays(long long days, int& year, unsigned& month, unsigned& day)
{
    days += 719468;
    const long long era = FloorDivide(days, 146097);
    const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned monthIndex = (5 * dayOfYear + 2) / 153;
    day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    year = static_cast<int>(yearOfEra + era * 400) + (month <= 2 ? 1 : 0);
}

long long DaysFromCivil(int year, unsigned month, unsigned day)
{
    year -= month <= 2 ? 1 : 0;
    const long long era = FloorDivide(year, 400);
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<long long>(dayOfEra) - 719468;
}

// Decimal value of count characters at text[offset], read as _wtoi reads them
// (leading blanks, a sign, digits up to the first other character), kept in 16 bits.
unsigned short DecimalAt(const wchar_t* text, size_t offset, size_t count)
{
    const wchar_t* c = text + offset;
    const wchar_t* const end = c + count;
    while (c < end && (*c == L' ' || (*c >= L'\t' && *c <= L'\r')))
        ++c;
    bool negative = false;
    if (c < end && (*c == L'+' || *c == L'-'))
        negative = *c++ == L'-';
    int value = 0;
    for (; c < end && *c >= L'0' && *c <= L'9'; ++c)
        value = value * 10 + (*c - L'0');
    return static_cast<unsigned short>(negative ? -value : value);
}

// Attribute names are ASCII keywords; the comparison folds ASCII letters only,
// as the C library's case-insensitive comparison does.
bool IsAttribute(const wchar_t* name, const wchar_t* keyword)
{
    for (; *keyword; ++name, ++keyword) {
        wchar_t c = *name;
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
        if (c != *keyword)
            return false;
    }
    return *name == L'\0';
}

void ApplyAttribute(VFSItem& item, const wchar_t* name, const wchar_t* value)
{
    if (IsAttribute(name, L"name"))
        CopyField(item.phoneName, value);
    else if (IsAttribute(name, L"size"))
        item.size = _wtoi(value);
    else if (IsAttribute(name, L"created"))
        item.created = BSTR2Date(value);
    else if (IsAttribute(name, L"modified"))
        item.modified = BSTR2Date(value);
    else if (IsAttribute(name, L"user-perm"))
        CopyField(item.userPerm, value);
    else if (IsAttribute(name, L"label"))
        CopyField(item.label, value);
    else if (IsAttribute(name, L"mem-type"))
        CopyField(item.memType, value);
    else if (IsAttribute(name, L"type"))
        CopyField(item.mimeType, value);
}

// Fills a fresh (zeroed) entry from the attributes of one element, in document order.
void ReadItem(IXMLDOMNode* element, VFSItem& item)
{
    com_ptr<IXMLDOMNamedNodeMap> attributes;
    Check(element->get_attributes(attributes.put()));
    if (!attributes)
        return;
    long count = 0;
    Check(attributes->get_length(&count));
    for (long i = 0; i < count; ++i) {
        com_ptr<IXMLDOMNode> attribute;
        Check(attributes->get_item(i, attribute.put()));
        if (!attribute)
            continue;
        unique_bstr name;
        Check(attribute->get_nodeName(name.put()));
        unique_bstr value;
        Check(attribute->get_text(value.put()));
        ApplyAttribute(item, name.c_str(), value.c_str());
    }
}

com_ptr<IXMLDOMNodeList> ElementsNamed(IXMLDOMDocument2* document, const wchar_t* name)
{
    unique_bstr tag(name);
    if (!tag)
        throw _com_error(E_OUTOFMEMORY);
    com_ptr<IXMLDOMNodeList> elements;
    Check(document->getElementsByTagName(tag.get(), elements.put()));
    if (!elements)
        throw _com_error(E_UNEXPECTED);
    return elements;
}

// The next element of the list whose name is exactly name (the parser may also
// match prefixed names), or null at the end.
com_ptr<IXMLDOMNode> NextElement(IXMLDOMNodeList* elements, const wchar_t* name)
{
    for (;;) {
        com_ptr<IXMLDOMNode> element;
        Check(elements->nextNode(element.put()));
        if (!element)
            return element;
        unique_bstr nodeName;
        Check(element->get_nodeName(nodeName.put()));
        if (wcscmp(nodeName.c_str(), name) == 0)
            return element;
    }
}

void Reserve(IXMLDOMNodeList* elements, std::vector<VFSItem>& items)
{
    long count = 0;
    if (SUCCEEDED(elements->get_length(&count)) && count > 0)
        items.reserve(static_cast<size_t>(count));
}

} // namespace

HRESULT GetFilesAndFolders(BSTR listing, std::vector<VFSItem>& files, std::vector<VFSItem>& folders,
                           const wchar_t* pcFolderPath)
{
    files.clear();
    folders.clear();
    return GuardedResult(
        [&]() -> HRESULT {
            com_ptr<IXMLDOMDocument2> document;
            HRESULT hr = CreateXmlDocument(document);
            if (FAILED(hr))
                return hr;

            VARIANT_BOOL loaded = VARIANT_FALSE;
            hr = document->loadXML(listing, &loaded);
            if (FAILED(hr) || loaded != VARIANT_TRUE) {
                QTRACE(L"(): loadXML failed!\n");
                return E_FAIL;
            }

            const std::wstring folderPath = pcFolderPath ? pcFolderPath : L"";
            PcNameSet folderNames;
            com_ptr<IXMLDOMNodeList> elements = ElementsNamed(document.get(), L"folder");
            Reserve(elements.get(), folders);
            while (com_ptr<IXMLDOMNode> element = NextElement(elements.get(), L"folder")) {
                // Entries are filled where they will stay: they are large.
                folders.emplace_back();
                VFSItem& item = folders.back();
                ReadItem(element.get(), item);
                if (!item.phoneName[0]) {
                    folders.pop_back();
                    continue;
                }
                std::wstring pcName = item.phoneName;
                FitPcName(pcName, folderPath, kFolderNameLimit, true, folderNames);
                CopyField(item.pcName, pcName.c_str());
                folderNames.Add(item.pcName);
                QTRACE(L"(): phone path=\t%ls\n", item.phoneName);
                QTRACE(L"(): Pc path=\t%ls\n", item.pcName);
            }

            elements = ElementsNamed(document.get(), L"file");
            Reserve(elements.get(), files);
            while (com_ptr<IXMLDOMNode> element = NextElement(elements.get(), L"file")) {
                files.emplace_back();
                ReadItem(element.get(), files.back());
            }
            return S_OK;
        },
        E_UNEXPECTED);
}

DATE BSTR2Date(const wchar_t* text)
{
    if (!text || wcslen(text) < 15)
        return 0.0;
    const unsigned year = DecimalAt(text, 0, 4);
    const unsigned month = DecimalAt(text, 4, 2);
    const unsigned day = DecimalAt(text, 6, 2);
    const unsigned hour = DecimalAt(text, 9, 2);
    const unsigned minute = DecimalAt(text, 11, 2);
    const unsigned second = DecimalAt(text, 13, 2);

    if (year > 9999 || month == 0 || month > 12) {
        QTRACE(L"(): Invalid date!\n");
        return 0.0;
    }
    static const unsigned monthStart[13] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};
    const bool leapYear = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    unsigned monthLength = monthStart[month] - monthStart[month - 1];
    if (leapYear && month == 2)
        ++monthLength;
    if (day < 1 || day > monthLength || hour > 23 || minute > 59 || second > 59) {
        QTRACE(L"(): Invalid date or time!\n");
        return 0.0;
    }

    long days = static_cast<long>(year * 365 + year / 4 - year / 100 + year / 400 + monthStart[month - 1] + day);
    if (leapYear && month <= 2)
        --days;
    const long serial = days - 693959;
    double fraction = (hour * 3600 + minute * 60 + second) / kSecondsPerDay;
    if (serial < 0)
        fraction = -fraction;
    return serial + fraction;
}

bool DateToSystemTime(DATE date, SYSTEMTIME& time)
{
    if (!(date >= kFirstDate && date <= kLastDate))
        return false;
    // Before 1899-12-30 the fraction still counts forward from the start of
    // the day: -1.25 is 1899-12-29 06:00.
    const double dayPart = std::trunc(date);
    const double linear = dayPart + std::fabs(date - dayPart);
    const long long seconds = static_cast<long long>(std::floor(linear * kSecondsPerDay + 0.5));
    const long long days = FloorDivide(seconds, 86400);
    const long long secondOfDay = seconds - days * 86400;

    int year;
    unsigned month, day;
    CivilFromDays(days - kDateEpochTo1970, year, month, day);
    time = SYSTEMTIME{};
    time.wYear = static_cast<WORD>(year);
    time.wMonth = static_cast<WORD>(month);
    time.wDay = static_cast<WORD>(day);
    time.wDayOfWeek = static_cast<WORD>((days % 7 + 7 + 6) % 7); // 1899-12-30 was a Saturday
    time.wHour = static_cast<WORD>(secondOfDay / 3600);
    time.wMinute = static_cast<WORD>(secondOfDay / 60 % 60);
    time.wSecond = static_cast<WORD>(secondOfDay % 60);
    return true;
}

HRESULT DateToFileTime(DATE date, FILETIME& fileTime)
{
    SYSTEMTIME time;
    if (!DateToSystemTime(date, time))
        return E_INVALIDARG;
    FILETIME local;
    if (!SystemTimeToFileTime(&time, &local) || !LocalFileTimeToFileTime(&local, &fileTime))
        return HRESULT_FROM_WIN32(GetLastError());
    return S_OK;
}

HRESULT FileTimeToDate(const FILETIME& fileTime, DATE& date)
{
    FILETIME local;
    SYSTEMTIME time;
    if (!FileTimeToLocalFileTime(&fileTime, &local) || !FileTimeToSystemTime(&local, &time))
        return HRESULT_FROM_WIN32(GetLastError());
    if (time.wYear < 100 || time.wYear > 9999)
        return E_INVALIDARG;
    const long long days = DaysFromCivil(time.wYear, time.wMonth, time.wDay) + kDateEpochTo1970;
    const double fraction =
        (time.wHour * 3600 + time.wMinute * 60 + time.wSecond + time.wMilliseconds / 1000.0) / kSecondsPerDay;
    date = days < 0 ? days - fraction : days + fraction;
    return S_OK;
}

} // namespace mirror
