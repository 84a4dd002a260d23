// Helpers of the toolkit's tests: text in other encodings, and the message of
// a failure.
#pragma once

#include <iconv.h>

#include <functional>
#include <stdexcept>
#include <string>

// The UTF-8 text in another encoding (an iconv name, no byte order mark), for
// messages written the way other stacks write them.
inline std::string Encode(const std::string& utf8, const char* encoding)
{
    iconv_t cd = iconv_open(encoding, "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw std::runtime_error(std::string("no converter to ") + encoding);
    std::string out(utf8.size() * 4 + 4, '\0');
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size(), outLeft = out.size();
    char* to = out.data();
    const std::size_t rc = iconv(cd, &in, &inLeft, &to, &outLeft);
    iconv_close(cd);
    if (rc == static_cast<std::size_t>(-1))
        throw std::runtime_error(std::string("cannot convert to ") + encoding);
    out.resize(out.size() - outLeft);
    return out;
}

// What f raised, or "(no error)".
inline std::string ErrorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no error)";
}
