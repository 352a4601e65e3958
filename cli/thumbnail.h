// What the file managers' thumbnailer call needs beyond the icon command: the
// file they name (a path or a file:// URI) and the side of the picture.
#pragma once

#include <optional>
#include <string>

namespace cartscope::cli {

// The path that a thumbnailer input names. A `file:` URI (file:/PATH,
// file:///PATH or file://localhost/PATH) is percent-decoded; anything else
// with "://" after a scheme name is another scheme, and refused. An input
// without a scheme is a path as it stands. Gives the path, or nothing with the
// reason in `problem`.
std::optional<std::string> thumbnailInputPath(const std::string& input, std::string& problem);

// The side of the thumbnail for a requested size: the icon is enlarged by the
// largest whole factor that keeps it within `size` (no smaller than the icon
// itself while the icon fits); a size below the icon's side gives the icon
// shrunk to exactly that side.
int thumbnailSide(int size);

}  // namespace cartscope::cli
