# Warnings and platform definitions shared by every target of the project.
add_library(project_options INTERFACE)
target_compile_features(project_options INTERFACE cxx_std_17)

if(MSVC)
    target_compile_options(project_options INTERFACE /W4 /permissive- /utf-8)
else()
    target_compile_options(project_options INTERFACE -Wall -Wextra -Wpedantic)
endif()

if(WIN32)
    target_compile_definitions(project_options INTERFACE
        WIN32_LEAN_AND_MEAN NOMINMAX WINVER=0x0A00 _WIN32_WINNT=0x0A00)
    if(MINGW)
        # Without this, Direct3D methods that return a struct use GCC's
        # return convention instead of the Windows one and hand back garbage.
        target_compile_definitions(project_options INTERFACE WIDL_EXPLICIT_AGGREGATE_RETURNS)
        target_link_options(project_options INTERFACE -static)
    endif()
endif()

option(HT_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(HT_SANITIZE AND NOT MSVC)
    set(sanitizers -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_compile_options(project_options INTERFACE ${sanitizers})
    target_link_options(project_options INTERFACE ${sanitizers})
endif()

# Embeds an application manifest in a Windows program: MSVC's linker takes a
# .manifest source as it is; with MinGW it goes in as resource 1 of type
# RT_MANIFEST (24), where the loader looks for a program's manifest.
function(ht_embed_manifest target manifest)
    if(MSVC)
        target_sources(${target} PRIVATE ${manifest})
    elseif(MINGW)
        set(resource ${CMAKE_CURRENT_BINARY_DIR}/${target}_manifest.rc)
        file(CONFIGURE OUTPUT ${resource} CONTENT "1 24 \"${manifest}\"\n")
        target_sources(${target} PRIVATE ${resource})
        set_source_files_properties(${resource} PROPERTIES OBJECT_DEPENDS ${manifest})
    endif()
endfunction()
