# The installed tree of Satclock, component "product": the programs and the
# files they read, at paths relative to the install folder (the prefix):
#
#   bin/satclock, bin/clockkeeper        the desktop program and the service
#   uninstall                            the uninstaller
#   satclock-home.desktop                link entry to the home page
#   How_to_make_translate.txt            notes for translators
#   share/locale/satclock.po             the translation template
#   share/locale/satclock_sample_ru.po   the Russian translation as a sample
#   share/locale/<lang>/LC_MESSAGES/satclock.mo
#   share/help/{en,ru}/satclock.html and images/
#   share/icons/hicolor/{48x48,scalable}/apps/satclock.{png,svg}
#
# satsetup packs exactly this tree (cmake --install --component product into a
# staging folder); a system package installs the same tree under its prefix.
set(SATCLOCK_HOME_PAGE "https://satclock.example.org/")

set(home_link ${CMAKE_BINARY_DIR}/product/satclock-home.desktop)
file(CONFIGURE OUTPUT ${home_link} CONTENT
"[Desktop Entry]
Type=Link
Name=Satclock ${PROJECT_VERSION} Home page
Name[ru]=Домашняя страница Satclock ${PROJECT_VERSION}
URL=${SATCLOCK_HOME_PAGE}
Icon=text-html
")

foreach(program satclock clockkeeper)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION bin COMPONENT product)
  endif()
endforeach()
# The uninstaller lies in the install folder itself, beside its list.
if(TARGET uninstall)
  install(TARGETS uninstall RUNTIME DESTINATION . COMPONENT product)
endif()

install(FILES ${home_link} ${CMAKE_SOURCE_DIR}/po/How_to_make_translate.txt
  DESTINATION . COMPONENT product)
install(FILES ${CMAKE_SOURCE_DIR}/po/satclock.pot
  DESTINATION share/locale RENAME satclock.po COMPONENT product)
install(FILES ${CMAKE_SOURCE_DIR}/po/ru.po
  DESTINATION share/locale RENAME satclock_sample_ru.po COMPONENT product)
install(DIRECTORY ${SATCLOCK_SHARE_DIR}/locale/
  DESTINATION share/locale COMPONENT product FILES_MATCHING PATTERN "*.mo")
install(DIRECTORY ${SATCLOCK_SHARE_DIR}/help ${SATCLOCK_SHARE_DIR}/icons
  DESTINATION share COMPONENT product)

# What the tree is built from, for a staging install (satsetup's payload).
set(SATCLOCK_PRODUCT_TARGETS "")
foreach(target satclock clockkeeper uninstall satclock_catalogues satclock_help satclock_icons)
  if(TARGET ${target})
    list(APPEND SATCLOCK_PRODUCT_TARGETS ${target})
  endif()
endforeach()
