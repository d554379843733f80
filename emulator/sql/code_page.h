#pragma once

#include <string>
#include <string_view>

namespace sqlemu {

// varchar and char keep text in the code page of the server's collation
// (Arabic_CI_AS: Windows-1256). Characters it cannot hold become '?', as
// when a real server converts Unicode text to varchar.
std::string toServerCodePage(std::string_view utf8);

} // namespace sqlemu
