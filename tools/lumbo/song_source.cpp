#include "song_source.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "commands.h"
#include "data/songs.h"
#include "song/load_status_text.h"
#include "song/loader.h"

namespace lumbo_tool {

namespace {

// The loader addresses a module with signed 32-bit positions.
constexpr size_t kMaxModuleBytes = 0x7FFFFFFF;

// Reads the whole file; false with errno set (EFBIG when it is too large).
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info;
    if (fstat(fd, &info) != 0) {
        int saved = errno;
        close(fd);
        errno = saved;
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        close(fd);
        errno = EISDIR;
        return false;
    }
    uint8_t chunk[65536];
    for (;;) {
        ssize_t got = read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            int saved = errno;
            close(fd);
            errno = saved;
            return false;
        }
        if (got == 0) break;
        if (bytes->size() + size_t(got) > kMaxModuleBytes) {
            close(fd);
            errno = EFBIG;
            return false;
        }
        bytes->insert(bytes->end(), chunk, chunk + got);
    }
    close(fd);
    return true;
}

lumbo::Song* LoadFile(const std::string& path, int* exitStatus) {
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path, &bytes)) {
        fprintf(stderr, "lumbo: %s: %s\n", path.c_str(), strerror(errno));
        *exitStatus = kExitFailure;
        return nullptr;
    }
    lumbo::LoadStatus status;
    lumbo::Song* song = lumbo::LoadSongFromMemory(bytes.data(), uint32_t(bytes.size()), &status);
    if (!song) {
        char reason[160];
        fprintf(stderr, "lumbo: %s: %s\n", path.c_str(), lumbo::DescribeLoadStatus(status, reason, sizeof reason));
        *exitStatus = status.error == lumbo::LoadError::OutOfMemory ? kExitFailure : kExitRejected;
    } else if (status.missingBytes) {
        fprintf(stderr, "lumbo: %s: warning: truncated: %u bytes missing at the end play as silence\n",
                path.c_str(), unsigned(status.missingBytes));
    }
    return song;
}

}  // namespace

bool ReadSongBytes(const SongSource& source, std::vector<uint8_t>* bytes) {
    bytes->clear();
    if (source.embedded == 0) {
        if (ReadWholeFile(source.path, bytes)) return true;
        fprintf(stderr, "lumbo: %s: %s\n", source.path.c_str(), strerror(errno));
        return false;
    }
    const lumbo::ModuleImage* image = source.embedded == 1 ? lumbo::firstSongImage : lumbo::secondSongImage;
    uint32_t length = uint32_t(image[0]) | uint32_t(image[1]) << 8 | uint32_t(image[2]) << 16 | uint32_t(image[3]) << 24;
    bytes->assign(image + 4, image + 4 + length);
    return true;
}

lumbo::Song* LoadSongSource(const SongSource& source, int* exitStatus) {
    if (source.embedded == 0) return LoadFile(source.path, exitStatus);
    const lumbo::ModuleImage* image = source.embedded == 1 ? lumbo::firstSongImage : lumbo::secondSongImage;
    lumbo::LoadStatus status;
    lumbo::Song* song = lumbo::LoadSong(image, &status);
    if (!song) {
        // The build checks the songs with the loader, so only memory can be short.
        char reason[160];
        fprintf(stderr, "lumbo: song %d: %s\n", source.embedded, lumbo::DescribeLoadStatus(status, reason, sizeof reason));
        *exitStatus = kExitFailure;
    }
    return song;
}

}  // namespace lumbo_tool
