# What a user on Windows gets: `cmake --install` lays the program out to run
# where it is unpacked, and CPack zips that layout as
# hello-triangle-<version>-win64.zip. The test-only DLLs have no install rule
# and never ship.
install(TARGETS hello_triangle angle_server RUNTIME DESTINATION .)
# The program compiles its shaders from assets\ under its working directory,
# which is the program's own folder when it is started by double-click.
install(FILES assets/triangle.vert.hlsl assets/triangle.frag.hlsl DESTINATION assets)
install(FILES README.md DESTINATION .)
install(DIRECTORY docs/ DESTINATION docs FILES_MATCHING PATTERN "*.png") # the README's pictures
# The stand-in VR runtime ships for people without a headset, in a
# folder of its own that the program never loads from; copying it beside the
# program is a deliberate step (see its readme).
install(TARGETS mock_vr_runtime RUNTIME DESTINATION mock-vr-runtime)
install(FILES tools/mock_vr_runtime/README.txt DESTINATION mock-vr-runtime)

set(CPACK_GENERATOR ZIP)
set(CPACK_STRIP_FILES ON) # no debug information in what users get
set(CPACK_PACKAGE_NAME hello-triangle)
set(CPACK_PACKAGE_VENDOR "Hello Triangle")
set(CPACK_PACKAGE_FILE_NAME "hello-triangle-${PROJECT_VERSION}-win64")
include(CPack)
