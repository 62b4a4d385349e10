// Questions about the user's environment, answered from environment variables at each call
// (nothing cached). Stateless; safe on any thread.
#pragma once
#include <string>

namespace paths {

// The per-user configuration folder, created (as far as possible) before returning.
std::string config_dir();
// "snap", "flatpak", "appimage" or "plain".
const char* package_kind();
bool is_sandboxed();
// The form in which a path is shown or written into messages: the single place deciding it.
std::string display(const std::string& path);
// The language the environment asks for, without encoding or modifier; never empty.
std::string system_language();

}  // namespace paths
