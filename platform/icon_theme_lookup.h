// Finds icon files in freedesktop icon themes: the theme named in the user's GTK settings
// (XDG_CONFIG_HOME/gtk-3.0/settings.ini, gtk-icon-theme-name; Adwaita when unset), the
// themes it inherits, then hicolor, each looked for in ~/.icons, XDG_DATA_HOME/icons and
// every XDG_DATA_DIRS/icons, and finally /usr/share/pixmaps. Reads the environment on
// every call, so a changed theme is seen by the next look-up.
#pragma once
#include <string>
#include <vector>

namespace kit::platform::icons {

// The file of the first name found (PNG or SVG): in each theme of the chain, every name
// is tried in order, a folder of the exact size first, then the closest size. "" if none.
std::string find_icon_file(const std::vector<std::string>& names, int size);

} // namespace kit::platform::icons
