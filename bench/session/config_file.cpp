// Loading and saving the configuration file.
#include "bench/session/config.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bench {

namespace {

// Opens without blocking and reads only a regular file: a FIFO or a device
// named "Config.dat" would otherwise hold the program in open() or read().
bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = "not a regular file";
        ::close(fd);
        return false;
    }
    bytes.clear();
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            error = std::strerror(errno);
            ::close(fd);
            return false;
        }
        bytes.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return true;
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Makes the rename itself survive a power cut; failure here is not fatal.
void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

ConfigLoadResult LoadSystemConfig(const std::string& path) {
    ConfigLoadResult out;
    struct stat st {};
    const bool found = ::stat(path.c_str(), &st) == 0;
    if (!found && errno == ENOENT) return out;  // first start
    if (found && S_ISDIR(st.st_mode)) {
        out.refused = true;
        out.warning = "Config file \"" + path + "\" is a folder; it is not loaded.";
        return out;
    }
    if (found && !S_ISREG(st.st_mode)) {
        out.refused = true;
        out.warning = "Config file \"" + path + "\" is not a regular file; it is not loaded.";
        return out;
    }
    std::string bytes, error;
    if (!ReadWholeFile(path, bytes, error)) {
        out.refused = true;
        out.warning = "Config file \"" + path + "\" cannot be read (" + error + "); it is not loaded.";
        return out;
    }
    if (bytes.empty()) return out;
    ConfigDecodeResult decoded = DecodeSystemConfig(bytes);
    if (!decoded.notARecord.empty()) {
        out.refused = true;
        out.warning = "Config file \"" + path + "\" is not a configuration record: " + decoded.notARecord +
                      "; it is not loaded.";
        return out;
    }
    out.config = std::move(decoded.config);
    if (!decoded.complete) {
        out.warning = "Config file \"" + path + "\" ends at byte " + std::to_string(bytes.size());
        if (!decoded.brokenField.empty())
            out.warning += ", inside " + decoded.brokenField + " (from byte " +
                           std::to_string(decoded.bytesUsed) + ")";
        out.warning += "; what it holds whole is kept, the settings after that take their defaults.";
    }
    return out;
}

ConfigSaveResult SaveSystemConfig(const std::string& path, const SystemConfig& config) {
    ConfigSaveResult out;
    ConfigEncodeResult encoded = EncodeSystemConfig(config);
    if (!encoded.ok) {
        out.warning = "Config file \"" + path + "\" not saved: " + encoded.tooLongField + " is " +
                      std::to_string(encoded.tooLongBytes) + " bytes long, more than the " +
                      std::to_string(MaxConfigTextBytes) + " a setting can hold.";
        return out;
    }
    std::string image = std::move(encoded.bytes);

    // Bytes of an older, longer file past the new record stay where they were.
    mode_t mode = 0644;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            out.warning = "Config file \"" + path + "\" not saved: it is not a regular file.";
            return out;
        }
        mode = st.st_mode & 07777;
        if (static_cast<std::size_t>(st.st_size) > image.size()) {
            std::string old, error;
            if (ReadWholeFile(path, old, error) && old.size() > image.size())
                image.append(old, image.size(), std::string::npos);
        }
    }

    // A linked "Config.dat" stays a link: the file it points at is replaced.
    std::string target = path;
    struct stat lst {};
    if (::lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
    }

    std::string tmp = target + ".XXXXXX";
    const int fd = ::mkstemp(tmp.data());
    if (fd < 0) {
        out.warning = "Config file \"" + path + "\" not saved: " + std::strerror(errno) + ".";
        return out;
    }
    bool written = WriteAll(fd, image) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    const int savedErrno = errno;
    written = (::close(fd) == 0) && written;
    if (!written || ::rename(tmp.c_str(), target.c_str()) != 0) {
        const int e = written ? errno : savedErrno;
        ::unlink(tmp.c_str());
        out.warning = "Config file \"" + path + "\" not saved: " + std::strerror(e) + ".";
        return out;
    }
    SyncFolder(FolderOf(target));
    out.ok = true;
    return out;
}

ConfigSaveResult SaveAntennaPosition(const std::string& path, const AntennaConfig& antenna) {
    ConfigLoadResult loaded = LoadSystemConfig(path);
    if (!loaded.warning.empty()) {
        // Saving now would write defaults over the settings that could not be read.
        ConfigSaveResult out;
        out.warning = loaded.warning + " The antenna position is not kept in it.";
        return out;
    }
    loaded.config.Antenna = antenna;
    loaded.config.Antenna.Stored = true;
    return SaveSystemConfig(path, loaded.config);
}

}  // namespace bench
