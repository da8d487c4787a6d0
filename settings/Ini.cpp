// INI reader and writer with the private-profile rules the rest of the program
// relies on: names match without regard to case, values are trimmed of blanks,
// a missing or empty key reads as the default, which is written back.
//
// The file is read whole on every call and never held open. A write builds the
// complete new text and replaces the file atomically (temporary file beside it,
// fsync, rename), so a crash or a full disk never leaves half a settings file.
//
// Everything the writer does not understand (comments, blank lines, keys of other
// programs, odd lines) is kept as it was and in its order. The line ending of an
// existing file is kept (a file that came over from Windows stays CRLF); new files
// are written with LF. A UTF-8 byte order mark at the start is kept as well.

#include "settings/Ini.h"

#include "core/Text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <string_view>
#include <vector>

namespace quellon {
namespace {

namespace fs = std::filesystem;

// Longest value a read hands back: the platform reader copies into a buffer of
// 255 characters and keeps one place for its terminator.
constexpr std::size_t kMaxValueLength = 254;
// Blanks around names and values. A line feed is not one: a name that carries
// one cannot be written and must not be trimmed into one that can.
constexpr std::string_view kBlanks = " \t\r\v\f";
// A settings file is a few kilobytes. Anything larger is not ours (or is damaged)
// and is not worth parsing.
constexpr std::size_t kMaxFileSize = 1u << 20;
constexpr std::string_view kBom = "\xEF\xBB\xBF";

enum class Load {
    Missing,   // no file: reads are empty, a write creates it
    Ok,        // parsed
    Unusable,  // binary or oversized: reads are empty, a write replaces it with a fresh file
    Error,     // exists but cannot be read (permissions, not a regular file): reads are
               // empty and a write leaves it alone, since we cannot carry its contents over
};

struct IniText {
    Load state = Load::Missing;
    std::vector<std::string> lines;  // without line terminators
    std::string eol = "\n";
    bool bom = false;
    bool haveStat = false;
    struct stat st {};
    std::string raw;        // bytes as read (or last written), to skip writes that change nothing
    bool readOnly = false;  // the user's word: no changes taken
    bool edited = false;    // lines changed since they were read or written
};

bool equalNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// "[name]" -> name. A line that opens a bracket but never closes it (a file cut
// off in the middle of a header) is no header at all.
bool sectionOf(std::string_view line, std::string_view& name) {
    const std::string_view t = trimView(line, kBlanks);
    if (t.empty() || t.front() != '[') return false;
    const auto close = t.rfind(']');
    if (close == std::string_view::npos || close == 0) return false;
    name = trimView(t.substr(1, close - 1), kBlanks);
    return true;
}

bool isComment(std::string_view line) {
    const std::string_view t = trimView(line, kBlanks);
    return !t.empty() && t.front() == ';';
}

// "key = value" -> key, value (both trimmed). Lines without '=' are not keys.
bool keyOf(std::string_view line, std::string_view& key, std::string_view& value) {
    if (isComment(line)) return false;
    const auto eq = line.find('=');
    if (eq == std::string_view::npos) return false;
    key = trimView(line.substr(0, eq), kBlanks);
    value = trimView(line.substr(eq + 1), kBlanks);
    return !key.empty();
}

fs::path realTarget(const std::string& file);
bool readOnly(const std::string& path, const struct stat& st);

IniText load(const std::string& file) {
    IniText ini;
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        ini.state = (errno == ENOENT || errno == ENOTDIR) ? Load::Missing : Load::Error;
        return ini;
    }
    if (::fstat(fd, &ini.st) != 0 || !S_ISREG(ini.st.st_mode)) {
        ::close(fd);
        ini.state = Load::Error;
        return ini;
    }
    ini.haveStat = true;
    ini.readOnly = readOnly(realTarget(file).string(), ini.st);
    if (static_cast<std::uintmax_t>(ini.st.st_size) > kMaxFileSize) {
        ::close(fd);
        ini.state = Load::Unusable;
        return ini;
    }
    // Read at most one byte past the limit: the file may grow while we read it.
    std::string& raw = ini.raw;
    raw.resize(kMaxFileSize + 1);
    std::size_t got = 0;
    while (got < raw.size()) {
        const ssize_t n = ::read(fd, raw.data() + got, raw.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            ini.state = Load::Error;
            return ini;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    raw.resize(got);
    if (got > kMaxFileSize || raw.find('\0') != std::string::npos) {
        ini.state = Load::Unusable;
        return ini;
    }

    std::string_view text = raw;
    if (text.substr(0, kBom.size()) == kBom) {
        ini.bom = true;
        text.remove_prefix(kBom.size());
    }
    bool firstBreak = true;
    while (!text.empty()) {
        const auto nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        const bool crlf = !line.empty() && line.back() == '\r';
        if (nl != std::string_view::npos && firstBreak) {
            ini.eol = crlf ? "\r\n" : "\n";
            firstBreak = false;
        }
        if (crlf) line.remove_suffix(1);
        ini.lines.emplace_back(line);
        if (nl == std::string_view::npos) break;
        text.remove_prefix(nl + 1);
    }
    ini.state = Load::Ok;
    return ini;
}

struct Spot {
    std::ptrdiff_t keyLine = -1;   // first line holding the key in a matching section
    std::ptrdiff_t insertAt = -1;  // where a new key goes: after the last key (or the
                                   // header) of the first matching section
};

Spot find(const std::vector<std::string>& lines, std::string_view section, std::string_view key) {
    Spot spot;
    bool inMatch = false;
    bool firstMatchDone = false;
    bool inFirstMatch = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string_view name, k, v;
        if (sectionOf(lines[i], name)) {
            inMatch = equalNoCase(name, section);
            if (inFirstMatch) firstMatchDone = true;
            inFirstMatch = inMatch && !firstMatchDone;
            if (inFirstMatch) spot.insertAt = static_cast<std::ptrdiff_t>(i) + 1;
            continue;
        }
        if (!inMatch || !keyOf(lines[i], k, v)) continue;
        if (inFirstMatch) spot.insertAt = static_cast<std::ptrdiff_t>(i) + 1;
        if (spot.keyLine < 0 && equalNoCase(k, key)) spot.keyLine = static_cast<std::ptrdiff_t>(i);
    }
    return spot;
}

// Cuts s to at most n bytes without leaving half a UTF-8 sequence at the end.
std::string cutValue(std::string_view s, std::size_t n) {
    if (s.size() <= n) return std::string(s);
    std::size_t end = n;
    std::size_t lead = end;
    int back = 0;
    while (lead > 0 && back < 4 && (static_cast<unsigned char>(s[lead - 1]) & 0xC0) == 0x80) {
        --lead;
        ++back;
    }
    if (lead > 0) {
        const auto c = static_cast<unsigned char>(s[lead - 1]);
        const std::size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        if (len > 1 && len > static_cast<std::size_t>(back) + 1) end = lead - 1;
    }
    return std::string(s.substr(0, end));
}

bool writeAll(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// A symlinked settings file stays a symlink: the file it points to is replaced.
fs::path realTarget(const std::string& file) {
    std::error_code ec;
    fs::path target = file;
    if (fs::is_symlink(fs::symlink_status(target, ec))) {
        const fs::path real = fs::canonical(target, ec);
        if (!ec) target = real;
    }
    return target;
}

bool readOnly(const std::string& path, const struct stat& st) {
    // The access check alone says yes to root for any file; the mode bits say
    // what the user meant by making the file read-only.
    if ((st.st_mode & 0222) == 0) return true;
    if (st.st_uid == ::geteuid() && (st.st_mode & S_IWUSR) == 0) return true;
    return ::access(path.c_str(), W_OK) != 0 && errno != ENOENT;
}

// When this process started, in seconds since 1970 (0 when unknown).
time_t processStart() {
    long long btime = 0;
    {
        const int fd = ::open("/proc/stat", O_RDONLY | O_CLOEXEC);
        if (fd < 0) return 0;
        std::string text(64 * 1024, '\0');
        const ssize_t n = ::read(fd, text.data(), text.size());
        ::close(fd);
        if (n <= 0) return 0;
        text.resize(static_cast<std::size_t>(n));
        const auto at = text.find("\nbtime ");
        if (at == std::string::npos) return 0;
        btime = std::atoll(text.c_str() + at + 7);
    }
    const int fd = ::open("/proc/self/stat", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    char buf[1024];
    const ssize_t n = ::read(fd, buf, sizeof buf - 1);
    ::close(fd);
    if (n <= 0) return 0;
    buf[n] = '\0';
    // The command name may hold blanks and brackets: fields count from the last ')'.
    const char* p = std::strrchr(buf, ')');
    if (!p) return 0;
    int field = 2;
    for (; *p && field < 22; ++p)
        if (*p == ' ') ++field;
    const long long ticks = std::atoll(p);
    const long hz = ::sysconf(_SC_CLK_TCK);
    if (btime <= 0 || hz <= 0) return 0;
    return static_cast<time_t>(btime + ticks / hz);
}

bool allDigits(std::string_view s) {
    return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos;
}

// Replaces file with content: temporary file in the same directory, fsync, rename.
// The old file stays untouched unless the new one is complete on disk.
bool replaceFile(const std::string& file, const std::string& content, const IniText& old) {
    const fs::path target = realTarget(file);
    // A file the user made read-only keeps what it says, even though the
    // directory would let a rename put a new one in its place.
    if (old.haveStat && readOnly(target.string(), old.st)) return false;
    fs::path dir = target.parent_path();
    if (dir.empty()) dir = ".";

    static std::atomic<unsigned> counter{0};
    const std::string tmp = target.string() + ".tmp." + std::to_string(::getpid()) + "." +
                            std::to_string(counter.fetch_add(1));
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    bool ok = writeAll(fd, content);
    if (ok && old.haveStat) {
        // Keep the owner and the access bits of the file we replace (best effort:
        // only root may hand a file to someone else).
        (void)!::fchown(fd, old.st.st_uid, old.st.st_gid);
        (void)!::fchmod(fd, old.st.st_mode & 07777);
    }
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (!ok || ::rename(tmp.c_str(), target.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return false;
    }
    // Make the rename itself durable.
    const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        (void)::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

// A NUL byte anywhere would make the whole file unreadable (binary) on the next
// read, and the write after that would start it afresh: every setting lost.
constexpr std::string_view kNameBreakers{"]\r\n\0", 4};
constexpr std::string_view kKeyBreakers{"=\r\n\0", 4};
constexpr std::string_view kValueEnds{"\r\n\0", 3};

bool validSection(std::string_view s) {
    return s.find_first_of(kNameBreakers) == std::string_view::npos;
}

bool validKey(std::string_view k) {
    return !k.empty() && k.find_first_of(kKeyBreakers) == std::string_view::npos &&
           k.front() != '[' && k.front() != ';';
}

}  // namespace

bool IniFileReadOnly(const std::string& file) {
    struct stat st {};
    const fs::path target = realTarget(file);
    if (::stat(target.c_str(), &st) != 0) return false;
    return readOnly(target.string(), st);
}

bool IniFileDamaged(const std::string& file) { return load(file).state == Load::Unusable; }

std::string KeepDamagedIni(const std::string& file) {
    struct stat st {};
    if (::lstat(file.c_str(), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISLNK(st.st_mode))) return {};
    if (S_ISREG(st.st_mode) && readOnly(file, st)) return {};
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    char stamp[32] = "unknown-time";
    if (::localtime_r(&now, &tm)) std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tm);
    const std::string base = file + ".damaged-" + stamp;
    for (int n = 1; n < 100; ++n) {
        const std::string aside = n == 1 ? base : base + "-" + std::to_string(n);
        // RENAME_NOREPLACE: a name that turned up meanwhile (even a link planted
        // there) is never overwritten.
        if (::renameat2(AT_FDCWD, file.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE) == 0)
            return aside;
        if (errno == EINVAL) {  // a file system without it: look, then rename
            struct stat taken {};
            if (::lstat(aside.c_str(), &taken) == 0) continue;
            return ::rename(file.c_str(), aside.c_str()) == 0 ? aside : std::string();
        }
        if (errno != EEXIST) return {};
    }
    return {};
}

void RemoveStaleIniTemps(const std::string& file) {
    const fs::path target = realTarget(file);
    fs::path dir = target.parent_path();
    if (dir.empty()) dir = ".";
    const std::string prefix = target.filename().string() + ".tmp.";
    const time_t started = processStart();
    if (started == 0) return;  // cannot tell old from new: leave everything
    const std::string me = std::to_string(::getpid());
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string_view rest = std::string_view(name).substr(prefix.size());
        const auto dot = rest.find('.');
        if (dot == std::string_view::npos || !allDigits(rest.substr(0, dot)) ||
            !allDigits(rest.substr(dot + 1)) || rest.substr(0, dot) == me)
            continue;
        struct stat st {};
        if (::lstat(it->path().c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        if (st.st_mtime >= started) continue;  // may belong to a write going on now
        ::unlink(it->path().c_str());
    }
}

namespace {

std::optional<std::string> lookupIn(const IniText& ini, const std::string& section,
                                    const std::string& key) {
    if (ini.state != Load::Ok) return std::nullopt;
    const Spot spot = find(ini.lines, trimView(section, kBlanks), trimView(key, kBlanks));
    if (spot.keyLine < 0) return std::nullopt;
    std::string_view k, v;
    keyOf(ini.lines[static_cast<std::size_t>(spot.keyLine)], k, v);
    if (v.empty()) return std::nullopt;
    return cutValue(v, kMaxValueLength);
}

// Puts the key into the lines; false when nothing could change (a name that
// cannot be written, a file that cannot be carried over).
bool writeIn(IniText& ini, const std::string& file, const std::string& section,
             const std::string& key, const std::string& value) {
    const std::string_view sec = trimView(section, kBlanks);
    const std::string_view k = trimView(key, kBlanks);
    // A name with a bracket, '=' or a line break would change the file's structure
    // (or could never be read back), so it is not written.
    if (!validSection(sec) || !validKey(k)) return false;
    // A value ends at the first line break (or NUL): the rest could never be read back as
    // part of it and would turn into lines (even sections and keys) of its own.
    std::string_view val = value;
    val = val.substr(0, val.find_first_of(kValueEnds));

    if (ini.state == Load::Error) return false;
    if (ini.state == Load::Unusable) {
        // Not a settings file we can carry over: keep it for the user and start a
        // new one in its place. What cannot be kept is not replaced either.
        if (KeepDamagedIni(file).empty()) return false;
        ini = IniText{};
    }
    if (ini.readOnly) return false;

    const Spot spot = find(ini.lines, sec, k);
    if (spot.keyLine >= 0) {
        std::string& line = ini.lines[static_cast<std::size_t>(spot.keyLine)];
        std::string_view oldKey, oldValue;
        keyOf(line, oldKey, oldValue);
        line = std::string(oldKey) + "=" + std::string(val);  // keep the key's spelling
    } else if (spot.insertAt >= 0) {
        ini.lines.insert(ini.lines.begin() + spot.insertAt,
                         std::string(k) + "=" + std::string(val));
    } else {
        ini.lines.push_back("[" + std::string(sec) + "]");
        ini.lines.push_back(std::string(k) + "=" + std::string(val));
    }
    ini.edited = true;
    return true;
}

std::string textOf(const IniText& ini) {
    std::string out;
    if (ini.bom) out += kBom;
    for (const std::string& line : ini.lines) {
        out += line;
        // A line whose own text ends in CR needs the CR LF ending, or the next
        // read would take that CR for part of the line break.
        out += !line.empty() && line.back() == '\r' ? std::string_view("\r\n") : ini.eol;
    }
    return out;
}

// Writes the edited lines when they differ from the file's bytes; true when the
// file now holds them.
bool saveText(IniText& ini, const std::string& file, int& writes) {
    if (!ini.edited) return true;
    std::string out = textOf(ini);
    if (ini.state == Load::Ok && out == ini.raw)
        return ini.edited = false, true;  // nothing changes
    if (!replaceFile(file, out, ini)) return false;
    ++writes;
    ini.raw = std::move(out);
    ini.state = Load::Ok;
    ini.edited = false;
    // The next save keeps the owner and access bits of the file as it is now.
    ini.haveStat = ::stat(realTarget(file).c_str(), &ini.st) == 0;
    return true;
}

std::mutex heldMutex;
IniFile* held = nullptr;

IniFile* heldFor(const std::string& file) {
    std::lock_guard lock(heldMutex);
    return held && held->path() == file ? held : nullptr;
}

}  // namespace

struct IniFile::Text : IniText {};

IniFile::IniFile(std::string path) : path_(std::move(path)), text_(std::make_unique<Text>()) {
    reload();
}

IniFile::~IniFile() {
    std::lock_guard lock(heldMutex);
    if (held == this) held = nullptr;
}

void IniFile::reload() {
    std::lock_guard lock(mutex_);
    static_cast<IniText&>(*text_) = load(path_);
    pending_ = false;
}

std::optional<std::string> IniFile::lookup(const std::string& section,
                                           const std::string& key) const {
    std::lock_guard lock(mutex_);
    return lookupIn(*text_, section, key);
}

std::string IniFile::read(const std::string& section, const std::string& key,
                          const std::string& def) {
    std::unique_lock lock(mutex_);
    if (auto value = lookupIn(*text_, section, key)) return *value;
    if (writeIn(*text_, path_, section, key, def)) changed(lock);
    return def;
}

void IniFile::write(const std::string& section, const std::string& key, const std::string& value) {
    std::unique_lock lock(mutex_);
    if (writeIn(*text_, path_, section, key, value)) changed(lock);
}

void IniFile::changed(std::unique_lock<std::mutex>& lock) {
    if (pending_) return;
    pending_ = true;
    // The owner may save from its handler: not under the lock.
    const auto tell = onChange;
    lock.unlock();
    if (tell) tell();
}

bool IniFile::save() {
    std::lock_guard lock(mutex_);
    pending_ = false;
    return saveText(*text_, path_, writes_);
}

int IniFile::writes() const {
    std::lock_guard lock(mutex_);
    return writes_;
}

void HoldIniFile(IniFile* file) {
    std::lock_guard lock(heldMutex);
    held = file;
}

std::optional<std::string> IniLookup(const std::string& section, const std::string& key,
                                     const std::string& file) {
    if (IniFile* f = heldFor(file)) return f->lookup(section, key);
    return lookupIn(load(file), section, key);
}

std::string ReadIni(const std::string& section, const std::string& key, const std::string& file,
                    const std::string& def) {
    if (IniFile* f = heldFor(file)) return f->read(section, key, def);
    if (auto value = IniLookup(section, key, file)) return *value;
    WriteIni(section, key, def, file);
    return def;
}

void WriteIni(const std::string& section, const std::string& key, const std::string& value,
              const std::string& file) {
    if (IniFile* f = heldFor(file)) return f->write(section, key, value);
    IniText ini = load(file);
    int writes = 0;
    if (writeIn(ini, file, section, key, value)) saveText(ini, file, writes);
}

bool ParseWholeNumber(const std::string& text, long lo, long hi, int& out) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return false;
    const auto last = text.find_last_not_of(" \t");
    if (last - first + 1 > 9) return false;
    long v = 0;
    for (size_t i = first; i <= last; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v < lo || v > hi) return false;
    out = static_cast<int>(v);
    return true;
}

}  // namespace quellon
