# Where `cmake --install` puts the run tree. By default the prefix receives the run tree itself,
# as the build has it (bin/, DSP/, scenes/). In the system's layout (the release preset, and so
# the package) the run tree keeps its shape under one private folder, lib/quiro, and packaging/
# adds the commands in bin/, the menu entry, the icon, the AppStream metadata and the documents.
option(QUIRO_SYSTEM_INSTALL
       "Install in the system's layout: the run tree under lib/quiro, the rest in bin and share" OFF)
if(QUIRO_SYSTEM_INSTALL)
  set(QUIRO_INSTALL_TREE lib/quiro)
  # Hardened as Debian builds its packages: checked string and memory calls, relocations
  # resolved at start and then read-only.
  add_compile_definitions(_FORTIFY_SOURCE=2)
  add_link_options(-Wl,-z,relro,-z,now)
else()
  set(QUIRO_INSTALL_TREE .)
endif()
# The program's reverse-DNS name: its menu entry, icon and AppStream metadata are named after it,
# and the console gives it to the desktop so that its window finds them.
set(QUIRO_APP_ID io.github.quiro.Quiro)
