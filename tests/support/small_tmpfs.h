// A small file system that tests fill up and free again: a 4 MiB tmpfs,
// mounted when this process may mount one, filled by a file of its own.
#pragma once

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace test {

class SmallTmpfs {
public:
    explicit SmallTmpfs(const std::string& folder) : folder_(folder) {
        ::mkdir(folder.c_str(), 0755);
        mounted_ = ::mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=4m") == 0;
        if (!mounted_) why_ = std::strerror(errno);
    }
    ~SmallTmpfs() {
        if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
    }
    SmallTmpfs(const SmallTmpfs&) = delete;
    SmallTmpfs& operator=(const SmallTmpfs&) = delete;

    bool Mounted() const { return mounted_; }
    const std::string& Why() const { return why_; }
    void Fill() {
        int fd = ::open((folder_ + "/filler").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        ASSERT_GE(fd, 0);
        const std::string block(512, 'x');
        while (::write(fd, block.data(), block.size()) > 0) {
        }
        // What is left is smaller than a block: the next log write is cut.
        while (::write(fd, "x", 1) > 0) {
        }
        ::close(fd);
    }
    void Free() { ::unlink((folder_ + "/filler").c_str()); }

private:
    std::string folder_;
    bool mounted_ = false;
    std::string why_;
};

}  // namespace test
