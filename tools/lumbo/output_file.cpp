#include "output_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumbo_tool {

namespace {

bool Fail(const std::string& path, int error) {
    fprintf(stderr, "lumbo: %s: %s\n", path.c_str(), strerror(error));
    return false;
}

}  // namespace

bool OpenOutputFile(const std::string& path, OutputFile* file) {
    *file = {path, path, -1, false};
    if (path == "-") {
        file->writePath = "standard output";
        file->fd = STDOUT_FILENO;
        return true;
    }
    struct stat info;
    bool exists = stat(path.c_str(), &info) == 0;
    if (exists && S_ISDIR(info.st_mode)) return Fail(path, EISDIR);
    if (exists && !S_ISREG(info.st_mode)) {
        // A device or a pipe: nothing to replace, write straight into it.
        file->fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
        return file->fd >= 0 || Fail(path, errno);
    }
    // The rename below would replace even a file we may not write to.
    if (exists && access(path.c_str(), W_OK) != 0) return Fail(path, errno);
    file->writePath = path + ".partial-" + std::to_string(getpid());
    file->replaces = true;
    mode_t mode = exists ? (info.st_mode & 07777) : 0666;
    file->fd = open(file->writePath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    return file->fd >= 0 || Fail(path, errno);
}

bool WriteOutput(OutputFile* file, const void* bytes, size_t size) {
    const char* next = static_cast<const char*>(bytes);
    while (size > 0) {
        ssize_t written = write(file->fd, next, size);
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) return Fail(file->path, errno);
        next += written;
        size -= size_t(written);
    }
    return true;
}

bool RewriteOutputStart(OutputFile* file, const void* bytes, size_t size) {
    if (!file->replaces) return Fail(file->path, ESPIPE);
    ssize_t written = pwrite(file->fd, bytes, size, 0);
    if (written < 0) return Fail(file->path, errno);
    return size_t(written) == size || Fail(file->path, EIO);
}

bool FinishOutput(OutputFile* file) {
    if (file->fd == STDOUT_FILENO) {
        file->fd = -1;
        return true;
    }
    int fd = file->fd;
    file->fd = -1;
    if (close(fd) != 0) {
        int error = errno;
        if (file->replaces) unlink(file->writePath.c_str());
        return Fail(file->path, error);
    }
    if (file->replaces && rename(file->writePath.c_str(), file->path.c_str()) != 0) {
        int error = errno;
        unlink(file->writePath.c_str());
        return Fail(file->path, error);
    }
    return true;
}

void AbandonOutput(OutputFile* file) {
    if (file->fd >= 0 && file->fd != STDOUT_FILENO) close(file->fd);
    file->fd = -1;
    if (file->replaces) unlink(file->writePath.c_str());
}

}  // namespace lumbo_tool
