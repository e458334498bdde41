#include "ContentHash.h"

#include "engine/Handles.h"

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <new>
#include <sys/stat.h>
#include <vector>
#include <xxhash.h>

namespace {

// Each thread reads files a piece of this size at a time: large enough that a cold read goes
// at the disk's speed, small enough to stay in the caches while it is hashed.
constexpr std::size_t kReadBytes = 1 << 20;

struct StateFree {
    void operator()(XXH3_state_t* state) const { XXH3_freeState(state); }
};

// One thread's hashing state and read buffer, made on its first file.
struct HashWork {
    std::unique_ptr<XXH3_state_t, StateFree> state{XXH3_createState()};
    std::vector<unsigned char> buffer = std::vector<unsigned char>(kReadBytes);
};

HashWork& ThisThreadsWork() {
    thread_local HashWork work;
    if (!work.state)
        throw std::bad_alloc();
    return work;
}

// Opened without waiting (a FIFO put in the file's place must not hold the walk) and without
// following a link; none unless it is a regular file.
Descriptor OpenRegularFile(int folderFd, const char* name) {
    Descriptor file(::openat(folderFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st;
    if (file.IsOpen() && (::fstat(file.Get(), &st) != 0 || !S_ISREG(st.st_mode)))
        file.Reset(-1);
    return file;
}

} // namespace

std::optional<ContentHash> HashFileContent(int folderFd, const char* name) {
    const Descriptor file = OpenRegularFile(folderFd, name);
    if (!file.IsOpen())
        return std::nullopt;
    ::posix_fadvise(file.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    HashWork& work = ThisThreadsWork();
    XXH3_128bits_reset(work.state.get());
    for (;;) {
        const ssize_t read = ::read(file.Get(), work.buffer.data(), work.buffer.size());
        if (read == 0)
            break;
        if (read < 0 && errno == EINTR)
            continue;
        if (read < 0)
            return std::nullopt;
        XXH3_128bits_update(work.state.get(), work.buffer.data(), static_cast<std::size_t>(read));
    }
    const XXH128_hash_t hash = XXH3_128bits_digest(work.state.get());
    return ContentHash{hash.high64, hash.low64};
}

std::string HashBytes(const ContentHash& hash) {
    std::string bytes(16, '\0');
    for (int i = 0; i < 8; ++i) {
        bytes[static_cast<std::size_t>(i)] = static_cast<char>(hash.high >> (56 - 8 * i));
        bytes[static_cast<std::size_t>(8 + i)] = static_cast<char>(hash.low >> (56 - 8 * i));
    }
    return bytes;
}

std::optional<ContentHash> HashFromBytes(std::string_view bytes) {
    if (bytes.size() != 16)
        return std::nullopt;
    ContentHash hash;
    for (std::size_t i = 0; i < 8; ++i) {
        hash.high = hash.high << 8 | static_cast<unsigned char>(bytes[i]);
        hash.low = hash.low << 8 | static_cast<unsigned char>(bytes[8 + i]);
    }
    return hash;
}
