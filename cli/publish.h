// The update server's files: what the program's updater reads from
// SITE/Cartscope/ (version.txt, its signature, the database, the program and
// the library).
#pragma once

#include <optional>
#include <string>

namespace cartscope::cli {

struct PublishRequest {
    std::string program;                    // Cartscope CMD.exe
    std::string library;                    // Cartscope.dll
    std::string database;                   // nds-rom.dat
    std::string site;                       // the server's root folder
    std::optional<std::string> signingKey;  // PEM file of an ECDSA P-256 private key
};

// Checks every input, then writes the files; gives the exit status (0, or 1
// with nothing written when an input is refused). Messages go to stderr.
int publish(const PublishRequest& request);

}  // namespace cartscope::cli
