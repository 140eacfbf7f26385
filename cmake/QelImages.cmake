# Helpers that turn authoring text into images at build time.
#
# qel_image(<target> OUTPUT <file.qel> SOURCES <src>...)
#   Assembles the sources with qelasm into an image container.
# qel_bundle_windows(<target> IMAGE <file.qel>)
#   (Windows build) Links a copy of the host with the image as its RT_RCDATA resource "BIN", so
#   the program runs the image when started without a ".qel" path.
#
# In the Windows build qelasm is a Windows program; when QEL_HOST_QELASM names the Linux qelasm
# (a list: emulator and program), images are assembled with it instead.

function(qel_image target)
  cmake_parse_arguments(ARG "" "OUTPUT" "SOURCES" ${ARGN})
  set(sources)
  foreach(s IN LISTS ARG_SOURCES)
    get_filename_component(abs "${s}" ABSOLUTE)
    list(APPEND sources "${abs}")
  endforeach()
  if(WIN32)
    if(NOT QEL_HOST_QELASM)
      message(STATUS "qel_image(${target}): QEL_HOST_QELASM not set, image not built")
      return()
    endif()
    set(assembler ${QEL_HOST_QELASM})
  else()
    set(assembler ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:qelasm>)
  endif()
  # qelasm reports every file it read (includes too) for the dependencies.
  get_filename_component(out_dir "${ARG_OUTPUT}" DIRECTORY)
  add_custom_command(OUTPUT "${ARG_OUTPUT}"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${out_dir}"
    COMMAND ${assembler} build ${sources} -o "${ARG_OUTPUT}" --depfile "${ARG_OUTPUT}.d"
    DEPENDS ${sources} $<$<NOT:$<BOOL:${WIN32}>>:qelasm>
    DEPFILE "${ARG_OUTPUT}.d"
    COMMENT "Assembling ${ARG_OUTPUT}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS "${ARG_OUTPUT}")
endfunction()

function(qel_bundle_windows target)
  cmake_parse_arguments(ARG "" "IMAGE" "" ${ARGN})
  if(NOT WIN32)
    message(FATAL_ERROR "qel_bundle_windows is for the Windows build")
  endif()
  set(rc "${CMAKE_CURRENT_BINARY_DIR}/${target}.rc")
  file(TO_CMAKE_PATH "${ARG_IMAGE}" image)
  file(GENERATE OUTPUT "${rc}" CONTENT "BIN RCDATA \"${image}\"\n")
  set_source_files_properties("${rc}" PROPERTIES OBJECT_DEPENDS "${ARG_IMAGE}")
  add_executable(${target} WIN32 "${PROJECT_SOURCE_DIR}/${QEL_ENTRY}" "${rc}")
  target_link_libraries(${target} PRIVATE qelcore)
  target_link_options(${target} PRIVATE -municode ${QEL_STATIC_LINK} ${QEL_STACK})
endfunction()
