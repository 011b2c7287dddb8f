#include "ResourceFile.h"

#include "common/Resource.h"
#include "common/Trace.h"

#include <cstdint>
#include <vector>

namespace localisation {

namespace {

// The image headers lie at the start of the file; more than this is no header.
constexpr DWORD kHeaderBytes = 64 * 1024;
constexpr size_t kDosHeaderBytes = 64;
constexpr size_t kNewHeaderOffset = 0x3C;
constexpr size_t kFileHeaderBytes = 24; // "PE\0\0" and the file header
constexpr size_t kSectionHeaderBytes = 40;

// Little-endian values at an offset, each checked against the bytes read.
class HeaderReader
{
public:
    explicit HeaderReader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
    bool Has(uint64_t offset, uint64_t count) const
    {
        return offset <= bytes_.size() && count <= bytes_.size() - offset;
    }
    bool U16(uint64_t offset, uint32_t& value) const
    {
        if (!Has(offset, 2))
            return false;
        value = bytes_[offset] | bytes_[offset + 1] << 8;
        return true;
    }
    bool U32(uint64_t offset, uint32_t& value) const
    {
        uint32_t low = 0, high = 0;
        if (!U16(offset, low) || !U16(offset + 2, high))
            return false;
        value = low | high << 16;
        return true;
    }

private:
    const std::vector<uint8_t>& bytes_;
};

bool HeadersFit(const std::vector<uint8_t>& bytes, ULONGLONG fileSize)
{
    const HeaderReader reader(bytes);
    uint32_t signature = 0, newHeader = 0, peSignature = 0, sections = 0, optionalBytes = 0;
    if (!reader.Has(0, kDosHeaderBytes) || !reader.U16(0, signature) || signature != IMAGE_DOS_SIGNATURE ||
        !reader.U32(kNewHeaderOffset, newHeader) || !reader.U32(newHeader, peSignature) ||
        peSignature != IMAGE_NT_SIGNATURE || !reader.U16(uint64_t(newHeader) + 6, sections) ||
        !reader.U16(uint64_t(newHeader) + 20, optionalBytes))
        return false;
    const uint64_t table = uint64_t(newHeader) + kFileHeaderBytes + optionalBytes;
    if (!reader.Has(table, uint64_t(sections) * kSectionHeaderBytes))
        return false;
    for (uint32_t i = 0; i < sections; ++i) {
        const uint64_t header = table + uint64_t(i) * kSectionHeaderBytes;
        uint32_t rawSize = 0, rawOffset = 0;
        if (!reader.U32(header + 16, rawSize) || !reader.U32(header + 20, rawOffset))
            return false;
        if (rawSize && uint64_t(rawOffset) + rawSize > fileSize)
            return false;
    }
    return true;
}

} // namespace

bool IsWholeResourceFile(const std::wstring& path)
{
    // Shared as the loader shares it: a file another program holds without sharing is refused.
    unique_file file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 ||
        static_cast<ULONGLONG>(size.QuadPart) > kMaxResourceFileBytes)
        return false;
    const DWORD wanted = size.QuadPart < kHeaderBytes ? static_cast<DWORD>(size.QuadPart) : kHeaderBytes;
    std::vector<uint8_t> bytes(wanted);
    DWORD read = 0;
    if (wanted && (!ReadFile(file.get(), bytes.data(), wanted, &read, nullptr) || read != wanted))
        return false;
    return HeadersFit(bytes, static_cast<ULONGLONG>(size.QuadPart));
}

HMODULE MapResourceFile(const std::wstring& path)
{
    if (path.empty())
        return nullptr;
    if (!IsWholeResourceFile(path)) {
        QTRACE(L"(): %ls is no whole resource file\n", path.c_str());
        return nullptr;
    }
    return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

} // namespace localisation
