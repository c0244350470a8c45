#include "recording/FileIO.h"

#include "log/TextConv.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantor {

namespace {

class PosixOutputFile : public OutputFile {
public:
    explicit PosixOutputFile(int fd) : fd_(fd) {}
    ~PosixOutputFile() override { close(); }

    size_t write(const void* data, size_t n) override {
        const char* p = static_cast<const char*>(data);
        size_t done = 0;
        while (fd_ >= 0 && done < n) {
            ssize_t w = ::write(fd_, p + done, n - done);
            if (w < 0) {
                if (errno == EINTR) continue;
                failure_ = std::strerror(errno);
                break;
            }
            if (w == 0) break;
            done += static_cast<size_t>(w);
        }
        return done;
    }

    bool seek(uint64_t position) override {
        if (fd_ >= 0 && ::lseek(fd_, static_cast<off_t>(position), SEEK_SET) == static_cast<off_t>(position))
            return true;
        failure_ = std::strerror(errno);
        return false;
    }

    std::string failure() const override { return failure_; }

    bool close() override {
        if (fd_ < 0) return true;
        int result = ::close(fd_);
        fd_ = -1;
        return result == 0;
    }

private:
    int fd_;
    std::string failure_;
};

} // namespace

std::string lastSystemError() {
    return std::strerror(errno);
}

std::unique_ptr<OutputFile> openPlatformOutputFile(const std::string& utf8Path, OpenMode mode,
                                                   bool* alreadyExists) {
    if (alreadyExists) *alreadyExists = false;
    // The same rule as on Windows: a path that is not UTF-8 names no file this host can open.
    std::u16string checked;
    if (!tryNarrowToWide(utf8Path, checked)) return nullptr;
    const int how = mode == OpenMode::CreateNew ? O_EXCL : O_TRUNC;
    int fd = ::open(utf8Path.c_str(), O_WRONLY | O_CREAT | how | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (errno == EEXIST && alreadyExists) *alreadyExists = true;
        return nullptr;
    }
    return std::make_unique<PosixOutputFile>(fd);
}

} // namespace vantor
