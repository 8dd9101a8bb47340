#pragma once

#include <string>
#include <string_view>

namespace zepa {

// The file:// URL of the absolute path `path` ("/" separators): every byte other than an
// unreserved character (letters, digits, "-", ".", "_", "~") or "/" is percent-encoded, so the
// URL holds no blank, quote or other byte a shell or a browser would read otherwise.
std::string file_url(std::string_view path);

// `path` without its last component and the separator before it ("/a/b/c" gives "/a/b"); empty
// when it holds no separator. Either separator counts.
std::string_view parent_directory(std::string_view path);

}  // namespace zepa
