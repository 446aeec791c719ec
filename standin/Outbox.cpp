#include "standin/Outbox.h"

#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <stdexcept>

namespace standin {
namespace {

class FileHandle {
public:
    explicit FileHandle(HANDLE h) : h_(h) {}
    ~FileHandle() { Close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    bool Valid() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return h_; }
    bool Close() {
        const bool ok = h_ == INVALID_HANDLE_VALUE || ::CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
        return ok;
    }

private:
    HANDLE h_;
};

std::runtime_error Failure(const char* what) {
    char text[160];
    std::snprintf(text, sizeof text, "%s (error %lu)", what, ::GetLastError());
    return std::runtime_error(text);
}

// "20261208-221631-<guid>": sorts by the time of sending, never repeats.
std::wstring UniqueName() {
    SYSTEMTIME st;
    ::GetLocalTime(&st);
    GUID guid{};
    ::CoCreateGuid(&guid);
    wchar_t text[96];
    std::swprintf(text, 96, L"%04u%02u%02u-%02u%02u%02u-%08lx%04x%04x%02x%02x%02x%02x%02x%02x%02x%02x", st.wYear,
                  st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, static_cast<unsigned long>(guid.Data1),
                  guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4],
                  guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

}  // namespace

bool CreateFolderTree(const std::wstring& folder) {
    if (folder.empty()) return false;
    const DWORD attributes = ::GetFileAttributesW(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const size_t cut = folder.find_last_of(L"\\/");
    if (cut != std::wstring::npos && cut > 0 && folder[cut - 1] != L':') {
        if (!CreateFolderTree(folder.substr(0, cut))) return false;
    }
    return ::CreateDirectoryW(folder.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
}

std::wstring DeliverToOutbox(const std::wstring& folder, const std::string& message) {
    if (!CreateFolderTree(folder)) throw Failure("The outbox folder cannot be created");
    std::wstring base = folder;
    if (base.back() != L'\\' && base.back() != L'/') base += L'\\';
    base += UniqueName();
    const std::wstring temporary = base + L".tmp", finished = base + L".eml";
    {
        FileHandle file(
            ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.Valid()) throw Failure("The message file cannot be created");
        DWORD written = 0;
        const bool ok =
            ::WriteFile(file.get(), message.data(), static_cast<DWORD>(message.size()), &written, nullptr) &&
            written == message.size() && ::FlushFileBuffers(file.get()) && file.Close();
        if (!ok) {
            const auto error = Failure("The message file cannot be written");
            file.Close();
            ::DeleteFileW(temporary.c_str());
            throw error;
        }
    }
    if (!::MoveFileExW(temporary.c_str(), finished.c_str(), MOVEFILE_WRITE_THROUGH)) {
        const auto error = Failure("The message file cannot be renamed");
        ::DeleteFileW(temporary.c_str());
        throw error;
    }
    return finished;
}

}  // namespace standin
