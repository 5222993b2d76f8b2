# STACK_JNI_INCLUDE_DIRS: jni.h and jni_md.h of OpenJDK 17 (Debian's
# openjdk-17-jdk-headless), never another JDK's.
if(NOT STACK_JNI_INCLUDE_DIRS)
  file(GLOB _jdk17_dirs /usr/lib/jvm/java-17-openjdk-*/include)
  find_path(STACK_JDK17_INCLUDE jni.h PATHS ${_jdk17_dirs} NO_DEFAULT_PATH REQUIRED)
  find_path(STACK_JDK17_MD_INCLUDE jni_md.h PATHS ${STACK_JDK17_INCLUDE}/linux NO_DEFAULT_PATH REQUIRED)
  set(STACK_JNI_INCLUDE_DIRS ${STACK_JDK17_INCLUDE} ${STACK_JDK17_MD_INCLUDE} CACHE INTERNAL "JDK 17 JNI headers")
endif()
