#pragma once

// The fuzz input as a file, since the code under test reads files. (The library explains refused
// input on the standard streams; run the fuzzers with -close_fd_mask=3 to keep their report clear.)

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <unistd.h>

namespace ZOLT {
namespace Testing {

/// A temporary file holding the bytes, removed again at the end of the run.
class ScratchFile {
public:
    ScratchFile(const std::uint8_t* data, std::size_t size)
    {
        char name[] = "/tmp/zolt-fuzz-XXXXXX";
        const int descriptor = mkstemp(name);
        if (descriptor < 0) {
            std::abort();
        }
        close(descriptor);
        path_ = name;
        std::ofstream(path_, std::ios::binary).write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    ~ScratchFile() { std::remove(path_.c_str()); }

    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

}  // namespace Testing
}  // namespace ZOLT
