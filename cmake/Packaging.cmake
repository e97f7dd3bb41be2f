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
# The VR client library beside the program, with the licence its terms ask
# to accompany it. Installed as a file, so it is never stripped: its bytes
# stay the signed ones.
install(FILES ${HT_VR_CLIENT_DLL} DESTINATION .)
install(FILES cmake/third-party/openvr-LICENSE.txt DESTINATION . RENAME openvr_api-LICENSE.txt)
# The stand-in VR runtime ships for people without a headset, as a runtime
# folder of its own; the client library uses it only when pointed at it (see
# its readme).
install(TARGETS mock_vr_runtime RUNTIME DESTINATION mock-vr-runtime/bin)
install(FILES tools/mock_vr_runtime/README.txt DESTINATION mock-vr-runtime)

set(CPACK_GENERATOR ZIP)
set(CPACK_STRIP_FILES ON) # no debug information in what users get
set(CPACK_PACKAGE_NAME hello-triangle)
set(CPACK_PACKAGE_VENDOR "Hello Triangle")
set(CPACK_PACKAGE_FILE_NAME "hello-triangle-${PROJECT_VERSION}-win64")
include(CPack)
