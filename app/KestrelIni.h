#pragma once
// The program's settings file: plain "key=value" lines under "[Section]"
// headers. Every read takes the file as it is on disk now; every write reads
// it, changes one key and writes the whole file again through a temporary
// file and a rename, so a crash never leaves half a file behind. Keys keep
// their place; a new key goes to the end of its section.
#include <filesystem>
#include <stdexcept>
#include <string>

namespace kestrel::app {

// Raised when the file cannot be written; the text is "Unable to write to "
// followed by the file name.
class TIniWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TKestrelIni {
public:
    // $XDG_CONFIG_HOME/kestrel/Kestrel.ini, or ~/.config/kestrel/Kestrel.ini.
    static std::filesystem::path DefaultPath();

    explicit TKestrelIni(std::filesystem::path File = DefaultPath());

    const std::filesystem::path& FileName() const { return file_; }

    std::string ReadString(const std::string& Section, const std::string& Key, const std::string& Default) const;
    // A missing key or a value that is not a whole decimal number gives Default.
    long long ReadInteger(const std::string& Section, const std::string& Key, long long Default) const;
    // Any integer other than 0 is true; otherwise as ReadInteger.
    bool ReadBool(const std::string& Section, const std::string& Key, bool Default) const;

    // Each throws TIniWriteError when the file cannot be written.
    void WriteString(const std::string& Section, const std::string& Key, const std::string& Value);
    void WriteInteger(const std::string& Section, const std::string& Key, long long Value);
    void WriteBool(const std::string& Section, const std::string& Key, bool Value);

private:
    std::filesystem::path file_;
};

}  // namespace kestrel::app
