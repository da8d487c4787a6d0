#pragma once
// Settings file access with the private-profile behaviour: section and key names
// match without regard to case, a missing or empty key reads as the caller's
// default, which is then written back.

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace quellon {

// The settings file held in memory: read once, changed in memory with the same
// rules as ReadIni and WriteIni, and written back whole by save() (temporary file
// beside it, fsync, rename), so that a change set of many keys costs one write.
// Lines the program does not know are kept as they were. A file that cannot be
// read, or that the user made read-only, takes no changes, just as WriteIni
// leaves it alone. Changes made to the file by others meanwhile are not seen.
// Safe to use from several threads.
class IniFile {
public:
    explicit IniFile(std::string path);
    ~IniFile();
    IniFile(const IniFile&) = delete;
    IniFile& operator=(const IniFile&) = delete;

    const std::string& path() const { return path_; }
    std::optional<std::string> lookup(const std::string& section, const std::string& key) const;
    std::string read(const std::string& section, const std::string& key, const std::string& def);
    void write(const std::string& section, const std::string& key, const std::string& value);
    // Writes the file when the text differs from what it holds; false when the
    // write failed (the changes stay, for the next save).
    bool save();
    // Reads the file again, dropping unsaved changes; a file put aside (see
    // KeepDamagedIni) is then missing and the text starts afresh.
    void reload();
    // Files written so far.
    int writes() const;
    // Called after a change that makes the text differ from the file, once
    // until the next save: the owner decides when the change set is complete.
    std::function<void()> onChange;

private:
    struct Text;
    void changed(std::unique_lock<std::mutex>& lock);
    std::string path_;
    mutable std::mutex mutex_;
    std::unique_ptr<Text> text_;
    bool pending_ = false;
    int writes_ = 0;
};

// While held, ReadIni, WriteIni and IniLookup of file's path go to file in
// memory, not to the disk. One file at a time; nullptr lets go.
void HoldIniFile(IniFile* file);

// Value of [section] key in file; empty or missing -> def, which is written back.
// Values are cut to 254 characters.
std::string ReadIni(const std::string& section, const std::string& key, const std::string& file,
                    const std::string& def);

// Creates file, section and key as needed, replaces an existing value. The file is
// replaced atomically (temporary file beside it, then rename). A damaged file
// (see IniFileDamaged) is first put aside with KeepDamagedIni. Failures are silent.
void WriteIni(const std::string& section, const std::string& key, const std::string& value,
              const std::string& file);

// True when file exists and may not be written: its write bits are all clear,
// or this user may not write it. Such a file is never replaced or removed.
bool IniFileReadOnly(const std::string& file);

// Removes what interrupted writes of file left behind: temporary files named
// like ours (file + ".tmp." + process id + "." + number) of another process,
// last changed before this process started. Nothing else is touched.
void RemoveStaleIniTemps(const std::string& file);

// True when file is there but can be no settings file of ours: it holds a NUL
// byte (binary) or is larger than 1 MB. Nothing is written.
bool IniFileDamaged(const std::string& file);

// Puts file aside as file + ".damaged-YYYYMMDD-HHMMSS" (local time; "-2", "-3"
// ... when that name is taken) by a rename that never replaces anything: a
// symbolic link is renamed as the link itself, its target is neither read nor
// written. Only a regular file or a symbolic link that the user may change is
// moved. Returns the new path, empty when nothing was moved.
std::string KeepDamagedIni(const std::string& file);

// Looks a key up without writing anything back; nullopt when missing or empty.
std::optional<std::string> IniLookup(const std::string& section, const std::string& key,
                                     const std::string& file);

// A whole decimal number of a settings value in [lo, hi], blanks around it
// allowed; false (out untouched) for anything else.
bool ParseWholeNumber(const std::string& text, long lo, long hi, int& out);

}  // namespace quellon
