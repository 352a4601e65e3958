#include "cli/tests/cli_support.h"

#include <cstddef>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

#include <png.h>

namespace cartscope::testing {

std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string quote(const std::string& arg) {
    std::string quoted = "'";
    for (char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

Outcome runWords(const std::vector<std::string>& words, const std::filesystem::path& scratch, const std::string& shell) {
    std::string command = shell + " timeout -k 5 60";
    for (const auto& word : words) command += " " + quote(word);
    const auto out = scratch / "stdout", err = scratch / "stderr";
    command += " >" + quote(out.string()) + " 2>" + quote(err.string());
    const int raw = std::system(command.c_str());
    Outcome run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = slurp(out);
    run.err = slurp(err);
    return run;
}

std::vector<std::uint32_t> readPng(const std::string& path, unsigned& width, unsigned& height) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
    image.format = PNG_FORMAT_BGRA;  // little-endian ARGB words
    std::vector<std::uint32_t> pixels(image.width * image.height);
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return {};
    width = image.width;
    height = image.height;
    return pixels;
}

RomSpec iconRom() {
    RomSpec card;
    card.palette[0] = rgb15(31, 0, 0);
    card.palette[5] = rgb15(0, 0, 31);
    card.palette[9] = rgb15(16, 31, 0);
    for (int i = 0; i < 32 * 32; ++i) card.icon[static_cast<std::size_t>(i)] = (i % 7 == 0) ? 5 : (i % 5 == 0 ? 9 : 0);
    return card;
}

}  // namespace cartscope::testing
