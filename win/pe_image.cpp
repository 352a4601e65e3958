#include "win/pe_image.h"

#include <windows.h>

#include <cstdio>
#include <memory>

namespace cartscope::win {

int peMachineBits(const std::wstring& path) {
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    const std::unique_ptr<std::FILE, Closer> file(_wfopen(path.c_str(), L"rb"));
    if (!file) return 0;
    unsigned char dos[64], header[24];
    if (std::fread(dos, 1, sizeof dos, file.get()) != sizeof dos) return 0;
    const long offset = static_cast<long>(dos[60] | dos[61] << 8 | dos[62] << 16 | static_cast<unsigned>(dos[63]) << 24);
    if (std::fseek(file.get(), offset, SEEK_SET) != 0) return 0;
    if (std::fread(header, 1, sizeof header, file.get()) != sizeof header) return 0;
    const unsigned machine = header[4] | header[5] << 8;
    return machine == IMAGE_FILE_MACHINE_I386 ? 32 : machine == IMAGE_FILE_MACHINE_AMD64 ? 64 : 0;
}

}  // namespace cartscope::win
