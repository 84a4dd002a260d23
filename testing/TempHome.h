// Points the key container at a fresh temporary folder for one test.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

class TempHome {
public:
    TempHome()
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / "tessel-test-XXXXXX").string();
        dir_ = mkdtemp(tmpl.data()) ? tmpl : std::string();
        old_ = getenv("XDG_DATA_HOME") ? getenv("XDG_DATA_HOME") : "";
        setenv("XDG_DATA_HOME", dir_.c_str(), 1);
    }
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;
    ~TempHome()
    {
        if (old_.empty())
            unsetenv("XDG_DATA_HOME");
        else
            setenv("XDG_DATA_HOME", old_.c_str(), 1);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    const std::string& dir() const { return dir_; }
    std::string keys() const { return dir_ + "/tessel/keys"; }

private:
    std::string dir_;
    std::string old_;
};
