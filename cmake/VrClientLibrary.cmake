# The VR client library, openvr_api.dll: the program loads it from its own
# folder, and VR runtimes do not install it, so the release carries it. Only
# the official 64-bit build of SDK 1.16.8 is taken, recognised by its SHA-256;
# it is obtained from the npm registry (the package openvr.js 0.2.9 carries
# those exact bytes), or from a local copy named by HT_VR_CLIENT_LIBRARY.
# Nothing of it is kept in the repository.
#
# Included, it defines ht_obtain_vr_client_library(destination). Run as a
# script (cmake -DDESTINATION=... [-DHT_VR_CLIENT_LIBRARY=...] -P this file),
# it does the same once.

set(HT_VR_CLIENT_SHA256 c3314d8822729fb7550d070f75c3efdd2d099965e53416b2901996fc6cee744f)
set(HT_VR_CLIENT_NPM_PACKAGE openvr.js@0.2.9)
set(HT_VR_CLIENT_NPM_PATH package/build/Release/openvr_api.dll)
set(HT_VR_CLIENT_LICENSE ${CMAKE_CURRENT_LIST_DIR}/third-party/openvr-LICENSE.txt)

# Fails the configuration unless file holds the official bytes.
function(ht_verify_vr_client_library file origin)
    file(SHA256 ${file} actual)
    if(NOT actual STREQUAL HT_VR_CLIENT_SHA256)
        message(FATAL_ERROR "Refusing the VR client library from ${origin}: its SHA-256 is "
            "${actual}, not ${HT_VR_CLIENT_SHA256} (the official 64-bit openvr_api.dll of "
            "SDK 1.16.8). Point HT_VR_CLIENT_LIBRARY at a copy of that file, or unset it to "
            "fetch it from the npm registry.")
    endif()
endfunction()

function(ht_fetch_vr_client_library_from_npm destination)
    find_program(HT_NPM NAMES npm npm.cmd)
    if(NOT HT_NPM)
        message(FATAL_ERROR "The VR client library is fetched with npm, which was not found. "
            "Install Node.js, or set HT_VR_CLIENT_LIBRARY to a copy of openvr_api.dll 1.16.8 "
            "(64-bit).")
    endif()
    set(scratch ${destination}.fetch)
    file(REMOVE_RECURSE ${scratch})
    file(MAKE_DIRECTORY ${scratch})
    execute_process(COMMAND ${HT_NPM} pack ${HT_VR_CLIENT_NPM_PACKAGE} --silent
        WORKING_DIRECTORY ${scratch} RESULT_VARIABLE failed OUTPUT_VARIABLE tarball
        ERROR_VARIABLE npm_errors OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(failed OR NOT EXISTS ${scratch}/${tarball})
        message(FATAL_ERROR "npm pack ${HT_VR_CLIENT_NPM_PACKAGE} failed (${failed}): "
            "${npm_errors}. Set HT_VR_CLIENT_LIBRARY to a local copy of openvr_api.dll "
            "1.16.8 (64-bit) to build without the registry.")
    endif()
    file(ARCHIVE_EXTRACT INPUT ${scratch}/${tarball} DESTINATION ${scratch}
        PATTERNS ${HT_VR_CLIENT_NPM_PATH})
    if(NOT EXISTS ${scratch}/${HT_VR_CLIENT_NPM_PATH})
        message(FATAL_ERROR "${tarball} holds no ${HT_VR_CLIENT_NPM_PATH}")
    endif()
    ht_verify_vr_client_library(${scratch}/${HT_VR_CLIENT_NPM_PATH}
        "the npm package ${HT_VR_CLIENT_NPM_PACKAGE}")
    file(COPY_FILE ${scratch}/${HT_VR_CLIENT_NPM_PATH} ${destination})
    file(REMOVE_RECURSE ${scratch})
endfunction()

# Puts the verified library at destination, unless it is there already.
function(ht_obtain_vr_client_library destination)
    if(HT_VR_CLIENT_LIBRARY)
        ht_verify_vr_client_library(${HT_VR_CLIENT_LIBRARY} ${HT_VR_CLIENT_LIBRARY})
        get_filename_component(folder ${destination} DIRECTORY)
        file(MAKE_DIRECTORY ${folder})
        file(COPY_FILE ${HT_VR_CLIENT_LIBRARY} ${destination} ONLY_IF_DIFFERENT)
        return()
    endif()
    if(EXISTS ${destination})
        file(SHA256 ${destination} present)
        if(present STREQUAL HT_VR_CLIENT_SHA256)
            return()
        endif()
    endif()
    get_filename_component(folder ${destination} DIRECTORY)
    file(MAKE_DIRECTORY ${folder})
    ht_fetch_vr_client_library_from_npm(${destination})
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
    if(NOT DESTINATION)
        message(FATAL_ERROR "usage: cmake -DDESTINATION=FILE [-DHT_VR_CLIENT_LIBRARY=FILE] -P "
            "${CMAKE_CURRENT_LIST_FILE}")
    endif()
    ht_obtain_vr_client_library(${DESTINATION})
endif()
