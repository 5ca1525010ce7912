// Where the user's and the machine's folders are. XDG variables count only when
// they hold an absolute path; HOME falls back to the user database entry.
// Results carry no trailing '/' unless said.
#pragma once

#include <string>

namespace platform {

std::string homeFolder();          // $HOME, else the passwd entry of the user id
std::string userDataFolder();      // ${XDG_DATA_HOME:-$HOME/.local/share}
std::string userConfigFolder();    // ${XDG_CONFIG_HOME:-$HOME/.config}
std::string desktopFolder();       // $HOME/Desktop
std::string machineDataFolder();   // first of ${XDG_DATA_DIRS:-/usr/local/share:/usr/share}
std::string machineConfigFolder(); // first of ${XDG_CONFIG_DIRS:-/etc/xdg}
std::string tempFolder();          // ${TMPDIR:-/tmp}, ending with '/'
// /etc/machine-id, else the host name, else "localhost".
std::string hostIdentifier();
// Creates `path` and its missing parents (mode 0755); true when it is a folder
// afterwards.
bool makeFolders(const std::string& path);

} // namespace platform
