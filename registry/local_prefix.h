// The directory under which the local registry and the drives of executable
// paths live on systems without a registry of their own.
#pragma once

#include <filesystem>

namespace quillprobe::registry {

// $QUILLPROBE_PREFIX when it is set and not empty; else
// $XDG_DATA_HOME/quillprobe when that is an absolute path; else
// <home>/.local/share/quillprobe, home being $HOME when it is set and not
// empty, else the user's home directory in the user database. Empty when no
// home directory can be found. Read anew on every call.
std::filesystem::path LocalPrefix();

}  // namespace quillprobe::registry
