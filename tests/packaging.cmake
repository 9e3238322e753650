# What a distribution package is made of, checked with the tools that judge
# it; a test whose tool is not installed is skipped (exit status 77).
set(_pkg ${PROJECT_SOURCE_DIR}/packaging/${SESAME_PI_APP_ID})
list(TRANSFORM SESAME_PI_CHIMES PREPEND share/sesame-pi/ OUTPUT_VARIABLE _installed)
list(APPEND _installed bin/sesame-pi ${CMAKE_INSTALL_LIBEXECDIR}/sesame-pi/sesame-pi-chimes share/applications/${SESAME_PI_APP_ID}.desktop share/metainfo/${SESAME_PI_APP_ID}.metainfo.xml share/icons/hicolor/scalable/apps/${SESAME_PI_APP_ID}.svg share/man/man1/sesame-pi.1)
foreach(_size IN LISTS SESAME_PI_ICON_SIZES)
    list(APPEND _installed share/icons/hicolor/${_size}x${_size}/apps/${SESAME_PI_APP_ID}.png)
endforeach()

add_test(NAME packaging_desktop_entry COMMAND sh -c [[command -v desktop-file-validate >/dev/null || exit 77; out=$(desktop-file-validate "$1" 2>&1) && [ -z "$out" ] || { echo "$out"; exit 1; }]] sh ${_pkg}.desktop)
add_test(NAME packaging_metainfo COMMAND sh -c [[command -v appstreamcli >/dev/null || exit 77; appstreamcli validate --no-net "$1"]] sh ${_pkg}.metainfo.xml)
add_test(NAME packaging_manual_page COMMAND sh -c [[command -v man >/dev/null || exit 77; out=$(LC_ALL=C.UTF-8 MANROFFSEQ= MANWIDTH=80 man --warnings -E UTF-8 -l "$1" 2>&1 >/dev/null) && [ -z "$out" ] || { echo "$out"; exit 1; }]] sh ${PROJECT_SOURCE_DIR}/docs/sesame-pi.1)
add_test(NAME packaging_install_tree COMMAND sh -c [[d=$(mktemp -d) && trap 'rm -rf "$d"' EXIT && DESTDIR= "$1" --install "$2" --prefix "$d" >/dev/null && shift 2 && for f; do [ -s "$d/$f" ] || { echo "not installed: $f"; exit 1; }; done && "$d/bin/sesame-pi" --version | grep -qx "sesame-pi ${0}"]] ${PROJECT_VERSION} ${CMAKE_COMMAND} ${PROJECT_BINARY_DIR} ${_installed})
set_tests_properties(packaging_desktop_entry packaging_metainfo packaging_manual_page packaging_install_tree PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120)
