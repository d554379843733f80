#pragma once

#include <filesystem>
#include <string_view>

namespace sqlemu {

// Replaces a file's contents so that a crash at any moment leaves either the
// old or the new contents: write a temporary file beside it, fsync it, rename
// it over the target, fsync the folder. Throws StorageError.
void writeFileAtomically(const std::filesystem::path &target, std::string_view contents);

// The temporary file writeFileAtomically uses for target; a crash may leave it
// behind, torn. Readers ignore it.
std::filesystem::path temporaryPathFor(const std::filesystem::path &target);

} // namespace sqlemu
