// What the command-line tests share: running a command line as a shell
// would, the icon they put in a ROM, and a reader for the PNG files the
// program writes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "core/tests/support/rom_builder.h"

namespace cartscope::testing {

// How a command line ended: its exit status (-1 for a signal) and what it
// wrote to its standard output and error.
struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

// The whole file as bytes; empty when it cannot be read.
std::string slurp(const std::filesystem::path& path);

// `arg` as one word of a POSIX shell's command line.
std::string quote(const std::string& arg);

// Runs a command line of words (each quoted) after `shell` (a folder to
// change to, limits, variables), its output kept in files in `scratch`. A
// command that hangs is ended after a minute: the run then fails with status
// 124 instead of never ending.
Outcome runWords(const std::vector<std::string>& words, const std::filesystem::path& scratch,
                 const std::string& shell = {});

// An RGBA PNG read back as ARGB pixels; empty when it is not a PNG.
std::vector<std::uint32_t> readPng(const std::string& path, unsigned& width, unsigned& height);

// An icon with transparent pixels (palette index 0) and two colours, none of
// its neighbours alike, so that every sampling mistake shows.
RomSpec iconRom();

}  // namespace cartscope::testing
