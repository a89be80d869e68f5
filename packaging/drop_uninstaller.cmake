# out of the Debian package. It deletes the files of its list and itself,
# which here belong to dpkg; apt removes this installation.
file(GLOB_RECURSE uninstallers "${CPACK_TEMPORARY_DIRECTORY}/*/opt/Satclock/uninstall"
  "${CPACK_TEMPORARY_DIRECTORY}/opt/Satclock/uninstall")
foreach(program ${uninstallers})
  message(STATUS "Leaving the wizard's uninstaller out: ${program}")
  file(REMOVE ${program})
endforeach()
