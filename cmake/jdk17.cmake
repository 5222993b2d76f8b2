# STACK_JNI_INCLUDE_DIRS: jni.h and jni_md.h of OpenJDK 17 (Debian's
# openjdk-17-jdk-headless), never another JDK's.
if(NOT STACK_JNI_INCLUDE_DIRS)
  file(GLOB _jdk17_dirs /usr/lib/jvm/java-17-openjdk-*/include)
  find_path(STACK_JDK17_INCLUDE jni.h PATHS ${_jdk17_dirs} NO_DEFAULT_PATH REQUIRED)
  find_path(STACK_JDK17_MD_INCLUDE jni_md.h PATHS ${STACK_JDK17_INCLUDE}/linux NO_DEFAULT_PATH REQUIRED)
  set(STACK_JNI_INCLUDE_DIRS ${STACK_JDK17_INCLUDE} ${STACK_JDK17_MD_INCLUDE} CACHE INTERNAL "JDK 17 JNI headers")
endif()
# STACK_JDK17_JAVA, STACK_JDK17_JAVAC: that JDK's own tools, not the first on PATH.
if(NOT STACK_JDK17_JAVAC)
  get_filename_component(_jdk17_home ${STACK_JDK17_INCLUDE} DIRECTORY)
  find_program(STACK_JDK17_JAVA java PATHS ${_jdk17_home}/bin NO_DEFAULT_PATH REQUIRED)
  find_program(STACK_JDK17_JAVAC javac PATHS ${_jdk17_home}/bin NO_DEFAULT_PATH REQUIRED)
endif()
# stack_java_classes(target OUTPUT dir SOURCES ...): compiles the sources with javac into dir.
function(stack_java_classes target)
  cmake_parse_arguments(J "" "OUTPUT" "SOURCES;CLASSPATH" ${ARGN})
  set(stamp ${J_OUTPUT}.stamp)
  set(cp "")
  if(J_CLASSPATH)
    string(REPLACE ";" ":" cp_text "${J_CLASSPATH}")
    set(cp -cp ${cp_text})
  endif()
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${J_OUTPUT}
    COMMAND ${STACK_JDK17_JAVAC} -Xlint:all -Werror -d ${J_OUTPUT} ${cp} ${J_SOURCES}
    COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
    DEPENDS ${J_SOURCES}
    COMMENT "javac ${target}" VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${stamp})
endfunction()
# stack_java_missing_native(target OUTPUT dir SOURCE file NATIVE text [SOURCES ...]): a
# stand-in class lacking one native: SOURCE without its line declaring "native <NATIVE>;",
# compiled with the other SOURCES into dir (a library's load must then fail).
function(stack_java_missing_native target)
  cmake_parse_arguments(M "" "OUTPUT;SOURCE;NATIVE" "SOURCES" ${ARGN})
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${M_SOURCE})
  file(READ ${M_SOURCE} _source)
  string(REGEX REPLACE "[(]" "[(]" _pattern "${M_NATIVE}")
  string(REGEX REPLACE "[)]" "[)]" _pattern "${_pattern}")
  string(REGEX REPLACE "\n[^\n]*native ${_pattern};" "" _missing "${_source}")
  if(_missing STREQUAL _source)
    message(FATAL_ERROR "${M_SOURCE} has no native ${M_NATIVE} to leave out")
  endif()
  get_filename_component(_name ${M_SOURCE} NAME)
  file(RELATIVE_PATH _relative ${PROJECT_SOURCE_DIR}/platform/java ${M_SOURCE})
  set(_out ${CMAKE_CURRENT_BINARY_DIR}/${target}-source/${_relative})
  file(CONFIGURE OUTPUT ${_out} CONTENT "${_missing}" @ONLY)
  stack_java_classes(${target} OUTPUT ${M_OUTPUT} SOURCES ${_out} ${M_SOURCES})
endfunction()
# stack_jvm_sanitizer(target): in the ASan+UBSan build, tells target's code the sanitizer
# runtime that a JVM running the build's libraries must preload and the JVM's suppressions
# (JVM_ASAN_RUNTIME, JVM_ASAN_SUPPRESSIONS; see svc_sandbox::jvm_sanitizer_env); nothing in
# other builds.
function(stack_jvm_sanitizer target)
  if(NOT STACK_SANITIZE STREQUAL "asan-ubsan")
    return()
  endif()
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libasan.so
                    OUTPUT_VARIABLE runtime OUTPUT_STRIP_TRAILING_WHITESPACE)
  else()
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} --print-file-name=libclang_rt.asan-x86_64.so
                    OUTPUT_VARIABLE runtime OUTPUT_STRIP_TRAILING_WHITESPACE)
  endif()
  target_compile_definitions(${target} PRIVATE JVM_ASAN_RUNTIME="${runtime}"
    JVM_ASAN_SUPPRESSIONS="${PROJECT_SOURCE_DIR}/tests/service/jni/jvm-asan.supp")
endfunction()
