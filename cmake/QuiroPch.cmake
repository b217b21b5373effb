# Precompiled headers for the heavy headers that hardly ever change: Qt Widgets (the console's
# window, plots and start-up, and the tests of those) and GoogleTest (every test). Each set is
# compiled once per build tree, by a target that only carries it, and reused by every target that
# names it: quiro_use_pch(<target> <set>).
option(QUIRO_PCH "Precompile the heavy headers that hardly change (Qt Widgets, GoogleTest)" ON)

# The standard headers most tests include, precompiled with GoogleTest's.
set(QUIRO_STD_HEADERS <algorithm> <cmath> <cstdint> <filesystem> <fstream> <functional> <map>
    <string> <vector>)
set(QUIRO_WIDGET_HEADERS <QApplication> <QWidget> <QPushButton> <QLabel> <QLineEdit> <QComboBox>
    <QGroupBox> <QDialog> <QMessageBox> <QPainter> <QTimer> <QString>)

# quiro_pch(<set> [FOR_EXECUTABLES] LIBS <targets...> HEADERS <headers...>)
# A header set is compiled with the code-generation flags of those that reuse it (GCC refuses a
# precompiled header made with other ones): position-independent code for libraries, or, with
# FOR_EXECUTABLES, for executables.
function(quiro_pch name)
  cmake_parse_arguments(P "FOR_EXECUTABLES" "" "LIBS;HEADERS" ${ARGN})
  if(NOT QUIRO_PCH)
    return()
  endif()
  add_library(${name} OBJECT ${PROJECT_SOURCE_DIR}/cmake/PchCarrier.cpp)
  target_link_libraries(${name} PRIVATE ${P_LIBS})
  target_precompile_headers(${name} PRIVATE ${P_HEADERS})
  if(P_FOR_EXECUTABLES)
    set_target_properties(${name} PROPERTIES POSITION_INDEPENDENT_CODE OFF)
    target_compile_options(${name} PRIVATE -fPIE)
  endif()
endfunction()

function(quiro_use_pch target name)
  if(QUIRO_PCH AND TARGET ${name})
    target_precompile_headers(${target} REUSE_FROM ${name})
  endif()
endfunction()
