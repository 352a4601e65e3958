// Reads a ROM image through the Explorer's IStream.
#pragma once

#include <objidl.h>

#include "core/byte_source.h"

namespace cartscope::shell {

class StreamSource final : public ByteSource {
public:
    // Asks the stream for its name; `ok` tells whether it answered.
    explicit StreamSource(IStream* stream);
    bool ok() const { return ok_; }

    const std::u16string& name() const override { return name_; }
    bool seek(std::uint64_t offset) override;
    bool seekEnd(std::uint64_t& size) override;
    std::size_t read(void* buffer, std::size_t count) override;

private:
    IStream* stream_;
    std::u16string name_;
    bool ok_ = false;
};

}  // namespace cartscope::shell
