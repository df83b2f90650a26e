// The program's version, as its resources give it (the caption, the About box, the -log headers).
#pragma once
#include <string>

namespace qv {

std::string VersionText();

}  // namespace qv
