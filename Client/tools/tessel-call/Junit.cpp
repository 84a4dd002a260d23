#include "Junit.h"

#include <libxml/xmlwriter.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <stdexcept>

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
        if (buffer_)
            writer_.reset(xmlNewTextWriterMemory(buffer_.get(), 0));
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
    int failures = 0, errors = 0;
    for (const JunitCase& c : suite.cases) {
        failures += c.status == JunitCase::Status::Failed;
        errors += c.status == JunitCase::Status::Error;
    }
    const std::string tests = std::to_string(suite.cases.size());
    Writer w;
    w.Start("testsuites");
    w.Attribute("name", suite.name);
    w.Attribute("tests", tests);
    w.Attribute("failures", std::to_string(failures));
    w.Attribute("errors", std::to_string(errors));
    w.Attribute("time", Seconds(suite.seconds));
    w.Start("testsuite");
    w.Attribute("name", suite.name);
    w.Attribute("tests", tests);
    w.Attribute("failures", std::to_string(failures));
    w.Attribute("errors", std::to_string(errors));
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
    w.End();
    return w.Finish();
}

void WriteFileReplacing(const std::string& path, const std::string& text)
{
    const std::string temporary = path + ".tmp-" + std::to_string(getpid());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) {
            const std::string why = std::strerror(errno);
            std::remove(temporary.c_str());
            throw std::runtime_error("cannot write " + temporary + ": " + why);
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        const std::string why = std::strerror(errno);
        std::remove(temporary.c_str());
        throw std::runtime_error("cannot write " + path + ": " + why);
    }
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
