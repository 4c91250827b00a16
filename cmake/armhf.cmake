# Cross build for the appliance: 32-bit ARM with hard float, Debian's cross
# toolchain (g++-arm-linux-gnueabihf). Libraries other than the toolchain's
# own come from Debian armhf packages unpacked into WEBCFG_ARMHF_SYSROOT by
# scripts/install-deps.sh: cgicc to link.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)
set(CMAKE_LIBRARY_ARCHITECTURE arm-linux-gnueabihf)

set(WEBCFG_ARMHF_SYSROOT "" CACHE PATH "Debian armhf packages unpacked for the cross build")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES WEBCFG_ARMHF_SYSROOT)
if(NOT WEBCFG_ARMHF_SYSROOT)
  message(FATAL_ERROR "Set WEBCFG_ARMHF_SYSROOT (make build-armhf does)")
endif()

# A device is installed for ten years and more: 64-bit file offsets (a file
# system may hand out 64-bit directory cookies) and 64-bit time (2038).
set(CMAKE_C_FLAGS_INIT "-D_FILE_OFFSET_BITS=64 -D_TIME_BITS=64")
set(CMAKE_CXX_FLAGS_INIT "-D_FILE_OFFSET_BITS=64 -D_TIME_BITS=64")

set(CMAKE_FIND_ROOT_PATH ${WEBCFG_ARMHF_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No -L: the static programs need no file of the target's system, and the
# emulated run proves it.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm)
