#include "Junit.h"

#include <libxml/xmlwriter.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <memory>
#include <random>
#include <stdexcept>
#include <string_view>

#include "Client/TextRules.h"

namespace tessel::call {

namespace {

struct BufferFree {
    void operator()(xmlBuffer* b) const noexcept { xmlBufferFree(b); }
};
struct WriterFree {
    void operator()(xmlTextWriter* w) const noexcept { xmlFreeTextWriter(w); }
};

// Whether a code point may appear in an XML 1.0 document.
bool XmlChar(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

// libxml2's own check lets overlong forms and lone continuation bytes through, so
// the text is read strictly here.
std::string XmlSafe(const std::string& text)
{
    return client::ValidUtf8(text, XmlChar);
}

std::runtime_error Failure(const std::string& path, const std::string& why)
{
    return std::runtime_error("cannot write " + path + ": " + why);
}

// Writes the whole text; false, with errno set, when it cannot.
bool WriteAll(int fd, std::string_view text)
{
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// What a report is written into rather than replaced: a terminal, /dev/null, a pipe.
bool WrittenInPlace(mode_t mode)
{
    return S_ISCHR(mode) || S_ISFIFO(mode);
}

// Writes a character device or a FIFO as it is (opening a FIFO waits for its reader).
void WriteInPlace(const std::string& path, const std::string& text, bool throughLink)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | (throughLink ? 0 : O_NOFOLLOW));
    if (fd < 0)
        throw Failure(path, std::strerror(errno));
    struct stat st {};
    const bool inPlace = ::fstat(fd, &st) == 0 && WrittenInPlace(st.st_mode);
    const bool written = inPlace && WriteAll(fd, text);
    const std::string why = std::strerror(errno);
    if (::close(fd) != 0 && written)
        throw Failure(path, std::strerror(errno));
    if (!inPlace)
        throw Failure(path, "it is no longer a device or a FIFO");
    if (!written)
        throw Failure(path, why);
}

// A new file beside PATH, created exclusively and never through a link, removed
// unless it was renamed over PATH.
class Temporary {
public:
    explicit Temporary(const std::string& path)
    {
        // The first name is the one a person recognises; another takes its place when a
        // file or a link already holds it.
        std::random_device random;
        for (int attempt = 0; fd_ < 0; ++attempt) {
            name_ = path + ".tmp-" + std::to_string(::getpid());
            if (attempt > 0)
                name_ += "-" + std::to_string(random());
            fd_ = ::open(name_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
            if (fd_ < 0 && (errno != EEXIST || attempt == 100))
                throw Failure(name_, std::strerror(errno));
        }
    }
    ~Temporary()
    {
        if (fd_ >= 0)
            ::close(fd_);
        if (!renamed_)
            ::unlink(name_.c_str());
    }
    Temporary(const Temporary&) = delete;
    Temporary& operator=(const Temporary&) = delete;

    int fd() const { return fd_; }
    const std::string& name() const { return name_; }
    bool Close()
    {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }
    void Renamed() { renamed_ = true; }

private:
    std::string name_;
    int fd_ = -1;
    bool renamed_ = false;
};

std::string Seconds(double s)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", s);
    return text;
}

class Writer {
public:
    Writer() : buffer_(xmlBufferCreate())
    {
        // A buffer grows by what each write needs unless told to double: a
        // report of many suites would be copied whole on every attribute.
        if (buffer_) {
            xmlBufferSetAllocationScheme(buffer_.get(), XML_BUFFER_ALLOC_DOUBLEIT);
            writer_.reset(xmlNewTextWriterMemory(buffer_.get(), 0));
        }
        if (!writer_)
            throw std::runtime_error("the XML writer cannot be created");
        xmlTextWriterSetIndent(writer_.get(), 1);
        xmlTextWriterSetIndentString(writer_.get(), BAD_CAST "  ");
        Check(xmlTextWriterStartDocument(writer_.get(), nullptr, "UTF-8", nullptr));
    }
    void Start(const char* element) { Check(xmlTextWriterStartElement(writer_.get(), BAD_CAST element)); }
    void End() { Check(xmlTextWriterEndElement(writer_.get())); }
    void Attribute(const char* name, const std::string& value)
    {
        Check(xmlTextWriterWriteAttribute(writer_.get(), BAD_CAST name, BAD_CAST XmlSafe(value).c_str()));
    }
    void Text(const std::string& text)
    {
        Check(xmlTextWriterWriteString(writer_.get(), BAD_CAST XmlSafe(text).c_str()));
    }
    std::string Finish()
    {
        Check(xmlTextWriterEndDocument(writer_.get()));
        writer_.reset();  // flushes into the buffer
        return std::string(reinterpret_cast<const char*>(xmlBufferContent(buffer_.get())),
                           static_cast<std::size_t>(xmlBufferLength(buffer_.get())));
    }

private:
    static void Check(int rc)
    {
        if (rc < 0)
            throw std::runtime_error("the JUnit report cannot be written as XML");
    }
    std::unique_ptr<xmlBuffer, BufferFree> buffer_;
    std::unique_ptr<xmlTextWriter, WriterFree> writer_;
};

}  // namespace

std::string JunitXml(const JunitSuite& suite)
{
    return JunitXml(suite.name, std::vector<JunitSuite>{suite});
}

std::string JunitXml(const std::string& name, const std::vector<JunitSuite>& suites)
{
    struct Counts {
        int failures = 0, errors = 0;
    };
    const auto count = [](const JunitSuite& suite) {
        Counts n;
        for (const JunitCase& c : suite.cases) {
            n.failures += c.status == JunitCase::Status::Failed;
            n.errors += c.status == JunitCase::Status::Error;
        }
        return n;
    };
    Counts all;
    std::size_t tests = 0;
    double seconds = 0;
    for (const JunitSuite& suite : suites) {
        const Counts n = count(suite);
        all.failures += n.failures;
        all.errors += n.errors;
        tests += suite.cases.size();
        seconds += suite.seconds;
    }
    Writer w;
    w.Start("testsuites");
    w.Attribute("name", name);
    w.Attribute("tests", std::to_string(tests));
    w.Attribute("failures", std::to_string(all.failures));
    w.Attribute("errors", std::to_string(all.errors));
    w.Attribute("time", Seconds(seconds));
    for (const JunitSuite& suite : suites) {
        const Counts n = count(suite);
        w.Start("testsuite");
        w.Attribute("name", suite.name);
        w.Attribute("tests", std::to_string(suite.cases.size()));
        w.Attribute("failures", std::to_string(n.failures));
        w.Attribute("errors", std::to_string(n.errors));
        w.Attribute("skipped", "0");
        w.Attribute("time", Seconds(suite.seconds));
        w.Attribute("timestamp", suite.timestamp);
        for (const JunitCase& c : suite.cases) {
            w.Start("testcase");
            w.Attribute("name", c.name);
            w.Attribute("classname", c.classname);
            w.Attribute("time", Seconds(c.seconds));
            if (c.status != JunitCase::Status::Passed) {
                const bool failed = c.status == JunitCase::Status::Failed;
                w.Start(failed ? "failure" : "error");
                w.Attribute("message", c.message);
                w.Attribute("type", c.type);
                w.Text(c.details);
                w.End();
            }
            if (!c.systemOut.empty()) {
                w.Start("system-out");
                w.Text(c.systemOut);
                w.End();
            }
            w.End();
        }
        w.End();
    }
    w.End();
    return w.Finish();
}

void WriteFileReplacing(const std::string& path, const std::string& text)
{
    struct stat st {};
    const bool exists = ::lstat(path.c_str(), &st) == 0;
    if (!exists && errno != ENOENT)
        throw Failure(path, std::strerror(errno));
    if (exists && S_ISLNK(st.st_mode)) {
        // A link is never replaced and never written through to a regular file (it may
        // have been planted to point at one); a link to a device or a FIFO is written.
        struct stat target {};
        if (::stat(path.c_str(), &target) == 0 && WrittenInPlace(target.st_mode))
            return WriteInPlace(path, text, true);
        throw Failure(path, "it is a symbolic link; name the file it points to");
    }
    if (exists && WrittenInPlace(st.st_mode))
        return WriteInPlace(path, text, false);
    if (exists && !S_ISREG(st.st_mode))
        throw Failure(path, S_ISDIR(st.st_mode) ? "it is a directory"
                                                : "it is neither a regular file nor a character device or a FIFO");
    Temporary temporary(path);
    if (!WriteAll(temporary.fd(), text) || !temporary.Close())
        throw Failure(temporary.name(), std::strerror(errno));
    // What took PATH's place meanwhile is not replaced unless it is a regular file.
    if (::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        throw Failure(path, "it was replaced by something that is not a regular file while the report was written");
    if (std::rename(temporary.name().c_str(), path.c_str()) != 0)
        throw Failure(path, std::strerror(errno));
    temporary.Renamed();
}

std::string UtcTimestamp()
{
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    return text;
}

}  // namespace tessel::call
