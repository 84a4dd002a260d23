#include "KeyContainer.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "RaiseHResult.h"

namespace tessel {

namespace {

constexpr char kMagic[4] = {'T', 'S', 'K', 'C'};
constexpr std::uint8_t kVersion = 1;
constexpr std::size_t kHeaderSize = 4 + 1 + 4;

// The largest container file: a 16384-bit pair is about 9 KiB.
constexpr off_t kMaxFileSize = 1 << 20;

[[noreturn]] void RaiseUnsafe(const char* op)
{
    RaiseHResult(static_cast<std::uint32_t>(kNTE_PERM), op);
}

[[noreturn]] void RaiseErrno(int err, const char* op)
{
    if (err == ELOOP)  // O_NOFOLLOW met a link
        RaiseUnsafe(op);
    RaiseHResult(err == EACCES || err == EPERM || err == EROFS ? kERROR_ACCESS_DENIED
                                                               : static_cast<std::uint32_t>(kNTE_FAIL),
                 op);
}

class Fd {
public:
    explicit Fd(int fd) noexcept : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd& operator=(Fd&&) = delete;
    ~Fd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Fd(Fd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    int get() const noexcept { return fd_; }

private:
    int fd_;
};

// File names keep letters, digits, '-' and '.'; everything else becomes '_'.
template <typename String>
std::string Sanitize(const String& s)
{
    std::string out(s.size(), '_');
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<std::uint32_t>(s[i]);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.')
            out[i] = static_cast<char>(c);
    }
    return out;
}

std::string DefaultContainerName()
{
    if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_name && *pw->pw_name)
        return pw->pw_name;
    return "default";
}

// Makes the missing folders of `dir`, each 0700.
void MakeDirs(const std::string& dir)
{
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = dir.find('/', pos + 1);
        const std::string partial = dir.substr(0, pos);
        if (partial.empty())
            continue;
        if (::mkdir(partial.c_str(), 0700) == 0)
            ::chmod(partial.c_str(), 0700);  // whatever the umask says
        else if (errno != EEXIST)
            RaiseErrno(errno, "CryptAcquireContext(CRYPT_NEWKEYSET)");
    }
}

// The keys folder, opened without following a link and checked: this user's
// own, and nobody else may write to it. An absent folder gives an invalid Fd
// unless `create` makes it.
Fd OpenFolder(const std::string& dir, bool create, const char* op)
{
    if (create)
        MakeDirs(dir);
    Fd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.get() < 0) {
        const int err = errno;
        if (err == ENOENT && !create)
            return fd;
        struct stat st {};
        if (::lstat(dir.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
            RaiseUnsafe(op);
        RaiseErrno(err, op);
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        RaiseErrno(errno, op);
    if (st.st_uid != ::geteuid() || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        RaiseUnsafe(op);
    return fd;
}

// Whether a name in the folder is a file, without following a link: false
// when absent; a link, a file with other names or another owner, or anything
// but a file, is refused.
bool RegularFileAt(int folder, const std::string& name, const char* op)
{
    struct stat st {};
    if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT)
            return false;
        RaiseErrno(errno, op);
    }
    if (!S_ISREG(st.st_mode) || st.st_nlink != 1 || st.st_uid != ::geteuid())
        RaiseUnsafe(op);
    return true;
}

// Holds an exclusive lock on the container's lock file while alive.
class ContainerLock {
public:
    ContainerLock(int folder, const std::string& name)
        : fd_(::openat(folder, (name + ".lock").c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600))
    {
        if (fd_.get() < 0)
            RaiseErrno(errno, "CryptAcquireContext");
        while (::flock(fd_.get(), LOCK_EX) != 0)
            if (errno != EINTR)
                RaiseErrno(errno, "CryptAcquireContext");
    }

private:
    Fd fd_;
};

// A container file as read: absent, holding a pair (or none), or damaged.
struct ContainerFile {
    enum class State { Absent, Empty, Pair, Damaged } state = State::Absent;
    ByteBuffer blob;
};

ContainerFile ReadContainer(int folder, const std::string& name)
{
    constexpr const char* op = "CryptGetUserKey(AT_KEYEXCHANGE)";
    if (!RegularFileAt(folder, name, op))
        return {};
    const Fd fd(::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno == ENOENT)
            return {};
        RaiseErrno(errno, op);
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        RaiseErrno(errno, op);
    if (!S_ISREG(st.st_mode) || st.st_nlink != 1)
        RaiseUnsafe(op);  // replaced between the check and the open
    if (st.st_size > kMaxFileSize)
        return {ContainerFile::State::Damaged, {}};
    std::vector<std::uint8_t> bytes;
    std::uint8_t buf[4096];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            RaiseErrno(errno, op);
        }
        if (n == 0)
            break;
        bytes.insert(bytes.end(), buf, buf + n);
        if (bytes.size() > static_cast<std::size_t>(kMaxFileSize))
            return {ContainerFile::State::Damaged, {}};
    }
    if (bytes.size() < kHeaderSize || std::memcmp(bytes.data(), kMagic, 4) != 0 || bytes[4] != kVersion)
        return {ContainerFile::State::Damaged, {}};
    std::uint32_t len = 0;
    for (int i = 0; i < 4; ++i)
        len |= static_cast<std::uint32_t>(bytes[5 + i]) << (8 * i);
    if (len != bytes.size() - kHeaderSize)
        return {ContainerFile::State::Damaged, {}};
    if (len == 0)
        return {ContainerFile::State::Empty, {}};
    return {ContainerFile::State::Pair, ByteBuffer(bytes.data() + kHeaderSize, len)};
}

