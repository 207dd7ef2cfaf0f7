// Whole-file reading and atomic replacement on Windows: paths are UTF-8 and
// go to the wide-character calls; the new content is written to a temporary
// file in the target's folder, flushed, and moved over the target in one
// step (MoveFileExW with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH).
#include <windows.h>

#include <algorithm>
#include <string>

#include "form/file_access.h"
#include "serial/wide_text_win32.h"

namespace quill {
namespace {

// The one place that turns a Windows error into a reason the operator reads.
std::string ErrorText(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return "文件或文件夹不存在";
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return "没有访问权限";
        case ERROR_WRITE_PROTECT:
            return "文件系统只读";
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return "磁盘空间不足";
        case ERROR_FILENAME_EXCED_RANGE:
            return "路径太长";
        default:
            break;
    }
    return "系统错误 " + std::to_string(error);
}

class Handle {
  public:
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() {
        if (valid()) ::CloseHandle(h_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return h_; }
    // Closes now, so that a failing close is seen: 0 or the error.
    DWORD close() {
        const BOOL ok = ::CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
        return ok ? 0 : ::GetLastError();
    }

  private:
    HANDLE h_;
};

}  // namespace

ReadOutcome ReadWholeFile(const std::string& path, std::size_t maxBytes) {
    const DWORD attributes = ::GetFileAttributesW(Widen(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return {std::nullopt, "这是一个文件夹", false};
    Handle file(::CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return {std::nullopt, ErrorText(::GetLastError()), false};
    std::string content;
    char buffer[16384];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr))
            return {std::nullopt, ErrorText(::GetLastError()), false};
        if (got == 0) break;
        content.append(buffer, got);
        if (content.size() > maxBytes) return {std::nullopt, {}, true};
    }
    return {std::move(content), {}, false};
}

std::string ReplaceFileAtomically(const std::string& path, std::string_view content) {
    const std::wstring target = Widen(path);
    const std::wstring temporary = target + L".tmp" + std::to_wstring(::GetCurrentProcessId());
    DWORD error = 0;
    {
        Handle file(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid()) return ErrorText(::GetLastError());
        std::size_t done = 0;
        while (error == 0 && done < content.size()) {
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(content.size() - done, 1 << 20));
            DWORD wrote = 0;
            if (!::WriteFile(file.get(), content.data() + done, chunk, &wrote, nullptr) || wrote == 0)
                error = ::GetLastError();
            done += wrote;
        }
        if (error == 0 && !::FlushFileBuffers(file.get())) error = ::GetLastError();
        const DWORD closeError = file.close();
        if (error == 0) error = closeError;
    }
    if (error == 0 &&
        !::MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        error = ::GetLastError();
    if (error != 0) {
        ::DeleteFileW(temporary.c_str());
        return ErrorText(error);
    }
    return {};
}

// Each missing folder of the path (a user's profile folder is its own already).
DWORD MakeFolders(const std::wstring& folder) {
    if (folder.empty() || folder.back() == L':') return 0;
    const DWORD attributes = ::GetFileAttributesW(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? 0 : ERROR_DIRECTORY;
    const auto slash = folder.find_last_of(L"\\/");
    if (slash != std::wstring::npos)
        if (const DWORD parent = MakeFolders(folder.substr(0, slash)); parent != 0) return parent;
    return ::CreateDirectoryW(folder.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS ? 0
                                                                                                 : ::GetLastError();
}

std::string AppendToFile(const std::string& path, std::string_view content) {
    const std::wstring target = Widen(path);
    const auto slash = target.find_last_of(L"\\/");
    if (slash != std::wstring::npos)
        if (const DWORD error = MakeFolders(target.substr(0, slash)); error != 0) return ErrorText(error);
    Handle file(::CreateFileW(target.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return ErrorText(::GetLastError());
    DWORD wrote = 0;
    DWORD error = 0;
    if (!::WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &wrote, nullptr))
        error = ::GetLastError();
    else if (wrote != content.size())
        error = ERROR_HANDLE_DISK_FULL;
    const DWORD closeError = file.close();
    if (error == 0) error = closeError;
    return error == 0 ? std::string() : ErrorText(error);
}

// A file in the user's profile is its own already; only its existence matters here.
std::string CreateOwnerOnlyFile(const std::string& path) {
    Handle file(::CreateFileW(Widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return ErrorText(::GetLastError());
    const DWORD closed = file.close();
    return closed == 0 ? std::string() : ErrorText(closed);
}

std::string UserDataFile(std::string_view name) {
    const DWORD size = ::GetEnvironmentVariableW(L"APPDATA", nullptr, 0);
    if (size == 0) return {};
    std::wstring folder(size, L'\0');
    folder.resize(::GetEnvironmentVariableW(L"APPDATA", folder.data(), size));
    return Narrow(folder) + "\\Quillmere\\" + std::string(name);
}

std::tm LocalTime(std::time_t t) {
    std::tm local{};
    ::localtime_s(&local, &t);
    return local;
}

}  // namespace quill
