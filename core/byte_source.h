// Where a ROM image is read from: a file now, the Explorer's stream in the
// shell extension.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "core/platform/file.h"

namespace cartscope {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // The full path of the image (a stream reports the name it was opened with).
    virtual const std::u16string& name() const = 0;
    // Moves to an absolute offset.
    virtual bool seek(std::uint64_t offset) = 0;
    // Moves to the end and gives the length (a file source: the length the
    // file had when it was opened, where the platform learnt it then).
    virtual bool seekEnd(std::uint64_t& size) = 0;
    // Reads up to `count` bytes; gives how many were read (0 at the end or on failure).
    virtual std::size_t read(void* buffer, std::size_t count) = 0;
};

// A file opened for binary reading, closed when the source goes.
class FileSource final : public ByteSource {
public:
    explicit FileSource(std::u16string path);
    // 0, or the errno value of the failed open.
    int openError() const { return openError_; }
    bool isOpen() const { return file_.isOpen(); }
    // Which file is open, in which state: as it was opened where the
    // platform learnt that then, else as it is now.
    bool identify(platform::FileIdentity& identity);

    const std::u16string& name() const override { return path_; }
    bool seek(std::uint64_t offset) override;
    bool seekEnd(std::uint64_t& size) override;
    std::size_t read(void* buffer, std::size_t count) override;

private:
    std::u16string path_;
    platform::File file_;
    int openError_ = 0;
    // Reads are positioned, so a seek costs no system call.
    std::uint64_t position_ = 0;
};

// Bytes already in memory (owned by the caller), under a given name.
class MemorySource final : public ByteSource {
public:
    MemorySource(const void* data, std::size_t size, std::u16string name = {})
        : data_(static_cast<const std::uint8_t*>(data)), size_(size), name_(std::move(name)) {}

    const std::u16string& name() const override { return name_; }
    bool seek(std::uint64_t offset) override;
    bool seekEnd(std::uint64_t& size) override;
    std::size_t read(void* buffer, std::size_t count) override;

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::u16string name_;
    std::uint64_t position_ = 0;
};

// Reads exactly `count` bytes, in as many reads as it takes; false when the
// source ends or fails first.
bool readFully(ByteSource& source, void* buffer, std::size_t count);

}  // namespace cartscope