// Writes `name` through a temporary file made exclusively (never through a
// link left at its path) and renamed over it.
void WriteAtomically(int folder, const std::string& name, const std::uint8_t* data, std::size_t size)
{
    constexpr const char* op = "CryptGenKey()";
    (void)RegularFileAt(folder, name, op);  // a link or a foreign file there is refused, not replaced
    const std::string tmp = name + ".tmp." + std::to_string(::getpid());
    const auto create = [&] {
        return ::openat(folder, tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    };
    int raw = create();
    if (raw < 0 && errno == EEXIST) {
        // Left by a process of the same id that died, or planted: removing the
        // name removes a link itself, never what it points to.
        if (::unlinkat(folder, tmp.c_str(), 0) != 0 && errno != ENOENT)
            RaiseErrno(errno, op);
        raw = create();
    }
    {
        const Fd fd(raw);
        if (fd.get() < 0)
            RaiseErrno(errno, op);
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = ::write(fd.get(), data + done, size - done);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                const int err = errno;
                ::unlinkat(folder, tmp.c_str(), 0);
                RaiseErrno(err, op);
            }
            done += static_cast<std::size_t>(n);
        }
        if (::fsync(fd.get()) != 0) {
            const int err = errno;
            ::unlinkat(folder, tmp.c_str(), 0);
            RaiseErrno(err, op);
        }
    }
    if (::renameat(folder, tmp.c_str(), folder, name.c_str()) != 0) {
        const int err = errno;
        ::unlinkat(folder, tmp.c_str(), 0);
        RaiseErrno(err, op);
    }
    ::fsync(folder);
}

void WriteContainer(int folder, const std::string& name, const ByteBuffer* blob)
{
    const std::uint32_t len = blob ? blob->size() : 0;
    std::vector<std::uint8_t> bytes(kHeaderSize + len);
    std::memcpy(bytes.data(), kMagic, 4);
    bytes[4] = kVersion;
    for (int i = 0; i < 4; ++i)
        bytes[5 + i] = static_cast<std::uint8_t>(len >> (8 * i));
    if (len)
        std::memcpy(bytes.data() + kHeaderSize, blob->data(), len);
    WriteAtomically(folder, name, bytes.data(), bytes.size());
}

