# Run paths of the programs that are installed.
#
# A program's run path must never hold an empty or relative entry: the
# loader reads those as the current folder (or relative to it), so whoever
# can write to the folder a program is started from could hand it any
# library. CMake pads the build folder's run path of a target that has an
# install run path with ':' (room for rewriting it in place at install),
# and every ':' is such an empty entry. The installed programs therefore
# carry their install run path from the start (BUILD_WITH_INSTALL_RPATH):
# no padding, and nothing to rewrite at install. They find libCRC16.so
# beside themselves by its full path (link/Crc16Loader.cpp), else through
# this run path in their private library folder.
# tests/check_run_paths.cmake checks every program and library, in the
# build folder and installed.
include(GNUInstallDirs)

function(ora_installed_run_path target)
  set_target_properties(${target} PROPERTIES
    INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}/ora2orb2"
    BUILD_WITH_INSTALL_RPATH ON)
endfunction()
