#pragma once

// What the fuzz targets share: the input bytes as a file, since the code under test reads files,
// and quiet standard streams.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <streambuf>
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

/// Swallows what is written to std::cerr and std::cout while it lives.
class Silence {
public:
    Silence() : errors_(std::cerr.rdbuf(&sink_)), output_(std::cout.rdbuf(&sink_)) {}
    Silence(const Silence&) = delete;
    Silence& operator=(const Silence&) = delete;
    ~Silence()
    {
        std::cerr.rdbuf(errors_);
        std::cout.rdbuf(output_);
    }

private:
    struct Sink : std::streambuf {
        int overflow(int character) override { return traits_type::not_eof(character); }
    } sink_;
    std::streambuf* errors_;
    std::streambuf* output_;
};

}  // namespace Testing
}  // namespace ZOLT