// Renames a damaged container file to "<name>.damaged-<UTC time>" (a counter
// added if that is taken), never replacing another file.
void SetAside(int folder, const std::string& name)
{
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &tm);
    const std::string base = name + ".damaged-" + stamp;
    for (int n = 1; n < 1000; ++n) {
        const std::string aside = n == 1 ? base : base + "-" + std::to_string(n);
        if (::renameat2(folder, name.c_str(), folder, aside.c_str(), RENAME_NOREPLACE) == 0)
            return;
        if (errno != EEXIST)
            RaiseErrno(errno, "CryptGetUserKey(AT_KEYEXCHANGE)");
    }
    RaiseErrno(EEXIST, "CryptGetUserKey(AT_KEYEXCHANGE)");
}

}  // namespace

std::string KeyContainerDirectory()
{
    std::string base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) {
            const passwd* pw = ::getpwuid(::geteuid());
            home = pw && pw->pw_dir ? pw->pw_dir : "/tmp";
        }
        base = std::string(home) + "/.local/share";
    }
    return base + "/tessel/keys";
}

KeyContainer::KeyContainer(const std::u16string& providerName, const std::optional<std::u16string>& containerName)
    : dir_(KeyContainerDirectory())
{
    const std::string container = containerName && !containerName->empty() ? Sanitize(*containerName)
                                                                           : Sanitize(DefaultContainerName());
    name_ = Sanitize(providerName) + "." + container + ".key";
    path_ = dir_ + "/" + name_;
}

bool KeyContainer::Exists() const
{
    constexpr const char* op = "CryptAcquireContext";
    const Fd folder = OpenFolder(dir_, false, op);
    return folder.get() >= 0 && RegularFileAt(folder.get(), name_, op);
}

void KeyContainer::Create() const
{
    constexpr const char* op = "CryptAcquireContext(CRYPT_NEWKEYSET)";
    const Fd folder = OpenFolder(dir_, true, op);
    const ContainerLock lock(folder.get(), name_);
    if (RegularFileAt(folder.get(), name_, op))
        RaiseHResult(static_cast<std::uint32_t>(kNTE_EXISTS), op);
    WriteContainer(folder.get(), name_, nullptr);
}

void KeyContainer::Delete() const
{
    constexpr const char* op = "CryptAcquireContext";
    const Fd folder = OpenFolder(dir_, false, op);
    if (folder.get() < 0 || !RegularFileAt(folder.get(), name_, op))
        RaiseHResult(static_cast<std::uint32_t>(kNTE_BAD_KEYSET), op);
    const ContainerLock lock(folder.get(), name_);
    if (::unlinkat(folder.get(), name_.c_str(), 0) != 0)
        RaiseErrno(errno, op);
}

void KeyContainer::StoreExchangePair(const ByteBuffer& privateBlob) const
{
    const Fd folder = OpenFolder(dir_, true, "CryptGenKey()");
    const ContainerLock lock(folder.get(), name_);
    WriteContainer(folder.get(), name_, &privateBlob);
}

ByteBuffer KeyContainer::LoadOrCreateExchangePair(const std::function<ByteBuffer()>& generate,
                                                  const std::function<bool(const ByteBuffer&)>& usable) const
{
    const Fd folder = OpenFolder(dir_, true, "CryptGetUserKey(AT_KEYEXCHANGE)");
    const ContainerLock lock(folder.get(), name_);
    ContainerFile file = ReadContainer(folder.get(), name_);
    if (file.state == ContainerFile::State::Pair && !usable(file.blob))
        file.state = ContainerFile::State::Damaged;
    if (file.state == ContainerFile::State::Pair)
        return std::move(file.blob);
    if (file.state == ContainerFile::State::Damaged)
        SetAside(folder.get(), name_);
    ByteBuffer blob = generate();
    WriteContainer(folder.get(), name_, &blob);
    return blob;
}

}  // namespace tessel
