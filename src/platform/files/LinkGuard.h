#pragma once

#include <string>

// A product folder may hold links planted by anyone who can write there. Writing, copying or
// deleting through one would reach files outside the installation, so paths of the
// installation are checked piece by piece before use.
namespace pelvar::files {

// Raises error 75 naming the first piece of `path` below `root` (root itself excluded, the
// pieces that do not exist yet included as fine) that is a symbolic link. `path` must lie
// below `root`; a path outside it raises error 75 too.
void refuseLinksBelow(const std::string& root, const std::string& path);

// Raises error 75 when `path` itself is a symbolic link; a missing path is fine.
void refuseLink(const std::string& path);

} // namespace pelvar::files
