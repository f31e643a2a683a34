# libsndfile, found once for the whole build: the audio host reads and writes
# WAV files with it, and the host's end-to-end test writes its inputs and reads
# its outputs. Defines the imported target PkgConfig::SNDFILE, global so that
# every folder links the same one. Under the armhf cross build pkg-config
# looks in the armhf library folder (cmake/toolchain-armhf.cmake).
find_package(PkgConfig REQUIRED)
pkg_check_modules(SNDFILE REQUIRED IMPORTED_TARGET GLOBAL sndfile)
