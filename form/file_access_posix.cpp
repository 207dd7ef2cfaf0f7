#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "form/file_access.h"

namespace quill {
namespace {

// The one place that turns errno into a reason the operator reads.
std::string ErrorText(int error) {
    switch (error) {
        case ENOENT:
            return "文件或文件夹不存在";
        case EACCES:
        case EPERM:
            return "没有访问权限";
        case EISDIR:
            return "这是一个文件夹";
        case ENOTDIR:
            return "路径中有一项不是文件夹";
        case EROFS:
            return "文件系统只读";
        case ENOSPC:
            return "磁盘空间不足";
        case EDQUOT:
            return "超出磁盘配额";
        case ENAMETOOLONG:
            return "路径太长";
        default:
            break;
    }
    std::array<char, 256> buffer{};
    return ::strerror_r(error, buffer.data(), buffer.size());
}

class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    // Closes now, so that a failing close is seen: 0 or errno.
    int close() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result == 0 ? 0 : errno;
    }

  private:
    int fd_;
};

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// 0 when every byte was written, else errno.
int WriteAll(int fd, std::string_view content) {
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

}  // namespace

ReadOutcome ReadWholeFile(const std::string& path, std::size_t maxBytes) {
    // Non-blocking, so a FIFO or a terminal named as the file is refused below
    // instead of waiting for a writer that may never come.
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) return {std::nullopt, ErrorText(errno), false};
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) return {std::nullopt, ErrorText(errno), false};
    if (S_ISDIR(info.st_mode)) return {std::nullopt, ErrorText(EISDIR), false};
    if (!S_ISREG(info.st_mode)) return {std::nullopt, "不是普通文件", false};
    // The size is checked again while reading: the file may grow meanwhile.
    if (static_cast<std::size_t>(info.st_size) > maxBytes) return {std::nullopt, "文件过大", true};
    std::string content;
    std::vector<char> chunk(64 * 1024);
    for (;;) {
        const ssize_t n = ::read(fd.get(), chunk.data(), chunk.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return {std::nullopt, ErrorText(errno), false};
        }
        if (n == 0) break;
        content.append(chunk.data(), static_cast<std::size_t>(n));
        if (content.size() > maxBytes) return {std::nullopt, "文件过大", true};
    }
    return {std::move(content), {}, false};
}

std::string ReplaceFileAtomically(const std::string& path, std::string_view content) {
    const std::string folder = FolderOf(path);
    const auto slash = path.find_last_of('/');
    std::string temporary =
        folder + "/." + (slash == std::string::npos ? path : path.substr(slash + 1)) + ".XXXXXX";
    Descriptor fd(::mkstemp(temporary.data()));
    if (fd.get() < 0) return ErrorText(errno);

    // A new file holds a unit's values, passwords included: its owner's alone.
    mode_t mode = S_IRUSR | S_IWUSR;
    if (struct stat old{}; ::stat(path.c_str(), &old) == 0) mode = old.st_mode & 07777;
    int error = ::fchmod(fd.get(), mode) == 0 ? 0 : errno;
    if (error == 0) error = WriteAll(fd.get(), content);
    if (error == 0 && ::fsync(fd.get()) != 0) error = errno;
    if (const int closed = fd.close(); error == 0) error = closed;
    if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) error = errno;
    if (error != 0) {
        ::unlink(temporary.c_str());
        return ErrorText(error);
    }
    // The rename itself reaches the disk with the folder.
    Descriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) ::fsync(dir.get());
    return {};
}

// Each missing folder of the path, its owner's only.
int MakeFolders(const std::string& folder) {
    if (folder.empty() || folder == "/" || folder == ".") return 0;
    struct stat info{};
    if (::stat(folder.c_str(), &info) == 0) return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
    if (const int parent = MakeFolders(FolderOf(folder)); parent != 0) return parent;
    return ::mkdir(folder.c_str(), S_IRWXU) == 0 || errno == EEXIST ? 0 : errno;
}

std::string AppendToFile(const std::string& path, std::string_view content) {
    if (const int error = MakeFolders(FolderOf(path)); error != 0) return ErrorText(error);
    Descriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, S_IRUSR | S_IWUSR));
    if (fd.get() < 0) return ErrorText(errno);
    // One write: a record is whole in the file or not there (a kill cannot split it).
    const ssize_t n = ::write(fd.get(), content.data(), content.size());
    int error = n < 0 ? errno : static_cast<std::size_t>(n) != content.size() ? ENOSPC : 0;
    if (const int closed = fd.close(); error == 0) error = closed;
    return error == 0 ? std::string() : ErrorText(error);
}

std::string CreateOwnerOnlyFile(const std::string& path) {
    Descriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, S_IRUSR | S_IWUSR));
    if (fd.get() < 0) return ErrorText(errno);
    const int closed = fd.close();
    return closed == 0 ? std::string() : ErrorText(closed);
}

std::string UserDataFile(std::string_view name) {
    if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && data[0] == '/')
        return std::string(data) + "/quillmere/" + std::string(name);
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/')
        return std::string(home) + "/.local/share/quillmere/" + std::string(name);
    return {};
}

std::tm LocalTime(std::time_t t) {
    std::tm local{};
    ::localtime_r(&t, &local);
    return local;
}

}  // namespace quill
