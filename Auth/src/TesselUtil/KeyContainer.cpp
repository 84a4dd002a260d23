#include "KeyContainer.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "RaiseHResult.h"

namespace tessel {

namespace {

constexpr char kMagic[4] = {'T', 'S', 'K', 'C'};
constexpr std::uint8_t kVersion = 1;
constexpr std::size_t kHeaderSize = 4 + 1 + 4;

[[noreturn]] void RaiseErrno(int err, const char* op)
{
    RaiseHResult(err == EACCES || err == EPERM || err == EROFS ? kERROR_ACCESS_DENIED
                                                               : static_cast<std::uint32_t>(kNTE_FAIL),
                 op);
}

class Fd {
public:
    explicit Fd(int fd) noexcept : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
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

void MakeDirs(const std::string& dir)
{
    std::string partial;
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = dir.find('/', pos + 1);
        partial = dir.substr(0, pos);
        if (partial.empty())
            continue;
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST)
            RaiseErrno(errno, "CryptAcquireContext(CRYPT_NEWKEYSET)");
    }
    ::chmod(dir.c_str(), 0700);
}

// Holds an exclusive lock on the container's lock file while alive.
class ContainerLock {
public:
    explicit ContainerLock(const std::string& path)
        : fd_(::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600))
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

std::optional<std::vector<std::uint8_t>> ReadFile(const std::string& path)
{
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno == ENOENT)
            return std::nullopt;
        RaiseErrno(errno, "CryptGetUserKey(AT_KEYEXCHANGE)");
    }
    std::vector<std::uint8_t> bytes;
    std::uint8_t buf[4096];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            RaiseErrno(errno, "CryptGetUserKey(AT_KEYEXCHANGE)");
        }
        if (n == 0)
            break;
        bytes.insert(bytes.end(), buf, buf + n);
        if (bytes.size() > (1u << 20))
            RaiseHResult(static_cast<std::uint32_t>(kNTE_KEYSET_ENTRY_BAD), "CryptGetUserKey(AT_KEYEXCHANGE)");
    }
    return bytes;
}

void WriteAtomically(const std::string& path, const std::uint8_t* data, std::size_t size)
{
    const std::string tmp = path + ".tmp." + std::to_string(::getpid());
    {
        Fd fd(::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
        if (fd.get() < 0)
            RaiseErrno(errno, "CryptGenKey()");
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = ::write(fd.get(), data + done, size - done);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                const int err = errno;
                ::unlink(tmp.c_str());
                RaiseErrno(err, "CryptGenKey()");
            }
            done += static_cast<std::size_t>(n);
        }
        ::fsync(fd.get());
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(tmp.c_str());
        RaiseErrno(err, "CryptGenKey()");
    }
}

void WriteContainer(const std::string& path, const ByteBuffer* blob)
{
    const std::uint32_t len = blob ? blob->size() : 0;
    std::vector<std::uint8_t> bytes(kHeaderSize + len);
    std::memcpy(bytes.data(), kMagic, 4);
    bytes[4] = kVersion;
    for (int i = 0; i < 4; ++i)
        bytes[5 + i] = static_cast<std::uint8_t>(len >> (8 * i));
    if (len)
        std::memcpy(bytes.data() + kHeaderSize, blob->data(), len);
    WriteAtomically(path, bytes.data(), bytes.size());
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
    path_ = dir_ + "/" + Sanitize(providerName) + "." + container + ".key";
}

bool KeyContainer::Exists() const
{
    struct stat st {};
    return ::stat(path_.c_str(), &st) == 0;
}

void KeyContainer::Create() const
{
    MakeDirs(dir_);
    const ContainerLock lock(path_);
    if (Exists())
        RaiseHResult(static_cast<std::uint32_t>(kNTE_EXISTS), "CryptAcquireContext(CRYPT_NEWKEYSET)");
    WriteContainer(path_, nullptr);
}

void KeyContainer::Delete() const
{
    if (!Exists())
        RaiseHResult(static_cast<std::uint32_t>(kNTE_BAD_KEYSET), "CryptAcquireContext");
    const ContainerLock lock(path_);
    if (::unlink(path_.c_str()) != 0)
        RaiseErrno(errno, "CryptAcquireContext");
}

std::optional<ByteBuffer> KeyContainer::LoadExchangePair() const
{
    const auto bytes = ReadFile(path_);
    if (!bytes)
        RaiseHResult(static_cast<std::uint32_t>(kNTE_BAD_KEYSET), "CryptGetUserKey(AT_KEYEXCHANGE)");
    if (bytes->size() < kHeaderSize || std::memcmp(bytes->data(), kMagic, 4) != 0 || (*bytes)[4] != kVersion)
        RaiseHResult(static_cast<std::uint32_t>(kNTE_KEYSET_ENTRY_BAD), "CryptGetUserKey(AT_KEYEXCHANGE)");
    std::uint32_t len = 0;
    for (int i = 0; i < 4; ++i)
        len |= static_cast<std::uint32_t>((*bytes)[5 + i]) << (8 * i);
    if (len != bytes->size() - kHeaderSize)
        RaiseHResult(static_cast<std::uint32_t>(kNTE_KEYSET_ENTRY_BAD), "CryptGetUserKey(AT_KEYEXCHANGE)");
    if (len == 0)
        return std::nullopt;
    return ByteBuffer(bytes->data() + kHeaderSize, len);
}

void KeyContainer::StoreExchangePair(const ByteBuffer& privateBlob) const
{
    MakeDirs(dir_);
    const ContainerLock lock(path_);
    WriteContainer(path_, &privateBlob);
}

ByteBuffer KeyContainer::LoadOrCreateExchangePair(const std::function<ByteBuffer()>& generate) const
{
    MakeDirs(dir_);
    const ContainerLock lock(path_);
    if (auto existing = LoadExchangePair())
        return std::move(*existing);
    ByteBuffer blob = generate();
    WriteContainer(path_, &blob);
    return blob;
}

}  // namespace tessel
