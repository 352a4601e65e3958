// Signed version files: the update key (an ECDSA P-256 public key), the
// signature of a version file (ECDSA with SHA-256, DER-encoded as OpenSSL
// writes it) and the SHA-256 of each download (whose signed value the core's
// readSha256Hex reads).
// The readers of the DER structures are strict: one encoding of each value is
// accepted, nothing more and nothing less. Hashing and verification use the
// system's own cryptography (CNG).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/version_file.h"

namespace cartscope::update {

// A point of P-256 or a signature as CNG takes them: two numbers of 32
// big-endian bytes each (X then Y; r then s).
using P256Pair = std::array<std::uint8_t, 64>;

// Reads an ECDSA-Sig-Value (a SEQUENCE of the INTEGERs r and s, DER) into r
// and s. Gives the empty text, or why `der` is not such a signature.
std::wstring readSignature(std::string_view der, P256Pair& rs);

// Reads a SubjectPublicKeyInfo (DER) of an ECDSA P-256 key with its point
// uncompressed into X and Y. Gives the empty text, or why `der` is not such a key.
std::wstring readP256PublicKey(std::string_view der, P256Pair& xy);

// The SHA-256 of `bytes`; false when the system cannot compute it.
bool sha256Of(std::string_view bytes, Sha256& hash);
// The SHA-256 of the file at `path`. Gives the empty text, or why not.
std::wstring sha256OfFile(const std::wstring& path, Sha256& hash);

// Checks that `signature` (DER) signs the SHA-256 of `message` under `key` (a
// SubjectPublicKeyInfo, DER, as readP256PublicKey reads it). Gives the empty
// text when it does, or why not.
std::wstring verifySignature(std::string_view key, std::string_view message, std::string_view signature);

}  // namespace cartscope::update
